// The motion-sampling core alone, with the layer's transforms read from memory: probes per second
// for windows of 10, 100 and 10,000 probes.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "plan/SelectSampleTimes.h"
#include "plan/TrailPlan.h"

namespace {

using quillstreak::LayerTransform;
using quillstreak::TrailPlan;

// A layer that moves one pixel right and turns a tenth of a degree per time unit, and grows a
// little: with a threshold of 4 px about every fourth probe is accepted.
std::vector<LayerTransform> MakeTrack(std::int64_t length) {
  std::vector<LayerTransform> track(static_cast<std::size_t>(length));
  for (std::int64_t t = 0; t < length; ++t) {
    LayerTransform& x = track[static_cast<std::size_t>(t)];
    const double d = static_cast<double>(t);
    x = LayerTransform{
        {100.0 + d, 200.0, 0.0}, {100.0 + d * 0.01, 100.0}, {50.0, 50.0, 0.0}, d * 0.1, 0.0, 0.0};
  }
  return track;
}

void BM_SelectSampleTimes(benchmark::State& state) {
  const std::int64_t probes = state.range(0);
  const A_long current = 1000000;
  const A_long start = static_cast<A_long>(current - (probes - 1));
  const std::vector<LayerTransform> track = MakeTrack(probes + 1);
  const quillstreak::TransformReader reader = [&track, start](A_long time, LayerTransform& out) {
    const std::int64_t i = static_cast<std::int64_t>(time) - start;
    if (i < 0 || i >= static_cast<std::int64_t>(track.size()))
      return PF_Err(PF_Err_BAD_CALLBACK_PARAM);
    out = track[static_cast<std::size_t>(i)];
    return PF_Err(PF_Err_NONE);
  };
  quillstreak::SampleTimeList times;
  times.reserve(static_cast<std::size_t>(probes));
  TrailPlan plan{};
  plan.motionThreshold = 4.0;
  plan.samplesRotation = 1.0;
  plan.samplesScale = 1.0;
  plan.sampleTimes = &times;
  std::size_t accepted = 0;
  for (auto _ : state) {
    times.clear();
    plan.timeThreshold = 1;                               // one time unit per probe
    plan.shutterTicks = static_cast<double>(probes - 1);  // floor(window / 1) + 1 probes
    const PF_Err err = quillstreak::SelectSampleTimes(plan, current, PF_RationalScale{1, 1},
                                                      PF_RationalScale{1, 1}, reader);
    if (err != PF_Err_NONE) {
      state.SkipWithError("SelectSampleTimes failed");
      break;
    }
    accepted = times.size();
    benchmark::DoNotOptimize(times.data());
  }
  state.SetItemsProcessed(state.iterations() * probes);
  state.counters["probes_per_s"] = benchmark::Counter(
      static_cast<double>(state.iterations() * probes), benchmark::Counter::kIsRate);
  state.counters["accepted"] = static_cast<double>(accepted);
}
BENCHMARK(BM_SelectSampleTimes)->ArgName("probes")->Arg(10)->Arg(100)->Arg(10000);

}  // namespace

BENCHMARK_MAIN();
