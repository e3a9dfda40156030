#include "renderer/FrameImage.h"

namespace quillstreak::renderer {
namespace {

using quillstreak::host::Div255;

// The pixel over the background, in RGB order; `Alpha` adds a fourth byte of 255.
template <bool Alpha>
void OverBackgroundRow(const PF_Pixel* row, int width, PF_Pixel bg, std::uint8_t* out) {
  for (int x = 0; x < width; ++x, out += Alpha ? 4 : 3) {
    const PF_Pixel& p = row[x];
    if (p.alpha == 255) {
      out[0] = p.red;
      out[1] = p.green;
      out[2] = p.blue;
    } else {
      const unsigned a = p.alpha, keep = 255u - a;
      out[0] = static_cast<std::uint8_t>(Div255(p.red * a + bg.red * keep));
      out[1] = static_cast<std::uint8_t>(Div255(p.green * a + bg.green * keep));
      out[2] = static_cast<std::uint8_t>(Div255(p.blue * a + bg.blue * keep));
    }
    if constexpr (Alpha) out[3] = 255;
  }
}

}  // namespace

void FrameRowToRgb(const PF_Pixel* row, int width, PF_Pixel background, std::uint8_t* out) {
  OverBackgroundRow<false>(row, width, background, out);
}

void FrameRowToRgba(const PF_Pixel* row, int width, std::uint8_t* out) {
  for (int x = 0; x < width; ++x, out += 4) {
    out[0] = row[x].red;
    out[1] = row[x].green;
    out[2] = row[x].blue;
    out[3] = row[x].alpha;
  }
}

void FrameToRgba(const quillstreak::host::World& frame, PF_Pixel background, RgbaImage& image) {
  if (image.width != frame.width() || image.height != frame.height())
    image = RgbaImage(frame.width(), frame.height());
  for (A_long y = 0; y < frame.height(); ++y)
    OverBackgroundRow<true>(frame.row(y), frame.width(), background, image.pixel(0, y));
}

RgbaImage FrameToRgba(const quillstreak::host::World& frame, PF_Pixel background) {
  RgbaImage image;
  FrameToRgba(frame, background, image);
  return image;
}

RgbaImage StraightRgba(const quillstreak::host::World& frame) {
  RgbaImage image(frame.width(), frame.height());
  for (A_long y = 0; y < frame.height(); ++y)
    FrameRowToRgba(frame.row(y), frame.width(), image.pixel(0, y));
  return image;
}

std::vector<PF_Pixel> ArgbPixels(const RgbaImage& image) {
  std::vector<PF_Pixel> pixels(static_cast<std::size_t>(image.width) * image.height);
  for (std::size_t i = 0; i < pixels.size(); ++i) {
    const std::uint8_t* p = image.rgba.data() + i * 4;
    pixels[i] = PF_Pixel{p[3], p[0], p[1], p[2]};
  }
  return pixels;
}

}  // namespace quillstreak::renderer
