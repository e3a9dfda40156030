// A 1080p video as the effect's layer against a still image of the same size: the scene of
// BM_VideoLayer1080p is a 1920x1080 composition of 48 frames at 24 fps whose only layer, the
// effect's, is a 1920x1080 video (48 frames of testsrc2 with alpha 3/4, QuickTime Animation, made
// by ffmpeg when the benchmark starts) moving on a curve at half size with a long trail; the
// baseline is the same scene with the video's first frame as a PNG image layer.
//
// Each render runs the render session on two threads (as the renderer does, nothing written)
// in a child process of its own, so that its peak memory is its own. Counters (medians over
// iterations):
//   x_still        wall time with the video / wall time with the still image
//   ms_frame_video, ms_frame_still
//   peak_MB_video  the child's peak resident memory with the video (ffmpeg's own apart)
//   peak_MB_still  the same with the still image
//   copies_median  trail copies per frame (the same in both)
//   decoder_starts times ffmpeg was started to decode in one render (1: no seek)
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "ScratchFolder.h"
#include "Stats.h"
#include "renderer/Process.h"
#include "renderer/RenderSession.h"
#include "renderer/SceneFile.h"
#include "renderer/VideoSource.h"

#if defined(__linux__)
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kFrames = 48;

// The scene with `source` as the layer's source.
std::string SceneWith(const std::string& source) {
  return R"({"composition": {"width": 1920, "height": 1080, "fps": 24, "duration": 48,
    "background": "#14161C"},
  "layers": [{"id": 1, "name": "Clip", "source": )" +
         source + R"(,
    "transform": {
      "scale": 50,
      "position": {"keyframes": [
        {"time": 0, "value": [480, 540]}, {"time": 12, "value": [960, 300]},
        {"time": 24, "value": [1440, 540]}, {"time": 36, "value": [960, 780]},
        {"time": 48, "value": [480, 540]}]},
      "rotation": {"keyframes": [{"time": 0, "value": 0}, {"time": 48, "value": 90}]}}}],
  "effect": {"layer": 1, "params": {"Shutter Angle": 1440, "Motion Threshold": 8,
    "Opacity": 85}}})";
}

// The video, its first frame and the two scenes, in a folder of their own; error() is non-empty
// when ffmpeg could not make them.
struct VideoSpace : quillstreak::bench::ScratchFolder {
  std::string failure;
  VideoSpace() : ScratchFolder("qs_bench_video_") {
    const std::string source = "testsrc2=s=1920x1080:r=24,format=rgba,colorchannelmixer=aa=0.75";
    if (!Run({"ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i", source, "-frames:v",
              std::to_string(kFrames), "-c:v", "qtrle", "-pix_fmt", "argb",
              (dir / "clip.mov").string()}) ||
        !Run({"ffmpeg", "-v", "error", "-y", "-i", (dir / "clip.mov").string(), "-frames:v", "1",
              "-pix_fmt", "rgba", (dir / "still.png").string()}))
      return;
    std::ofstream(dir / "video.json") << SceneWith(R"({"type": "video", "path": "clip.mov"})");
    std::ofstream(dir / "still.json") << SceneWith(R"({"type": "image", "path": "still.png"})");
  }
  bool Run(const std::vector<std::string>& args) {
    try {
      quillstreak::renderer::Process ffmpeg(args);
      if (ffmpeg.Wait() == 0) return true;
      failure = "ffmpeg failed: " + ffmpeg.Errors();
    } catch (const quillstreak::renderer::ProcessError& e) {
      failure = std::string("ffmpeg does not run: ") + e.what();
    }
    return false;
  }
};

VideoSpace& Space() {
  static VideoSpace space;
  return space;
}

struct Measure {
  double seconds = -1;
  double peakMB = 0;
  int copiesMedian = 0;
  int decoderStarts = 0;
};

// The render of the scene, in this process: copies per frame (median) and decoder starts.
void RenderScene(const std::string& scene, Measure& m) {
  quillstreak::renderer::RenderSession session(QS_MODULE_PATH, 2);
  const quillstreak::renderer::SceneFile file =
      quillstreak::renderer::LoadSceneFile(scene, session.catalog());
  session.Prepare(file, 1);
  for (long f = 0; f < kFrames; ++f) benchmark::DoNotOptimize(session.Render(f, false));
  std::vector<int> copies = session.copies();
  std::sort(copies.begin(), copies.end());
  m.copiesMedian = copies.empty() ? 0 : copies[copies.size() / 2];
  for (const auto& c : file.changing)
    if (const auto* v = dynamic_cast<const quillstreak::renderer::VideoSource*>(c.media.get()))
      m.decoderStarts = static_cast<int>(v->decoderStarts());
}

// The render in a child process (where there are processes to fork): its wall time and peak
// memory; the copies and decoder starts from a render in this process.
Measure MeasureScene(const std::string& scene, std::string& error) {
  Measure m;
  try {
    RenderScene(scene, m);
  } catch (const std::exception& e) {
    error = e.what();
    return m;
  }
#if defined(__linux__)
  const Clock::time_point start = Clock::now();
  const pid_t child = fork();
  if (child == 0) {
    Measure ignored;
    try {
      RenderScene(scene, ignored);
    } catch (...) {
      _exit(1);
    }
    _exit(0);
  }
  int status = 0;
  rusage usage{};
  if (child < 0 || wait4(child, &status, 0, &usage) != child || !WIFEXITED(status) ||
      WEXITSTATUS(status) != 0) {
    error = "the render in a child process failed";
    return m;
  }
  m.seconds = quillstreak::bench::SecondsSince(start);
  m.peakMB = static_cast<double>(usage.ru_maxrss) / 1024;  // kilobytes
#else
  const Clock::time_point start = Clock::now();
  RenderScene(scene, m);
  m.seconds = quillstreak::bench::SecondsSince(start);
#endif
  return m;
}

void BM_VideoLayer1080p(benchmark::State& state) {
  if (!Space().failure.empty()) {
    state.SkipWithError(Space().failure.c_str());
    return;
  }
  std::vector<double> ratio, video, still, peakVideo, peakStill;
  Measure last;
  std::string error;
  for (auto _ : state) {
    const Measure v = MeasureScene((Space().dir / "video.json").string(), error);
    const Measure s =
        v.seconds < 0 ? v : MeasureScene((Space().dir / "still.json").string(), error);
    if (s.seconds < 0) {
      state.SkipWithError(error.c_str());
      return;
    }
    ratio.push_back(v.seconds / s.seconds);
    video.push_back(v.seconds);
    still.push_back(s.seconds);
    peakVideo.push_back(v.peakMB);
    peakStill.push_back(s.peakMB);
    last = v;
  }
  state.counters["x_still"] = quillstreak::bench::Median(ratio);
  state.counters["ms_frame_video"] = quillstreak::bench::Median(video) * 1000 / kFrames;
  state.counters["ms_frame_still"] = quillstreak::bench::Median(still) * 1000 / kFrames;
  state.counters["peak_MB_video"] = quillstreak::bench::Median(peakVideo);
  state.counters["peak_MB_still"] = quillstreak::bench::Median(peakStill);
  state.counters["copies_median"] = last.copiesMedian;
  state.counters["decoder_starts"] = last.decoderStarts;
}
BENCHMARK(BM_VideoLayer1080p)->Iterations(3)->UseRealTime()->Unit(benchmark::kSecond);

}  // namespace
