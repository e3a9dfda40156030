// Memory of whole frames, measured in child processes of qs_bench_frame: the allocator keeping
// its pages against its default, the peak of a 48-frame render, and a layer larger than the world
// budget.
#include <benchmark/benchmark.h>

#include <malloc.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "FrameSetup.h"
#include "Stats.h"
#include "params/ParamIndex.h"

namespace quillstreak::bench {

namespace {

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

}  // namespace

int RunMeasurementChild(const std::string& what) {
  return what == "huge" ? HugeChild() : FrameChild(what);
}

}  // namespace quillstreak::bench
