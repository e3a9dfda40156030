#include "render/Plan.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

#include "render/Claims.h"
#include "render/Outputs.h"
#include "renderer/InputError.h"
#include "renderer/VideoSource.h"

namespace quillstreak::renderer {
namespace {

namespace fs = std::filesystem;

constexpr int kLabelPixels = 13;

// NAME=VALUE settings (from --set, or one --variant split at its semicolons) over the scene;
// `option` names them in messages.
void ApplyOverrides(const std::vector<std::string>& sets, const std::string& option,
                    const ParamCatalog& catalog, SceneFile& scene) {
  for (const std::string& s : sets) {
    const std::string context = option + " \"" + s + "\"";
    const auto eq = s.find('=');
    if (eq == std::string::npos) throw InputError(context + ": expected NAME=VALUE");
    const std::string name = s.substr(0, eq);
    const ParamInfo* info = catalog.Find(name);
    if (info == nullptr) throw InputError(context + ": " + UnknownParameterMessage(catalog, name));
    ParamSetting setting;
    setting.index = info->index;
    setting.type = info->type;
    setting.name = info->name;
    try {
      setting.constant = ParseParamText(*info, s.substr(eq + 1), context);
    } catch (const InputError& e) {
      // "A=1, B=2" given as one variant: the second setting was read as part of the value.
      if (option != "--variant" || s.find('=', eq + 1) == std::string::npos) throw;
      throw InputError(std::string(e.what()) + " (settings of one --variant are separated by ';')");
    }
    if (info->type == ParamType::Layer && setting.constant.layer != 0 &&
        scene.comp.FindLayer(setting.constant.layer) == nullptr) {
      throw InputError(context + ": " + UnknownLayerMessage(scene, setting.constant.layer) +
                       " in " + scene.file);
    }
    scene.Set(std::move(setting));
  }
}

std::vector<std::string> SplitSettings(const std::string& text) {
  std::vector<std::string> out;
  std::size_t start = 0;
  while (start <= text.size()) {
    const std::size_t semi = std::min(text.find(';', start), text.size());
    std::string part = text.substr(start, semi - start);
    while (!part.empty() && part.front() == ' ') part.erase(part.begin());
    while (!part.empty() && part.back() == ' ') part.pop_back();
    if (!part.empty()) out.push_back(part);
    start = semi + 1;
  }
  return out;
}

// A label for a variant: "Shutter Angle 720, Opacity 50".
std::string VariantLabel(const std::vector<std::string>& settings) {
  std::string out;
  for (const auto& s : settings) {
    std::string t = s;
    if (const auto eq = t.find('='); eq != std::string::npos) t[eq] = ' ';
    out += (out.empty() ? "" : ", ") + t;
  }
  return out;
}

// A press of Swap Colors exchanges the ramp colours' values at the moment it is pressed, and the
// host keeps what the effect changes as constant values: keyframes of either colour would be
// lost, so the two cannot be combined.
void CheckButtonPresses(const SceneFile& scene, const std::string& where) {
  for (const ParamSetting& button : scene.params) {
    if (button.type != ParamType::Button || !button.constant.on) continue;
    for (const ParamSetting& p : scene.params) {
      if (p.keys.empty() || (p.name != "Start Color" && p.name != "End Color")) continue;
      throw InputError(where + "\"" + button.name + "\" cannot be pressed while \"" + p.name +
                       "\" is keyframed: the press exchanges the ramp colours' values at one "
                       "moment and would leave them constant (exchange the keyframes' colours "
                       "in the scene instead)");
    }
  }
}

// What a frame file records of what produced it: a digest of the scene as read, the parameter
// values after --set (those not at their defaults, in the effect's order), the resolution and
// --alpha. A kept frame must record the same.
std::string FrameRecord(const Plan& plan, const ParamCatalog& catalog) {
  std::string what = plan.scene.canonical + "\nresolution " + plan.resolution +
                     (plan.alpha ? "\nalpha" : "\nopaque");
  for (const ParamInfo& info : catalog.params()) {
    const ParamSetting* setting = nullptr;
    for (const ParamSetting& s : plan.scene.params)
      if (s.index == info.index) setting = &s;
    if (setting == nullptr || (setting->keys.empty() && IsDefault(info, setting->constant)))
      continue;
    const ParamSetting& p = *setting;
    what += "\n" + std::to_string(p.index) + " " + ValueText(p.type, p.constant);
    for (const ParamKey& k : p.keys)
      what += " " + std::to_string(k.time) + ":" + ValueText(p.type, k.value) + ":" +
              std::to_string(static_cast<int>(k.interp));
  }
  std::uint64_t hash = 14695981039346656037ull;  // FNV-1a
  for (const unsigned char c : what) hash = (hash ^ c) * 1099511628211ull;
  char hex[17];
  std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(hash));
  return std::string("frame of settings ") + hex;
}

// Why an existing frame file cannot be kept in this render, or an empty string when it can: it
// must be a file of the frames' format, size and kind that records the same settings.
std::string KeepProblem(const Output& o, const Plan& plan) {
  FrameFileInfo info;
  try {
    info = plan.frameFormat->ReadInfo(o.path.string());
  } catch (const FrameFileError&) {
    return "exists but is not a " + plan.frameFormat->name() + " file";
  }
  if (info.width != plan.width || info.height != plan.height) {
    return "is " + std::to_string(info.width) + "x" + std::to_string(info.height) +
           ", the frames of this render " + std::to_string(plan.width) + "x" +
           std::to_string(plan.height);
  }
  if (info.alpha != plan.alpha)
    return info.alpha ? "holds RGBA (--alpha), this render opaque RGB"
                      : "holds opaque RGB, this render RGBA (--alpha)";
  if (info.record.empty()) return "does not record the settings it was rendered with";
  if (info.record != plan.frameRecord) return "was rendered with other scene settings";
  return {};
}

// Refuses an existing output unless it may be replaced (--overwrite) or kept (--skip-existing).
void CheckExisting(Output& o, const Plan& plan, bool mayKeep) {
  std::error_code ec;
  if (!fs::exists(o.path, ec)) return;
  o.exists = true;
  if (fs::is_directory(o.path, ec)) throw InputError(o.path.string() + ": is a folder");
  // With both --skip-existing and --overwrite, frames are kept and the rest replaced.
  if (plan.skipExisting && mayKeep) {
    if (const std::string why = KeepProblem(o, plan); !why.empty()) {
      throw InputError(o.path.string() + ": " + why + ", so it cannot be kept (delete it, or " +
                       (plan.overwrite ? "leave out --skip-existing" : "use --overwrite") + ")");
    }
    return;
  }
  if (plan.overwrite) return;
  throw InputError(
      o.path.string() + ": already exists (use --overwrite to replace it" +
      (mayKeep ? ", or --skip-existing to keep it" : "") +
      (!mayKeep && plan.skipExisting ? "; with --skip-existing too, the frames are kept" : "") +
      ")");
}

}  // namespace

// The scene with --set, and one copy of it per --variant.
void PlanScenes(Plan& plan, const std::vector<std::string>& sets,
                const std::vector<std::string>& variants, const ParamCatalog& catalog) {
  ApplyOverrides(sets, "--set", catalog, plan.scene);
  if (variants.empty()) CheckButtonPresses(plan.scene, plan.scene.file + ": ");
  for (const std::string& v : variants) {
    const std::vector<std::string> settings = SplitSettings(v);
    if (settings.empty()) throw InputError("--variant \"" + v + "\": expected NAME=VALUE");
    SceneFile variant = plan.scene;
    ApplyOverrides(settings, "--variant", catalog, variant);
    CheckButtonPresses(variant, "--variant \"" + v + "\": ");
    plan.variants.push_back(std::move(variant));
    plan.variantLabels.push_back(VariantLabel(settings));
  }
}

// The video's rate: frames taken every n-th frame play at 1/n of the composition's rate, so that
// the clip lasts as long as the animation. Frames not evenly spaced play at the composition's
// rate, with a warning.
void PlanVideoRate(Plan& plan) {
  const std::vector<long>& f = plan.frames;
  const std::string& fps = plan.scene.fpsText;
  plan.videoRate = fps;
  plan.videoFps = plan.scene.fps;
  if (f.size() < 2) return;
  const long step = f[1] - f[0];
  for (std::size_t i = 2; i < f.size(); ++i) {
    if (f[i] - f[i - 1] == step) continue;
    plan.warnings.push_back(
        "the frames are not evenly spaced, so the video plays them one after the other at the "
        "composition's rate (" +
        fps + " fps) and does not keep the animation's timing");
    return;
  }
  if (step == 1) return;
  const bool fraction = fps.find('/') != std::string::npos;
  plan.videoRate = (fraction ? "(" + fps + ")" : fps) + "/" + std::to_string(step);
  plan.videoFps = plan.scene.fps / static_cast<double>(step);
}

// The frames of changing layers the render may show, each checked (there and of the right size).
void PlanSources(Plan& plan, const ParamCatalog& catalog) {
  std::vector<const SceneFile*> scenes{&plan.scene};
  for (const SceneFile& v : plan.variants) scenes.push_back(&v);
  plan.sources = SourceFramesNeeded(scenes, plan.frames, catalog);
  CheckSourceFrames(plan.scene, plan.sources);
}

void CheckOutputs(Plan& plan, const ParamCatalog& catalog) {
  if (!plan.frameFiles.empty() || plan.sheet) CheckWritableFolder(plan.outDir, "--out");
  if (plan.video) {
    const fs::path folder = plan.video->path.parent_path();
    CheckWritableFolder(folder.empty() ? fs::path(".") : folder, "--video");
  }
  plan.frameRecord = FrameRecord(plan, catalog);
  CheckNotClaimed(plan);
  for (auto& o : plan.frameFiles) CheckExisting(o, plan, true);
  if (plan.sheet) CheckExisting(*plan.sheet, plan, false);
  if (plan.video) CheckExisting(*plan.video, plan, false);
  if (plan.video && !ProgramRuns(plan.ffmpeg)) {
    throw InputError("--video needs ffmpeg, which was not found (\"" + plan.ffmpeg +
                     "\" does not run; install ffmpeg, name it with --ffmpeg, or leave out "
                     "--video)");
  }
  if (plan.video && !ProgramRuns(ProbeProgram(plan.ffmpeg))) {
    throw InputError(
        "--video needs ffprobe, which comes with ffmpeg, to check the finished video (\"" +
        ProbeProgram(plan.ffmpeg) + "\" does not run)");
  }
  if (plan.sheet) {
    try {
      plan.painter = std::make_unique<TextPainter>(DefaultFontFile(), kLabelPixels);
    } catch (const std::exception& e) {
      plan.fontProblem = e.what();
    }
  }
}

std::vector<std::string> SharedSettings(const Plan& plan, const ParamCatalog& catalog) {
  if (plan.variants.empty()) return DescribeSettings(plan.scene.params, catalog);
  std::vector<std::string> shared = DescribeSettings(plan.variants.front().params, catalog);
  for (const SceneFile& variant : plan.variants) {
    const std::vector<std::string> own = DescribeSettings(variant.params, catalog);
    shared.erase(std::remove_if(shared.begin(), shared.end(),
                                [&](const std::string& s) {
                                  return std::find(own.begin(), own.end(), s) == own.end();
                                }),
                 shared.end());
  }
  return shared;
}

}  // namespace quillstreak::renderer
