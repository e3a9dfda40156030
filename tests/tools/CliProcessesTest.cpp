// The renderer as one program among others, run as its own process: renders started together
// into one folder (claims), the chunks of a render farm run at once through GNU parallel and then
// assembled, and renders stopped by signals.
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

// Checks that `out` holds complete frames only, and nothing else: no temporary file, no video, no
// claims. Returns their number.
long CompleteFramesOnly(const std::string& out) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(out)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  const long frames = static_cast<long>(names.size());
  for (long f = 0; f < frames; ++f) {
    EXPECT_EQ(names[f], FrameFileName(f, 4));
    EXPECT_NO_THROW(ReadPng(out + "/" + names[f], true)) << names[f];
  }
  return frames;
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
  static int Run(const std::vector<std::string>& command) { return Process(command).Wait(); }

  std::string scene_;
};

TEST_F(RenderProcesses, OverlappingRendersAreRefusedAndAKilledOneBlocksNothing) {
  // Slow frames, so that the first render is still running when the second starts.
  Process first(Command({scene_, "--out", Path("out"), "--set", "Opacity=50", "--threads", "1",
                         "--png-compression", "small", "--json"}),
                ProcessPipes{false, true});
  ReadFrames(first, 1);
  Process second(
      Command({scene_, "--out", Path("out"), "--frames", "500-510", "--set", "Opacity=30"}));
  EXPECT_EQ(second.Wait(), kExitBadInput);
  EXPECT_NE(second.Errors().find("frame_0500.png: being written by another render (process " +
                                 std::to_string(first.id()) + ")"),
            std::string::npos)
      << second.Errors();

  // Killed outright, the first render lets go of its claims; the second now overlaps nothing.
  kill(static_cast<pid_t>(first.id()), SIGKILL);
  first.Wait();
  ASSERT_EQ(Run(Command({scene_, "--out", Path("out"), "--frames", "500-510", "--set", "Opacity=30",
                         "--overwrite", "-q"})),
            kExitOk);
  const std::string mine = ReadPngInfo(Path("out/frame_0500.png")).record;
  const std::string theirs = ReadPngInfo(Path("out/frame_0000.png")).record;
  EXPECT_NE(mine, theirs);
  for (const std::string& f : Files()) {
    if (f.find(".png") == std::string::npos || f.find(".partial-") != std::string::npos) continue;
    const long frame = std::stol(f.substr(f.find('_') + 1));
    EXPECT_EQ(ReadPngInfo(Path(f)).record, frame >= 500 && frame <= 510 ? mine : theirs) << f;
  }
  EXPECT_FALSE(fs::exists(Path("out/.quillstreak-claims")));
}

TEST_F(RenderProcesses, FarmChunksRunAtOnceThenOneJobAssemblesThem) {
  if (Run({"parallel", "--version"}) != 0)
    GTEST_SKIP() << "GNU parallel is not installed (Debian package parallel)";
  if (!testing::HaveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
  ASSERT_EQ(Run(Command({scene_, "--frames", "0-47", "--out", Path("whole"), "-q"})), kExitOk);
  std::vector<std::string> chunks = {"parallel", "-j4"};
  for (const std::string& a : Command({scene_, "--frames", "{}", "--out", Path("farm"), "-q"}))
    chunks.push_back(a);
  chunks.insert(chunks.end(), {":::", "0-11", "12-23", "24-35", "36-47"});
  ASSERT_EQ(Run(chunks), kExitOk);
  Process assemble(Command({scene_, "--frames", "0-47", "--out", Path("farm"), "--skip-existing",
                            "--video", Path("farm/clip.mp4"), "--contact-sheet", "--json"}),
                   ProcessPipes{false, true});
  const std::string out = ReadAll(assemble);
  ASSERT_EQ(assemble.Wait(), kExitOk) << assemble.Errors();
  const auto summary = nlohmann::json::parse(out.substr(out.rfind('\n', out.size() - 2) + 1));
  EXPECT_EQ(summary["kept"], 48) << out;
  EXPECT_EQ(summary["rendered"], 0) << out;
  for (int f = 0; f < 48; ++f) {
    const std::string name = "/" + FrameFileName(f, 4);
    EXPECT_EQ(Read("farm" + name), Read("whole" + name)) << name;
  }
  EXPECT_EQ(Files().size(), 48u * 2 + 3);  // the frames twice, the video, the sheet, the scene
}

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

    const long frames = CompleteFramesOnly(out);
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

TEST_F(RenderProcesses, AClosedStandardOutputStopsTheRenderCleanly) {
  // The reader goes after the first record.
  std::string command = "set -o pipefail; '" + std::string(QS_RENDERER) + "' '" + scene_ +
                        "' --plugin '" + QS_MODULE_PATH + "' --out '" + Path("out") +
                        "' --threads 1 --json 2>'" + Path("errors") + "' | head -1 >/dev/null";
  EXPECT_EQ(Run({"bash", "-c", command}), 141);
  EXPECT_EQ(Read("errors").rfind("quillstreak-render: interrupted after ", 0), 0u)
      << Read("errors");
  EXPECT_LT(CompleteFramesOnly(Path("out")), 600);
}

}  // namespace
}  // namespace quillstreak::renderer
