// Pixel arithmetic of the trail: ramp colours, colour fill and opacity.
#pragma once

#include <cstddef>

#include "hostapi/HostApi.h"
#include "plan/TrailPlan.h"

namespace quillstreak {

/// The record both kernels receive as refcon.
struct KernelRefcon {
  PF_Pixel fillColor;  // what ColorFillKernel paints; its alpha byte is never read
  double opacity;      // what OpacityKernel applies to alpha, 0.0 to 1.0
};

/// Gives sample k (0 = earliest) a colour on the line from the end colour towards the start
/// colour: entry k = E + k (S - E) / n, accumulated by repeated addition, clamped to 0..255 and
/// truncated. Writes red, green and blue of at most `count` entries (alpha bytes untouched);
/// nothing when sampleCount is not positive.
void BuildRampColors(const TrailPlan& plan, PF_Pixel* colors, std::size_t count);

/// Keeps the pixel's alpha and takes the refcon's red, green and blue.
extern "C" PF_Err ColorFillKernel(void* refcon, A_long x, A_long y, PF_Pixel* in, PF_Pixel* out);

/// Scales the pixel's alpha by the refcon's opacity (truncated, clamped to 0..255) and keeps
/// its colour. A null refcon leaves the pixel as it was.
extern "C" PF_Err OpacityKernel(void* refcon, A_long x, A_long y, PF_Pixel* in, PF_Pixel* out);

/// The alpha OpacityKernel gives: truncation of alpha x opacity, clamped to 0..255 (NaN gives 0).
A_u_char ScaleAlpha(A_u_char alpha, double opacity);

}  // namespace quillstreak
