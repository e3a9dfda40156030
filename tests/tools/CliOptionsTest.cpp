// The renderer's options beyond the basics: frame lists and name patterns, the checks made before
// anything is written (folders, video path and format, ffmpeg), dry runs, resuming, alpha frames,
// JSON reports, variants, standard input, and the progress bar's width.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "RenderCli.h"
#include "host/Module.h"
#include "renderer/FrameList.h"
#include "renderer/InputError.h"
#include "renderer/Png.h"
#include "renderer/Renderer.h"
#include "renderer/SceneFile.h"

#if !defined(_WIN32)
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace quillstreak::renderer {
namespace {

namespace fs = std::filesystem;

using testing::HaveFfmpeg;
using testing::kScene;
using testing::Render;
using testing::Result;

class RendererOptions : public testing::ScratchFolder {
 protected:
  RendererOptions() : ScratchFolder("qs_cli_options_") {}
  void SetUp() override {
    ScratchFolder::SetUp();
    scene_ = Write("scene.json", kScene);
  }
  void TearDown() override {
    std::error_code ec;
    fs::permissions(dir_ / "locked", fs::perms::owner_all, ec);
    ScratchFolder::TearDown();
  }

  std::string scene_;
};

TEST(FrameLists, ListsStepsAndOpenRanges) {
  const struct {
    const char* text;
    std::vector<long> frames;
  } good[] = {
      {"7", {7}},       {"1,5,9", {1, 5, 9}},   {"0-9x4", {0, 4, 8}}, {"8-", {8, 9}},
      {"6-x2", {6, 8}}, {" 3, 1-2", {1, 2, 3}}, {"2,2,1", {1, 2}},
  };
  for (const auto& c : good)
    EXPECT_EQ(ParseFrameList(c.text, 9, "--frames", "s"), c.frames) << c.text;
  for (const char* bad : {"", " ", "1..3", "5-x", "x2", "1,", "-3", "3-1", "10", "0-4x0"}) {
    EXPECT_THROW(ParseFrameList(bad, 9, "--frames", "s"), InputError) << bad;
  }
  EXPECT_EQ(DescribeFrames({0, 2, 4, 6}), "0-6x2");
  EXPECT_EQ(ParseFrameRate("23.976")->text, "23.976");
  EXPECT_NEAR(ParseFrameRate("30000/1001")->fps, 29.97003, 1e-5);
  for (const char* bad : {"", "0", "-24", "24/0", "1/2/3", "24 fps"})
    EXPECT_FALSE(ParseFrameRate(bad)) << bad;
  EXPECT_EQ(DescribeFrames({1, 5, 9, 10}), "1, 5, 9, 10");
}

TEST(FrameLists, NamePatterns) {
  EXPECT_EQ(NamePattern::Parse("shot_%04d.png", "--name", ".png").Name(7), "shot_0007.png");
  EXPECT_EQ(NamePattern::Parse("%d.PNG", "--name", ".png").Name(12), "12.PNG");
  EXPECT_EQ(NamePattern::Parse("a%%_%3d.png", "--name", ".png").Name(7), "a%_007.png");
  EXPECT_EQ(NamePattern(4).Name(7), "frame_0007.png");
  for (const char* bad : {"shot.png", "%d_%d.png", "sub/%d.png", "%d.jpg", "%s.png", "%"}) {
    EXPECT_THROW(NamePattern::Parse(bad, "--name", ".png"), InputError) << bad;
  }
}

TEST_F(RendererOptions, UpFrontChecksExitWithTwoAndWriteNothing) {
  Write("blocker", "a file where a folder would be");
  // Stands in for an ffmpeg that is not installed, whether or not one is.
  const std::string noFfmpeg = Path("no-such-ffmpeg");
  const struct {
    const char* what;
    std::vector<std::string> args;
    std::string message;  // the start of the message after the program's name
  } cases[] = {
      {"unknown video format",
       {"--video", Path("v.xyz")},
       "--video " + Path("v.xyz") + ": unknown video format \".xyz\""},
      {"video in a folder below a file",
       {"--video", Path("blocker/v.mp4")},
       "--video " + Path("blocker") + ": " + Path("blocker") + " exists and is not a folder"},
      {"output folder below a file",
       {"--out", Path("blocker/out")},
       "--out " + Path("blocker/out") + ": " + Path("blocker") + " is a file, not a folder"},
      {"ffmpeg missing",
       {"--video", Path("v.mp4"), "--ffmpeg", noFfmpeg},
       "--video needs ffmpeg, which was not found"},
      {"empty frame list", {"--frames", ""}, "--frames \"\": no frames given"},
      {"frame list beyond the end", {"--frames", "1,9"}, "--frames 1,9: outside the composition"},
      {"name without a number", {"--name", "shot.png"}, "--name \"shot.png\": expected one frame"},
      {"video-only without video", {"--video-only"}, "--video-only: give the video file"},
      {"variant with a video",
       {"--variant", "Opacity=5", "--video", Path("v.mp4")},
       "--variant writes only the contact sheet"},
      {"misspelt option",
       {"--contact-shet"},
       "unknown option --contact-shet (did you mean "
       "\"--contact-sheet\"?)"},
      {"misspelt parameter",
       {"--set", "Shuter Angle=5"},
       "--set \"Shuter Angle=5\": unknown parameter (did you mean \"Shutter Angle\"?"},
      {"unknown layer",
       {"--set", "Motion Source=7"},
       "--set \"Motion Source=7\": unknown layer id 7 (the scene's layers: 1 \"Backdrop\", 2 "
       "\"Square\")"},
      {"value printed exactly",
       {"--set", "Opacity=100.0000001"},
       "--set \"Opacity=100.0000001\": 100.0000001 is outside the valid range of \"Opacity\" (0 "
       "to 100)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<std::string> args = {scene_, "--contact-sheet"};
    if (std::find(c.args.begin(), c.args.end(), "--out") == c.args.end())
      args.insert(args.end(), {"--out", Path("out")});
    args.insert(args.end(), c.args.begin(), c.args.end());
    const Result r = Render(args);
    EXPECT_EQ(r.code, kExitBadInput);
    EXPECT_EQ(r.err.rfind("quillstreak-render: " + c.message, 0), 0u) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_EQ(Files(), (std::vector<std::string>{"blocker", "scene.json"}));
  }
}

TEST_F(RendererOptions, ReadOnlyOutputFolderStopsBeforeRenderingWithTheSystemsReason) {
#if defined(_WIN32)
  GTEST_SKIP() << "POSIX permissions";
#else
  fs::create_directories(dir_ / "locked");
  fs::permissions(dir_ / "locked", fs::perms::owner_read | fs::perms::owner_exec |
                                       fs::perms::group_read | fs::perms::group_exec |
                                       fs::perms::others_read | fs::perms::others_exec);
  std::vector<std::string> args = {scene_, "--out", Path("locked/out")};
  Result r;
  if (geteuid() != 0) {
    r = Render(args);
  } else {
    // Root writes anywhere: run the renderer in a child that has given up its privileges, with
    // a copy of the module it can read wherever the build lives (home folders are private).
    fs::permissions(dir_, fs::perms::all);
    fs::copy_file(quillstreak::host::DefaultModulePath(), dir_ / "module");
    args.insert(args.end(), {"--plugin", Path("module")});
    int pipes[2];
    ASSERT_EQ(pipe(pipes), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      close(pipes[0]);
      if (setgid(65534) != 0 || setuid(65534) != 0) _exit(99);
      const Result inner = Render(args, "", 0, false);
      const std::string text = inner.err;
      if (write(pipes[1], text.data(), text.size()) < 0) _exit(98);
      _exit(inner.code);
    }
    close(pipes[1]);
    char buf[512];
    ssize_t n = 0;
    while ((n = read(pipes[0], buf, sizeof buf)) > 0) r.err.append(buf, static_cast<size_t>(n));
    close(pipes[0]);
    int status = 0;
    waitpid(child, &status, 0);
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  EXPECT_EQ(r.code, kExitBadInput) << r.err;
  EXPECT_EQ(r.err, "quillstreak-render: --out " + Path("locked/out") + ": cannot write in " +
                       Path("locked") + ": Permission denied\n");
  EXPECT_FALSE(fs::exists(dir_ / "locked/out"));
#endif
}

TEST_F(RendererOptions, DryRunSaysWhatWouldBeWrittenAndWritesNothing) {
  const Result r = Render({scene_, "--out", Path("out"), "--frames", "0-4x2", "--dry-run",
                           "--contact-sheet", "--name", "shot_%02d.png"});
  ASSERT_EQ(r.code, kExitOk) << r.err;
  EXPECT_NE(r.out.find("0-4x2 (3 frames)"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("shot_00.png ... shot_04.png"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Shutter Angle 720"), std::string::npos) << r.out;
  EXPECT_EQ(Files(), std::vector<std::string>{"scene.json"});
}

TEST_F(RendererOptions, FrameListNamePatternAndResume) {
  ASSERT_EQ(
      Render({scene_, "--out", Path("out"), "--frames", "0,3-5x2", "--name", "s%02d.png", "-q"})
          .code,
      kExitOk);
  EXPECT_EQ(Files(),
            (std::vector<std::string>{"out/s00.png", "out/s03.png", "out/s05.png", "scene.json"}));
  const auto stamp = fs::last_write_time(Path("out/s03.png"));
  const Result resumed = Render(
      {scene_, "--out", Path("out"), "--name", "s%02d.png", "--skip-existing", "--contact-sheet"});
  ASSERT_EQ(resumed.code, kExitOk) << resumed.err;
  EXPECT_NE(resumed.out.find("Rendered 3 frames"), std::string::npos) << resumed.out;
  EXPECT_NE(resumed.out.find("kept 3 existing"), std::string::npos) << resumed.out;
  EXPECT_EQ(fs::last_write_time(Path("out/s03.png")), stamp);
  EXPECT_EQ(Files().size(), 8u);  // six frames, the sheet and the scene

  // A kept file that is not a picture is refused before anything is rendered.
  Write("out/s01.png", "not a png");
  const Result bad =
      Render({scene_, "--out", Path("out"), "--name", "s%02d.png", "--skip-existing"});
  EXPECT_EQ(bad.code, kExitBadInput);
  EXPECT_NE(bad.err.find("s01.png: exists but is not a PNG"), std::string::npos) << bad.err;
}

TEST_F(RendererOptions, AlphaWritesTheEffectLayerAloneOverNothing) {
  ASSERT_EQ(Render({scene_, "--out", Path("opaque"), "--frames", "0", "-q"}).code, kExitOk);
  ASSERT_EQ(Render({scene_, "--out", Path("alpha"), "--frames", "0", "--alpha", "-q"}).code,
            kExitOk);
  const RgbaImage opaque = ReadPng(Path("opaque/frame_0000.png"));
  const RgbaImage alpha = ReadPng(Path("alpha/frame_0000.png"));
  ASSERT_EQ(alpha.width, opaque.width);
  // The backdrop (top rows) and the background are left out; the square keeps its colour.
  EXPECT_EQ(alpha.pixel(20, 2)[3], 0);
  EXPECT_EQ(alpha.pixel(39, 29)[3], 0);
  const std::uint8_t* square = alpha.pixel(5, 18);
  EXPECT_EQ(square[3], 255);
  EXPECT_TRUE(std::equal(square, square + 3, opaque.pixel(5, 18)));
  EXPECT_EQ(opaque.pixel(20, 2)[2], 255);  // the backdrop is in the opaque frame

  // A faded trail: below the backdrop, every partly covered pixel of the alpha frame, laid over
  // the background (0x20), gives the opaque frame's pixel, so the colour written is straight.
  // The trail is filled with a colour whose channels differ, so premultiplied colour would show.
  const std::vector<std::string> faded{scene_,
                                       "--frames",
                                       "3",
                                       "--set",
                                       "Opacity=50",
                                       "--set",
                                       "Enable Solid Fill=1",
                                       "--set",
                                       "Color=#806040",
                                       "--overwrite",
                                       "-q"};
  auto with = [&](std::vector<std::string> extra) {
    extra.insert(extra.begin(), faded.begin(), faded.end());
    return Render(extra).code;
  };
  ASSERT_EQ(with({"--out", Path("opaque")}), kExitOk);
  ASSERT_EQ(with({"--out", Path("alpha"), "--alpha"}), kExitOk);
  const RgbaImage trail = ReadPng(Path("alpha/frame_0003.png"));
  const RgbaImage over = ReadPng(Path("opaque/frame_0003.png"));
  int partly = 0;
  for (int y = 6; y < trail.height; ++y) {
    for (int x = 0; x < trail.width; ++x) {
      const std::uint8_t* p = trail.pixel(x, y);
      if (p[3] == 0 || p[3] == 255) continue;
      ++partly;
      for (int c = 0; c < 3; ++c) {
        const int expected = (p[c] * p[3] + 0x20 * (255 - p[3]) + 127) / 255;
        EXPECT_NEAR(over.pixel(x, y)[c], expected, 1) << x << "," << y << " channel " << c;
      }
    }
  }
  EXPECT_GT(partly, 0);

  // The smallest files hold the same pixels.
  ASSERT_EQ(with({"--out", Path("opaque-small"), "--png-compression", "small"}), kExitOk);
  ASSERT_EQ(with({"--out", Path("alpha-small"), "--alpha", "--png-compression", "small"}), kExitOk);
  EXPECT_EQ(ReadPng(Path("opaque-small/frame_0003.png")).rgba, over.rgba);
  EXPECT_EQ(ReadPng(Path("alpha-small/frame_0003.png")).rgba, trail.rgba);
}

TEST_F(RendererOptions, JsonReportsFramesWarningsAndASummary) {
  // A keyframe past the end and one out of order load with warnings.
  std::string text = kScene;
  text.replace(text.find("\"time\": 5"), 9, "\"time\": 9");
  const Result r = Render({"-", "--out", Path("out"), "--frames", "1-2", "--json"}, text);
  ASSERT_EQ(r.code, kExitOk) << r.err;
  std::vector<nlohmann::json> lines;
  std::istringstream in(r.out);
  for (std::string line; std::getline(in, line);) lines.push_back(nlohmann::json::parse(line));
  ASSERT_EQ(lines.size(), 4u) << r.out;
  EXPECT_EQ(lines[0]["event"], "warning");
  EXPECT_NE(lines[0]["message"].get<std::string>().find(
                "<stdin>: layers[1].transform.position.keyframes[1].time: 9 lies past the end"),
            std::string::npos);
  EXPECT_EQ(lines[1]["event"], "frame");
  EXPECT_EQ(lines[2]["frame"], 2);
  EXPECT_EQ(lines[3]["event"], "summary");
  EXPECT_EQ(lines[3]["rendered"], 2);
  EXPECT_EQ(lines[3]["out"], Path("out"));

  const Result bad = Render({scene_, "--frames", "7", "--json"});
  EXPECT_EQ(bad.code, kExitBadInput);
  const auto error = nlohmann::json::parse(bad.out);
  EXPECT_EQ(error["event"], "error");
  EXPECT_EQ(error["exit_code"], 2);
}

TEST_F(RendererOptions, VariantsMakeOneComparisonSheet) {
  const Result r = Render({scene_, "--out", Path("out"), "--frames", "3", "--variant",
                           "Opacity=100", "--variant", "Opacity=30; Enable Solid Fill=on"});
  ASSERT_EQ(r.code, kExitOk) << r.err;
  EXPECT_EQ(Files(), (std::vector<std::string>{"out/contact_sheet.png", "scene.json"}));
  EXPECT_NE(r.out.find("(2 variants)"), std::string::npos) << r.out;
  const RgbaImage sheet = ReadPng(Path("out/contact_sheet.png"));
  EXPECT_EQ(sheet.width, 2 * 40 + 3 * 2);  // the two variants side by side
}

TEST_F(RendererOptions, ProgressBarFitsANarrowTerminal) {
  const Result r = Render({scene_, "--out", Path("out")}, "", 32);
  ASSERT_EQ(r.code, kExitOk) << r.err;
  std::istringstream in(r.err);
  int drawn = 0;
  for (std::string part; std::getline(in, part, '\r');) {
    if (part.empty()) continue;
    if (part.back() == '\n') part.pop_back();
    EXPECT_LE(part.size(), 31u) << part;
    ++drawn;
  }
  EXPECT_EQ(drawn, 6);
}

TEST_F(RendererOptions, FailingFfmpegLeavesNoVideoAndSaysWhy) {
#if defined(_WIN32)
  GTEST_SKIP() << "uses a shell script";
#else
  const std::string fake = Program("fake-ffmpeg",
                                   "[ \"$1\" = -version ] && exit 0\n"
                                   "cat >/dev/null; echo 'no encoder here' >&2; exit 1\n");
  Program("fake-ffprobe", "exit 0\n");  // the ffprobe beside it
  const Result r = Render(
      {scene_, "--out", Path("out"), "--video", Path("v.mp4"), "--ffmpeg", fake, "--video-only"});
  EXPECT_EQ(r.code, kExitRenderFailed);
  EXPECT_NE(r.err.find(Path("v.mp4") + ": ffmpeg failed (exit status 1): no encoder here"),
            std::string::npos)
      << r.err;
  EXPECT_EQ(Files(), (std::vector<std::string>{"fake-ffmpeg", "fake-ffprobe", "scene.json"}));
#endif
}

TEST_F(RendererOptions, GifAndVideoOnlyAtAFractionalRate) {
  if (!HaveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
  std::string text = kScene;
  text.replace(text.find("\"fps\": 10"), 9, "\"fps\": \"30000/1001\"");
  const std::string scene = Write("ntsc.json", text);
  const Result r =
      Render({scene, "--out", Path("out"), "--video", Path("clip/v.gif"), "--video-only", "-q"});
  ASSERT_EQ(r.code, kExitOk) << r.err;
  EXPECT_EQ(Files(), (std::vector<std::string>{"clip/v.gif", "ntsc.json", "scene.json"}));
  std::ifstream gif(Path("clip/v.gif"), std::ios::binary);
  char magic[6] = {};
  gif.read(magic, 6);
  EXPECT_EQ(std::string(magic, 6), "GIF89a");
}

TEST_F(RendererOptions, VersionNamesTheRelease) {
  const Result r = Render({"--version"});
  EXPECT_EQ(r.code, kExitOk);
  EXPECT_EQ(r.out, std::string("quillstreak-render ") + QS_PROJECT_VERSION + "\n");
}

}  // namespace
}  // namespace quillstreak::renderer
