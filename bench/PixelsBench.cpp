// The substitute host's pixel services on 1920x1080 worlds, single-threaded (threads:1) and on
// all cores (threads:0): iterate with the effect's two kernels, in-front transfer, fill, world
// copy and layer rendering. Bytes moved count every byte read plus every byte written.
#include <benchmark/benchmark.h>

#include <cstdint>

#include "Bandwidth.h"
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

// A 1280x720 image layer at a fractional position (bilinear resampling on every pixel) into a
// world of its bounding box: reads the source, writes the box.
void BM_RenderLayerImage(benchmark::State& state) {
  quillstreak::host::LayerSource src;
  src.kind = quillstreak::host::LayerSource::Kind::Image;
  src.width = 1280;
  src.height = 720;
  src.pixels.resize(static_cast<std::size_t>(src.width) * src.height);
  for (std::size_t i = 0; i < src.pixels.size(); ++i) {
    src.pixels[i] = PF_Pixel{static_cast<A_u_char>(128 + (i & 127)), static_cast<A_u_char>(i),
                             static_cast<A_u_char>(i >> 3), 90};
  }
  quillstreak::host::TransformValues xf;
  xf.anchor[0] = 640;
  xf.anchor[1] = 360;
  xf.position[0] = 960.25;
  xf.position[1] = 540.5;
  const PF_LRect box = quillstreak::host::LayerBounds(src, xf, 1.0, 1.0);
  quillstreak::host::World out(box.right - box.left, box.bottom - box.top, box.left, box.top);
  const double pixels = static_cast<double>(out.width()) * out.height();
  quillstreak::bench::BoundCounter bound(Threads(state) != 1);
  for (auto _ : state) {
    quillstreak::host::RenderLayer(src, xf, 1.0, 1.0, out, Threads(state));
    benchmark::ClobberMemory();
    bound.Add(2 * 4 * pixels, pixels);
  }
  bound.Report(state);
}

// A 1280x720 rectangle layer, likewise (coverage instead of image taps).
void BM_RenderLayerRectangle(benchmark::State& state) {
  quillstreak::host::LayerSource src;
  src.kind = quillstreak::host::LayerSource::Kind::Rectangle;
  src.width = 1280;
  src.height = 720;
  src.color = PF_Pixel{255, 40, 160, 220};
  quillstreak::host::TransformValues xf;
  xf.anchor[0] = 640;
  xf.anchor[1] = 360;
  xf.position[0] = 960.25;
  xf.position[1] = 540.5;
  const PF_LRect box = quillstreak::host::LayerBounds(src, xf, 1.0, 1.0);
  quillstreak::host::World out(box.right - box.left, box.bottom - box.top, box.left, box.top);
  const double pixels = static_cast<double>(out.width()) * out.height();
  quillstreak::bench::BoundCounter bound(Threads(state) != 1);
  for (auto _ : state) {
    quillstreak::host::RenderLayer(src, xf, 1.0, 1.0, out, Threads(state));
    benchmark::ClobberMemory();
    bound.Add(4 * pixels, pixels);
  }
  bound.Report(state);
}

BENCHMARK(BM_IterateColorFill)->ArgName("threads")->Arg(1)->Arg(0)->UseRealTime();
BENCHMARK(BM_IterateOpacity)->ArgName("threads")->Arg(1)->Arg(0)->UseRealTime();
BENCHMARK(BM_TransferInFront)->ArgName("threads")->Arg(1)->Arg(0)->UseRealTime();
BENCHMARK(BM_FillWorld)->UseRealTime();
BENCHMARK(BM_WorldCopy)->UseRealTime();
BENCHMARK(BM_RenderLayerImage)->ArgName("threads")->Arg(1)->Arg(0)->UseRealTime();
BENCHMARK(BM_RenderLayerRectangle)->ArgName("threads")->Arg(1)->Arg(0)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
