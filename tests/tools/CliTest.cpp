// The renderer end to end: exit codes, one message per bad input with nothing written, the
// no-overwrite rule, effect errors, and a rendered frame against a committed reference.
//
// The reference exists twice: basic_frame_0005.png, compared here with the renderer's output,
// and basic_frame_0005.rgba, the same pixels as raw RGBA bytes, compared in ReferenceTest.cpp in
// every build (the Windows one has no libpng). ReferenceTest.cpp also checks that the two hold
// the same pixels. Regenerate both together, only on purpose, after a deliberate change of the
// effect or the host:
//   cmake --build --preset dev --target update-reference-frame
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "RenderCli.h"
#include "host/Module.h"
#include "renderer/Png.h"
#include "renderer/Renderer.h"

#if !defined(_WIN32)
#include <sys/resource.h>
#endif

namespace quillstreak::renderer {
namespace {

namespace fs = std::filesystem;

using testing::Render;
using testing::Result;

class RendererCli : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("qs_cli_test_" +
            std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string Path(const std::string& name) const { return (dir_ / name).string(); }
  std::string Write(const std::string& name, const std::string& text) const {
    std::ofstream(dir_ / name, std::ios::binary) << text;
    return Path(name);
  }
  static std::string Example(const std::string& name) {
    return std::string(QS_EXAMPLES_DIR) + "/" + name;
  }

  fs::path dir_;
};

constexpr char kSmallScene[] = R"({
  "composition": {"width": 40, "height": 30, "fps": 10, "duration": 6, "background": "#202020"},
  "layers": [{"id": 1, "source": {"type": "rectangle", "width": 8, "height": 8, "color": "#FF0000"},
              "transform": {"position": {"keyframes": [{"time": 0, "value": [5, 15]},
                                                       {"time": 5, "value": [35, 15]}]}}}]
})";

TEST_F(RendererCli, HelpAndParameterListSucceed) {
  const Result help = Render({"--help"}, "", 0, false);
  EXPECT_EQ(help.code, kExitOk);
  EXPECT_NE(help.out.find("--resolution"), std::string::npos);
  EXPECT_NE(help.out.find("opaque"), std::string::npos);

  const Result list = Render({"--list-params"});
  EXPECT_EQ(list.code, kExitOk) << list.err;
  EXPECT_NE(list.out.find("Opacity"), std::string::npos);
  EXPECT_NE(list.out.find("0 to 100"), std::string::npos);
  EXPECT_NE(list.out.find("Enable Ramp Fill"), std::string::npos);
}

TEST_F(RendererCli, BadInputExitsWithTwoOneMessageAndWritesNothing) {
  const std::string small = Write("small.json", kSmallScene);
  Write("fake.png", "GIF89a, not a PNG");
  struct Case {
    const char* what;
    std::vector<std::string> args;
    std::string message;  // expected at the start of the message (after the program name)
  };
  const std::vector<Case> cases = {
      {"syntax error",
       {Write("syntax.json", "{\"composition\": ")},
       Path("syntax.json") + ": line 1, column 17: the text ends before the JSON is complete"},
      {"missing field",
       {Write("nolayers.json",
              R"({"composition": {"width": 8, "height": 8, "fps": 24, "duration": 2}})")},
       Path("nolayers.json") + ": layers: missing field"},
      {"unknown parameter",
       {Write("unknown.json",
              R"({"composition": {"width": 8, "height": 8, "fps": 24, "duration": 2},
          "layers": [{"id": 1, "source": {"type": "ellipse", "width": 4, "height": 4}}],
          "effect": {"params": {"Blur": 3}}})")},
       Path("unknown.json") + ": effect.params[\"Blur\"]: unknown parameter"},
      {"value out of range",
       {Write("range.json", R"({"composition": {"width": 8, "height": 8, "fps": 24, "duration": 2},
          "layers": [{"id": 1, "source": {"type": "ellipse", "width": 4, "height": 4}}],
          "effect": {"params": {"Shutter Angle": -1}}})")},
       Path("range.json") + ": effect.params[\"Shutter Angle\"]: -1 is outside the valid range"},
      {"unknown layer id",
       {Write("layer.json", R"({"composition": {"width": 8, "height": 8, "fps": 24, "duration": 2},
          "layers": [{"id": 1, "source": {"type": "ellipse", "width": 4, "height": 4}}],
          "effect": {"params": {"Motion Source": 2}}})")},
       Path("layer.json") + ": effect.params[\"Motion Source\"]: unknown layer id 2"},
      {"image that is not a PNG",
       {Write("image.json", R"({"composition": {"width": 8, "height": 8, "fps": 24, "duration": 2},
          "layers": [{"id": 1, "source": {"type": "image", "path": "fake.png"}}]})")},
       Path("image.json") + ": layers[0].source.path: cannot read image"},
      {"missing scene file", {Path("absent.json")}, Path("absent.json") + ": cannot open"},
      {"frames beyond the composition",
       {small, "--frames", "4-6"},
       "--frames 4-6: outside the composition of " + small + " (frames 0-5)"},
      {"frames backwards", {small, "--frames", "3-1"}, "--frames 3-1: the first frame comes after"},
      {"frames malformed", {small, "--frames", "1..3"}, "--frames 1..3: expected A-B or A"},
      {"--set unknown name", {small, "--set", "Glow=1"}, "--set \"Glow=1\": unknown parameter"},
      {"--set out of range",
       {small, "--set", "Opacity=101"},
       "--set \"Opacity=101\": 101 is outside the valid range of \"Opacity\" (0 to 100)"},
      {"--set without value",
       {small, "--set", "Opacity"},
       "--set \"Opacity\": expected NAME=VALUE"},
      {"--set unknown layer",
       {small, "--set", "Motion Source=5"},
       "--set \"Motion Source=5\": unknown layer id 5"},
      {"--set bad checkbox",
       {small, "--set", "Enable Solid Fill=perhaps"},
       "--set \"Enable Solid Fill=perhaps\": expected on/off"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<std::string> args = c.args;
    args.insert(args.end(), {"--out", Path("out"), "--contact-sheet"});
    const Result r = Render(args);
    EXPECT_EQ(r.code, kExitBadInput);
    const std::string prefix = std::string("quillstreak-render: ") + c.message;
    EXPECT_EQ(r.err.rfind(prefix, 0), 0u) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_FALSE(fs::exists(Path("out")));
  }
}

TEST_F(RendererCli, OptionErrorsAndAnUnloadableModuleExitWithTwo) {
  EXPECT_EQ(Render({"--resolution", "double", "--out", Path("out")}).code, kExitBadInput);
  EXPECT_EQ(Render({"--no-such-option", "--out", Path("out")}).code, kExitBadInput);
  EXPECT_EQ(Render({"--png-compression", "tiny", "--out", Path("out")}).code, kExitBadInput);
  const Result r = Render({"--plugin", Path("nothing.so"), "--out", Path("out")}, "", 0, false);
  EXPECT_EQ(r.code, kExitBadInput);
  EXPECT_NE(r.err.find("cannot load the effect module"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(Path("out")));
}

TEST_F(RendererCli, VideoWithoutFfmpegStopsBeforeWriting) {
#if defined(_WIN32)
  const bool haveFfmpeg = std::system("ffmpeg -version >NUL 2>&1") == 0;
#else
  const bool haveFfmpeg = std::system("ffmpeg -version >/dev/null 2>&1") == 0;
#endif
  if (haveFfmpeg) GTEST_SKIP() << "ffmpeg is installed";
  const std::string scene = Write("small.json", kSmallScene);
  const Result r = Render({scene, "--out", Path("out"), "--video", Path("v.mp4")});
  EXPECT_EQ(r.code, kExitBadInput);
  EXPECT_EQ(r.err.rfind("quillstreak-render: --video needs ffmpeg", 0), 0u) << r.err;
  EXPECT_FALSE(fs::exists(Path("out")));
  EXPECT_FALSE(fs::exists(Path("v.mp4")));
}

TEST_F(RendererCli, VideoWithFfmpegEncodesTheFrames) {
#if defined(_WIN32)
  const bool haveFfmpeg = std::system("ffmpeg -version >NUL 2>&1") == 0;
#else
  const bool haveFfmpeg = std::system("ffmpeg -version >/dev/null 2>&1") == 0;
#endif
  if (!haveFfmpeg) GTEST_SKIP() << "ffmpeg is not installed";
  const std::string scene = Write("small.json", kSmallScene);
  const Result r =
      Render({scene, "--frames", "0-2", "--out", Path("out"), "--video", Path("v.mp4"), "-q"});
  EXPECT_EQ(r.code, kExitOk) << r.err;
  ASSERT_TRUE(fs::exists(Path("v.mp4")));
  EXPECT_GT(fs::file_size(Path("v.mp4")), 0u);
  EXPECT_TRUE(fs::exists(Path("out/frame_0002.png")));
}

TEST_F(RendererCli, ExistingFilesAreKeptUnlessOverwriteIsGiven) {
  const std::string scene = Write("small.json", kSmallScene);
  ASSERT_EQ(Render({scene, "--frames", "0-1", "--out", Path("out"), "-q"}).code, kExitOk);
  ASSERT_TRUE(fs::exists(Path("out/frame_0001.png")));
  const auto stamp = fs::last_write_time(Path("out/frame_0001.png"));

  const Result again = Render({scene, "--frames", "1-2", "--out", Path("out")});
  EXPECT_EQ(again.code, kExitBadInput);
  const std::string first = (fs::path(Path("out")) / "frame_0001.png").string();
  EXPECT_EQ(
      again.err,
      "quillstreak-render: " + first +
          ": already exists (use --overwrite to replace it, or --skip-existing to keep it)\n");
  EXPECT_FALSE(fs::exists(Path("out/frame_0002.png")));
  EXPECT_EQ(fs::last_write_time(Path("out/frame_0001.png")), stamp);

  // A contact sheet from an earlier run counts too.
  { std::ofstream(Path("out/contact_sheet.png")) << "keep me"; }
  EXPECT_EQ(Render({scene, "--frames", "3", "--out", Path("out"), "--contact-sheet"}).code,
            kExitBadInput);
  EXPECT_FALSE(fs::exists(Path("out/frame_0003.png")));

  const Result forced =
      Render({scene, "--frames", "1-2", "--out", Path("out"), "--overwrite", "-q"});
  EXPECT_EQ(forced.code, kExitOk) << forced.err;
  EXPECT_TRUE(fs::exists(Path("out/frame_0002.png")));
  EXPECT_TRUE(forced.out.empty() && forced.err.empty()) << forced.out << forced.err;
}

TEST_F(RendererCli, WritesOpaqueFramesAtTheChosenResolutionAndAContactSheet) {
  const std::string scene = Write("small.json", kSmallScene);
  const Result r = Render({scene, "--out", Path("out"), "--resolution", "half", "--contact-sheet",
                           "--sheet-columns", "4", "--sheet-width", "10"});
  ASSERT_EQ(r.code, kExitOk) << r.err;
  EXPECT_NE(r.out.find("Rendered 6 frames"), std::string::npos) << r.out;
  // Plain progress lines (not a terminal): one per frame.
  EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 6) << r.err;
  for (int f = 0; f < 6; ++f) {
    const RgbaImage img = ReadPng(Path("out/" + FrameFileName(f, 4)));
    EXPECT_EQ(img.width, 20);
    EXPECT_EQ(img.height, 15);
    for (std::size_t i = 3; i < img.rgba.size(); i += 4) ASSERT_EQ(img.rgba[i], 255);
  }
  // Six 10x8 cells (20x15 scaled to 10 wide, height rounded) in rows of four, 2 px apart, each
  // with a band for its label below it, under a caption.
  const RgbaImage sheet = ReadPng(Path("out/contact_sheet.png"));
  EXPECT_EQ(sheet.width, 4 * 10 + 5 * 2);
  EXPECT_GT(sheet.height, 2 * 8 + 3 * 2);
}

TEST_F(RendererCli, EffectErrorsNameTheFrameAndTheCommandAndExitWithOne) {
  const std::string scene = Write("small.json", kSmallScene);
  // The stand-in module fails smart render at frame 2 and smart pre-render from frame 3.
  const Result render =
      Render({scene, "--plugin", QS_FAILING_EFFECT, "--frames", "0-4", "--out", Path("out")}, "", 0,
             false);
  EXPECT_EQ(render.code, kExitRenderFailed);
  EXPECT_NE(render.err.find("quillstreak-render: frame 2: smart render failed with error 4 "
                            "(PF_Err_OUT_OF_MEMORY)\n"),
            std::string::npos)
      << render.err;
  EXPECT_TRUE(fs::exists(Path("out/frame_0001.png")));
  EXPECT_FALSE(fs::exists(Path("out/frame_0002.png")));

  const Result pre =
      Render({scene, "--plugin", QS_FAILING_EFFECT, "--frames", "3", "--out", Path("out2"), "-q"},
             "", 0, false);
  EXPECT_EQ(pre.code, kExitRenderFailed);
  EXPECT_EQ(pre.err,
            "quillstreak-render: frame 3: smart pre-render failed with error 516 "
            "(PF_Err_BAD_CALLBACK_PARAM)\n");
}

TEST_F(RendererCli, AFrameThatCannotBeWrittenStopsTheRenderWithOne) {
#if defined(_WIN32)
  GTEST_SKIP() << "POSIX file size limit";
#else
  // Frames 0-5 compress to under 1000 bytes (the ellipse is off screen, then coming in); frame 6
  // does not, and the process may write no file that large: the disk is full, as it were.
  const std::string scene = Write("grow.json", R"({
  "composition": {"width": 96, "height": 64, "fps": 10, "duration": 8, "background": "#202020"},
  "layers": [{"id": 1, "source": {"type": "ellipse", "width": 40, "height": 30, "color": "#FF0000"},
              "transform": {"position": {"keyframes": [{"time": 0, "value": [-200, 32]},
                                                       {"time": 3, "value": [-60, 32]},
                                                       {"time": 7, "value": [60, 32]}]},
                            "rotation": {"keyframes": [{"time": 0, "value": 0},
                                                       {"time": 7, "value": 200}]}}}],
  "effect": {"layer": 1, "params": {"Shutter Angle": 1440, "Enable Ramp Fill": true}}
})");
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit limited = saved;
  limited.rlim_cur = 1000;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
  const Result r = Render({scene, "--out", Path("out"), "--threads", "2", "-q"});
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, oldHandler);

  EXPECT_EQ(r.code, kExitRenderFailed);
  const std::string frame6 = (fs::path(Path("out")) / "frame_0006.png").string();
  EXPECT_EQ(r.err.rfind("quillstreak-render: " + frame6 + ": write failed", 0), 0u) << r.err;
  std::vector<std::string> files;
  for (const auto& e : fs::directory_iterator(Path("out")))
    files.push_back(e.path().filename().string());
  std::sort(files.begin(), files.end());
  std::vector<std::string> expected;
  for (int f = 0; f < 6; ++f) expected.push_back(FrameFileName(f, 4));
  EXPECT_EQ(files, expected);
#endif
}

TEST_F(RendererCli, RenderMatchesTheReferenceFrame) {
  const Result r = Render({Example("basic.json"), "--frames", "5-5", "--out", Path("out"), "-q"});
  ASSERT_EQ(r.code, kExitOk) << r.err;
  const RgbaImage got = ReadPng(Path("out/frame_0005.png"));
  const RgbaImage want = ReadPng(std::string(QS_REFERENCE_DIR) + "/basic_frame_0005.png");
  ASSERT_EQ(got.width, want.width);
  ASSERT_EQ(got.height, want.height);
  std::size_t differing = 0;
  for (std::size_t i = 0; i < got.rgba.size(); ++i) differing += got.rgba[i] != want.rgba[i];
  EXPECT_EQ(differing, 0u) << "bytes differing from the reference; see the comment at the top of "
                              "this file to regenerate it after a deliberate change";
}

}  // namespace
}  // namespace quillstreak::renderer
