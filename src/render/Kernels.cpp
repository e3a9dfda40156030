#include "render/Kernels.h"

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
  if (!(scaled > 0.0)) {
    return 0;
  }
  if (scaled >= 255.0) {
    return 255;
  }
  return static_cast<A_u_char>(scaled);
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
  const PF_Pixel source = *in;
  out->alpha = ScaleAlpha(source.alpha, static_cast<const KernelRefcon*>(refcon)->opacity);
  out->red = source.red;
  out->green = source.green;
  out->blue = source.blue;
  return PF_Err_NONE;
}

}  // namespace quillstreak
