// Whole frames through the effect module and the substitute host (smart pre-render + smart
// render), and the renderer's view of a demo scene (Host::RenderFrame, composited over the
// background).
//
// Frame cases: a 1920x1080 composition at 24 fps (time scale 2400, frames of 100 units) with a
// 1280x720 image layer that slides sideways at 640 px per 2929 units (about 4.37 px per probe
// step, so the samples sit at fractional pixel positions and every layer pixel is resampled).
// Motion Threshold 0 accepts every probe and the probe step is 20 units at full and at half
// resolution (Time Threshold 20, the default, or 10 at half resolution), so a Shutter Angle giving
// a window of (n - 1) * 20 units yields exactly n samples (the step:100 cases use Time Threshold
// 100: one sample per frame time); n = 0 uses a zero window and Motion Threshold 20,
// which one step does not reach. Consecutive iterations render consecutive frames, so with the
// layer cache on each frame renders only the layer times the previous frames did not have: 4
// samples (100 units per frame / 20 units per step, less the previous current frame) and the
// current frame.
//
// The bytes counted are those the effect's passes must move: the output clear (written once),
// per sample the ramp repaint (read + written) when ramp fill is on and the in-front transfer
// (sample read, output region read and written), and the transfer of the current frame.
// Layer rendering, checkouts and cache copies are host work and are not counted: they are what
// the ratio exposes.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "Bandwidth.h"
#include "FrameSetup.h"
#include "Stats.h"
#include "host/pixels/Pixels.h"

namespace {

using namespace quillstreak::bench;

FrameCase CaseOf(const benchmark::State& state) {
  return {static_cast<int>(state.range(0)), state.range(1) != 0, static_cast<int>(state.range(2)),
          state.range(3) != 0, static_cast<int>(state.range(4))};
}

void BM_Frame(benchmark::State& state) {
  const FrameCase c = CaseOf(state);
  std::unique_ptr<Host> host;
  try {
    host = MakeFrameHost(c);
  } catch (const std::exception& e) {
    state.SkipWithError(e.what());
    return;
  }
  std::int64_t frame = 0;
  auto next_time = [&frame] {
    return kFirstFrameTime + static_cast<A_long>(frame++ % kCycleFrames) * kFrame;
  };
  std::string error;
  // Steady state: enough frames before timing that every window has been seen once.
  const int warmup = c.cache ? c.samples * c.step / kFrame + 2 : 1;
  for (int k = 0; k < warmup; ++k) {
    if (RenderOne(*host, next_time(), c.ramp, c.samples, error) < 0) {
      state.SkipWithError(error.c_str());
      return;
    }
  }
  quillstreak::bench::BoundCounter bound(true);
  for (auto _ : state) {
    const double bytes = RenderOne(*host, next_time(), c.ramp, c.samples, error);
    if (bytes < 0) {
      state.SkipWithError(error.c_str());
      break;
    }
    bound.Add(bytes, 1920.0 * 1080.0 / (c.downsample * c.downsample));
  }
  bound.Report(state);
  state.SetLabel(std::string(c.cache ? "cache warm" : "no cache") + (c.ramp ? ", ramp" : "") +
                 (c.downsample == 2 ? ", half" : ", full"));
}

void FrameArgs(benchmark::internal::Benchmark* b) {
  b->ArgNames({"samples", "ramp", "ds", "cache", "step"});
  for (int cache : {1, 0}) {
    for (int ds : {1, 2}) {
      for (int ramp : {1, 0}) {
        for (int n : {0, 4, 16, 64}) b->Args({n, ramp, ds, cache, 20});
      }
    }
  }
  // One sample per frame: each new frame renders only its current frame.
  for (int cache : {1, 0}) b->Args({16, 1, 1, cache, 100});
}
BENCHMARK(BM_Frame)->Apply(FrameArgs)->UseRealTime()->Unit(benchmark::kMillisecond);

// ---- the 1080p 16-sample ramp frame against its floor ------------------------------------------
// x_kernel_floor: the frame (pre-render + render) against the same frame's passes done with a
// kernel that only copies its pixel through the same iterate, plus a memcpy of each transfer's
// bytes and a memset of the output clear, timed right after the frame in every iteration (the
// median of the iterations' ratios). What remains above 1 is the host's work (checkouts, layer
// rendering or cache copies, worlds) and the kernels' own arithmetic.

PF_Err CopyKernel(void*, A_long, A_long, PF_Pixel* in, PF_Pixel* out) {
  *out = *in;
  return PF_Err_NONE;
}

// The passes of the frame just rendered, with the copy-only kernel and memcpy, on worlds made
// beforehand (no page faults).
struct FloorPasses {
  quillstreak::host::World sample{1400, 800};
  quillstreak::host::World scratch{1400, 800};
  quillstreak::host::World output{1920, 1080};

  void Run(const Host& host, bool ramp) {
    const PF_LRect& r = host.frames().preRenderOutput().result_rect;
    std::memset(output.def().data, 0, static_cast<std::size_t>(RectBytes(r)));
    const auto& checkouts = host.frames().layerCheckouts();
    for (const quillstreak::host::LayerCheckout& c : checkouts) {
      const PF_LRect& b = c.resultRect;
      if (b.left >= b.right || b.top >= b.bottom) continue;
      const PF_Rect area{0, 0, std::min<A_long>(b.right - b.left, sample.width()),
                         std::min<A_long>(b.bottom - b.top, sample.height())};
      if (ramp && c.id != static_cast<A_long>(checkouts.size()) + 1) {
        quillstreak::host::Iterate8(&sample.def(), &sample.def(), &area, nullptr, CopyKernel, 0);
      }
      std::memcpy(scratch.def().data, sample.def().data,
                  static_cast<std::size_t>(sample.def().rowbytes) * area.bottom);
    }
    benchmark::ClobberMemory();
  }
};

void BM_FrameKernelFloor(benchmark::State& state) {
  const bool cache = state.range(0) != 0;
  const FrameCase c{16, true, 1, cache, 20};
  std::unique_ptr<Host> host;
  try {
    host = MakeFrameHost(c);
  } catch (const std::exception& e) {
    state.SkipWithError(e.what());
    return;
  }
  FloorPasses floor;
  std::int64_t frame = 0;
  std::string error;
  auto next_time = [&frame] {
    return kFirstFrameTime + static_cast<A_long>(frame++ % kCycleFrames) * kFrame;
  };
  for (int k = 0; k < 6; ++k) {
    if (RenderOne(*host, next_time(), true, 16, error) < 0) {
      state.SkipWithError(error.c_str());
      return;
    }
  }
  std::vector<double> frames, floors;
  for (auto _ : state) {
    auto start = std::chrono::steady_clock::now();
    if (RenderOne(*host, next_time(), true, 16, error) < 0) {
      state.SkipWithError(error.c_str());
      return;
    }
    frames.push_back(SecondsSince(start));
    start = std::chrono::steady_clock::now();
    floor.Run(*host, true);
    floors.push_back(SecondsSince(start));
  }
  std::vector<double> ratios(frames.size());
  for (std::size_t k = 0; k < frames.size(); ++k) ratios[k] = frames[k] / floors[k];
  state.counters["x_kernel_floor"] = Median(ratios);
  state.counters["ms_frame"] = Median(frames) * 1e3;
  state.counters["ms_floor"] = Median(floors) * 1e3;
  state.SetLabel(cache ? "warm (layer cache on)" : "cold (every sample rendered)");
}
BENCHMARK(BM_FrameKernelFloor)
    ->ArgName("cache")
    ->Arg(1)
    ->Arg(0)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
}  // namespace

int main(int argc, char** argv) {
  try {
    (void)quillstreak::bench::TheModule();
    if (argc == 2 && std::strncmp(argv[1], "--qs-child=", 11) == 0) {
      const std::string what = argv[1] + 11;
      return quillstreak::bench::RunMeasurementChild(what);
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "qs_bench_frame: %s\n", e.what());
    return 1;
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
