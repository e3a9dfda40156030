#include "renderer/Renderer.h"

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <sstream>
#include <thread>
#include <vector>

#include "renderer/ContactSheet.h"
#include "renderer/FrameList.h"
#include "renderer/FrameWriter.h"
#include "renderer/InputError.h"
#include "renderer/Outputs.h"
#include "renderer/ParamCatalog.h"
#include "renderer/Progress.h"
#include "renderer/RenderSession.h"
#include "renderer/Scene.h"
#include "renderer/Suggest.h"
#include "renderer/TextPainter.h"

#if defined(_WIN32)
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <io.h>
#include <windows.h>
#else
#include <sys/ioctl.h>
#include <unistd.h>
#endif
#if defined(__GLIBC__)
#include <malloc.h>
#endif

#ifndef QS_VERSION
#define QS_VERSION "unknown"
#endif

namespace quillstreak::renderer {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

constexpr char kProgram[] = "quillstreak-render";
constexpr char kSheetName[] = "contact_sheet.png";
constexpr int kLabelPixels = 13;

#if defined(_WIN32)
constexpr char kModuleFileName[] = "Quillstreak.aex";
#else
constexpr char kModuleFileName[] = "Quillstreak.so";
#endif

struct Options {
  std::string scene;
  std::string plugin;
  std::optional<std::string> frames;
  std::string out = "out";
  std::string name;
  std::string resolution = "full";
  std::vector<std::string> sets;
  std::vector<std::string> variants;
  bool listParams = false;
  bool quiet = false;
  bool json = false;
  bool overwrite = false;
  bool skipExisting = false;
  bool dryRun = false;
  bool alpha = false;
  bool contactSheet = false;
  int sheetColumns = 6;
  int sheetWidth = 240;
  std::string video;
  bool videoOnly = false;
  std::string ffmpeg = "ffmpeg";
  unsigned threads = 0;
  std::string pngCompression = "fast";
};

// The folder of the running program, or empty when it cannot be found.
fs::path ExecutableDir(const char* argv0) {
#if defined(_WIN32)
  wchar_t buffer[32768];
  const DWORD n = GetModuleFileNameW(nullptr, buffer, 32768);
  if (n > 0 && n < 32768) return fs::path(std::wstring(buffer, n)).parent_path();
#elif defined(__linux__)
  std::error_code ec;
  const fs::path self = fs::read_symlink("/proc/self/exe", ec);
  if (!ec) return self.parent_path();
#endif
  if (argv0 != nullptr && *argv0 != '\0') {
    std::error_code ec;
    const fs::path p = fs::absolute(fs::path(argv0), ec);
    if (!ec) return p.parent_path();
  }
  return {};
}

// An environment variable's value (empty when unset).
std::string EnvironmentValue(const char* name) {
#if defined(_MSC_VER)
  char* value = nullptr;
  std::size_t length = 0;
  std::string out;
  if (_dupenv_s(&value, &length, name) == 0 && value != nullptr) {
    out = value;
    std::free(value);
  }
  return out;
#else
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
#endif
}

// --plugin, else $QUILLSTREAK_MODULE, else the module next to the program, else the module of
// the build tree the program was built in.
std::string ResolvePluginPath(const Options& opt, const char* argv0) {
  if (!opt.plugin.empty()) return opt.plugin;
  if (std::string env = EnvironmentValue("QUILLSTREAK_MODULE"); !env.empty()) return env;
  const fs::path dir = ExecutableDir(argv0);
  std::error_code ec;
  if (!dir.empty() && fs::is_regular_file(dir / kModuleFileName, ec))
    return (dir / kModuleFileName).string();
#ifdef QS_DEFAULT_PLUGIN
  return QS_DEFAULT_PLUGIN;
#else
  return kModuleFileName;
#endif
}

int Downsample(const std::string& resolution) {
  if (resolution == "half") return 2;
  if (resolution == "third") return 3;
  if (resolution == "quarter") return 4;
  return 1;
}

// NAME=VALUE settings (from --set, or one --variant split at its semicolons) over the scene;
// `option` names them in messages.
void ApplyOverrides(const std::vector<std::string>& sets, const std::string& option,
                    const ParamCatalog& catalog, Scene& scene) {
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
    setting.constant = ParseParamText(*info, s.substr(eq + 1), context);
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

std::string SceneTitle(const Scene& scene) {
  if (scene.file == "<demo>") return "built-in demo";
  if (scene.file == "<stdin>") return "scene from standard input";
  return fs::path(scene.file).filename().string();
}

// The contact sheet's caption: the scene and its parameter values that differ from the defaults.
std::string Caption(const Scene& scene, const ParamCatalog& catalog) {
  std::string caption = SceneTitle(scene);
  const std::vector<std::string> settings = DescribeSettings(scene, catalog);
  if (settings.empty()) return caption + " (every parameter at its default)";
  caption += " \xE2\x80\x94";  // an em dash
  for (std::size_t i = 0; i < settings.size(); ++i) caption += (i == 0 ? " " : ", ") + settings[i];
  return caption;
}

// One file the render would write, and what becomes of a file already there.
struct Output {
  fs::path path;
  long frame = -1;
  bool exists = false;
};

// Everything decided before the first write.
struct Plan {
  Scene scene;
  std::vector<Scene> variants;  // empty: one render of `scene`
  std::vector<std::string> variantLabels;
  std::vector<long> frames;
  int downsample = 1;
  fs::path outDir;
  std::vector<Output> frameFiles;  // empty with --video-only and --variant
  std::optional<Output> sheet;
  std::optional<Output> video;
  const VideoFormat* videoFormat = nullptr;
  std::unique_ptr<TextPainter> painter;
  std::string fontProblem;
};

// Refuses an existing output unless it may be replaced (--overwrite) or kept (--skip-existing).
void CheckExisting(Output& o, const Options& opt, bool mayKeep) {
  std::error_code ec;
  if (!fs::exists(o.path, ec)) return;
  o.exists = true;
  if (fs::is_directory(o.path, ec)) throw InputError(o.path.string() + ": is a folder");
  if (opt.overwrite) return;
  if (opt.skipExisting && mayKeep) {
    if (!LooksLikePng(o.path.string())) {
      throw InputError(o.path.string() +
                       ": exists but is not a PNG file, so it cannot be kept (delete it, or use "
                       "--overwrite)");
    }
    return;
  }
  throw InputError(o.path.string() + ": already exists (use --overwrite to replace it" +
                   (mayKeep ? ", or --skip-existing to keep it" : "") + ")");
}

void CheckOptionCombinations(const Options& opt) {
  if (opt.overwrite && opt.skipExisting)
    throw InputError("--overwrite and --skip-existing: choose one");
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

Scene LoadScene(const Options& opt, const ParamCatalog& catalog, std::istream& in) {
  if (opt.scene.empty()) return ParseScene(DemoSceneText(), "<demo>", "", catalog);
  if (opt.scene == "-") {
    std::ostringstream text;
    text << in.rdbuf();
    return ParseScene(text.str(), "<stdin>", "", catalog);
  }
  return LoadSceneFile(opt.scene, catalog);
}

Plan MakePlan(const Options& opt, RenderSession& session, const Console& io) {
  CheckOptionCombinations(opt);
  const ParamCatalog& catalog = session.catalog();
  Plan plan;
  plan.scene = LoadScene(opt, catalog, io.in);
  ApplyOverrides(opt.sets, "--set", catalog, plan.scene);
  for (const std::string& v : opt.variants) {
    const std::vector<std::string> settings = SplitSettings(v);
    if (settings.empty()) throw InputError("--variant \"" + v + "\": expected NAME=VALUE");
    Scene variant = plan.scene;
    ApplyOverrides(settings, "--variant", catalog, variant);
    plan.variants.push_back(std::move(variant));
    plan.variantLabels.push_back(VariantLabel(settings));
  }
  const long last = plan.scene.durationFrames - 1;
  if (opt.frames) {
    plan.frames = ParseFrameList(*opt.frames, last, "--frames", plan.scene.file);
  } else {
    for (long f = 0; f <= last; ++f) plan.frames.push_back(f);
  }
  plan.downsample = Downsample(opt.resolution);

  plan.outDir = fs::path(opt.out);
  const bool variants = !plan.variants.empty();
  if (!opt.videoOnly && !variants) {
    const int digits = std::max(4, static_cast<int>(std::to_string(last).size()));
    const NamePattern pattern =
        opt.name.empty() ? NamePattern(digits) : NamePattern::Parse(opt.name, "--name", ".png");
    for (long f : plan.frames) plan.frameFiles.push_back({plan.outDir / pattern.Name(f), f});
  }
  if (opt.contactSheet || variants) plan.sheet = Output{plan.outDir / kSheetName};
  if (!opt.video.empty()) {
    const fs::path video(opt.video);
    plan.videoFormat = VideoFormatFor(video);
    if (plan.videoFormat == nullptr) {
      throw InputError("--video " + opt.video + ": unknown video format \"" +
                       video.extension().string() + "\" (the renderer writes " + VideoExtensions() +
                       ")");
    }
    plan.video = Output{video};
  }

  // Folders, then every file that would be written.
  if (!plan.frameFiles.empty() || plan.sheet) CheckWritableFolder(plan.outDir, "--out");
  if (plan.video) {
    const fs::path folder = plan.video->path.parent_path();
    CheckWritableFolder(folder.empty() ? fs::path(".") : folder, "--video");
  }
  for (auto& o : plan.frameFiles) CheckExisting(o, opt, true);
  if (plan.sheet) CheckExisting(*plan.sheet, opt, false);
  if (plan.video) CheckExisting(*plan.video, opt, false);
  if (plan.video && !ProgramRuns(opt.ffmpeg)) {
    throw InputError("--video needs ffmpeg, which was not found (\"" + opt.ffmpeg +
                     "\" does not run; install ffmpeg, name it with --ffmpeg, or leave out "
                     "--video)");
  }
  if (plan.sheet) {
    try {
      plan.painter = std::make_unique<TextPainter>(DefaultFontFile(), kLabelPixels);
    } catch (const std::exception& e) {
      plan.fontProblem = e.what();
    }
  }
  return plan;
}

void Warn(const Console& io, const Options& opt, const std::string& message) {
  if (opt.json)
    WriteJsonLine(io.out, {{"event", "warning"}, {"message", message}});
  else if (!opt.quiet)
    io.err << kProgram << ": warning: " << message << "\n";
}

json PlanJson(const Plan& plan, const ParamCatalog& catalog) {
  long fresh = 0, replaced = 0;
  for (const auto& o : plan.frameFiles) (o.exists ? replaced : fresh)++;
  json j = {{"scene", plan.scene.file},
            {"width", plan.scene.comp.width / plan.downsample},
            {"height", plan.scene.comp.height / plan.downsample},
            {"fps", plan.scene.fpsText},
            {"composition_frames", plan.scene.durationFrames},
            {"frames", plan.frames},
            {"settings", DescribeSettings(plan.scene, catalog)},
            {"out", plan.outDir.string()}};
  if (!plan.frameFiles.empty()) {
    j["first_file"] = plan.frameFiles.front().path.string();
    j["last_file"] = plan.frameFiles.back().path.string();
    j["existing_files"] = replaced;
  }
  if (!plan.variantLabels.empty()) j["variants"] = plan.variantLabels;
  if (plan.sheet) j["contact_sheet"] = plan.sheet->path.string();
  if (plan.video) j["video"] = plan.video->path.string();
  return j;
}

void PrintDryRun(const Plan& plan, const Options& opt, const ParamCatalog& catalog,
                 std::ostream& out) {
  if (opt.json) {
    json j = PlanJson(plan, catalog);
    j["event"] = "dry_run";
    WriteJsonLine(out, j);
    return;
  }
  const Scene& s = plan.scene;
  const quillstreak::host::Layer* layer = s.comp.FindLayer(s.effectLayer);
  out << "Dry run: everything checked, nothing written.\n";
  out << "  scene          " << s.file << ": " << s.comp.width << "x" << s.comp.height << ", "
      << s.fpsText << " fps, " << s.durationFrames << " frames\n";
  out << "  effect         on layer " << s.effectLayer << " \""
      << (layer != nullptr ? layer->name : "") << "\"";
  const std::vector<std::string> settings = DescribeSettings(s, catalog);
  if (settings.empty()) out << ", every parameter at its default\n";
  for (std::size_t i = 0; i < settings.size(); ++i)
    out << (i == 0 ? ": " : ", ") << settings[i] << (i + 1 == settings.size() ? "\n" : "");
  out << "  frames         " << DescribeFrames(plan.frames) << " (" << plan.frames.size()
      << (plan.frames.size() == 1 ? " frame" : " frames") << ") at " << opt.resolution
      << " resolution, " << s.comp.width / plan.downsample << "x" << s.comp.height / plan.downsample
      << "\n";
  for (const auto& label : plan.variantLabels) out << "  variant        " << label << "\n";
  if (!plan.frameFiles.empty()) {
    long existing = 0;
    for (const auto& o : plan.frameFiles) existing += o.exists;
    out << "  frame files    " << plan.frameFiles.front().path.string();
    if (plan.frameFiles.size() > 1)
      out << " ... " << plan.frameFiles.back().path.filename().string();
    out << (opt.alpha ? " (RGBA, effect layer only)" : "") << "\n";
    if (existing > 0) {
      out << "                 " << existing << " already there, "
          << (opt.overwrite ? "to be replaced" : "to be kept") << "\n";
    }
  }
  if (plan.sheet) out << "  contact sheet  " << plan.sheet->path.string() << "\n";
  if (plan.video) out << "  video          " << plan.video->path.string() << " (ffmpeg)\n";
}

// Every frame allocates and frees worlds of several megabytes. glibc would give them back to the
// system when freed and fault them in again, zeroed, for the next frame (a tenth of the CPU
// time at 1080p): keep freed memory for reuse instead.
void KeepFreedMemory() {
#if defined(__GLIBC__)
  mallopt(M_MMAP_THRESHOLD, 32 << 20);  // glibc's largest
  mallopt(M_TRIM_THRESHOLD, 256 << 20);
#endif
}

// Renders what the plan says, writes it and reports the summary. Returns the exit code.
int Execute(Plan& plan, const Options& opt, RenderSession& session, const Console& io) {
  if (!plan.frameFiles.empty() || plan.sheet) {
    std::error_code ec;
    fs::create_directories(plan.outDir, ec);
    if (ec)
      throw RenderError("cannot create the folder " + plan.outDir.string() + ": " + ec.message());
  }
  if (plan.video && !plan.video->path.parent_path().empty()) {
    std::error_code ec;
    fs::create_directories(plan.video->path.parent_path(), ec);
    if (ec)
      throw RenderError("cannot create the folder of " + plan.video->path.string() + ": " +
                        ec.message());
  }
  if (plan.sheet && plan.painter == nullptr)
    Warn(io, opt, "contact sheet without labels: " + plan.fontProblem);
  KeepFreedMemory();

  const ReportStyle style = opt.json           ? ReportStyle::Json
                            : opt.quiet        ? ReportStyle::Quiet
                            : io.errIsTerminal ? ReportStyle::Bar
                                               : ReportStyle::Lines;
  const std::size_t runs = std::max<std::size_t>(1, plan.variants.size());
  Progress progress(io.out, io.err, style, io.columns,
                    static_cast<long>(runs * plan.frames.size()));
  std::vector<RgbaImage> cells;
  std::vector<std::string> labels;
  std::unique_ptr<VideoWriter> video;
  const std::vector<PngSettings> png =
      SettingsFor(opt.pngCompression == "small" ? PngCompression::Small : PngCompression::Fast);
  const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
  // One writer per worker thread: PNG encoding overlaps the rendering of the next frames.
  FrameWriter writer(opt.threads == 0 ? cores : opt.threads, png);
  RgbaImage picture;  // the frame for the contact sheet and the video, reused
  long rendered = 0, kept = 0;
  try {
    for (std::size_t run = 0; run < runs; ++run) {
      session.Prepare(plan.variants.empty() ? plan.scene : plan.variants[run], plan.downsample);
      const PF_Pixel background = session.background();
      for (std::size_t i = 0; i < plan.frames.size(); ++i) {
        const long f = plan.frames[i];
        const Output* file = plan.frameFiles.empty() ? nullptr : &plan.frameFiles[i];
        const bool keep = file != nullptr && file->exists && opt.skipExisting;
        const bool needPicture = plan.sheet || plan.video;
        if (keep) {
          ++kept;
          // The kept file is the picture, unless it holds the effect layer alone.
          if (needPicture && !opt.alpha) {
            try {
              picture = ReadPng(file->path.string());
            } catch (const PngError& e) {
              throw RenderError(file->path.string() + ": cannot read the kept frame: " + e.what());
            }
          } else if (needPicture) {
            FrameToRgba(session.Render(f, false).frame, background, picture);
          }
        } else {
          FramePictures pictures = session.Render(f, opt.alpha);
          ++rendered;
          if (needPicture) FrameToRgba(pictures.frame, background, picture);
          if (file != nullptr) {
            if (opt.alpha)
              writer.Write(file->path, std::move(pictures.effectLayer), true, background);
            else
              writer.Write(file->path, std::move(pictures.frame), false, background);
          }
        }
        if (plan.sheet) {
          cells.push_back(ScaleDown(picture, opt.sheetWidth));
          std::string label = "frame " + std::to_string(f);
          if (!plan.variantLabels.empty()) {
            label = plan.frames.size() == 1 ? plan.variantLabels[run]
                                            : plan.variantLabels[run] + " \xC2\xB7 " + label;
          }
          labels.push_back(std::move(label));
        }
        if (plan.video) {
          if (!video) {
            video =
                std::make_unique<VideoWriter>(opt.ffmpeg, plan.video->path, *plan.videoFormat,
                                              picture.width, picture.height, plan.scene.fpsText);
          }
          video->Write(picture);
        }
        const std::string shown = file != nullptr ? file->path.string()
                                  : plan.video    ? plan.video->path.string()
                                                  : plan.sheet->path.string();
        writer.Then([&progress, f, shown, keep] { progress.FrameDone(f, shown, keep); });
      }
    }
    writer.Finish();
    if (plan.sheet) {
      int columns = opt.sheetColumns;
      if (!plan.variants.empty())
        columns = plan.frames.size() == 1 ? static_cast<int>(plan.variants.size())
                                          : static_cast<int>(plan.frames.size());
      const std::string caption =
          plan.painter ? Caption(plan.scene, session.catalog()) : std::string();
      WritePngWhole(plan.sheet->path,
                    LabelledContactSheet(cells, labels, caption, columns, plan.painter.get()), true,
                    png);
    }
    if (video) video->Finish();
  } catch (...) {
    // The frames before the failure are written, as they would be one after the other.
    try {
      writer.Finish();
    } catch (...) {
      progress.Interrupt();
      throw;
    }
    progress.Interrupt();
    throw;
  }

  const double seconds = progress.Seconds();
  const double fps = seconds > 0 ? rendered / seconds : 0;
  if (opt.json) {
    json j = PlanJson(plan, session.catalog());
    j["event"] = "summary";
    j["rendered"] = rendered;
    j["kept"] = kept;
    j["seconds"] = std::round(seconds * 1000) / 1000;
    j["frames_per_second"] = std::round(fps * 100) / 100;
    WriteJsonLine(io.out, j);
  } else if (!opt.quiet) {
    char speed[64];
    std::snprintf(speed, sizeof speed, "%.1f", fps);
    io.out << "Rendered " << rendered << (rendered == 1 ? " frame" : " frames");
    if (!plan.variants.empty()) io.out << " (" << plan.variants.size() << " variants)";
    io.out << " of " << plan.scene.file << " in " << FormatSeconds(seconds) << " (" << speed
           << " frames/s)";
    if (kept > 0) io.out << ", kept " << kept << " existing";
    if (!plan.frameFiles.empty()) io.out << "; frames in " << plan.outDir.string();
    if (plan.sheet) io.out << "; contact sheet " << plan.sheet->path.string();
    if (plan.video) io.out << "; video " << plan.video->path.string();
    io.out << "\n";
  }
  return kExitOk;
}

int Run(const Options& opt, const char* argv0, const Console& io) {
  RenderSession session(ResolvePluginPath(opt, argv0), opt.threads);
  if (opt.listParams) {
    io.out << session.catalog().Listing();
    return kExitOk;
  }
  Plan plan = MakePlan(opt, session, io);
  for (const auto& w : plan.scene.warnings) Warn(io, opt, w);
  if (opt.dryRun) {
    PrintDryRun(plan, opt, session.catalog(), io.out);
    return kExitOk;
  }
  return Execute(plan, opt, session, io);
}

const char kHelpFooter[] = R"(
Renders frames of a scene through the effect, exactly as the host drives it: global setup,
parameter setup, then smart pre-render and smart render for every frame. Without a scene file it
renders the built-in demo (960x540, 48 frames); "-" reads the scene from standard input.

Frames (--frames): 7, 0-47, lists 1,5,9, steps 0-47x2, open ranges 10-; counted from 0.

Output: one PNG per frame, OUT/frame_0000.png ... (numbered by composition frame; --name
'shot_%04d.png' names them otherwise), each the rendered frame composited over the composition's
background colour: opaque RGB, 8 bits per channel, at the chosen resolution, compressed for
speed (--png-compression small: smallest files, several times slower). --alpha writes the
effect layer alone instead, as RGBA without the background. --contact-sheet adds
OUT/contact_sheet.png (the frames scaled to --sheet-width pixels, --sheet-columns per row, with
frame numbers and a caption). --video also encodes the frames with ffmpeg (.mp4, .mov, .mkv,
.webm, or .gif with a palette made from the frames); --video-only writes no PNG files.
--variant renders the frames once per set of values and writes only the contact sheet, one row
(or cell) per variant.

Everything is checked before anything is written: the scene, the options, the output folders,
the files, the video's format and ffmpeg. --dry-run stops there and says what would be written.
Existing files are never replaced without --overwrite; --skip-existing keeps them and renders
the rest (to resume an interrupted render).

Parameter values (--set, --variant and scene files) use the effect's parameter names (see
--list-params): numbers for sliders, on/off for checkboxes, #RRGGBB or r,g,b for colours, a layer
id or none for Motion Source.

Exit codes: 0 success; 1 the effect returned an error or an output could not be written;
2 invalid options, scene or files (nothing is written).)";

// The long names of the app's options ("--frames"), for suggestions.
std::vector<std::string> OptionNames(const CLI::App& app) {
  std::vector<std::string> names;
  for (const CLI::Option* o : app.get_options())
    for (const std::string& n : o->get_lnames()) names.push_back("--" + n);
  return names;
}

}  // namespace

std::string FrameFileName(long frame, int digits) { return NamePattern(digits).Name(frame); }

int RunRenderer(int argc, const char* const* argv, const Console& io) {
  CLI::App app("Renders a scene through the Quillstreak effect to PNG frames.", kProgram);
  app.footer(kHelpFooter);
  app.set_version_flag("--version", std::string(kProgram) + " " + QS_VERSION);
  Options opt;
  std::string frames;
  app.add_option("scene", opt.scene,
                 "Scene file (JSON); - reads it from standard input; the built-in demo when left "
                 "out");
  app.add_option("--plugin", opt.plugin,
                 "Effect module to load (default: next to this program, else the one it was "
                 "built with; $QUILLSTREAK_MODULE overrides that)");
  CLI::Option* framesOption = app.add_option(
      "--frames", frames, "Frames to render: 7, 0-47, 1,5,9, 0-47x2 or 10- (default: all)");
  app.add_option("--out", opt.out, "Output folder")->capture_default_str();
  app.add_option("--name", opt.name,
                 "Frame file names, with the frame number as %d or %04d (default "
                 "frame_%04d.png)");
  app.add_option("--resolution", opt.resolution, "full, half, third or quarter")
      ->check(CLI::IsMember({"full", "half", "third", "quarter"}))
      ->capture_default_str();
  app.add_option("--set", opt.sets, "Override a parameter: NAME=VALUE (repeatable)")
      ->allow_extra_args(false);
  app.add_option("--variant", opt.variants,
                 "Render once more with NAME=VALUE[;NAME=VALUE] and compare on the contact "
                 "sheet (repeatable)")
      ->allow_extra_args(false);
  app.add_flag("--list-params", opt.listParams, "List the effect's parameters and exit");
  app.add_flag("--contact-sheet", opt.contactSheet, "Also write OUT/contact_sheet.png");
  app.add_option("--sheet-columns", opt.sheetColumns, "Contact sheet: frames per row")
      ->check(CLI::Range(1, 100))
      ->capture_default_str();
  app.add_option("--sheet-width", opt.sheetWidth, "Contact sheet: width of each frame in pixels")
      ->check(CLI::Range(8, 4096))
      ->capture_default_str();
  app.add_flag("--alpha", opt.alpha,
               "Write the effect layer alone as RGBA, without the background and other layers");
  app.add_option("--video", opt.video,
                 "Also encode the frames to this video file with ffmpeg (.mp4, .mov, .mkv, "
                 ".webm, .gif)");
  app.add_flag("--video-only", opt.videoOnly, "With --video: write no PNG frames");
  app.add_option("--ffmpeg", opt.ffmpeg, "The ffmpeg program to run")->capture_default_str();
  app.add_option("--threads", opt.threads,
                 "Worker threads for rendering, and as many (up to 8) writing PNG files (0 = all "
                 "cores)")
      ->capture_default_str();
  app.add_option("--png-compression", opt.pngCompression,
                 "PNG files: fast (quick to write) or small (smallest files, several times "
                 "slower)")
      ->check(CLI::IsMember({"fast", "small"}))
      ->capture_default_str();
  app.add_flag("--dry-run", opt.dryRun,
               "Check everything, say what would be written, write nothing");
  app.add_flag("--overwrite", opt.overwrite, "Replace existing output files");
  app.add_flag("--skip-existing", opt.skipExisting,
               "Keep existing frame files and render the others (resume)");
  app.add_flag("--json", opt.json,
               "Report as JSON lines on standard output (frames, warnings, summary, errors)");
  app.add_flag("-q,--quiet", opt.quiet, "No progress or summary, errors only");

  try {
    std::vector<std::string> args;
    for (int i = argc - 1; i >= 1; --i) args.emplace_back(argv[i]);
    app.parse(args);
  } catch (const CLI::ExtrasError&) {
    std::string message;
    for (const std::string& extra : app.remaining()) {
      if (!extra.empty() && extra[0] == '-' && extra != "-") {
        message = "unknown option " + extra + DidYouMean(extra, OptionNames(app));
      } else {
        message = "unexpected argument \"" + extra + "\" (one scene file at most)";
      }
      break;
    }
    io.err << kProgram << ": " << message << "; see --help\n";
    return kExitBadInput;
  } catch (const CLI::ParseError& e) {
    const int code = app.exit(e, io.out, io.err);
    return code == 0 ? kExitOk : kExitBadInput;
  }
  if (framesOption->count() > 0) opt.frames = frames;

  const char* argv0 = argc > 0 ? argv[0] : nullptr;
  auto fail = [&](const std::exception& e, int code) {
    if (opt.json) {
      WriteJsonLine(io.out, {{"event", "error"}, {"exit_code", code}, {"message", e.what()}});
    }
    io.err << kProgram << ": " << e.what() << "\n";
    return code;
  };
  try {
    return Run(opt, argv0, io);
  } catch (const InputError& e) {
    return fail(e, kExitBadInput);
  } catch (const std::exception& e) {
    return fail(e, kExitRenderFailed);
  }
}

int RunRenderer(int argc, const char* const* argv, std::ostream& out, std::ostream& err,
                bool errIsTerminal) {
  std::istringstream none;
  return RunRenderer(argc, argv, Console{none, out, err, errIsTerminal, 80});
}

int RunRenderer(int argc, char** argv) {
#if defined(_WIN32)
  const bool terminal = _isatty(_fileno(stderr)) != 0;
  int columns = 80;
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (GetConsoleScreenBufferInfo(GetStdHandle(STD_ERROR_HANDLE), &info))
    columns = info.srWindow.Right - info.srWindow.Left + 1;
#else
  const bool terminal = isatty(fileno(stderr)) != 0;
  int columns = 80;
  winsize size{};
  if (terminal && ioctl(fileno(stderr), TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
    columns = size.ws_col;
  else if (const std::string env = EnvironmentValue("COLUMNS"); !env.empty())
    columns = std::max(20, std::atoi(env.c_str()));
#endif
  return RunRenderer(argc, argv, Console{std::cin, std::cout, std::cerr, terminal, columns});
}

}  // namespace quillstreak::renderer
