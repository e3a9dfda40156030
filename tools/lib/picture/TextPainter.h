// Text drawn into pictures (FreeType): the frame numbers and captions of contact sheets.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "renderer/RgbaImage.h"

namespace quillstreak::renderer {

/// One font at one size. Text is UTF-8; characters the font lacks are skipped.
class TextPainter {
 public:
  /// Loads a TrueType or OpenType font file. Throws std::runtime_error saying why it cannot.
  TextPainter(const std::string& fontFile, int pixelSize);
  ~TextPainter();
  TextPainter(const TextPainter&) = delete;
  TextPainter& operator=(const TextPainter&) = delete;

  /// Distance from one baseline to the next, and from the top of a line to its baseline.
  int lineHeight() const { return lineHeight_; }
  int ascent() const { return ascent_; }
  /// The advance width of a text in pixels.
  int Width(std::string_view text) const;
  /// Draws a text with its baseline at y, from x, in an opaque colour (r, g, b) blended by the
  /// glyphs' coverage; what falls outside the image is clipped.
  void Draw(RgbaImage& image, int x, int y, std::string_view text, const std::uint8_t rgb[3]) const;
  /// The text broken into lines no wider than `width`, at spaces (a word wider than that gets a
  /// line of its own).
  std::vector<std::string> Wrap(const std::string& text, int width) const;

 private:
  struct Face;
  std::unique_ptr<Face> face_;
  int lineHeight_ = 0;
  int ascent_ = 0;
};

/// The font the renderer labels contact sheets with: $QUILLSTREAK_FONT when set, else the font
/// found when it was built.
std::string DefaultFontFile();

/// A contact sheet with words: each cell with its label below it and the caption above the grid,
/// wrapped to the sheet's width. Without a painter, the plain grid.
RgbaImage LabelledContactSheet(const std::vector<RgbaImage>& cells,
                               const std::vector<std::string>& labels, const std::string& caption,
                               int columns, const TextPainter* painter);

}  // namespace quillstreak::renderer
