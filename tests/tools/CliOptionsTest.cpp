// The renderer's command line and what it says: help, versions and parameter listings, exit codes
// with one message per bad input and nothing written, frame lists and name patterns, values and
// their units, warnings about the scene, dry runs and their estimates, JSON records, the progress
// bar and the summary.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "RenderCli.h"
#include "renderer/FrameList.h"
#include "renderer/InputError.h"
#include "renderer/ParamCatalog.h"
#include "renderer/Png.h"
#include "renderer/Renderer.h"
#include "renderer/SceneFile.h"

#if !defined(_WIN32)
#include <csignal>
#endif

namespace quillstreak::renderer {
namespace {

namespace fs = std::filesystem;

using testing::kScene;
using testing::kSmallScene;
using testing::Records;
using testing::Render;
using testing::Result;

class RendererOptions : public testing::SceneFolder {
 protected:
  RendererOptions() : SceneFolder("qs_cli_options_") {}
};

TEST_F(RendererOptions, HelpAndParameterListSucceed) {
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

TEST_F(RendererOptions, BadInputExitsWithTwoOneMessageAndWritesNothing) {
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

TEST_F(RendererOptions, OptionErrorsAndAnUnloadableModuleExitWithTwo) {
  EXPECT_EQ(Render({"--resolution", "double", "--out", Path("out")}).code, kExitBadInput);
  EXPECT_EQ(Render({"--no-such-option", "--out", Path("out")}).code, kExitBadInput);
  EXPECT_EQ(Render({"--png-compression", "tiny", "--out", Path("out")}).code, kExitBadInput);
  const Result r = Render({"--plugin", Path("nothing.so"), "--out", Path("out")}, "", 0, false);
  EXPECT_EQ(r.code, kExitBadInput);
  EXPECT_NE(r.err.find("cannot load the effect module"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(Path("out")));
}

TEST_F(RendererOptions, EffectErrorsNameTheFrameAndTheCommandAndExitWithOne) {
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
  EXPECT_EQ(NamePattern(4, ".png").Name(7), "frame_0007.png");
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

TEST_F(RendererOptions, DryRunSaysWhatWouldBeWrittenAndWritesNothing) {
  const Result r = Render({scene_, "--out", Path("out"), "--frames", "0-4x2", "--dry-run",
                           "--contact-sheet", "--name", "shot_%02d.png"});
  ASSERT_EQ(r.code, kExitOk) << r.err;
  EXPECT_NE(r.out.find("0-4x2 (3 frames)"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("shot_00.png ... shot_04.png"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Shutter Angle 720"), std::string::npos) << r.out;
  EXPECT_EQ(Files(), std::vector<std::string>{"scene.json"});
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

TEST_F(RendererOptions, VersionNamesTheRelease) {
  const Result r = Render({"--version"});
  EXPECT_EQ(r.code, kExitOk);
  EXPECT_EQ(r.out, std::string("quillstreak-render ") + QS_PROJECT_VERSION + "\n");
}

TEST_F(RendererOptions, AKeyframePastTheEndIsSaidToShapeTheFramesBeforeItUnlessTheOneBeforeHolds) {
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

TEST_F(RendererOptions, ValuesTakeTheUnitTheListingPrintsAndRangesHaveNoExponents) {
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

TEST_F(RendererOptions, NamesPadWithZerosAndHelpListsWhatTheGuideLists) {
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

TEST_F(RendererOptions, EveryMessageNamesTheProgramAndSaysWhy) {
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

TEST_F(RendererOptions, UnusedSheetOptionsWarnAndTheDryRunShowsTheListAsGiven) {
  const Result r = Render(
      {scene_, "--out", Path("out"), "--frames", "0,2-3", "--sheet-columns", "3", "--dry-run"});
  ASSERT_EQ(r.code, kExitOk) << r.err;
  EXPECT_NE(r.err.find("warning: --sheet-columns applies to the contact sheet"), std::string::npos)
      << r.err;
  EXPECT_NE(r.out.find("frames         0,2-3 (3 frames)"), std::string::npos) << r.out;
}

TEST_F(RendererOptions, JsonRecordsServePipelines) {
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

TEST_F(RendererOptions, TheSummaryCountsTrailCopiesAndSaysWhyThereAreNone) {
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

TEST_F(RendererOptions, TheDryRunEstimatesTimeAndDiskUseFromOneFrameItDoesNotWrite) {
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

TEST_F(RendererOptions, SwapColorsIsListedByItsLabelAndPressedThroughTheEffect) {
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

}  // namespace
}  // namespace quillstreak::renderer
