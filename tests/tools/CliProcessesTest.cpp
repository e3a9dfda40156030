// The renderer as one program among others, run as its own process: renders stopped by signals.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <signal.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "RenderCli.h"
#include "renderer/Png.h"
#include "renderer/Process.h"

namespace quillstreak::renderer {
namespace {

namespace fs = std::filesystem;

// Long enough to be stopped midway: 600 frames.
constexpr char kLongScene[] = R"({
  "composition": {"width": 320, "height": 180, "fps": 24, "duration": 600, "background": "#202020"},
  "layers": [
    {"id": 1, "source": {"type": "rectangle", "width": 320, "height": 40, "color": "#0000FF"},
     "transform": {"position": [160, 20]}},
    {"id": 2, "source": {"type": "ellipse", "width": 40, "height": 40, "color": "#FF0000"},
     "transform": {"position": {"keyframes": [{"time": 0, "value": [20, 100]},
                                              {"time": 599, "value": [300, 120]}]},
                   "rotation": {"keyframes": [{"time": 0, "value": 0}, {"time": 599, "value": 7200}]}}}
  ],
  "effect": {"layer": 2, "params": {"Shutter Angle": 1440, "Enable Ramp Fill": true}}
})";

std::string ReadAll(Process& p) {
  std::string out;
  char buffer[4096];
  for (std::size_t n; (n = p.Read(buffer, sizeof buffer)) > 0;) out.append(buffer, n);
  return out;
}

// Reads the renderer's JSON lines until `frames` frame records have come.
std::string ReadFrames(Process& p, int frames) {
  std::string out;
  char c;
  for (int seen = 0; seen < frames && p.Read(&c, 1) == 1;) {
    out += c;
    if (c == '\n' &&
        out.find("\"event\":\"frame\"", out.rfind('\n', out.size() - 2) + 1) != std::string::npos)
      ++seen;
  }
  return out;
}

// The running processes whose command line names `text`.
int ProcessesNaming(const std::string& text) {
  int found = 0;
  for (const auto& e : fs::directory_iterator("/proc")) {
    std::ifstream in(e.path() / "cmdline", std::ios::binary);
    const std::string line{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    found += line.find(text) != std::string::npos;
  }
  return found;
}

class RenderProcesses : public testing::ScratchFolder {
 protected:
  RenderProcesses() : ScratchFolder("qs_cli_processes_") {}
  void SetUp() override {
    ScratchFolder::SetUp();
    scene_ = Write("scene.json", kLongScene);
  }
  // The renderer's command line with `args`.
  static std::vector<std::string> Command(std::vector<std::string> args) {
    args.insert(args.begin(), QS_RENDERER);
    args.insert(args.end(), {"--plugin", QS_MODULE_PATH});
    return args;
  }

  std::string scene_;
};

TEST_F(RenderProcesses, ASignalStopsTheRenderCleanly) {
  if (!testing::HaveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
  const struct {
    const char* what;
    std::vector<int> signals;
    int code;
  } cases[] = {{"SIGINT", {SIGINT}, 130},
               {"SIGTERM", {SIGTERM}, 143},
               // A second signal while the first is handled (two of one kind may arrive as one).
               {"SIGINT then SIGTERM", {SIGINT, SIGTERM}, 143}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string out = Path(c.what);
    Process render(Command({scene_, "--out", out, "--video", out + "/v.mp4", "--json"}),
                   ProcessPipes{false, true});
    ReadFrames(render, 3);
    for (const int s : c.signals) kill(static_cast<pid_t>(render.id()), s);
    const std::string records = ReadAll(render);
    EXPECT_EQ(render.Wait(), c.code) << render.Errors();

    // Complete frames only, and nothing else: no temporary file, no video, no claims.
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(out)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    const long frames = static_cast<long>(names.size());
    for (long f = 0; f < frames; ++f) {
      EXPECT_EQ(names[f], FrameFileName(f, 4));
      EXPECT_NO_THROW(ReadPng(out + "/" + names[f], true)) << names[f];
    }
    EXPECT_GE(frames, 3);
    if (c.signals.size() == 1) {
      const std::string said = "interrupted after " + std::to_string(frames) + " of 600 frames; " +
                               std::to_string(frames) +
                               " complete frames kept; resume with --skip-existing";
      EXPECT_EQ(render.Errors(), "quillstreak-render: " + said + "\n");
      const auto last =
          nlohmann::json::parse(records.substr(records.rfind('\n', records.size() - 2) + 1));
      EXPECT_EQ(last, nlohmann::json({{"event", "interrupted"},
                                      {"signal", c.what},
                                      {"done", frames},
                                      {"total", 600},
                                      {"exit_code", c.code},
                                      {"message", said}}));
    }
    // No encoder left running, nor its log.
    EXPECT_EQ(ProcessesNaming(out), 0);
    for (const auto& e : fs::directory_iterator(fs::temp_directory_path())) {
      EXPECT_NE(e.path().filename().string().rfind(
                    "quillstreak-ffmpeg-" + std::to_string(render.id()) + "-", 0),
                0u);
    }
  }
  // The complete frames are kept by the next render.
  Process resumed(
      Command({scene_, "--out", Path("SIGINT"), "--frames", "0-9", "--skip-existing", "-q"}));
  EXPECT_EQ(resumed.Wait(), kExitOk) << resumed.Errors();
}

}  // namespace
}  // namespace quillstreak::renderer
