// Rendered frames as pictures: what the renderer writes for each frame.
#pragma once

#include "host/pixels/Pixels.h"
#include "renderer/RgbaImage.h"

namespace quillstreak::renderer {

/// A rendered frame as an opaque RGBA image: the straight ARGB frame composited over the
/// background colour with quillstreak::host::CompositeOverBackground (the host's frames are opaque
/// already; this also covers any that are not).
RgbaImage FrameToRgba(const quillstreak::host::World& frame, PF_Pixel background);

}  // namespace quillstreak::renderer
