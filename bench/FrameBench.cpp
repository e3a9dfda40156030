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

#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "Bandwidth.h"
#include "host/Host.h"
#include "host/Module.h"
#include "host/pixels/Pixels.h"
#include "params/ParamIndex.h"

#if QS_BENCH_DEMO_SCENE
#include "renderer/ParamCatalog.h"
#include "renderer/RenderSession.h"
#include "renderer/SceneFile.h"
#endif

namespace {

using quillstreak::host::Host;

constexpr A_long kFrame = 100;            // time units per frame
constexpr A_long kFirstFrameTime = 2000;  // leaves room for the longest window before it
constexpr A_long kCycleFrames = 1900;     // frames before the time wraps to the start again

quillstreak::host::Module& TheModule() {
  static quillstreak::host::Module module(quillstreak::host::DefaultModulePath());
  return module;
}

double RectBytes(const PF_LRect& r) {
  if (r.left >= r.right || r.top >= r.bottom) return 0;
  return 4.0 * (static_cast<double>(r.right) - r.left) * (static_cast<double>(r.bottom) - r.top);
}

// Straight ARGB picture: opaque with a soft alpha border and a colour gradient.
quillstreak::host::LayerSource ImageSource(A_long width, A_long height) {
  quillstreak::host::LayerSource src;
  src.kind = quillstreak::host::LayerSource::Kind::Image;
  src.width = width;
  src.height = height;
  src.pixels.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
  for (A_long y = 0; y < height; ++y) {
    for (A_long x = 0; x < width; ++x) {
      const A_long edge = std::min(std::min(x, width - 1 - x), std::min(y, height - 1 - y));
      const auto a = static_cast<A_u_char>(edge >= 16 ? 255 : 16 * edge);
      src.pixels[static_cast<std::size_t>(y) * width + x] = PF_Pixel{
          a, static_cast<A_u_char>(x * 255 / width), static_cast<A_u_char>(y * 255 / height), 160};
    }
  }
  return src;
}

void SetUpSlidingLayer(Host& host) {
  quillstreak::host::Composition& comp = host.scene().comp();
  comp.width = 1920;
  comp.height = 1080;
  comp.timeScale = 2400;
  comp.frameDuration = kFrame;
  comp.duration = (kCycleFrames + 100) * kFrame + kFirstFrameTime;
  comp.layers.clear();
  quillstreak::host::Layer layer;
  layer.id = 1;
  layer.name = "Slide";
  layer.source = ImageSource(1280, 720);
  layer.transform.anchor.SetConstant({640.0, 360.0, 0.0, 0.0});
  // Back and forth between x = 640 and x = 1280, 2929 units per leg.
  for (std::int32_t k = 0; k * 2929 <= comp.duration + 2929; ++k) {
    layer.transform.position.AddKeyframe(k * 2929, {k % 2 == 0 ? 640.0 : 1280.0, 540.0, 0.0, 0.0});
  }
  comp.layers.push_back(std::move(layer));
  host.scene().SetEffectLayer(1);
}

// A host for the module, `setUpScene` (the composition and the effect's layer) done before
// global and parameter setup. Throws std::runtime_error when a setup command fails.
std::unique_ptr<Host> SetUpHost(const std::function<void(Host&)>& setUpScene) {
  auto host = std::make_unique<Host>(TheModule());
  if (setUpScene) setUpScene(*host);
  if (host->GlobalSetup() != PF_Err_NONE || host->ParamsSetup() != PF_Err_NONE) {
    throw std::runtime_error("setup failed");
  }
  return host;
}

// Turns the host's layer cache on or off (a no-op for a host without one).
template <typename H>
auto SetCache(H& host, bool on, int) -> decltype(host.settings().SetLayerCache(on), void()) {
  host.settings().SetLayerCache(on);
}
template <typename H>
void SetCache(H&, bool, long) {}

struct FrameCase {
  int samples;
  bool ramp;
  int downsample;  // 1 = full, 2 = half resolution
  bool cache;
  int step;  // probe step in time units (Time Threshold at full resolution)
};

FrameCase CaseOf(const benchmark::State& state) {
  return {static_cast<int>(state.range(0)), state.range(1) != 0, static_cast<int>(state.range(2)),
          state.range(3) != 0, static_cast<int>(state.range(4))};
}

std::unique_ptr<Host> MakeFrameHost(const FrameCase& c) {
  std::unique_ptr<Host> host = SetUpHost(SetUpSlidingLayer);
  using namespace quillstreak;
  host->settings().SetDownsample(PF_RationalScale{1, static_cast<A_u_long>(c.downsample)},
                                 PF_RationalScale{1, static_cast<A_u_long>(c.downsample)});
  host->params().SetFloat(PARAM_TIME_THRESHOLD, static_cast<double>(c.step) / c.downsample);
  const double window = c.samples == 0 ? 0.0 : (c.samples - 1) * static_cast<double>(c.step);
  // shutterTicks = trunc(frame * angle / 360): a hair above the exact angle survives truncation.
  host->params().SetFloat(PARAM_SHUTTER_ANGLE, window * 360.0 / kFrame + 0.001);
  host->params().SetFloat(PARAM_MOTION_THRESHOLD, c.samples == 0 ? 20.0 : 0.0);
  host->params().SetCheckbox(PARAM_RAMP_FILL_ENABLE, c.ramp);
  host->params().SetColor(PARAM_RAMP_START_COLOR, PF_Pixel{255, 255, 200, 0});
  host->params().SetColor(PARAM_RAMP_END_COLOR, PF_Pixel{255, 0, 40, 255});
  host->params().SetFloat(PARAM_OPACITY, 100.0);
  SetCache(*host, c.cache, 0);
  return host;
}

// One frame: pre-render, render, end. Returns the bytes the effect's passes moved, or < 0 on error.
double RenderOne(Host& host, A_long time, bool ramp, int expectSamples, std::string& error) {
  host.settings().SetTime(time);
  if (host.frames().SmartPreRender() != PF_Err_NONE) {
    error = "smart pre-render failed";
    return -1;
  }
  double bytes = RectBytes(host.frames().preRenderOutput().result_rect);  // the clear
  int samples = 0;
  for (const quillstreak::host::LayerCheckout& c : host.frames().layerCheckouts()) {
    const double b = RectBytes(c.resultRect);
    bytes += 3 * b;  // in-front transfer: source read, destination read and written
    if (c.id != static_cast<A_long>(host.frames().layerCheckouts().size()) + 1) {
      ++samples;
      if (ramp) bytes += 2 * b;  // repaint in place
    }
  }
  if (samples != expectSamples) {
    error =
        "expected " + std::to_string(expectSamples) + " samples, got " + std::to_string(samples);
    return -1;
  }
  if (const PF_Err err = host.frames().SmartRender(); err != PF_Err_NONE) {
    error = "smart render failed (" + std::to_string(err) + ")";
    return -1;
  }
  host.frames().EndFrame();
  return bytes;
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

double Median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(v.size() / 2), v.end());
  return v[v.size() / 2];
}

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
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

// ---- memory: measured in child processes of this program --------------------------------------
// `qs_bench_frame --qs-child=<what>` runs one measurement in a fresh process and prints
// key=value lines; the cases below start such children and turn their lines into counters.

// Peak resident memory of this process (VmHWM), in bytes.
double PeakResident() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::atof(line.c_str() + 6) * 1024.0;
  }
  return 0;
}

// Frames of the 1080p 16-sample ramp case with the layer cache on: "frames-default" and
// "frames-kept" (the allocator told to keep its pages: no mmap for worlds, no trimming) print
// the median ms per frame; "peak48" renders 48 frames and prints the peak resident bytes.
int FrameChild(const std::string& what) {
  if (what == "frames-kept") {
    mallopt(M_MMAP_THRESHOLD, 32 << 20);  // the largest glibc accepts
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
  }
  auto host = MakeFrameHost(FrameCase{16, true, 1, true, 20});
  std::string error;
  const int frames = what == "peak48" ? 48 : 30;
  std::vector<double> times;
  for (int k = 0; k < frames; ++k) {
    const auto start = std::chrono::steady_clock::now();
    if (RenderOne(*host, kFirstFrameTime + k * kFrame, true, 16, error) < 0) {
      std::fprintf(stderr, "%s\n", error.c_str());
      return 1;
    }
    if (k >= 6) times.push_back(SecondsSince(start));
  }
  std::printf("ms_frame=%.4f\npeak_bytes=%.0f\nheld_bytes=%.0f\n", Median(times) * 1e3,
              PeakResident(), static_cast<double>(host->worlds().bytesHeld()));
  return 0;
}

// A 16000x16000 image layer (1 GB of source pixels, 1 GB a checkout) in a 1080p composition at
// the default 2 GiB budget, three frames with no samples. The effect's output covers the whole
// layer (another 1 GB), so the frame does not fit: prints the frames' error (out of memory
// expected), the peak resident bytes and those beyond the budget, and the bytes still in use
// after the frames.
int HugeChild() {
  std::unique_ptr<Host> host = SetUpHost([](Host& h) {
    SetUpSlidingLayer(h);
    quillstreak::host::Layer& layer = h.scene().comp().layers[0];
    layer.source = ImageSource(16000, 16000);
    layer.transform.anchor.SetConstant({8000.0, 8000.0, 0.0, 0.0});
  });
  using namespace quillstreak;
  host->params().SetFloat(PARAM_SHUTTER_ANGLE, 0.0);
  host->params().SetFloat(PARAM_MOTION_THRESHOLD, 20.0);
  PF_Err err = PF_Err_NONE;
  for (int k = 0; k < 3; ++k) {
    host->settings().SetTime(kFirstFrameTime + k * kFrame);
    err = host->frames().SmartPreRender();
    if (err == PF_Err_NONE) err = host->frames().SmartRender();
    host->frames().EndFrame();
  }
  const double peak = PeakResident();
  std::printf("over_budget_bytes=%.0f\npeak_bytes=%.0f\nframe_err=%d\nin_use_after=%.0f\n",
              peak - static_cast<double>(quillstreak::host::WorldPool::kDefaultBudget), peak,
              static_cast<int>(err), static_cast<double>(host->worlds().bytesInUse()));
  return 0;
}

// Runs `qs_bench_frame --qs-child=<what>` and returns its key=value lines.
std::map<std::string, double> RunChild(const std::string& what) {
  std::map<std::string, double> values;
  char self[4096] = {};
  const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) return values;
  const std::string command = std::string("'") + self + "' --qs-child=" + what;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return values;
  char line[256];
  while (std::fgets(line, sizeof line, pipe) != nullptr) {
    const char* eq = std::strchr(line, '=');
    if (eq != nullptr)
      values[std::string(line, static_cast<std::size_t>(eq - line))] = std::atof(eq + 1);
  }
  if (pclose(pipe) != 0) values.clear();
  return values;
}

// The frame with the default allocator against the frame with pages kept, one child each per
// iteration, back to back: x_pages_kept = the median of default / kept.
void BM_FrameAllocatorPagesKept(benchmark::State& state) {
  std::vector<double> ratios, plain, kept;
  for (auto _ : state) {
    const auto a = RunChild("frames-default");
    const auto b = RunChild("frames-kept");
    if (!a.count("ms_frame") || !b.count("ms_frame")) {
      state.SkipWithError("child failed");
      return;
    }
    plain.push_back(a.at("ms_frame"));
    kept.push_back(b.at("ms_frame"));
    ratios.push_back(plain.back() / kept.back());
  }
  state.counters["x_pages_kept"] = Median(ratios);
  state.counters["ms_default"] = Median(plain);
  state.counters["ms_pages_kept"] = Median(kept);
}
BENCHMARK(BM_FrameAllocatorPagesKept)->Iterations(5)->UseRealTime()->Unit(benchmark::kMillisecond);

// Runs the child once per iteration and returns its last figures; empty, with the benchmark
// marked failed, when they lack `key`.
std::map<std::string, double> RunChildFor(benchmark::State& state, const std::string& what,
                                          const char* key) {
  std::map<std::string, double> v;
  for (auto _ : state) v = RunChild(what);
  if (!v.count(key)) {
    state.SkipWithError("child failed");
    v.clear();
  }
  return v;
}

// Peak resident memory of a 48-frame 1080p 16-sample render in a fresh process.
void BM_Render48FramesPeak(benchmark::State& state) {
  const auto v = RunChildFor(state, "peak48", "peak_bytes");
  if (v.empty()) return;
  state.counters["peak_MB"] = v.at("peak_bytes") / 1e6;
  state.counters["held_MB"] = v.at("held_bytes") / 1e6;
}
BENCHMARK(BM_Render48FramesPeak)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

// Peak resident memory beyond the 2 GiB budget with a 16000x16000 layer.
void BM_HugeLayerPeak(benchmark::State& state) {
  const auto v = RunChildFor(state, "huge", "over_budget_bytes");
  if (v.empty()) return;
  state.counters["MB_over_budget"] = v.at("over_budget_bytes") / 1e6;
  state.counters["peak_MB"] = v.at("peak_bytes") / 1e6;
  state.counters["frame_err"] = v.at("frame_err");
  state.counters["MB_in_use_after"] = v.at("in_use_after") / 1e6;
}
BENCHMARK(BM_HugeLayerPeak)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

// Frames through Host::RenderFrame (pre-render, render, compositing over the background), as the
// renderer makes them, frames 0 to durationFrames - 1 cycled; x_realtime above 1 is faster than
// the scene's frame rate. The frame's conversion to a picture and the PNG file are not included.
void RenderScene(benchmark::State& state, Host& host, double fps, int frames) {
  std::int64_t frame = 0;
  double samples = 0;
  for (auto _ : state) {
    const A_long time = static_cast<A_long>(frame++ % frames) * kFrame;
    quillstreak::host::FrameResult result = host.RenderFrame(time);
    if (result.err != PF_Err_NONE) {
      state.SkipWithError("frame failed");
      break;
    }
    samples += static_cast<double>(host.frames().layerCheckouts().size()) - 1;
    benchmark::DoNotOptimize(result.frame.def().data);
  }
  const double done = static_cast<double>(state.iterations());
  state.counters["frames_per_s"] = benchmark::Counter(done, benchmark::Counter::kIsRate);
  state.counters["x_realtime"] = benchmark::Counter(done / fps, benchmark::Counter::kIsRate);
  state.counters["samples_per_frame"] = done > 0 ? samples / done : 0;
}

#if QS_BENCH_DEMO_SCENE
// Scales a stream's values (all components) by `factor`.
void ScaleStream(quillstreak::host::Stream& stream, double factor) {
  if (!stream.animated()) return;
  const std::vector<quillstreak::host::Keyframe> keys = stream.keyframes();
  for (quillstreak::host::Keyframe k : keys) {
    for (double& v : k.value) v *= factor;
    stream.AddKeyframe(k);
  }
}

// The renderer's built-in demo scene; scale 2 doubles the composition, the layers' sizes,
// positions and anchor points (the shipped demo is 960x540: scale 2 gives 1920x1080).
void BM_RendererDemo(benchmark::State& state) {
  const int scale = static_cast<int>(state.range(0));
  std::unique_ptr<Host> host;
  quillstreak::renderer::SceneFile scene;
  try {
    host = SetUpHost(nullptr);
    const quillstreak::renderer::ParamCatalog catalog(host->params().declared());
    scene = quillstreak::renderer::ParseScene(quillstreak::renderer::DemoSceneText(), "<demo>", "",
                                              catalog);
  } catch (const std::exception& e) {
    state.SkipWithError(e.what());
    return;
  }
  scene.comp.width *= scale;
  scene.comp.height *= scale;
  for (quillstreak::host::Layer& layer : scene.comp.layers) {
    if (layer.source.kind !=
        quillstreak::host::LayerSource::Kind::Image) {  // images keep their pixels
      layer.source.width *= scale;
      layer.source.height *= scale;
    }
    const quillstreak::host::StreamValue anchor =
        layer.transform.anchor.Evaluate(0, scene.comp.timeScale, scene.comp.timeScale);
    if (!layer.transform.anchor.animated()) {
      layer.transform.anchor.SetConstant({anchor[0] * scale, anchor[1] * scale, anchor[2], 0});
    }
    ScaleStream(layer.transform.anchor, scale);
    const quillstreak::host::StreamValue position =
        layer.transform.position.Evaluate(0, scene.comp.timeScale, scene.comp.timeScale);
    if (!layer.transform.position.animated()) {
      layer.transform.position.SetConstant({position[0] * scale, position[1] * scale, 0, 0});
    }
    ScaleStream(layer.transform.position, scale);
  }
  quillstreak::renderer::SetUpScene(*host, scene);
  state.SetLabel(std::to_string(scene.comp.width) + "x" + std::to_string(scene.comp.height) + ", " +
                 std::to_string(static_cast<int>(scene.fps)) + " fps");
  RenderScene(state, *host, scene.fps, std::max(1, static_cast<int>(scene.durationFrames)));
}
BENCHMARK(BM_RendererDemo)
    ->ArgName("scale")
    ->Arg(2)
    ->Arg(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
#endif

// A scene like the renderer's demo, at 1920x1080 and 24 fps: a 360 px ellipse travelling on a
// curve while it turns and scales, ramp fill on, 48 frames.
void SetUpDemoLikeScene(Host& host) {
  quillstreak::host::Composition& comp = host.scene().comp();
  comp.width = 1920;
  comp.height = 1080;
  comp.timeScale = 2400;
  comp.frameDuration = kFrame;
  comp.duration = 48 * kFrame;
  comp.background = PF_Pixel{255, 24, 24, 32};
  comp.layers.clear();
  quillstreak::host::Layer shape;
  shape.id = 1;
  shape.name = "Shape";
  shape.source.kind = quillstreak::host::LayerSource::Kind::Ellipse;
  shape.source.width = 360;
  shape.source.height = 360;
  shape.source.color = PF_Pixel{255, 255, 255, 255};
  shape.transform.anchor.SetConstant({180.0, 180.0, 0.0, 0.0});
  shape.transform.position.AddKeyframe(0, {300.0, 800.0, 0.0, 0.0},
                                       quillstreak::host::Interp::Eased);
  shape.transform.position.AddKeyframe(1600, {960.0, 250.0, 0.0, 0.0},
                                       quillstreak::host::Interp::Eased);
  shape.transform.position.AddKeyframe(3200, {1620.0, 800.0, 0.0, 0.0},
                                       quillstreak::host::Interp::Eased);
  shape.transform.position.AddKeyframe(4700, {960.0, 540.0, 0.0, 0.0});
  shape.transform.rotateZ.AddKeyframe(0, {0.0, 0.0, 0.0, 0.0});
  shape.transform.rotateZ.AddKeyframe(4700, {360.0, 0.0, 0.0, 0.0});
  shape.transform.scale.AddKeyframe(0, {60.0, 60.0, 100.0, 0.0});
  shape.transform.scale.AddKeyframe(2400, {140.0, 140.0, 100.0, 0.0});
  shape.transform.scale.AddKeyframe(4700, {80.0, 80.0, 100.0, 0.0});
  comp.layers.push_back(std::move(shape));
  host.scene().SetEffectLayer(1);
}

void BM_DemoLikeScene1080p(benchmark::State& state) {
  std::unique_ptr<Host> host;
  try {
    host = SetUpHost(SetUpDemoLikeScene);
  } catch (const std::exception& e) {
    state.SkipWithError(e.what());
    return;
  }
  using namespace quillstreak;
  host->params().SetFloat(PARAM_MOTION_THRESHOLD, 8.0);
  host->params().SetFloat(PARAM_SHUTTER_ANGLE, 1440.0);
  host->params().SetCheckbox(PARAM_RAMP_FILL_ENABLE, true);
  host->params().SetColor(PARAM_RAMP_START_COLOR, PF_Pixel{255, 30, 60, 255});
  host->params().SetColor(PARAM_RAMP_END_COLOR, PF_Pixel{255, 255, 160, 30});
  host->params().SetFloat(PARAM_OPACITY, 85.0);
  RenderScene(state, *host, 24.0, 48);
}
BENCHMARK(BM_DemoLikeScene1080p)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  try {
    (void)TheModule();
    if (argc == 2 && std::strncmp(argv[1], "--qs-child=", 11) == 0) {
      const std::string what = argv[1] + 11;
      return what == "huge" ? HugeChild() : FrameChild(what);
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
