// Rendered frames as pictures: what the renderer writes for each frame.
#pragma once

#include <cstdint>
#include <vector>

#include "host/pixels/Pixels.h"
#include "renderer/RgbaImage.h"

namespace quillstreak::renderer {

/// One row of a straight ARGB frame as the 3-byte RGB pixels of an opaque file: each pixel
/// composited over the background colour (whose alpha is not read) as
/// quillstreak::host::CompositeOverBackground does; opaque pixels are copied.
void FrameRowToRgb(const PF_Pixel* row, int width, PF_Pixel background, std::uint8_t* out);

/// One row of a straight ARGB frame as straight RGBA bytes.
void FrameRowToRgba(const PF_Pixel* row, int width, std::uint8_t* out);

/// A rendered frame as an opaque RGBA image (FrameRowToRgb with alpha 255): the host's frames
/// are opaque already; this also covers any that are not. The second form reuses `image`.
RgbaImage FrameToRgba(const quillstreak::host::World& frame, PF_Pixel background);
void FrameToRgba(const quillstreak::host::World& frame, PF_Pixel background, RgbaImage& image);

/// A straight ARGB frame as straight RGBA.
RgbaImage StraightRgba(const quillstreak::host::World& frame);

/// A straight RGBA image as the straight ARGB pixels of a layer source, row by row.
std::vector<PF_Pixel> ArgbPixels(const RgbaImage& image);

}  // namespace quillstreak::renderer
