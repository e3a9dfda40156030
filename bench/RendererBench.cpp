// The command-line renderer end to end: the built-in demo scaled to 1920x1080 (24 fps, 48
// frames), rendered through RunRenderer with every frame written as a PNG file to a temporary
// folder, as a user runs it; and the PNG settings measured on frames of that render.
//
// BM_Renderer1080p runs, in every iteration and on the same files, the render on one core and on
// two (the process pinned to that many CPUs, --threads the same), and the same frames rendered
// without writing anything (RenderSession alone) on both. Counters (medians over iterations):
//   x_realtime         frames per second on two cores / the scene's 24 fps
//   x_realtime_1core   the same on one core
//   x_two_cores        one-core wall time / two-core wall time
//   png_share          the part of the two-core wall time that writing the files adds:
//                      1 - (render alone) / (render with files)
//   png_share_1core    the same on one core
//
// BM_PngSettings encodes eight frames of the render (the frame converted row by row to RGB, as
// the renderer writes it) with one zlib level, row filter and strategy, on one thread:
// ms_per_frame and KB_per_frame; BM_PngCompression the same with the renderer's two choices.
#include <benchmark/benchmark.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "ScratchFolder.h"
#include "Stats.h"
#include "renderer/FrameImage.h"
#include "renderer/Png.h"
#include "renderer/RenderSession.h"
#include "renderer/Renderer.h"
#include "renderer/SceneFile.h"

#if defined(__linux__)
#include <sched.h>
#include <unistd.h>
#endif

namespace {

namespace fs = std::filesystem;
using quillstreak::renderer::PngFilter;
using quillstreak::renderer::PngSettings;
using quillstreak::renderer::PngStrategy;
using Clock = std::chrono::steady_clock;
using quillstreak::bench::Median;
using quillstreak::bench::SecondsSince;

constexpr double kSceneFps = 24;
constexpr int kFrames = 48;

// A folder of its own in the temporary folder, removed when the program ends.
struct Workspace : quillstreak::bench::ScratchFolder {
  fs::path scene;
  Workspace() : ScratchFolder("qs_bench_renderer_") {
    fs::create_directories(dir / "frames");
    scene = dir / "demo1080.json";
    std::ofstream(scene) << DemoAt1080p();
  }

  // The built-in demo at twice its size: composition, layer sizes and positions doubled.
  static std::string DemoAt1080p() {
    nlohmann::json j = nlohmann::json::parse(quillstreak::renderer::DemoSceneText());
    j["composition"]["width"] = j["composition"]["width"].get<int>() * 2;
    j["composition"]["height"] = j["composition"]["height"].get<int>() * 2;
    for (auto& layer : j["layers"]) {
      layer["source"]["width"] = layer["source"]["width"].get<int>() * 2;
      layer["source"]["height"] = layer["source"]["height"].get<int>() * 2;
      for (auto& key : layer["transform"]["position"]["keyframes"])
        for (auto& v : key["value"]) v = v.get<double>() * 2;
    }
    return j.dump(2);
  }
};

Workspace& Space() {
  static Workspace space;
  return space;
}

// Pins this thread, and the threads it starts from now on, to the first `cores` CPUs it may
// use; the destructor restores the CPUs it had. ok() is false where that cannot be done.
class CorePin {
 public:
  explicit CorePin(unsigned cores) {
#if defined(__linux__)
    CPU_ZERO(&saved_);
    if (sched_getaffinity(0, sizeof saved_, &saved_) != 0) return;
    cpu_set_t want;
    CPU_ZERO(&want);
    unsigned n = 0;
    for (int cpu = 0; cpu < CPU_SETSIZE && n < cores; ++cpu) {
      if (CPU_ISSET(cpu, &saved_)) {
        CPU_SET(cpu, &want);
        ++n;
      }
    }
    ok_ = n == cores && sched_setaffinity(0, sizeof want, &want) == 0;
#else
    (void)cores;
#endif
  }
  ~CorePin() {
#if defined(__linux__)
    if (ok_) sched_setaffinity(0, sizeof saved_, &saved_);
#endif
  }
  CorePin(const CorePin&) = delete;
  CorePin& operator=(const CorePin&) = delete;
  bool ok() const { return ok_; }

 private:
  bool ok_ = false;
#if defined(__linux__)
  cpu_set_t saved_;
#endif
};

// The whole render with files written, on `cores` CPUs; seconds, or < 0 with `error` set.
double TimeRender(unsigned cores, std::string& error) {
  const CorePin pin(cores);
  if (!pin.ok()) {
    error = "cannot pin the process to " + std::to_string(cores) + " CPUs";
    return -1;
  }
  const std::string threads = std::to_string(cores);
  const std::string scene = Space().scene.string();
  const std::string out = (Space().dir / "frames").string();
  const char* argv[] = {"quillstreak-render", scene.c_str(), "--out",     out.c_str(),
                        "--overwrite",        "-q",          "--threads", threads.c_str(),
                        "--plugin",           QS_MODULE_PATH};
  std::ostringstream sink, messages;
  const Clock::time_point start = Clock::now();
  const int code = quillstreak::renderer::RunRenderer(static_cast<int>(std::size(argv)), argv, sink,
                                                      messages, false);
  const double seconds = SecondsSince(start);
  if (code != 0) {
    error = "the renderer failed: " + messages.str();
    return -1;
  }
  return seconds;
}

// The same frames rendered as the renderer renders them, nothing converted or written.
double TimeRenderAlone(unsigned cores, std::string& error) {
  const CorePin pin(cores);
  if (!pin.ok()) {
    error = "cannot pin the process to " + std::to_string(cores) + " CPUs";
    return -1;
  }
  try {
    const Clock::time_point start = Clock::now();
    quillstreak::renderer::RenderSession session(QS_MODULE_PATH, cores);
    const quillstreak::renderer::SceneFile scene =
        quillstreak::renderer::LoadSceneFile(Space().scene.string(), session.catalog());
    session.Prepare(scene, 1);
    for (long f = 0; f < kFrames; ++f) benchmark::DoNotOptimize(session.Render(f, false));
    return SecondsSince(start);
  } catch (const std::exception& e) {
    error = e.what();
    return -1;
  }
}

void BM_Renderer1080p(benchmark::State& state) {
  std::vector<double> one, two, aloneOne, aloneTwo, speedUp, share, shareOne;
  std::string error;
  for (auto _ : state) {
    const double t1 = TimeRender(1, error);
    const double t2 = t1 < 0 ? -1 : TimeRender(2, error);
    const double a1 = t2 < 0 ? -1 : TimeRenderAlone(1, error);
    const double a2 = a1 < 0 ? -1 : TimeRenderAlone(2, error);
    if (a2 < 0) {
      state.SkipWithError(error.c_str());
      return;
    }
    one.push_back(t1);
    two.push_back(t2);
    aloneOne.push_back(a1);
    aloneTwo.push_back(a2);
    speedUp.push_back(t1 / t2);
    share.push_back(1 - a2 / t2);
    shareOne.push_back(1 - a1 / t1);
  }
  state.counters["x_realtime"] = kFrames / Median(two) / kSceneFps;
  state.counters["x_realtime_1core"] = kFrames / Median(one) / kSceneFps;
  state.counters["x_two_cores"] = Median(speedUp);
  state.counters["png_share"] = Median(share);
  state.counters["png_share_1core"] = Median(shareOne);
  state.counters["ms_frame_2cores"] = Median(two) * 1000 / kFrames;
  state.counters["ms_frame_1core"] = Median(one) * 1000 / kFrames;
  state.counters["ms_render_alone_2cores"] = Median(aloneTwo) * 1000 / kFrames;
  state.counters["ms_render_alone_1core"] = Median(aloneOne) * 1000 / kFrames;
}
BENCHMARK(BM_Renderer1080p)->Iterations(3)->UseRealTime()->Unit(benchmark::kSecond);

// Eight frames of the render, spread over it, as the host rendered them.
const std::vector<quillstreak::host::World>& DemoFrames(PF_Pixel& background) {
  static PF_Pixel bg{};
  static const std::vector<quillstreak::host::World> frames = [] {
    quillstreak::renderer::RenderSession session(QS_MODULE_PATH, 0);
    const quillstreak::renderer::SceneFile scene =
        quillstreak::renderer::LoadSceneFile(Space().scene.string(), session.catalog());
    session.Prepare(scene, 1);
    bg = session.background();
    std::vector<quillstreak::host::World> out;
    for (long f = 3; f < kFrames; f += kFrames / 8) out.push_back(session.Render(f, false).frame);
    return out;
  }();
  background = bg;
  return frames;
}

// Writes the demo frames with `tries` in every iteration; ms_per_frame and KB_per_frame.
void EncodeFrames(benchmark::State& state, const std::vector<PngSettings>& tries) {
  PF_Pixel background{};
  const auto& frames = DemoFrames(background);
  const std::string path = (Space().dir / "settings.png").string();
  quillstreak::renderer::PngBuffers buffers;
  double bytes = 0;
  std::int64_t written = 0;
  const Clock::time_point start = Clock::now();
  for (auto _ : state) {
    for (const quillstreak::host::World& frame : frames) {
      quillstreak::renderer::WritePngRows(
          path, frame.width(), frame.height(), false, tries,
          [&](int y, std::uint8_t* out) {
            quillstreak::renderer::FrameRowToRgb(frame.row(y), frame.width(), background, out);
          },
          buffers);
      bytes += static_cast<double>(fs::file_size(path));
      ++written;
    }
  }
  state.counters["ms_per_frame"] = SecondsSince(start) * 1000 / static_cast<double>(written);
  state.counters["KB_per_frame"] = bytes / 1000 / static_cast<double>(written);
}

void BM_PngSettings(benchmark::State& state) {
  PngSettings settings;
  settings.level = static_cast<int>(state.range(0));
  settings.filter = static_cast<PngFilter>(state.range(1));
  settings.strategy = static_cast<PngStrategy>(state.range(2));
  EncodeFrames(state, {settings});
}

// The renderer's two choices: 0 = --png-compression fast, 1 = small.
void BM_PngCompression(benchmark::State& state) {
  EncodeFrames(state, quillstreak::renderer::SettingsFor(
                          state.range(0) == 0 ? quillstreak::renderer::PngCompression::Fast
                                              : quillstreak::renderer::PngCompression::Small));
}
BENCHMARK(BM_PngCompression)
    ->ArgName("small")
    ->DenseRange(0, 1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

constexpr int kNone = static_cast<int>(PngFilter::None);
constexpr int kSub = static_cast<int>(PngFilter::Sub);
constexpr int kUp = static_cast<int>(PngFilter::Up);
constexpr int kPaeth = static_cast<int>(PngFilter::Paeth);
constexpr int kAdaptive = static_cast<int>(PngFilter::Adaptive);
constexpr int kDefault = static_cast<int>(PngStrategy::Default);
constexpr int kRle = static_cast<int>(PngStrategy::Rle);
constexpr int kFiltered = static_cast<int>(PngStrategy::Filtered);

void PngCases(benchmark::internal::Benchmark* b) {
  for (int filter : {kNone, kSub, kUp, kPaeth, kAdaptive}) {
    for (int level : {1, 3, 6, 9}) b->Args({level, filter, kDefault});
    b->Args({1, filter, kRle});  // zlib ignores the level with runs only (above 0)
  }
  b->Args({6, kAdaptive, kFiltered});  // libpng's own default
  b->Args({9, kAdaptive, kFiltered});
}
BENCHMARK(BM_PngSettings)
    ->ArgNames({"level", "filter", "strategy"})
    ->Apply(PngCases)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
