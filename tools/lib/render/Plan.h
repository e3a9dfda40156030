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

#include "cli/CommandLine.h"
#include "picture/TextPainter.h"
#include "render/ChangingSources.h"
#include "render/VideoEncoder.h"
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
};

/// The parameter values every render of the plan shares that differ from the defaults: the
/// scene's, or with variants only those all variants have (a value one variant overrides is
/// not shared).
std::vector<std::string> SharedSettings(const Plan& plan, const ParamCatalog& catalog);

/// Reads the scene (`in` for "-"), applies the options and checks every output. Throws
/// InputError for the first problem; writes nothing.
Plan MakePlan(const Options& opt, const ParamCatalog& catalog, std::istream& in);

}  // namespace quillstreak::renderer
