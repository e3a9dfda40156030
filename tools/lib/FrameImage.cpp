#include "renderer/FrameImage.h"

namespace quillstreak::renderer {

RgbaImage FrameToRgba(const quillstreak::host::World& frame, PF_Pixel background) {
  background.alpha = 255;
  quillstreak::host::World opaque;
  quillstreak::host::CompositeOverBackground(frame, background, opaque);
  RgbaImage image(opaque.width(), opaque.height());
  for (A_long y = 0; y < opaque.height(); ++y) {
    const PF_Pixel* row = opaque.row(y);
    for (A_long x = 0; x < opaque.width(); ++x) {
      std::uint8_t* p = image.pixel(x, y);
      p[0] = row[x].red;
      p[1] = row[x].green;
      p[2] = row[x].blue;
      p[3] = 255;
    }
  }
  return image;
}

}  // namespace quillstreak::renderer
