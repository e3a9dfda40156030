// Reading and writing 8-bit RGBA PNG files (libpng).
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace qsrender {

/// An 8-bit straight (not premultiplied) RGBA picture, rows top to bottom, 4 bytes per pixel.
struct RgbaImage {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> rgba;  // width * height * 4

  RgbaImage() = default;
  RgbaImage(int w, int h) : width(w), height(h), rgba(static_cast<std::size_t>(w) * h * 4, 0) {}
  std::uint8_t* pixel(int x, int y) {
    return rgba.data() + (static_cast<std::size_t>(y) * width + x) * 4;
  }
  const std::uint8_t* pixel(int x, int y) const {
    return rgba.data() + (static_cast<std::size_t>(y) * width + x) * 4;
  }
};

/// A PNG file that cannot be read or written; what() says why (without the path).
class PngError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

/// Reads any PNG (palette, grey, 16-bit and interlaced files included) as 8-bit RGBA.
/// Throws PngError when the file cannot be opened, is not a PNG or is damaged, or is larger
/// than 16384 pixels on a side.
RgbaImage ReadPng(const std::string& path);

/// Writes an 8-bit RGBA PNG; with `opaque` the alpha channel is left out (RGB file).
/// Throws PngError when the file cannot be written.
void WritePng(const std::string& path, const RgbaImage& image, bool opaque);

/// The PNG signature check on the first bytes of a file.
bool LooksLikePng(const std::string& path);

}  // namespace qsrender
