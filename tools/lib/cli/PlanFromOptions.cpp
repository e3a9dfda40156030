// The render plan from the command line's options: the one place past the parsing that reads
// `Options`; the checks that need no options are the plan's own (render/Plan.h).
#include "cli/PlanFromOptions.h"

#include <algorithm>
#include <istream>
#include <sstream>
#include <thread>

#include "cli/CommandLine.h"
#include "renderer/FrameList.h"
#include "renderer/InputError.h"
#include "renderer/PngFrameFormat.h"
#include "renderer/VideoSource.h"

namespace quillstreak::renderer {
namespace {

namespace fs = std::filesystem;

constexpr char kSheetName[] = "contact_sheet";  // and the frames' extension

int Downsample(const std::string& resolution) {
  if (resolution == "half") return 2;
  if (resolution == "third") return 3;
  if (resolution == "quarter") return 4;
  return 1;
}

void CheckOptionCombinations(const Options& opt) {
  if (opt.videoOnly && opt.video.empty())
    throw InputError("--video-only: give the video file with --video");
  if (opt.videoOnly && (opt.alpha || !opt.name.empty() || opt.skipExisting))
    throw InputError(
        "--video-only writes no frame files, so --alpha, --name and --skip-existing "
        "do not apply");
  if (!opt.variants.empty() &&
      (!opt.video.empty() || opt.alpha || !opt.name.empty() || opt.skipExisting || opt.videoOnly)) {
    throw InputError(
        "--variant writes only the contact sheet, so --video, --video-only, "
        "--alpha, --name and --skip-existing do not apply");
  }
}

SceneFile LoadScene(const Options& opt, const ParamCatalog& catalog, std::istream& in) {
  UseVideoPrograms({opt.ffmpeg, ProbeProgram(opt.ffmpeg)});
  if (opt.scene.empty()) return ParseScene(DemoSceneText(), "<demo>", "", catalog);
  if (opt.scene == "-") {
    std::ostringstream text;
    text << in.rdbuf();
    return ParseScene(text.str(), kStandardInput, "", catalog);
  }
  return LoadSceneFile(opt.scene, catalog);
}

// How the files are written and the render reported.
void PlanWriting(Plan& plan, const Options& opt, const Console& io) {
  plan.frameFormat = PngFrameFormat(SettingsFor(opt.pngCompression));
  // One writer per worker thread: encoding frames overlaps the rendering of the next ones.
  plan.threads = opt.threads == 0 ? std::max(1u, std::thread::hardware_concurrency()) : opt.threads;
  plan.overwrite = opt.overwrite;
  plan.skipExisting = opt.skipExisting;
  plan.sheetColumns = opt.sheetColumns;
  plan.sheetWidth = opt.sheetWidth;
  plan.ffmpeg = opt.ffmpeg;
  plan.report = opt.json           ? ReportStyle::Json
                : opt.quiet        ? ReportStyle::Quiet
                : io.errIsTerminal ? ReportStyle::Bar
                                   : ReportStyle::Lines;
  plan.framesGiven = opt.frames;
  plan.resolution = opt.resolution;
}

// The frames, the files they go to, the contact sheet and the video.
void PlanOutputs(Plan& plan, const Options& opt) {
  const long last = plan.scene.durationFrames - 1;
  if (opt.frames) {
    plan.frames = ParseFrameList(*opt.frames, last, "--frames", plan.scene.file);
  } else {
    for (long f = 0; f <= last; ++f) plan.frames.push_back(f);
  }
  plan.downsample = Downsample(opt.resolution);
  // The host rounds a downsampled frame's size up (40 pixels at a third are 14).
  plan.width = (plan.scene.comp.width + plan.downsample - 1) / plan.downsample;
  plan.height = (plan.scene.comp.height + plan.downsample - 1) / plan.downsample;
  plan.alpha = opt.alpha;
  plan.outDir = fs::path(opt.out);
  const bool variants = !plan.variants.empty();
  if (!opt.videoOnly && !variants) {
    const int digits = std::max(4, static_cast<int>(std::to_string(last).size()));
    const std::string& extension = plan.frameFormat->extension();
    const NamePattern pattern = opt.name.empty()
                                    ? NamePattern(digits, extension)
                                    : NamePattern::Parse(opt.name, "--name", extension);
    for (long f : plan.frames) plan.frameFiles.push_back({plan.outDir / pattern.Name(f), f});
  }
  // The built-in demo comes with its contact sheet, as the README shows it.
  const bool demoSheet = opt.scene.empty() && !opt.videoOnly;
  if (opt.contactSheet || variants || demoSheet)
    plan.sheet = Output{plan.outDir / (kSheetName + plan.frameFormat->extension())};
  if (!opt.video.empty()) {
    const fs::path video(opt.video);
    std::error_code ec;
    if (fs::is_directory(video, ec)) {
      throw InputError("--video " + opt.video +
                       ": is a folder; give the video's file name (for example " +
                       (video / "clip.mp4").string() + ")");
    }
    plan.videoFormat = VideoFormatFor(video);
    if (plan.videoFormat == nullptr && video.extension().empty()) {
      throw InputError("--video " + opt.video +
                       ": the file name has no extension, which chooses the video's format (the "
                       "renderer writes " +
                       VideoExtensions() + ")");
    }
    if (plan.videoFormat == nullptr) {
      throw InputError("--video " + opt.video + ": unknown video format \"" +
                       video.extension().string() + "\" (the renderer writes " + VideoExtensions() +
                       ")");
    }
    plan.video = Output{video};
    PlanVideoRate(plan);
  }
}

}  // namespace

Plan MakePlan(const Options& opt, const ParamCatalog& catalog, const Console& io) {
  CheckOptionCombinations(opt);
  Plan plan;
  PlanWriting(plan, opt, io);
  plan.scene = LoadScene(opt, catalog, io.in);
  PlanScenes(plan, opt.sets, opt.variants, catalog);
  PlanOutputs(plan, opt);
  PlanSources(plan, catalog);
  CheckOutputs(plan, catalog);
  return plan;
}

}  // namespace quillstreak::renderer
