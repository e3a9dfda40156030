// Fuzzes the motion sampling core with arbitrary plans, downsample factors and transform
// sequences. Whatever the input, sampling must end, and what it appends must be a strictly
// ascending run of base times inside the shutter window, never more entries than there are
// probes. A violation aborts, which libFuzzer reports with the input.
#include <fuzzer/FuzzedDataProvider.h>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <vector>

#include "HostileDouble.h"
#include "plan/SelectSampleTimes.h"
#include "plan/TrailPlan.h"

namespace quillstreak::fuzz {
namespace {

using quillstreak::LayerTransform;
using quillstreak::SampleTimeList;
using quillstreak::TrailPlan;

/// Reads allowed per run: past it the reader fails, which keeps every execution short even
/// when the window holds two billion probes.
constexpr std::int64_t kReadBudget = 4096;
constexpr PF_Err kBudgetExhausted = 0x7B01;

[[noreturn]] void Violation(const char* what, std::int64_t a, std::int64_t b) {
  std::fprintf(stderr, "SelectSampleTimes invariant broken: %s (%lld, %lld)\n", what,
               static_cast<long long>(a), static_cast<long long>(b));
  std::abort();
}

/// A double that is usually ordinary but can be any bit pattern (NaN, infinities, huge).
double FuzzDouble(FuzzedDataProvider& in) {
  return HostileDouble(in, 7, [&in](int k) {
    return k == 3 ? static_cast<double>(in.ConsumeIntegral<std::int32_t>())
                  : in.ConsumeFloatingPointInRange<double>(-50.0, 200.0);
  });
}

LayerTransform FuzzTransform(FuzzedDataProvider& in) {
  LayerTransform t{};
  // Most streams hold still, so that the accepted/rejected decisions vary.
  const auto maybe = [&in](double still) { return in.ConsumeBool() ? FuzzDouble(in) : still; };
  for (double& v : t.position) v = maybe(0.0);
  for (double& v : t.scale) v = maybe(100.0);
  for (double& v : t.anchor) v = maybe(0.0);
  t.rotateZ = maybe(0.0);
  t.rotateY = maybe(0.0);
  t.rotateX = maybe(0.0);
  return t;
}

/// What one input asks of sampling: a plan, a current time, downsample factors, and a read that
/// fails with a code of the input's choosing (failAt 0: none).
struct Case {
  TrailPlan plan{};
  A_long currentTime = 0;
  PF_RationalScale dsx{1, 1};
  PF_RationalScale dsy{1, 1};
  std::int64_t failAt = 0;
  PF_Err failCode = 0;
};

Case ReadCase(FuzzedDataProvider& in) {
  Case c;
  c.plan.motionThreshold =
      in.ConsumeBool() ? in.ConsumeFloatingPointInRange<double>(0.0, 20.0) : FuzzDouble(in);
  c.plan.timeThreshold =
      in.ConsumeBool() ? in.ConsumeIntegralInRange<A_long>(1, 1024) : in.ConsumeIntegral<A_long>();
  // Pre-render always stores a whole number; now and then give something it never would.
  const bool wholeShutter = in.ConsumeIntegralInRange<int>(0, 15) != 0;
  c.plan.shutterTicks =
      wholeShutter
          ? static_cast<double>(in.ConsumeBool() ? in.ConsumeIntegralInRange<A_long>(-10, 5000)
                                                 : in.ConsumeIntegral<A_long>())
          : FuzzDouble(in);
  c.plan.samplesRotation =
      in.ConsumeBool() ? in.ConsumeFloatingPointInRange<double>(0.0, 5.0) : FuzzDouble(in);
  c.plan.samplesScale =
      in.ConsumeBool() ? in.ConsumeFloatingPointInRange<double>(0.0, 5.0) : FuzzDouble(in);
  c.currentTime = in.ConsumeBool() ? in.ConsumeIntegralInRange<A_long>(-5000, 5000)
                                   : in.ConsumeIntegral<A_long>();
  if (in.ConsumeBool()) {
    c.dsx.num = in.ConsumeIntegral<A_long>();
    c.dsx.den = in.ConsumeIntegral<A_u_long>();
    c.dsy.num = in.ConsumeIntegral<A_long>();
    c.dsy.den = in.ConsumeIntegral<A_u_long>();
  } else {
    c.dsx.den = in.ConsumeIntegralInRange<A_u_long>(1, 8);
    c.dsy.den = in.ConsumeIntegralInRange<A_u_long>(1, 8);
  }
  // A read that fails with a code of the input's choosing (0 = none).
  c.failAt = in.ConsumeIntegralInRange<std::int64_t>(0, 64);
  c.failCode = in.ConsumeIntegralInRange<PF_Err>(1, 0x7FFF);

  return c;
}

/// What must hold of sampling's result `err` and the `times` it appended, given the error the
/// reader injected and the reads it served.
void CheckSampling(const TrailPlan& plan, A_long currentTime, PF_Err err, PF_Err injected,
                   std::int64_t reads, const SampleTimeList& times) {
  const A_long step = plan.timeThreshold;
  if (step < 1) Violation("probe step below one time unit", step, 0);

  // The window starts at currentTime - shutterTicks (saturated to the 32-bit range).
  const double startExact = static_cast<double>(currentTime) - plan.shutterTicks;
  std::int64_t start = std::numeric_limits<A_long>::min();
  if (startExact >= 2147483647.0) {
    start = std::numeric_limits<A_long>::max();
  } else if (startExact > -2147483648.0) {
    start = static_cast<std::int64_t>(startExact);
  } else if (!(startExact == startExact)) {
    start = 0;
  }

  // A window of kMaxProbes probes or more is refused before anything is read.
  const double window = std::min(plan.shutterTicks, static_cast<double>(currentTime - start));
  const bool refused = window >= 0.0 && window / static_cast<double>(step) >=
                                            static_cast<double>(quillstreak::kMaxProbes);
  if (refused) {
    if (err != PF_Err_OUT_OF_MEMORY) Violation("an oversized window was not refused", err, 0);
    if (reads != 0 || !times.empty()) Violation("an oversized window was read", reads, 0);
  } else if (err != injected) {
    Violation("result is not the reader's error", err, injected);
  }
  if (!(plan.shutterTicks >= 0.0) && !times.empty()) {
    Violation("entries for a negative or undefined window", static_cast<std::int64_t>(times.size()),
              0);
  }
  if (plan.shutterTicks >= 0.0 && std::isfinite(plan.shutterTicks)) {
    const double probes = std::floor(plan.shutterTicks / static_cast<double>(step)) + 1.0;
    if (static_cast<double>(times.size()) > probes) {
      Violation("more entries than probes", static_cast<std::int64_t>(times.size()),
                static_cast<std::int64_t>(probes));
    }
  }
  for (std::size_t i = 0; i < times.size(); ++i) {
    const std::int64_t t = times[i];
    if (i > 0 && !(t > times[i - 1])) Violation("times not strictly ascending", times[i - 1], t);
    if (t > currentTime) Violation("time after the current time", t, currentTime);
    if (t < start) Violation("time before the window", t, start);
    if ((t - start) % step != 0) Violation("time off the probe grid", t, start);
  }
}

/// One input: the target's whole work.
int Run(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  Case c = ReadCase(in);
  SampleTimeList times;
  c.plan.sampleTimes = &times;

  // The transform sequence: a list of distinct transforms, chosen per time from the input.
  std::vector<LayerTransform> sequence;
  const std::size_t length = in.ConsumeIntegralInRange<std::size_t>(1, 16);
  for (std::size_t i = 0; i < length; ++i) sequence.push_back(FuzzTransform(in));
  const std::vector<std::uint8_t> picks = in.ConsumeRemainingBytes<std::uint8_t>();

  std::int64_t reads = 0;
  PF_Err injected = PF_Err_NONE;
  const quillstreak::TransformReader reader = [&](A_long time, LayerTransform& out) -> PF_Err {
    ++reads;
    if (reads == c.failAt) {
      injected = c.failCode;
      return c.failCode;
    }
    if (reads > kReadBudget) {
      injected = kBudgetExhausted;
      return kBudgetExhausted;
    }
    const std::uint64_t mixed = static_cast<std::uint64_t>(static_cast<std::uint32_t>(time));
    const std::size_t pick =
        picks.empty() ? 0 : picks[(mixed + static_cast<std::uint64_t>(reads)) % picks.size()];
    out = sequence[pick % sequence.size()];
    return PF_Err_NONE;
  };

  const PF_Err err = quillstreak::SelectSampleTimes(c.plan, c.currentTime, c.dsx, c.dsy, reader);
  CheckSampling(c.plan, c.currentTime, err, injected, reads, times);

  return 0;
}

}  // namespace
}  // namespace quillstreak::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return quillstreak::fuzz::Run(data, size);
}
