// An 8-bit straight RGBA picture in memory: what frames become for output and comparison, and
// what image files are read into.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace quillstreak::renderer {

/// The longest side of a picture the renderer reads or writes: image files, sequence frames and
/// video frames alike.
inline constexpr int kMaxImageSide = 16384;

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

}  // namespace quillstreak::renderer
