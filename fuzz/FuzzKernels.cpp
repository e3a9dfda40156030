// Fuzzes the ramp colours and the two pixel kernels. The ramp never writes past `count` nor
// an alpha byte, and every colour it writes lies between the two ramp colours; the kernels keep
// what they must keep and give the exact alpha for opacities from 0 to 1, whether the source and
// destination pixel are one and the same or not. A violation aborts.
#include <fuzzer/FuzzedDataProvider.h>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <vector>

#include "HostileDouble.h"
#include "plan/TrailPlan.h"
#include "render/Kernels.h"

namespace quillstreak::fuzz {
namespace {

using quillstreak::KernelRefcon;
using quillstreak::TrailPlan;

[[noreturn]] void Violation(const char* what, long long a, long long b) {
  std::fprintf(stderr, "kernel invariant broken: %s (%lld, %lld)\n", what, a, b);
  std::abort();
}

constexpr std::size_t kGuard = 4;
constexpr A_u_char kCanary = 0xA5;

PF_Pixel FuzzPixel(FuzzedDataProvider& in) {
  PF_Pixel p;
  p.alpha = in.ConsumeIntegral<A_u_char>();
  p.red = in.ConsumeIntegral<A_u_char>();
  p.green = in.ConsumeIntegral<A_u_char>();
  p.blue = in.ConsumeIntegral<A_u_char>();
  return p;
}

double FuzzCount(FuzzedDataProvider& in) {
  return HostileDouble(in, 5, [&in](int k) {
    return k == 3 ? in.ConsumeFloatingPointInRange<double>(-4.0, 600.0)
                  : static_cast<double>(in.ConsumeIntegralInRange<int>(0, 600));
  });
}

// `slack` widens the range by that many levels on both sides.
void CheckChannel(const char* what, A_u_char value, A_u_char s, A_u_char e, int slack) {
  const int lo = (s < e ? s : e) - slack;
  const int hi = (s < e ? e : s) + slack;
  if (value < lo || value > hi) Violation(what, value, lo * 1000 + hi);
}

void FuzzRamp(FuzzedDataProvider& in) {
  TrailPlan plan{};
  plan.sampleCount = FuzzCount(in);
  plan.rampStartColor = FuzzPixel(in);
  plan.rampEndColor = FuzzPixel(in);
  const std::size_t count = in.ConsumeIntegralInRange<std::size_t>(0, 2048);

  std::vector<PF_Pixel> colors(count + kGuard, PF_Pixel{kCanary, kCanary, kCanary, kCanary});
  quillstreak::BuildRampColors(plan, colors.data(), count);

  const double n = plan.sampleCount;
  // A whole sample count keeps the last entry a full step short of the start colour. A
  // fractional one reaches one entry more, all but on the start colour when n lies just above a
  // whole number: the running sum may then cross it by rounding, and truncation gives one level
  // beyond it. The plan's counts are whole; fractional ones are checked with that slack.
  const int slack = std::floor(n) == n ? 0 : 1;
  // Entries the ramp reaches: k = 0, 1, ... while k < n, at most `count` of them.
  std::size_t reached = 0;
  if (n > 0.0) {
    reached = n >= static_cast<double>(count) ? count : static_cast<std::size_t>(std::ceil(n));
  }
  for (std::size_t k = 0; k < colors.size(); ++k) {
    const PF_Pixel& c = colors[k];
    if (c.alpha != kCanary) Violation("alpha byte written", static_cast<long long>(k), c.alpha);
    if (k >= reached) {
      if (c.red != kCanary || c.green != kCanary || c.blue != kCanary) {
        Violation("entry written beyond the samples or the count", static_cast<long long>(k),
                  static_cast<long long>(count));
      }
      continue;
    }
    CheckChannel("red outside the ramp", c.red, plan.rampStartColor.red, plan.rampEndColor.red,
                 slack);
    CheckChannel("green outside the ramp", c.green, plan.rampStartColor.green,
                 plan.rampEndColor.green, slack);
    CheckChannel("blue outside the ramp", c.blue, plan.rampStartColor.blue, plan.rampEndColor.blue,
                 slack);
  }
  if (reached > 0) {
    const PF_Pixel& first = colors[0];
    const PF_Pixel& e = plan.rampEndColor;
    if (first.red != e.red || first.green != e.green || first.blue != e.blue) {
      Violation("the earliest sample does not take the end colour", first.red, e.red);
    }
  }
}

double FuzzOpacity(FuzzedDataProvider& in) {
  switch (in.ConsumeIntegralInRange<int>(0, 4)) {
    case 0:
      return std::numeric_limits<double>::quiet_NaN();
    case 1:
      return in.ConsumeFloatingPoint<double>();
    case 2:
      return static_cast<double>(in.ConsumeIntegralInRange<int>(0, 100)) * 0.01;
    default:
      return in.ConsumeProbability<double>();
  }
}

void FuzzPixelKernels(FuzzedDataProvider& in) {
  KernelRefcon refcon{};
  refcon.fillColor = FuzzPixel(in);
  refcon.opacity = FuzzOpacity(in);
  const bool aliased = in.ConsumeBool();
  const bool nullRefcon = in.ConsumeIntegralInRange<int>(0, 15) == 0;
  const A_long x = in.ConsumeIntegral<A_long>();
  const A_long y = in.ConsumeIntegral<A_long>();

  while (in.remaining_bytes() >= 4) {
    const PF_Pixel source = FuzzPixel(in);
    PF_Pixel a = source;
    PF_Pixel b{kCanary, kCanary, kCanary, kCanary};
    PF_Pixel* out = aliased ? &a : &b;

    // Colour fill.
    PF_Err err = quillstreak::ColorFillKernel(nullRefcon ? nullptr : &refcon, x, y, &a, out);
    if (err != PF_Err_NONE) Violation("colour fill failed", err, 0);
    if (!nullRefcon) {
      if (out->alpha != source.alpha)
        Violation("colour fill changed alpha", out->alpha, source.alpha);
      if (out->red != refcon.fillColor.red || out->green != refcon.fillColor.green ||
          out->blue != refcon.fillColor.blue) {
        Violation("colour fill gave another colour", out->red, refcon.fillColor.red);
      }
    }

    // Opacity.
    a = source;
    b = PF_Pixel{kCanary, kCanary, kCanary, kCanary};
    err = quillstreak::OpacityKernel(nullRefcon ? nullptr : &refcon, x, y, &a, out);
    if (err != PF_Err_NONE) Violation("opacity failed", err, 0);
    if (nullRefcon) {
      const PF_Pixel expected = aliased ? source : PF_Pixel{kCanary, kCanary, kCanary, kCanary};
      if (out->alpha != expected.alpha || out->red != expected.red ||
          out->green != expected.green || out->blue != expected.blue) {
        Violation("opacity without refcon wrote a pixel", out->alpha, expected.alpha);
      }
      continue;
    }
    if (out->red != source.red || out->green != source.green || out->blue != source.blue) {
      Violation("opacity changed the colour", out->red, source.red);
    }
    const double op = refcon.opacity;
    if (op >= 0.0 && op <= 1.0) {
      const auto expected = static_cast<A_u_char>(static_cast<double>(source.alpha) * op);
      if (out->alpha != expected) Violation("opacity gave another alpha", out->alpha, expected);
    } else if (!(op > 1.0) && out->alpha != 0) {
      Violation("negative or undefined opacity left alpha", out->alpha, source.alpha);
    } else if (op > 1.0 && out->alpha < source.alpha) {
      Violation("opacity above 1 lowered alpha", out->alpha, source.alpha);
    }
  }
}

/// One input: the target's whole work.
int Run(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  if (in.ConsumeBool()) {
    FuzzRamp(in);
  } else {
    FuzzPixelKernels(in);
  }
  return 0;
}

}  // namespace
}  // namespace quillstreak::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return quillstreak::fuzz::Run(data, size);
}
