// What the renderer writes and keeps: opaque and alpha frames at the chosen resolution, contact
// sheets and variants, the no-overwrite rule, resuming with --skip-existing (only frames of the
// same size, kind and settings; damaged ones rendered again), folders it cannot write, full
// disks, and a rendered frame against a committed reference.
//
// The reference exists twice: basic_frame_0005.png, compared here with the renderer's output,
// and basic_frame_0005.rgba, the same pixels as raw RGBA bytes, compared in ReferenceTest.cpp in
// every build (the Windows one has no libpng). ReferenceTest.cpp also checks that the two hold
// the same pixels. Regenerate both together, only on purpose, after a deliberate change of the
// effect or the host:
//   cmake --build --preset dev --target update-reference-frame
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "RenderCli.h"
#include "host/Module.h"
#include "renderer/FrameList.h"
#include "renderer/InputError.h"
#include "renderer/ParamCatalog.h"
#include "renderer/Png.h"
#include "renderer/Renderer.h"
#include "renderer/SceneFile.h"

#if !defined(_WIN32)
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#endif
#if defined(__linux__)
#include <sched.h>
#include <sys/mount.h>
#endif

namespace quillstreak::renderer {
namespace {

namespace fs = std::filesystem;

using testing::kSmallScene;
using testing::Records;
using testing::Render;
using testing::Result;

class RendererOutputs : public testing::SceneFolder {
 protected:
  RendererOutputs() : SceneFolder("qs_cli_outputs_") {}
  static std::string Example(const std::string& name) {
    return std::string(QS_EXAMPLES_DIR) + "/" + name;
  }
};

TEST_F(RendererOutputs, ExistingFilesAreKeptUnlessOverwriteIsGiven) {
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

TEST_F(RendererOutputs, WritesOpaqueFramesAtTheChosenResolutionAndAContactSheet) {
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

TEST_F(RendererOutputs, AFrameThatCannotBeWrittenStopsTheRenderWithOne) {
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

TEST_F(RendererOutputs, RenderMatchesTheReferenceFrame) {
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

TEST_F(RendererOutputs, ReadOnlyOutputFolderStopsBeforeRenderingWithTheSystemsReason) {
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

TEST_F(RendererOutputs, FrameListNamePatternAndResume) {
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

TEST_F(RendererOutputs, AlphaWritesTheEffectLayerAloneOverNothing) {
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

TEST_F(RendererOutputs, VariantsMakeOneComparisonSheet) {
  const Result r = Render({scene_, "--out", Path("out"), "--frames", "3", "--variant",
                           "Opacity=100", "--variant", "Opacity=30; Enable Solid Fill=on"});
  ASSERT_EQ(r.code, kExitOk) << r.err;
  EXPECT_EQ(Files(), (std::vector<std::string>{"out/contact_sheet.png", "scene.json"}));
  EXPECT_NE(r.out.find("(2 variants)"), std::string::npos) << r.out;
  const RgbaImage sheet = ReadPng(Path("out/contact_sheet.png"));
  EXPECT_EQ(sheet.width, 2 * 40 + 3 * 2);  // the two variants side by side
}

TEST_F(RendererOutputs, VariantsAreDescribedByWhatAllOfThemShare) {
  const Result r =
      Render({scene_, "--out", Path("out"), "--frames", "2", "--set", "Opacity=50", "--variant",
              "Shutter Angle=360", "--variant", "Shutter Angle=1440", "--dry-run", "--json"});
  ASSERT_EQ(r.code, kExitOk) << r.err;
  EXPECT_EQ(Records(r.out).at(0)["settings"], nlohmann::json::array({"Opacity 50"})) << r.out;
}

TEST_F(RendererOutputs, ResumingKeepsOnlyFramesOfTheSameSizeKindAndSettings) {
  ASSERT_EQ(
      Render({scene_, "--out", Path("out"), "--frames", "1-2", "--resolution", "half", "-q"}).code,
      kExitOk);
  const auto resume = [&](std::vector<std::string> more) {
    std::vector<std::string> args = {scene_, "--out", Path("out"), "--skip-existing", "-q"};
    args.insert(args.end(), more.begin(), more.end());
    return Render(args);
  };
  const struct {
    std::vector<std::string> args;
    std::string why;
  } mismatches[] = {
      {{}, "frame_0001.png: is 20x15, the frames of this render 40x30"},
      {{"--resolution", "half", "--alpha"}, "frame_0001.png: holds opaque RGB, this render RGBA"},
      {{"--resolution", "half", "--set", "Opacity=50"},
       "frame_0001.png: was rendered with other scene settings"},
  };
  for (const auto& m : mismatches) {
    const Result r = resume(m.args);
    EXPECT_EQ(r.code, kExitBadInput) << r.err;
    EXPECT_NE(r.err.find(m.why), std::string::npos) << r.err;
  }
  EXPECT_EQ(Files(),
            (std::vector<std::string>{"out/frame_0001.png", "out/frame_0002.png", "scene.json"}));
  // The same settings, however written, resume; so does a third of an odd size (rounded up).
  EXPECT_EQ(resume({"--resolution", "half", "--set", "opacity=100"}).code, kExitOk);
  ASSERT_EQ(
      Render({scene_, "--out", Path("third"), "--frames", "0", "--resolution", "third", "-q"}).code,
      kExitOk);
  EXPECT_EQ(
      Render({scene_, "--out", Path("third"), "--resolution", "third", "--skip-existing", "-q"})
          .code,
      kExitOk);
}

TEST_F(RendererOutputs, ARenderLargerThanTheFreeSpaceWarnsBeforeItStarts) {
#if !defined(__linux__)
  GTEST_SKIP() << "mounts a small tmpfs";
#else
  // A 4 KiB tmpfs, in a mount namespace of this process's own so that it goes with it.
  fs::create_directories(Path("small"));
  if (geteuid() != 0 || unshare(CLONE_NEWNS) != 0 ||
      mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
      mount("tmpfs", Path("small").c_str(), "tmpfs", 0, "size=4k") != 0)
    GTEST_SKIP() << "needs root to mount a tmpfs";
  const Result r = Render({scene_, "--out", Path("small/out")});
  EXPECT_EQ(r.err.rfind("quillstreak-render: warning: the files will take about 25 kB and " +
                            Path("small/out") + " has 4.1 kB free",
                        0),
            0u)
      << r.err;
  umount2(Path("small").c_str(), MNT_DETACH);
  const Result roomy = Render({scene_, "--out", Path("roomy"), "--json"});
  EXPECT_EQ(roomy.out.find("\"warning\""), std::string::npos) << roomy.out;
#endif
}

TEST_F(RendererOutputs, TheDemoWritesItsContactSheet) {
  ASSERT_EQ(Render({"--out", Path("demo"), "--frames", "0-1", "-q"}).code, kExitOk);
  EXPECT_EQ(Files(), (std::vector<std::string>{"demo/contact_sheet.png", "demo/frame_0000.png",
                                               "demo/frame_0001.png", "scene.json"}));
}

TEST_F(RendererOutputs, ADamagedFrameIsRenderedAgainOnResume) {
  ASSERT_EQ(Render({scene_, "--out", Path("out"), "--frames", "0-3", "-q"}).code, kExitOk);
  const std::string one = Read("out/frame_0001.png"), two = Read("out/frame_0002.png");
  Write("out/frame_0001.png", one.substr(0, one.size() / 2));  // cut short
  std::string flipped = two;
  flipped[flipped.size() - 20] ^= 0x10;  // a byte of the image data: its chunk's CRC is wrong
  Write("out/frame_0002.png", flipped);
  const Result r = Render({scene_, "--out", Path("out"), "--skip-existing"});
  ASSERT_EQ(r.code, kExitOk) << r.err;
  const std::string out = (fs::path(Path("out")) / "frame_").string();
  EXPECT_NE(r.err.find("warning: " + out +
                       "0001.png is damaged (the file ends early): rendering "
                       "it again"),
            std::string::npos)
      << r.err;
  EXPECT_NE(r.err.find(out + "0002.png is damaged ("), std::string::npos) << r.err;
  EXPECT_NE(r.out.find("Rendered 4 frames"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("kept 2 existing"), std::string::npos) << r.out;
  EXPECT_EQ(Read("out/frame_0001.png"), one);
  EXPECT_EQ(Read("out/frame_0002.png"), two);
}

}  // namespace
}  // namespace quillstreak::renderer
