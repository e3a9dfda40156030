#include "picture/TextPainter.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cstdlib>
#include <stdexcept>

#include "platform/Platform.h"
#include "renderer/ContactSheet.h"

namespace quillstreak::renderer {
namespace {

// The next code point of UTF-8 text (malformed bytes are taken one by one as Latin-1).
char32_t NextCodePoint(std::string_view text, std::size_t& i) {
  const unsigned char c = static_cast<unsigned char>(text[i]);
  const std::size_t extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
  if (extra == 0 || i + extra >= text.size()) {
    ++i;
    return c;
  }
  char32_t cp = c & (0x3F >> extra);
  for (std::size_t k = 1; k <= extra; ++k) {
    const unsigned char n = static_cast<unsigned char>(text[i + k]);
    if ((n & 0xC0) != 0x80) {
      ++i;
      return c;
    }
    cp = (cp << 6) | (n & 0x3F);
  }
  i += extra + 1;
  return cp;
}

constexpr std::uint8_t kSheetBackground[3] = {0, 0, 0};
constexpr std::uint8_t kLabelColor[3] = {210, 210, 210};
constexpr std::uint8_t kCaptionColor[3] = {240, 240, 240};
constexpr int kGap = 2;

void FillRgb(RgbaImage& image, const std::uint8_t rgb[3]) {
  for (std::size_t i = 0; i < image.rgba.size(); i += 4) {
    image.rgba[i] = rgb[0];
    image.rgba[i + 1] = rgb[1];
    image.rgba[i + 2] = rgb[2];
    image.rgba[i + 3] = 255;
  }
}

}  // namespace

struct TextPainter::Face {
  FT_Library library = nullptr;
  FT_Face face = nullptr;
  ~Face() {
    if (face != nullptr) FT_Done_Face(face);
    if (library != nullptr) FT_Done_FreeType(library);
  }
};

TextPainter::TextPainter(const std::string& fontFile, int pixelSize) : face_(new Face) {
  if (FT_Init_FreeType(&face_->library) != 0) throw std::runtime_error("FreeType did not start");
  if (FT_New_Face(face_->library, fontFile.c_str(), 0, &face_->face) != 0)
    throw std::runtime_error("cannot load the font " + fontFile);
  if (FT_Set_Pixel_Sizes(face_->face, 0, static_cast<FT_UInt>(pixelSize)) != 0)
    throw std::runtime_error("the font " + fontFile + " has no size " + std::to_string(pixelSize));
  const FT_Size_Metrics& m = face_->face->size->metrics;
  ascent_ = static_cast<int>((m.ascender + 63) / 64);
  lineHeight_ = static_cast<int>((m.height + 63) / 64);
}

TextPainter::~TextPainter() = default;

int TextPainter::Width(std::string_view text) const {
  long width = 0;
  for (std::size_t i = 0; i < text.size();) {
    const char32_t cp = NextCodePoint(text, i);
    if (FT_Load_Char(face_->face, cp, FT_LOAD_DEFAULT) != 0) continue;
    width += face_->face->glyph->advance.x;
  }
  return static_cast<int>((width + 63) / 64);
}

void TextPainter::Draw(RgbaImage& image, int x, int y, std::string_view text,
                       const std::uint8_t rgb[3]) const {
  long pen = static_cast<long>(x) * 64;
  for (std::size_t i = 0; i < text.size();) {
    const char32_t cp = NextCodePoint(text, i);
    if (FT_Load_Char(face_->face, cp, FT_LOAD_RENDER) != 0) continue;
    const FT_GlyphSlot g = face_->face->glyph;
    const FT_Bitmap& b = g->bitmap;
    const int left = static_cast<int>(pen / 64) + g->bitmap_left;
    const int top = y - g->bitmap_top;
    for (unsigned row = 0; row < b.rows; ++row) {
      const int py = top + static_cast<int>(row);
      if (py < 0 || py >= image.height) continue;
      for (unsigned col = 0; col < b.width; ++col) {
        const int px = left + static_cast<int>(col);
        if (px < 0 || px >= image.width) continue;
        const unsigned coverage = b.buffer[static_cast<long>(row) * b.pitch + col];
        std::uint8_t* p = image.pixel(px, py);
        for (int c = 0; c < 3; ++c)
          p[c] =
              static_cast<std::uint8_t>((rgb[c] * coverage + p[c] * (255 - coverage) + 127) / 255);
      }
    }
    pen += g->advance.x;
  }
}

std::vector<std::string> TextPainter::Wrap(const std::string& text, int width) const {
  std::vector<std::string> lines;
  std::string line;
  std::size_t start = 0;
  while (start <= text.size()) {
    const std::size_t space = std::min(text.find(' ', start), text.size());
    const std::string word = text.substr(start, space - start);
    start = space + 1;
    const std::string candidate = line.empty() ? word : line + " " + word;
    if (!line.empty() && Width(candidate) > width) {
      lines.push_back(line);
      line = word;
    } else {
      line = candidate;
    }
    if (space >= text.size()) break;
  }
  if (!line.empty()) lines.push_back(line);
  return lines;
}

std::string DefaultFontFile() {
  if (std::string fromEnv = EnvironmentValue("QUILLSTREAK_FONT"); !fromEnv.empty()) return fromEnv;
#ifdef QS_FONT_FILE
  return QS_FONT_FILE;
#else
  return {};
#endif
}

RgbaImage LabelledContactSheet(const std::vector<RgbaImage>& cells,
                               const std::vector<std::string>& labels, const std::string& caption,
                               int columns, const TextPainter* painter) {
  if (painter == nullptr || cells.empty())
    return LayOutContactSheet(cells, columns, kGap, kSheetBackground);
  // Each cell gets a band below it for its label, wrapped to the cell's width; the bands are as
  // tall as the longest label needs.
  std::vector<std::vector<std::string>> labelLines(cells.size());
  std::size_t most = 1;
  for (std::size_t i = 0; i < cells.size() && i < labels.size(); ++i) {
    labelLines[i] = painter->Wrap(labels[i], cells[i].width - 4);
    most = std::max(most, labelLines[i].size());
  }
  const int band = static_cast<int>(most) * painter->lineHeight() + 4;
  std::vector<RgbaImage> labelled;
  labelled.reserve(cells.size());
  for (std::size_t i = 0; i < cells.size(); ++i) {
    const RgbaImage& c = cells[i];
    RgbaImage cell(c.width, c.height + band);
    FillRgb(cell, kSheetBackground);
    std::copy(c.rgba.begin(), c.rgba.end(), cell.rgba.begin());
    for (std::size_t k = 0; k < labelLines[i].size(); ++k) {
      painter->Draw(cell, 2,
                    c.height + 2 + painter->ascent() + static_cast<int>(k) * painter->lineHeight(),
                    labelLines[i][k], kLabelColor);
    }
    labelled.push_back(std::move(cell));
  }
  const RgbaImage grid = LayOutContactSheet(labelled, columns, kGap, kSheetBackground);
  if (caption.empty()) return grid;
  const std::vector<std::string> lines = painter->Wrap(caption, grid.width - 8);
  const int top = static_cast<int>(lines.size()) * painter->lineHeight() + 8;
  RgbaImage sheet(grid.width, grid.height + top);
  FillRgb(sheet, kSheetBackground);
  std::copy(grid.rgba.begin(), grid.rgba.end(),
            sheet.rgba.begin() + static_cast<std::ptrdiff_t>(top) * grid.width * 4);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    painter->Draw(sheet, 4, 4 + painter->ascent() + static_cast<int>(i) * painter->lineHeight(),
                  lines[i], kCaptionColor);
  }
  return sheet;
}

}  // namespace quillstreak::renderer
