// The render plan: everything decided and checked before the first file is written (the scene
// with its overrides and variants, the frames, every output file and what becomes of a file
// already there).
#pragma once

#include <filesystem>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "picture/TextPainter.h"
#include "render/ChangingSources.h"
#include "render/Progress.h"
#include "render/VideoEncoder.h"
#include "renderer/Console.h"
#include "renderer/FrameFormat.h"
#include "renderer/SceneFile.h"

namespace quillstreak::renderer {

class RenderSession;

/// One file the render would write, and whether a file is there already.
struct Output {
  std::filesystem::path path;
  long frame = -1;
  bool exists = false;
};

struct Plan {
  SceneFile scene;
  std::vector<SceneFile> variants;  // empty: one render of `scene`
  std::vector<std::string> variantLabels;
  std::vector<long> frames;
  int downsample = 1;
  int width = 0, height = 0;  // of the frames: the composition's, divided and rounded up
  bool alpha = false;         // frame files hold the effect layer alone
  std::filesystem::path outDir;
  std::vector<Output> frameFiles;  // empty with --video-only and --variant
  std::optional<Output> sheet;
  std::optional<Output> video;
  const VideoFormat* videoFormat = nullptr;
  std::string frameRecord;            // what frame files record of the settings that produced them
  std::string videoRate;              // ffmpeg's -r: the frame rate divided by the frames' step
  double videoFps = 0;                // its value
  std::vector<SourceUse> sources;     // the frames of changing layers the render may show
  std::vector<std::string> warnings;  // about the options (the scene's are in scene.warnings)
  std::unique_ptr<TextPainter> painter;
  std::string fontProblem;

  // How the files are written and the render reported, as the options chose.
  std::shared_ptr<const FrameFormat> frameFormat;  // of the frame files and the contact sheet
  unsigned threads = 1;                            // worker threads writing frame files
  bool overwrite = false;                          // files there are replaced
  bool skipExisting = false;                       // frame files there are kept when complete
  int sheetColumns = 6, sheetWidth = 240;
  std::string ffmpeg = "ffmpeg";
  ReportStyle report = ReportStyle::Lines;
  std::optional<std::string> framesGiven;  // --frames as given, for the dry run
  std::string resolution = "full";
};

/// The parameter values every render of the plan shares that differ from the defaults: the
/// scene's, or with variants only those all variants have (a value one variant overrides is
/// not shared).
std::vector<std::string> SharedSettings(const Plan& plan, const ParamCatalog& catalog);

// The steps of making a plan that the command line's reading of its options (MakePlan,
// cli/PlanFromOptions.h) leaves to the plan. Each throws InputError for the first problem and
// writes nothing.

/// Applies the NAME=VALUE settings of `sets` (--set) to `plan.scene`, then makes one copy of it
/// per entry of `variants` (--variant: settings separated by ';'), with its label.
void PlanScenes(Plan& plan, const std::vector<std::string>& sets,
                const std::vector<std::string>& variants, const ParamCatalog& catalog);

/// The video's rate from the frames' step (after `plan.frames` and `plan.scene` are set).
void PlanVideoRate(Plan& plan);

/// The frames of changing layers the render may show, each checked (there and of the right size).
void PlanSources(Plan& plan, const ParamCatalog& catalog);

/// Folders, the record of the frames, then every file that would be written (refused when there
/// unless `plan.overwrite` or, for frames, `plan.skipExisting` allows it), then ffmpeg and the
/// sheet's font. Needs every field before it set.
void CheckOutputs(Plan& plan, const ParamCatalog& catalog);

}  // namespace quillstreak::renderer
