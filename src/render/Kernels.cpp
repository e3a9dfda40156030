#include "render/Kernels.h"

#include <cstdint>
#include <cstring>

// x86-64 always has SSE2: there the opacity pass clamps without branches and moves whole pixels.
#if defined(__SSE2__) || defined(_M_X64) || defined(_M_AMD64)
#include <emmintrin.h>
#define QS_KERNELS_SSE2 1
#else
#define QS_KERNELS_SSE2 0
#endif

namespace quillstreak {

void BuildRampColors(const TrailPlan& plan, PF_Pixel* colors, std::size_t count) {
  const double n = plan.sampleCount;
  if (!(n > 0.0) || colors == nullptr) {
    return;
  }
  const double r = 1.0 / n;
  const PF_Pixel& s = plan.rampStartColor;
  const PF_Pixel& e = plan.rampEndColor;
  const double stepRed = static_cast<double>(int{s.red} - int{e.red}) * r;
  const double stepGreen = static_cast<double>(int{s.green} - int{e.green}) * r;
  const double stepBlue = static_cast<double>(int{s.blue} - int{e.blue}) * r;
  double red = e.red;
  double green = e.green;
  double blue = e.blue;

  const auto clamp = [](double& value) {
    if (value > 255.0) {
      value = 255.0;
    } else if (!(value >= 0.0)) {
      value = 0.0;
    }
  };
  for (std::size_t k = 0; k < count; ++k) {
    clamp(red);
    clamp(green);
    clamp(blue);
    colors[k].red = static_cast<A_u_char>(red);
    colors[k].green = static_cast<A_u_char>(green);
    colors[k].blue = static_cast<A_u_char>(blue);
    red += stepRed;
    green += stepGreen;
    blue += stepBlue;
    if (!(static_cast<double>(k + 1) < n)) {
      break;
    }
  }
}

A_u_char ScaleAlpha(A_u_char alpha, double opacity) {
  const double scaled = static_cast<double>(alpha) * opacity;
#if QS_KERNELS_SSE2
  // The same clamp as below without a branch: maxsd yields its second operand, 0, when the
  // product is NaN.
  __m128d value = _mm_max_sd(_mm_set_sd(scaled), _mm_setzero_pd());
  value = _mm_min_sd(value, _mm_set_sd(255.0));
  return static_cast<A_u_char>(_mm_cvttsd_si32(value));
#else
  if (!(scaled > 0.0)) {
    return 0;
  }
  if (scaled >= 255.0) {
    return 255;
  }
  return static_cast<A_u_char>(scaled);
#endif
}

extern "C" PF_Err ColorFillKernel(void* refcon, A_long, A_long, PF_Pixel* in, PF_Pixel* out) {
  if (refcon == nullptr || in == nullptr || out == nullptr) {
    return PF_Err_NONE;
  }
  const PF_Pixel& fill = static_cast<const KernelRefcon*>(refcon)->fillColor;
  out->alpha = in->alpha;
  out->red = fill.red;
  out->green = fill.green;
  out->blue = fill.blue;
  return PF_Err_NONE;
}

extern "C" PF_Err OpacityKernel(void* refcon, A_long, A_long, PF_Pixel* in, PF_Pixel* out) {
  if (refcon == nullptr || in == nullptr || out == nullptr) {
    return PF_Err_NONE;
  }
  const double opacity = static_cast<const KernelRefcon*>(refcon)->opacity;
#if QS_KERNELS_SSE2
  // One load and one store of the whole pixel. x86 is little-endian: alpha, the first byte in
  // memory, is the word's low byte.
  std::uint32_t word;
  std::memcpy(&word, in, sizeof word);
  word = (word & ~std::uint32_t{0xFF}) |
         std::uint32_t{ScaleAlpha(static_cast<A_u_char>(word & 0xFFu), opacity)};
  std::memcpy(out, &word, sizeof word);
#else
  const PF_Pixel source = *in;
  out->alpha = ScaleAlpha(source.alpha, opacity);
  out->red = source.red;
  out->green = source.green;
  out->blue = source.blue;
#endif
  return PF_Err_NONE;
}

}  // namespace quillstreak
