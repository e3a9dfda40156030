// What a new user meets: resuming only frames that match, messages that say what is true and
// what to do, JSON records a program can read, units as the listing prints them, videos at the
// rate their frames were taken.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdint>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "RenderCli.h"
#include "renderer/ParamCatalog.h"
#include "renderer/Png.h"

#if defined(__linux__)
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>
#endif

namespace quillstreak::renderer {
namespace {

namespace fs = std::filesystem;
using testing::kScene;
using testing::Render;
using testing::Result;

class Usability : public testing::ScratchFolder {
 protected:
  Usability() : ScratchFolder("qs_cli_usability_") {}
  void SetUp() override {
    ScratchFolder::SetUp();
    scene_ = Write("scene.json", kScene);
  }
  std::string scene_;
};

TEST_F(Usability, AKeyframePastTheEndIsSaidToShapeTheFramesBeforeItUnlessTheOneBeforeHolds) {
  std::string text = kScene;
  text.replace(text.find("\"time\": 5"), 9, "\"time\": 9");
  const Result r = Render({"-", "--out", Path("out"), "--dry-run"}, text);
  ASSERT_EQ(r.code, kExitOk) << r.err;
  EXPECT_NE(r.err.find("keyframes[1].time: 9 lies past the end of the composition (6 frames, 0-5); "
                       "the frames before it are still interpolated towards it"),
            std::string::npos)
      << r.err;
  EXPECT_EQ(r.err.find("never"), std::string::npos) << r.err;
  text.replace(text.find("[5, 18]}"), 8, "[5, 18], \"interp\": \"hold\"}");
  const Result held = Render({"-", "--out", Path("out"), "--dry-run"}, text);
  EXPECT_NE(held.err.find("9 lies past the end of the composition (6 frames, 0-5); no frame is "
                          "changed by it, as the keyframe before it holds its value"),
            std::string::npos)
      << held.err;
}

TEST_F(Usability, ValuesTakeTheUnitTheListingPrintsAndRangesHaveNoExponents) {
  const Result list = Render({"--list-params"});
  ASSERT_EQ(list.code, kExitOk) << list.err;
  EXPECT_NE(list.out.find("100%"), std::string::npos) << list.out;
  EXPECT_EQ(list.out.find("e+"), std::string::npos) << list.out;
  const Result percent =
      Render({scene_, "--out", Path("out"), "--set", "Opacity=50%", "--dry-run"});
  EXPECT_EQ(percent.code, kExitOk) << percent.err;
  EXPECT_NE(percent.out.find("Opacity 50"), std::string::npos) << percent.out;
  EXPECT_EQ(
      Render({scene_, "--out", Path("out"), "--set", "Motion Threshold=2 px", "--dry-run"}).code,
      kExitOk);
  // Only where the listing prints it.
  EXPECT_EQ(Render({scene_, "--out", Path("out"), "--set", "Shutter Angle=50%", "--dry-run"}).code,
            kExitBadInput);
  EXPECT_EQ(FormatNumber(100000.0f), "100000");
  EXPECT_EQ(FormatNumber(100.0000001), "100.0000001");
  EXPECT_EQ(FormatNumber(1e300), "1e+300");
}

TEST_F(Usability, NamesPadWithZerosAndHelpListsWhatTheGuideLists) {
  ASSERT_EQ(
      Render({scene_, "--out", Path("out"), "--frames", "3", "--name", "f%4d.png", "-q"}).code,
      kExitOk);
  EXPECT_EQ(Files(), (std::vector<std::string>{"out/f0003.png", "scene.json"}));

  const Result help = Render({"--help"});
  ASSERT_EQ(help.code, kExitOk);
  std::ifstream guide(std::string(QS_SOURCE_DIR) + "/docs/renderer.md");
  int options = 0;
  for (std::string line; std::getline(guide, line);) {
    if (line.rfind("| `-", 0) != 0) continue;
    const std::string option = line.substr(3, line.find_first_of("` ", 3) - 3);
    EXPECT_NE(help.out.find(option), std::string::npos) << option;
    ++options;
  }
  EXPECT_GT(options, 20);
  for (const char* form : {"%d", "%4d", "%04d"})
    EXPECT_NE(help.out.find(form), std::string::npos) << form;
}

TEST_F(Usability, EveryMessageNamesTheProgramAndSaysWhy) {
  fs::create_directories(Path("folder"));
  Write("open.json", "{\"composition\": {\"width\": \"40}}");
  std::vector<std::uint8_t> wide(20000 * 3, 0x80);
  WritePngRows(
      Path("wide.png"), 20000, 1, false, {PngSettings{}},
      [&](int, std::uint8_t* row) { std::copy(wide.begin(), wide.end(), row); },
      *std::make_unique<PngBuffers>());
  const std::string image = Write("image.json", R"({
    "composition": {"width": 40, "height": 30, "fps": 10, "duration": 6},
    "layers": [{"id": 1, "source": {"type": "image", "path": "wide.png"}}]})");
  const std::string missingImage = R"({
    "composition": {"width": 40, "height": 30, "fps": 10, "duration": 6},
    "layers": [{"id": 1, "source": {"type": "image", "path": "nowhere.png"}}]})";
  const struct {
    std::vector<std::string> args;
    std::string message;  // the end of the first line after "quillstreak-render: "
    std::string input = "";
  } cases[] = {
      {{scene_, "--threads", "many"},
       "--threads \"many\": expected a whole number of threads (0 = all cores); see --help"},
      {{scene_, "--frames", "99", "--out", "--dry-run"},  // nothing written if the check fails
       "--out needs a value: the output folder (\"--dry-run\" is an option); see --help"},
      {{scene_, "--video", Path("clip")},
       "clip: the file name has no extension, which chooses the video's format (the renderer "
       "writes .mp4"},
      {{"-", "--dry-run"},
       "(looked in the current folder, " + fs::current_path().string() +
           ": the image paths of a scene read from standard input are relative to it)",
       missingImage},
      {{Path("missing.json")},
       "missing.json: cannot open the scene file: No such file or directory"},
      {{scene_, "--video", Path("folder")}, "--video " + Path("folder") + ": is a folder"},
      {{Path("open.json")}, "a text in quotes is not closed"},
      {{scene_, "--variant", "Opacity=10, Shutter Angle=20"},
       "(settings of one --variant are separated by ';')"},
      {{scene_, "--frames", "0-5x0"}, "the step must be at least 1"},
      {{scene_, "--out", "/proc/qs-out", "--dry-run"}, "--out /proc/qs-out: cannot write in /proc"},
  };
  for (const auto& c : cases) {
    const Result r = Render(c.args, c.input);
    EXPECT_EQ(r.code, kExitBadInput) << r.err;
    EXPECT_EQ(r.err.rfind("quillstreak-render: ", 0), 0u) << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
  }
  const Result given = Render({scene_, "--plugin", Path("none.so")}, "", 0, false);
  EXPECT_EQ(given.code, kExitBadInput);
  EXPECT_NE(given.err.find("(the path given with --plugin)"), std::string::npos) << given.err;
  const Result large = Render({image, "--out", Path("out"), "--dry-run"});
  EXPECT_NE(large.err.find("1 to 16384 pixels a side"), std::string::npos) << large.err;
}

TEST_F(Usability, UnusedSheetOptionsWarnAndTheDryRunShowsTheListAsGiven) {
  const Result r = Render(
      {scene_, "--out", Path("out"), "--frames", "0,2-3", "--sheet-columns", "3", "--dry-run"});
  ASSERT_EQ(r.code, kExitOk) << r.err;
  EXPECT_NE(r.err.find("warning: --sheet-columns applies to the contact sheet"), std::string::npos)
      << r.err;
  EXPECT_NE(r.out.find("frames         0,2-3 (3 frames)"), std::string::npos) << r.out;
}

// Every line of standard output as JSON.
std::vector<nlohmann::json> Records(const std::string& out) {
  std::vector<nlohmann::json> records;
  std::istringstream in(out);
  for (std::string line; std::getline(in, line);) records.push_back(nlohmann::json::parse(line));
  return records;
}

TEST_F(Usability, JsonRecordsServePipelines) {
  const Result option = Render({scene_, "--json", "--frames"});
  EXPECT_EQ(option.code, kExitBadInput);
  ASSERT_EQ(Records(option.out).size(), 1u) << option.out;
  EXPECT_EQ(Records(option.out)[0]["event"], "error");
  EXPECT_EQ(Records(option.out)[0]["exit_code"], 2);

  const Result params = Render({"--list-params", "--json"});
  ASSERT_EQ(params.code, kExitOk) << params.err;
  bool opacity = false;
  for (const auto& p : Records(params.out)) {
    EXPECT_EQ(p["event"], "parameter");
    if (p["name"] != "Opacity") continue;
    opacity = true;
    EXPECT_EQ(p["default"], 100);
    EXPECT_EQ(p["unit"], "%");
    EXPECT_EQ(p["valid_range"], nlohmann::json::array({0, 100}));
  }
  EXPECT_TRUE(opacity) << params.out;

  const Result dry = Render({scene_, "--out", Path("out"), "--alpha", "--dry-run", "--json"});
  ASSERT_EQ(dry.code, kExitOk) << dry.err;
  EXPECT_EQ(Records(dry.out).at(0)["fps"], 10);
  EXPECT_EQ(Records(dry.out).at(0)["alpha"], true);

  const Result r = Render({scene_, "--out", Path("out"), "--json"});
  ASSERT_EQ(r.code, kExitOk) << r.err;
  const auto records = Records(r.out);
  ASSERT_EQ(records.size(), 7u) << r.out;
  double sum = 0;
  for (std::size_t i = 0; i < 6; ++i) {
    EXPECT_LE(records[i]["seconds"].get<double>(), records[i]["elapsed"].get<double>() + 1e-3);
    sum += records[i]["seconds"].get<double>();
  }
  EXPECT_NEAR(sum, records[5]["elapsed"].get<double>(), 0.01);
  EXPECT_EQ(records[6]["alpha"], false);
}

TEST_F(Usability, VariantsAreDescribedByWhatAllOfThemShare) {
  const Result r =
      Render({scene_, "--out", Path("out"), "--frames", "2", "--set", "Opacity=50", "--variant",
              "Shutter Angle=360", "--variant", "Shutter Angle=1440", "--dry-run", "--json"});
  ASSERT_EQ(r.code, kExitOk) << r.err;
  EXPECT_EQ(Records(r.out).at(0)["settings"], nlohmann::json::array({"Opacity 50"})) << r.out;
}

TEST_F(Usability, AVideoOfSteppedFramesPlaysAtTheSteppedRate) {
#if defined(_WIN32)
  GTEST_SKIP() << "uses a shell script";
#else
  if (!testing::HaveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
  // Records its arguments and runs ffmpeg.
  const std::string fake =
      Program("ffmpeg", "echo \"$@\" >> \"$(dirname \"$0\")/args\"; exec ffmpeg \"$@\"\n");
  Program("ffprobe", "exec ffprobe \"$@\"\n");
  ASSERT_EQ(Render({scene_, "--frames", "0-4x2", "--video", Path("a.mp4"), "--video-only",
                    "--ffmpeg", fake, "-q"})
                .code,
            kExitOk);
  const Result uneven = Render(
      {scene_, "--frames", "0,1,3", "--video", Path("b.mp4"), "--video-only", "--ffmpeg", fake});
  ASSERT_EQ(uneven.code, kExitOk) << uneven.err;
  EXPECT_NE(uneven.err.find("warning: the frames are not evenly spaced"), std::string::npos)
      << uneven.err;
  std::ifstream in(Path("args"));
  std::vector<std::string> encodes;  // the renders' commands, after their checks (-version)
  for (std::string line; std::getline(in, line);)
    if (line != "-version") encodes.push_back(line);
  ASSERT_EQ(encodes.size(), 2u);
  EXPECT_NE(encodes[0].find("-r 10/2 "), std::string::npos) << encodes[0];
  EXPECT_NE(encodes[1].find("-r 10 "), std::string::npos) << encodes[1];
#endif
}

TEST_F(Usability, ResumingKeepsOnlyFramesOfTheSameSizeKindAndSettings) {
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

TEST_F(Usability, ResumingAVideoReEncodesItAndRemovesWhatAKilledRenderLeft) {
  if (!testing::HaveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
  const std::vector<std::string> video = {"--video", Path("out/v.mp4"), "-q"};
  std::vector<std::string> first = {scene_, "--out", Path("out"), "--frames", "0-2"};
  first.insert(first.end(), video.begin(), video.end());
  const Result made = Render(first);
  ASSERT_EQ(made.code, kExitOk) << made.err;
  // What a render killed while encoding leaves, and a file that is not the renderer's.
  Write("out/v.mp4.partial-4242-0", "half a video");
  Write("out/frame_0004.png.partial-4242-3", "half a frame");
  Write("out/notes.partial-1-1", "mine");
  std::vector<std::string> resume = {scene_, "--out", Path("out"), "--skip-existing",
                                     "--overwrite"};
  resume.insert(resume.end(), video.begin(), video.end());
  const Result r = Render(resume);
  ASSERT_EQ(r.code, kExitOk) << r.err;
  EXPECT_EQ(Files(), (std::vector<std::string>{
                         "out/frame_0000.png", "out/frame_0001.png", "out/frame_0002.png",
                         "out/frame_0003.png", "out/frame_0004.png", "out/frame_0005.png",
                         "out/notes.partial-1-1", "out/v.mp4", "scene.json"}));
}

TEST_F(Usability, TheSummaryCountsTrailCopiesAndSaysWhyThereAreNone) {
  const Result r = Render({scene_, "--out", Path("out"), "--json"});
  ASSERT_EQ(r.code, kExitOk) << r.err;
  EXPECT_EQ(Records(r.out).back()["copies"],
            nlohmann::json::parse(R"({"min": 1, "median": 10, "max": 10})"));
  const struct {
    std::string set;
    std::string why;
  } cases[] = {
      {"Motion Threshold=20",
       "layer 2 \"Square\" moves at most 13.2 px within the shutter interval of any frame "
       "rendered (Shutter Angle 720: 2 frames), less than Motion Threshold 20 px"},
      {"Shutter Angle=0", "Shutter Angle 0 leaves no shutter interval"},
      {"Motion Source=1",
       "the Motion Source, layer 1 \"Backdrop\", does not move, scale or turn within the shutter "
       "interval"},
  };
  for (const auto& c : cases) {
    const Result none = Render({scene_, "--out", Path(c.set), "--set", c.set});
    ASSERT_EQ(none.code, kExitOk) << none.err;
    EXPECT_NE(none.err.find("warning: no frame drew a trail copy: " + c.why), std::string::npos)
        << none.err;
    EXPECT_NE(none.out.find("trail copies per frame: min 0, median 0, max 0"), std::string::npos)
        << none.out;
  }
}

TEST_F(Usability, TheDryRunEstimatesTimeAndDiskUseFromOneFrameItDoesNotWrite) {
  const Result r = Render({scene_, "--out", Path("out"), "--frames", "0-4", "--dry-run", "--json"});
  ASSERT_EQ(r.code, kExitOk) << r.err;
  const nlohmann::json estimate = Records(r.out).at(0)["estimate"];
  EXPECT_EQ(estimate["frame"], 2);
  const auto frameBytes = estimate["frame_bytes"].get<std::int64_t>();
  EXPECT_GT(frameBytes, 100);
  EXPECT_EQ(estimate["bytes"], 5 * ((frameBytes + 4095) / 4096 * 4096));  // whole blocks
  EXPECT_GE(estimate["seconds"].get<double>(), 5 * estimate["frame_seconds"].get<double>() - 0.01);
  EXPECT_EQ(Files(), std::vector<std::string>{"scene.json"});
  const Result text = Render({scene_, "--out", Path("out"), "--dry-run"});
  EXPECT_NE(text.out.find("  estimate       about "), std::string::npos) << text.out;
}

TEST_F(Usability, ARenderLargerThanTheFreeSpaceWarnsBeforeItStarts) {
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

TEST_F(Usability, SwapColorsIsListedByItsLabelAndPressedThroughTheEffect) {
  const Result list = Render({"--list-params"});
  EXPECT_NE(list.out.find("   13  Swap Colors               button"), std::string::npos)
      << list.out;
  const auto render = [&](const std::string& out, std::vector<std::string> sets) {
    std::vector<std::string> args = {scene_, "--out", Path(out), "--frames",
                                     "3",    "-q",    "--set",   "Enable Ramp Fill=on"};
    for (const std::string& set : sets) args.insert(args.end(), {"--set", set});
    EXPECT_EQ(Render(args).code, kExitOk) << out;
    return ReadPng(Path(out + "/frame_0003.png")).rgba;
  };
  const auto swapped =
      render("swapped", {"Start Color=#FF0000", "End Color=#0000FF", "Swap Colors=1"});
  EXPECT_EQ(swapped, render("by-hand", {"Start Color=#0000FF", "End Color=#FF0000"}));
  EXPECT_NE(swapped, render("as-set", {"Start Color=#FF0000", "End Color=#0000FF"}));

  // Pressing it would replace keyframed colours by constants.
  std::string keyed = kScene;
  keyed.replace(keyed.find("\"Shutter Angle\": 720"), 20,
                R"("Start Color": {"keyframes": [{"time": 0, "value": "#FF0000"},
                                                 {"time": 5, "value": "#00FF00"}]})");
  const Result refused = Render({"-", "--out", Path("keyed"), "--set", "Swap Colors=1"}, keyed);
  EXPECT_EQ(refused.code, kExitBadInput);
  EXPECT_NE(refused.err.find("<stdin>: \"Swap Colors\" cannot be pressed while \"Start Color\" "
                             "is keyframed"),
            std::string::npos)
      << refused.err;
}

TEST_F(Usability, TheDemoWritesItsContactSheet) {
  ASSERT_EQ(Render({"--out", Path("demo"), "--frames", "0-1", "-q"}).code, kExitOk);
  EXPECT_EQ(Files(), (std::vector<std::string>{"demo/contact_sheet.png", "demo/frame_0000.png",
                                               "demo/frame_0001.png", "scene.json"}));
}

}  // namespace
}  // namespace quillstreak::renderer
