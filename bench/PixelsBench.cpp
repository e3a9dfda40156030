// The substitute host's pixel services on 1920x1080 worlds, single-threaded (threads:1) and on
// all cores (threads:0): iterate with the effect's two kernels, in-front transfer, fill, world
// copy and layer rendering. Bytes moved count every byte read plus every byte written.
// The paired cases time a pass and its baseline back to back on the same data in every iteration
// and report the median of the ratios: each kernel against a kernel that only copies its
// pixel, layer rendering against a plain fixed-point 2x2 loop, and iterate on two threads, one
// of them slowed down, against one thread.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <thread>
#include <utility>
#include <vector>

#include "Bandwidth.h"
#include "Stats.h"
#include "host/pixels/Pixels.h"
#include "render/Kernels.h"

namespace {

constexpr A_long kWidth = 1920;
constexpr A_long kHeight = 1080;
constexpr double kPixels = static_cast<double>(kWidth) * kHeight;
constexpr double kBytes = kPixels * 4;

// A straight ARGB picture with every alpha from 0 to 255 across it.
quillstreak::host::World Pattern(A_long width, A_long height) {
  quillstreak::host::World w(width, height);
  for (A_long y = 0; y < height; ++y) {
    PF_Pixel* row = w.row(y);
    for (A_long x = 0; x < width; ++x) {
      const auto a = static_cast<A_u_char>((x + y) & 255);
      row[x] = PF_Pixel{a, static_cast<A_u_char>(x * 3), static_cast<A_u_char>(y * 5), 200};
    }
  }
  return w;
}

unsigned Threads(const benchmark::State& state) { return static_cast<unsigned>(state.range(0)); }

// Per-iteration times of a case and of its baseline, taken alternately.
class PairedTimes {
 public:
  template <typename Pass>
  void TimeCase(Pass&& pass) {
    case_.push_back(Seconds(pass));
  }
  template <typename Pass>
  void TimeBaseline(Pass&& pass) {
    baseline_.push_back(Seconds(pass));
  }
  /// Sets `ratio_name` = the median of the iterations' case / baseline ratios (each pair ran
  /// back to back, so that a slower or faster phase of the machine affects both), and the median
  /// times in ms.
  void Report(benchmark::State& state, const char* ratio_name) {
    const std::size_t n = std::min(case_.size(), baseline_.size());
    if (n == 0) return;
    std::vector<double> ratios(n);
    for (std::size_t k = 0; k < n; ++k) ratios[k] = case_[k] / baseline_[k];
    state.counters[ratio_name] = benchmark::Counter(quillstreak::bench::Median(ratios));
    state.counters["ms_case"] = benchmark::Counter(quillstreak::bench::Median(case_) * 1e3);
    state.counters["ms_baseline"] = benchmark::Counter(quillstreak::bench::Median(baseline_) * 1e3);
  }

 private:
  template <typename Pass>
  static double Seconds(Pass&& pass) {
    const auto start = std::chrono::steady_clock::now();
    pass();
    benchmark::ClobberMemory();
    return quillstreak::bench::SecondsSince(start);
  }
  std::vector<double> case_, baseline_;
};

// The floor of a pass through iterate: a kernel that copies its pixel and does nothing else.
PF_Err CopyKernel(void*, A_long, A_long, PF_Pixel* in, PF_Pixel* out) {
  *out = *in;
  return PF_Err_NONE;
}

// The kernels as the effect runs them: one world as source and destination.
void IterateKernel(benchmark::State& state, PF_IteratePixel8Func kernel) {
  quillstreak::host::World world = Pattern(kWidth, kHeight);
  quillstreak::KernelRefcon refcon{PF_Pixel{0, 10, 20, 30}, 0.999};
  quillstreak::bench::BoundCounter bound(Threads(state) != 1);
  for (auto _ : state) {
    const PF_Err err = quillstreak::host::Iterate8(&world.def(), &world.def(), nullptr, &refcon,
                                                   kernel, Threads(state));
    if (err != PF_Err_NONE) {
      state.SkipWithError("iterate failed");
      break;
    }
    benchmark::ClobberMemory();
    bound.Add(2 * kBytes, kPixels);
  }
  bound.Report(state);
}

void BM_IterateColorFill(benchmark::State& state) {
  IterateKernel(state, quillstreak::ColorFillKernel);
}
void BM_IterateOpacity(benchmark::State& state) {
  IterateKernel(state, quillstreak::OpacityKernel);
}

// Each kernel pass against the copy-only pass through the same iterate, on the same world:
// x_copy_kernel. kernel:0 ColorFillKernel, kernel:1 OpacityKernel (at 99.9 %).
void BM_KernelVsCopy(benchmark::State& state) {
  const PF_IteratePixel8Func kernel =
      state.range(0) == 0 ? quillstreak::ColorFillKernel : quillstreak::OpacityKernel;
  const unsigned threads = static_cast<unsigned>(state.range(1));
  quillstreak::host::World world = Pattern(kWidth, kHeight);
  quillstreak::KernelRefcon refcon{PF_Pixel{0, 10, 20, 30}, 0.999};
  PairedTimes times;
  for (auto _ : state) {
    times.TimeCase([&] {
      quillstreak::host::Iterate8(&world.def(), &world.def(), nullptr, &refcon, kernel, threads);
    });
    times.TimeBaseline([&] {
      quillstreak::host::Iterate8(&world.def(), &world.def(), nullptr, &refcon, CopyKernel,
                                  threads);
    });
  }
  times.Report(state, "x_copy_kernel");
}

// A kernel of a fixed amount of arithmetic per pixel, done twice as often off the calling
// thread: the pool's other thread progresses at half speed, as on a core shared with another
// program, whatever the system's scheduler does with the machine's real cores.
struct SlowRefcon {
  std::thread::id caller;
};
PF_Err HalfSpeedOffCaller(void* refcon, A_long, A_long, PF_Pixel* in, PF_Pixel* out) {
  const int rounds =
      std::this_thread::get_id() == static_cast<SlowRefcon*>(refcon)->caller ? 32 : 64;
  std::uint32_t v = in->red;
  for (int k = 0; k < rounds; ++k) v = v * 1664525u + 1013904223u;  // a dependent chain
  out->red = static_cast<A_u_char>(v >> 24);
  return PF_Err_NONE;
}

// iterate on two threads, the second at half speed, against one thread: x_one_thread. With the
// rows split in two fixed halves the call waits for the slow thread's half and takes as long as
// one thread alone (1.0); chunks claimed as threads get to them give the slow thread a third of
// the rows (2/3).
void BM_IterateSlowThread(benchmark::State& state) {
  quillstreak::host::World world = Pattern(kWidth, kHeight);
  SlowRefcon refcon{std::this_thread::get_id()};
  PairedTimes times;
  for (auto _ : state) {
    times.TimeCase([&] {
      quillstreak::host::Iterate8(&world.def(), &world.def(), nullptr, &refcon, HalfSpeedOffCaller,
                                  2);
    });
    times.TimeBaseline([&] {
      quillstreak::host::Iterate8(&world.def(), &world.def(), nullptr, &refcon, HalfSpeedOffCaller,
                                  1);
    });
  }
  times.Report(state, "x_one_thread");
}

// 1920x1080 in front of 1920x1080: reads both, writes the destination.
void BM_TransferInFront(benchmark::State& state) {
  const quillstreak::host::World src = Pattern(kWidth, kHeight);
  quillstreak::host::World dst = Pattern(kWidth, kHeight);
  const PF_Rect whole{0, 0, kWidth, kHeight};
  quillstreak::bench::BoundCounter bound(Threads(state) != 1);
  for (auto _ : state) {
    quillstreak::host::TransferInFront(src.def(), whole, 0, 0, 255, dst.def(), Threads(state));
    benchmark::ClobberMemory();
    bound.Add(3 * kBytes, kPixels);
  }
  bound.Report(state);
}

// The output clear: writes only.
void BM_FillWorld(benchmark::State& state) {
  quillstreak::host::World world = Pattern(kWidth, kHeight);
  quillstreak::bench::BoundCounter bound(false);
  for (auto _ : state) {
    quillstreak::host::FillWorld(world.def(), nullptr, nullptr);
    benchmark::ClobberMemory();
    bound.Add(kBytes, kPixels);
  }
  bound.Report(state);
}

// A copy of a world into an existing one of the same size (what a cached checkout costs).
void BM_WorldCopy(benchmark::State& state) {
  const quillstreak::host::World src = Pattern(kWidth, kHeight);
  quillstreak::host::World dst(kWidth, kHeight);
  quillstreak::bench::BoundCounter bound(false);
  for (auto _ : state) {
    dst = src;
    benchmark::ClobberMemory();
    bound.Add(2 * kBytes, kPixels);
  }
  bound.Report(state);
}

// A 1280x720 image with every alpha from 128 to 255, so every pixel takes the alpha-weighted path.
quillstreak::host::LayerSource ImageLayer() {
  quillstreak::host::LayerSource src;
  src.kind = quillstreak::host::LayerSource::Kind::Image;
  src.width = 1280;
  src.height = 720;
  src.pixels.resize(static_cast<std::size_t>(src.width) * src.height);
  for (std::size_t i = 0; i < src.pixels.size(); ++i) {
    src.pixels[i] = PF_Pixel{static_cast<A_u_char>(128 + (i & 127)), static_cast<A_u_char>(i),
                             static_cast<A_u_char>(i >> 3), 90};
  }
  return src;
}

// The layer-rendering cases: a 1280x720 layer anchored at its centre, placed at a fractional
// position of the 1920x1080 frame and turned `rotation` degrees, and a world that covers it.
struct LayerCase {
  quillstreak::host::LayerSource src;
  quillstreak::host::TransformValues xf;
  quillstreak::host::World out;

  explicit LayerCase(quillstreak::host::LayerSource source, double rotation = 0)
      : src(std::move(source)), xf(Placed(rotation)), out(Bounds(src, xf)) {}
  double Pixels() const { return static_cast<double>(out.width()) * out.height(); }

 private:
  static quillstreak::host::TransformValues Placed(double rotation) {
    quillstreak::host::TransformValues xf;
    xf.anchor[0] = 640;
    xf.anchor[1] = 360;
    xf.position[0] = 960.25;
    xf.position[1] = 540.5;
    xf.rotateZ = rotation;
    return xf;
  }
  static quillstreak::host::World Bounds(const quillstreak::host::LayerSource& src,
                                         const quillstreak::host::TransformValues& xf) {
    const PF_LRect box = quillstreak::host::LayerBounds(src, xf, 1.0, 1.0);
    return quillstreak::host::World(box.right - box.left, box.bottom - box.top, box.left, box.top);
  }
};

// A 1280x720 image layer at a fractional position (bilinear resampling on every pixel) into a
// world of its bounding box: reads the source, writes the box.
void BM_RenderLayerImage(benchmark::State& state) {
  LayerCase layer(ImageLayer());
  const double pixels = layer.Pixels();
  quillstreak::bench::BoundCounter bound(Threads(state) != 1);
  for (auto _ : state) {
    quillstreak::host::RenderLayer(layer.src, layer.xf, 1.0, 1.0, layer.out, Threads(state));
    benchmark::ClobberMemory();
    bound.Add(2 * 4 * pixels, pixels);
  }
  bound.Report(state);
}

// A 1280x720 rectangle layer, likewise (coverage instead of image taps).
void BM_RenderLayerRectangle(benchmark::State& state) {
  quillstreak::host::LayerSource rect;
  rect.kind = quillstreak::host::LayerSource::Kind::Rectangle;
  rect.width = 1280;
  rect.height = 720;
  rect.color = PF_Pixel{255, 40, 160, 220};
  LayerCase layer(std::move(rect));
  const double pixels = layer.Pixels();
  quillstreak::bench::BoundCounter bound(Threads(state) != 1);
  for (auto _ : state) {
    quillstreak::host::RenderLayer(layer.src, layer.xf, 1.0, 1.0, layer.out, Threads(state));
    benchmark::ClobberMemory();
    bound.Add(4 * pixels, pixels);
  }
  bound.Report(state);
}

// A plain fixed-point 2x2 loop: every output byte from the same byte of four neighbouring texels
// with 16-bit weights, no alpha weighting, no division: the floor of bilinear resampling.
void Plain2x2(const quillstreak::host::World& src, quillstreak::host::World& out, unsigned fx,
              unsigned fy) {
  const unsigned w00 = (256 - fx) * (256 - fy), w10 = fx * (256 - fy), w01 = (256 - fx) * fy,
                 w11 = fx * fy;
  const std::ptrdiff_t stride = src.def().rowbytes;
  const A_long height = out.height(), bytes = 4 * out.width();
  for (A_long y = 0; y < height; ++y) {
    const auto* r0 = reinterpret_cast<const std::uint8_t*>(src.row(y));
    const std::uint8_t* r1 = r0 + stride;
    auto* o = reinterpret_cast<std::uint8_t*>(out.row(y));
    for (A_long i = 0; i < bytes; ++i) {
      o[i] = static_cast<std::uint8_t>(
          (r0[i] * w00 + r0[i + 4] * w10 + r1[i] * w01 + r1[i + 4] * w11 + 32768) >> 16);
    }
  }
}

// Layer rendering of a 1280x720 image (every alpha from 128 to 255, so every pixel takes the
// alpha-weighted path), one thread, against the plain 2x2 loop over as many output pixels:
// x_plain_2x2. rotation:0 a translation to a fractional position, rotation:10 turned 10 degrees.
void BM_RenderLayerVsPlain(benchmark::State& state) {
  LayerCase layer(ImageLayer(), static_cast<double>(state.range(0)));
  const quillstreak::host::World plain_src = Pattern(layer.out.width() + 1, layer.out.height() + 1);
  quillstreak::host::World plain_out(layer.out.width(), layer.out.height());
  PairedTimes times;
  for (auto _ : state) {
    times.TimeCase(
        [&] { quillstreak::host::RenderLayer(layer.src, layer.xf, 1.0, 1.0, layer.out, 1); });
    times.TimeBaseline([&] { Plain2x2(plain_src, plain_out, 64, 128); });
  }
  times.Report(state, "x_plain_2x2");
  state.counters["ns_per_pixel"] =
      benchmark::Counter(state.counters["ms_case"] * 1e6 / layer.Pixels());
}

BENCHMARK(BM_IterateColorFill)->ArgName("threads")->Arg(1)->Arg(0)->UseRealTime();
BENCHMARK(BM_IterateOpacity)->ArgName("threads")->Arg(1)->Arg(0)->UseRealTime();
BENCHMARK(BM_TransferInFront)->ArgName("threads")->Arg(1)->Arg(0)->UseRealTime();
BENCHMARK(BM_FillWorld)->UseRealTime();
BENCHMARK(BM_WorldCopy)->UseRealTime();
BENCHMARK(BM_RenderLayerImage)->ArgName("threads")->Arg(1)->Arg(0)->UseRealTime();
BENCHMARK(BM_RenderLayerRectangle)->ArgName("threads")->Arg(1)->Arg(0)->UseRealTime();
BENCHMARK(BM_KernelVsCopy)
    ->ArgNames({"kernel", "threads"})
    ->ArgsProduct({{0, 1}, {1, 0}})
    ->UseRealTime();
BENCHMARK(BM_IterateSlowThread)->UseRealTime();
BENCHMARK(BM_RenderLayerVsPlain)->ArgName("rotation")->Arg(0)->Arg(10)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
