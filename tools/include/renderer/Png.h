// Reading and writing 8-bit RGBA PNG files (libpng).
#pragma once

#include <stdexcept>
#include <string>

#include "renderer/RgbaImage.h"

namespace quillstreak::renderer {

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

}  // namespace quillstreak::renderer
