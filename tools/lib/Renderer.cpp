#include "Renderer.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <sstream>
#include <vector>

#include "ContactSheet.h"
#include "InputError.h"
#include "ParamCatalog.h"
#include "Scene.h"
#include "host/Host.h"
#include "host/Module.h"

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
#include <unistd.h>
#include <csignal>
#endif

namespace qsrender {
namespace {

namespace fs = std::filesystem;

constexpr char kProgram[] = "quillstreak-render";

#if defined(_WIN32)
constexpr char kModuleFileName[] = "Quillstreak.aex";
#else
constexpr char kModuleFileName[] = "Quillstreak.so";
#endif

// A failure while rendering (the effect, or writing an output): exit code 1.
class RenderError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct Options {
  std::string scene;
  std::string plugin;
  std::string frames;
  std::string out = "out";
  std::string resolution = "full";
  std::vector<std::string> sets;
  bool listParams = false;
  bool quiet = false;
  bool overwrite = false;
  bool contactSheet = false;
  int sheetColumns = 6;
  int sheetWidth = 240;
  std::string video;
  unsigned threads = 0;
};

const char* ErrName(PF_Err err) {
  switch (err) {
    case PF_Err_OUT_OF_MEMORY:
      return "PF_Err_OUT_OF_MEMORY";
    case PF_Err_INTERNAL_STRUCT_DAMAGED:
      return "PF_Err_INTERNAL_STRUCT_DAMAGED";
    case PF_Err_INVALID_INDEX:
      return "PF_Err_INVALID_INDEX";
    case PF_Err_UNRECOGNIZED_PARAM_TYPE:
      return "PF_Err_UNRECOGNIZED_PARAM_TYPE";
    case PF_Err_INVALID_CALLBACK:
      return "PF_Err_INVALID_CALLBACK";
    case PF_Err_BAD_CALLBACK_PARAM:
      return "PF_Err_BAD_CALLBACK_PARAM";
    case PF_Err_CANNOT_PARSE_KEYFRAME_TEXT:
      return "PF_Err_CANNOT_PARSE_KEYFRAME_TEXT";
    default:
      return nullptr;
  }
}

std::string ErrText(PF_Err err) {
  std::string s = "error " + std::to_string(err);
  if (const char* name = ErrName(err)) s += std::string(" (") + name + ")";
  return s;
}

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

bool ParseFrameNumber(const std::string& s, long& value) {
  if (s.empty() || s.size() > 9) return false;
  for (char c : s)
    if (c < '0' || c > '9') return false;
  value = std::stol(s);
  return true;
}

// "A-B" (inclusive) or "A"; checked against the composition's frames 0..duration-1.
std::pair<long, long> FrameRange(const std::string& text, const Scene& scene) {
  const long last = scene.durationFrames - 1;
  if (text.empty()) return {0, last};
  long a = 0, b = 0;
  const auto dash = text.find('-');
  const bool ok = dash == std::string::npos ? ParseFrameNumber(text, a) && ParseFrameNumber(text, b)
                                            : ParseFrameNumber(text.substr(0, dash), a) &&
                                                  ParseFrameNumber(text.substr(dash + 1), b);
  if (!ok) throw InputError("--frames " + text + ": expected A-B or A (frame numbers from 0)");
  if (a > b) throw InputError("--frames " + text + ": the first frame comes after the last");
  if (b > last) {
    throw InputError("--frames " + text + ": outside the composition of " + scene.file +
                     " (frames 0-" + std::to_string(last) + ")");
  }
  return {a, b};
}

PF_RationalScale Downsample(const std::string& resolution) {
  if (resolution == "half") return {1, 2};
  if (resolution == "third") return {1, 3};
  if (resolution == "quarter") return {1, 4};
  return {1, 1};
}

void ApplyOverrides(const std::vector<std::string>& sets, const ParamCatalog& catalog,
                    Scene& scene) {
  for (const std::string& s : sets) {
    const std::string context = "--set \"" + s + "\"";
    const auto eq = s.find('=');
    if (eq == std::string::npos) throw InputError(context + ": expected NAME=VALUE");
    const std::string name = s.substr(0, eq);
    const ParamInfo* info = catalog.Find(name);
    if (info == nullptr) {
      throw InputError(context + ": unknown parameter (the effect's parameters: " +
                       catalog.SettableNames() + ")");
    }
    ParamSetting setting;
    setting.index = info->index;
    setting.type = info->type;
    setting.name = info->name;
    setting.constant = ParseParamText(*info, s.substr(eq + 1), context);
    if (info->type == ParamType::Layer && setting.constant.layer != 0 &&
        scene.comp.FindLayer(setting.constant.layer) == nullptr) {
      throw InputError(context + ": unknown layer id " + std::to_string(setting.constant.layer) +
                       " in " + scene.file);
    }
    scene.Set(std::move(setting));
  }
}

bool CommandExists(const std::string& probe) {
#if defined(_WIN32)
  const std::string command = probe + " >NUL 2>&1";
#else
  const std::string command = probe + " >/dev/null 2>&1";
#endif
  return std::system(command.c_str()) == 0;
}

std::string ShellQuote(const std::string& s) {
#if defined(_WIN32)
  return "\"" + s + "\"";
#else
  std::string out = "'";
  for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
#endif
}

// ffmpeg reading raw RGBA frames on its standard input.
class VideoPipe {
 public:
  VideoPipe(const std::string& path, int width, int height, double fps) {
    char rate[32];
    std::snprintf(rate, sizeof rate, "%.2f", fps);
    const std::string command = "ffmpeg -loglevel error -y -f rawvideo -pix_fmt rgba -s " +
                                std::to_string(width) + "x" + std::to_string(height) + " -r " +
                                rate + " -i - -vf " + ShellQuote("pad=ceil(iw/2)*2:ceil(ih/2)*2") +
                                " -pix_fmt yuv420p " + ShellQuote(path);
#if defined(_WIN32)
    pipe_ = _popen(command.c_str(), "wb");
#else
    // A failing ffmpeg must surface as a write error, not end this program.
    std::signal(SIGPIPE, SIG_IGN);
    pipe_ = popen(command.c_str(), "w");
#endif
    if (pipe_ == nullptr) throw RenderError("cannot start ffmpeg");
  }
  ~VideoPipe() {
    if (pipe_ != nullptr) Close();
  }
  VideoPipe(const VideoPipe&) = delete;
  VideoPipe& operator=(const VideoPipe&) = delete;

  void Write(const RgbaImage& image) {
    if (std::fwrite(image.rgba.data(), 1, image.rgba.size(), pipe_) != image.rgba.size())
      throw RenderError("writing to ffmpeg failed");
  }
  // ffmpeg's exit status (0 = success).
  int Close() {
#if defined(_WIN32)
    const int status = _pclose(pipe_);
#else
    const int status = pclose(pipe_);
#endif
    pipe_ = nullptr;
    return status;
  }

 private:
  std::FILE* pipe_ = nullptr;
};

// Frames done, frames per second and time left: a bar redrawn in place on a terminal, one line
// per frame otherwise.
class Progress {
 public:
  Progress(std::ostream& err, bool terminal, bool quiet, long total)
      : err_(err),
        terminal_(terminal),
        quiet_(quiet),
        total_(total),
        start_(std::chrono::steady_clock::now()) {}

  void FrameDone(long done, long frame, const std::string& file) {
    if (quiet_) return;
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    const double fps = seconds > 0 ? done / seconds : 0;
    const double left = fps > 0 ? (total_ - done) / fps : 0;
    char stats[96];
    std::snprintf(stats, sizeof stats, "%ld/%ld frames  %.1f fps  %s left", done, total_, fps,
                  Duration(left).c_str());
    if (terminal_) {
      constexpr int kWidth = 30;
      const int filled = static_cast<int>(kWidth * done / std::max(1L, total_));
      err_ << "\r[" << std::string(static_cast<std::size_t>(filled), '#')
           << std::string(static_cast<std::size_t>(kWidth - filled), '.') << "] " << stats << "   "
           << std::flush;
      if (done == total_) err_ << "\n";
    } else {
      err_ << "frame " << frame << " -> " << file << "  (" << stats << ")\n";
    }
  }
  // Ends a bar left unfinished (before an error message).
  void Interrupt() {
    if (terminal_ && !quiet_) err_ << "\n";
  }

 private:
  static std::string Duration(double seconds) {
    const long s = std::lround(seconds);
    char buf[32];
    if (s >= 60)
      std::snprintf(buf, sizeof buf, "%ld:%02ld", s / 60, s % 60);
    else
      std::snprintf(buf, sizeof buf, "%lds", s);
    return buf;
  }

  std::ostream& err_;
  bool terminal_;
  bool quiet_;
  long total_;
  std::chrono::steady_clock::time_point start_;
};

const char kHelpFooter[] = R"(
Renders frames of a scene through the effect, exactly as the host drives it: global setup,
parameter setup, then smart pre-render and smart render for every frame. Without a scene file it
renders the built-in demo (960x540, 48 frames).

Output: one PNG per frame, OUT/frame_0000.png ... (numbered by composition frame), each the
rendered frame composited over the composition's background colour: opaque RGB, 8 bits per
channel, at the chosen resolution. --contact-sheet adds OUT/contact_sheet.png (the frames scaled
to --sheet-width pixels, --sheet-columns per row). --video also pipes the frames to ffmpeg.
Existing files are never replaced without --overwrite.

Parameter values (--set and scene files) use the effect's parameter names (see --list-params):
numbers for sliders, on/off for checkboxes, #RRGGBB or r,g,b for colours, a layer id or none for
Motion Source.

Exit codes: 0 success; 1 the effect returned an error or an output could not be written;
2 invalid options, scene or files (nothing is written).)";

int Run(const Options& opt, const char* argv0, std::ostream& out, std::ostream& err,
        bool errIsTerminal) {
  // ---- the effect --------------------------------------------------------------------------
  const std::string pluginPath = ResolvePluginPath(opt, argv0);
  std::unique_ptr<qshost::Module> module;
  try {
    module = std::make_unique<qshost::Module>(pluginPath);
  } catch (const std::exception& e) {
    throw InputError(std::string("cannot load the effect module: ") + e.what());
  }
  qshost::Host host(*module);
  host.SetThreads(opt.threads);
  if (const PF_Err e = host.GlobalSetup(); e != PF_Err_NONE)
    throw RenderError("the effect failed global setup with " + ErrText(e));
  if (const PF_Err e = host.ParamsSetup(); e != PF_Err_NONE)
    throw RenderError("the effect failed parameter setup with " + ErrText(e));
  const ParamCatalog catalog(host.declaredParams());

  if (opt.listParams) {
    out << catalog.Listing();
    return kExitOk;
  }

  // ---- everything checked before anything is written ---------------------------------------
  Scene scene = opt.scene.empty() ? ParseScene(DemoSceneText(), "<demo>", "", catalog)
                                  : LoadSceneFile(opt.scene, catalog);
  ApplyOverrides(opt.sets, catalog, scene);
  const auto [first, last] = FrameRange(opt.frames, scene);

  const fs::path outDir(opt.out);
  std::error_code ec;
  if (fs::exists(outDir, ec) && !fs::is_directory(outDir, ec))
    throw InputError("--out " + opt.out + ": exists and is not a folder");
  const int digits = std::max(4, static_cast<int>(std::to_string(scene.durationFrames - 1).size()));
  std::vector<fs::path> outputs;
  for (long f = first; f <= last; ++f) outputs.push_back(outDir / FrameFileName(f, digits));
  const fs::path sheetPath = outDir / "contact_sheet.png";
  if (opt.contactSheet) outputs.push_back(sheetPath);
  if (!opt.video.empty()) outputs.push_back(fs::path(opt.video));
  for (const auto& p : outputs) {
    if (!fs::exists(p, ec)) continue;
    if (fs::is_directory(p, ec)) throw InputError(p.string() + ": is a folder");
    if (!opt.overwrite)
      throw InputError(p.string() + ": already exists (use --overwrite to replace it)");
  }
  if (!opt.video.empty() && !CommandExists("ffmpeg -version"))
    throw InputError(
        "--video needs ffmpeg, which was not found (install ffmpeg or leave out --video)");

  // ---- render ------------------------------------------------------------------------------
  fs::create_directories(outDir, ec);
  if (ec) throw RenderError("cannot create the folder " + outDir.string() + ": " + ec.message());

  scene.ApplyTo(host);
  const PF_RationalScale ds = Downsample(opt.resolution);
  host.SetDownsample(ds, ds);

  std::unique_ptr<VideoPipe> video;
  std::vector<RgbaImage> cells;
  const long total = last - first + 1;
  Progress progress(err, errIsTerminal, opt.quiet, total);
  try {
    for (long f = first; f <= last; ++f) {
      const qshost::FrameResult result = host.RenderFrame(static_cast<A_long>(f * kUnitsPerFrame));
      if (result.preRenderErr != PF_Err_NONE)
        throw RenderError("frame " + std::to_string(f) + ": smart pre-render failed with " +
                          ErrText(result.preRenderErr));
      if (result.err != PF_Err_NONE)
        throw RenderError("frame " + std::to_string(f) + ": smart render failed with " +
                          ErrText(result.err));
      const RgbaImage image = FrameToRgba(result.frame, scene.comp.background);
      const fs::path file = outputs[static_cast<std::size_t>(f - first)];
      try {
        WritePng(file.string(), image, true);
      } catch (const PngError& e) {
        throw RenderError(file.string() + ": " + e.what());
      }
      if (opt.contactSheet) cells.push_back(ScaleDown(image, opt.sheetWidth));
      if (!opt.video.empty()) {
        if (!video)
          video = std::make_unique<VideoPipe>(opt.video, image.width, image.height, scene.fps);
        video->Write(image);
      }
      progress.FrameDone(f - first + 1, f, file.string());
    }
  } catch (...) {
    progress.Interrupt();
    throw;
  }
  if (opt.contactSheet) {
    const std::uint8_t gapColor[3] = {0, 0, 0};
    try {
      WritePng(sheetPath.string(), LayOutContactSheet(cells, opt.sheetColumns, 2, gapColor), true);
    } catch (const PngError& e) {
      throw RenderError(sheetPath.string() + ": " + e.what());
    }
  }
  if (video) {
    if (const int status = video->Close(); status != 0)
      throw RenderError(opt.video + ": ffmpeg failed (exit status " + std::to_string(status) + ")");
  }
  if (!opt.quiet) {
    out << "Rendered " << total << (total == 1 ? " frame" : " frames") << " of " << scene.file
        << " to " << outDir.string();
    if (opt.contactSheet) out << "; contact sheet " << sheetPath.string();
    if (!opt.video.empty()) out << "; video " << opt.video;
    out << "\n";
  }
  return kExitOk;
}

}  // namespace

std::string FrameFileName(long frame, int digits) {
  std::string n = std::to_string(frame);
  if (static_cast<int>(n.size()) < digits)
    n.insert(0, static_cast<std::size_t>(digits) - n.size(), '0');
  return "frame_" + n + ".png";
}

int RunRenderer(int argc, const char* const* argv, std::ostream& out, std::ostream& err,
                bool errIsTerminal) {
  CLI::App app("Renders a scene through the Quillstreak effect to PNG frames.", kProgram);
  app.footer(kHelpFooter);
  Options opt;
  app.add_option("scene", opt.scene, "Scene file (JSON); the built-in demo when left out");
  app.add_option("--plugin", opt.plugin,
                 "Effect module to load (default: next to this program, else the one it was "
                 "built with; $QUILLSTREAK_MODULE overrides that)");
  app.add_option("--frames", opt.frames, "Frames to render, A-B inclusive or A (default: all)");
  app.add_option("--out", opt.out, "Output folder")->capture_default_str();
  app.add_option("--resolution", opt.resolution, "full, half, third or quarter")
      ->check(CLI::IsMember({"full", "half", "third", "quarter"}))
      ->capture_default_str();
  app.add_option("--set", opt.sets, "Override a parameter: NAME=VALUE (repeatable)")
      ->allow_extra_args(false);
  app.add_flag("--list-params", opt.listParams, "List the effect's parameters and exit");
  app.add_flag("--contact-sheet", opt.contactSheet, "Also write OUT/contact_sheet.png");
  app.add_option("--sheet-columns", opt.sheetColumns, "Contact sheet: frames per row")
      ->check(CLI::Range(1, 100))
      ->capture_default_str();
  app.add_option("--sheet-width", opt.sheetWidth, "Contact sheet: width of each frame in pixels")
      ->check(CLI::Range(8, 4096))
      ->capture_default_str();
  app.add_option("--video", opt.video, "Also encode the frames to this video file with ffmpeg");
  app.add_option("--threads", opt.threads, "Host worker threads (0 = all cores)")
      ->capture_default_str();
  app.add_flag("-q,--quiet", opt.quiet, "No progress or summary, errors only");
  app.add_flag("--overwrite", opt.overwrite, "Replace existing output files");

  try {
    std::vector<std::string> args;
    for (int i = argc - 1; i >= 1; --i) args.emplace_back(argv[i]);
    app.parse(args);
  } catch (const CLI::ParseError& e) {
    const int code = app.exit(e, out, err);
    return code == 0 ? kExitOk : kExitBadInput;
  }

  const char* argv0 = argc > 0 ? argv[0] : nullptr;
  try {
    return Run(opt, argv0, out, err, errIsTerminal);
  } catch (const InputError& e) {
    err << kProgram << ": " << e.what() << "\n";
    return kExitBadInput;
  } catch (const RenderError& e) {
    err << kProgram << ": " << e.what() << "\n";
    return kExitRenderFailed;
  } catch (const std::exception& e) {
    err << kProgram << ": " << e.what() << "\n";
    return kExitRenderFailed;
  }
}

int RunRenderer(int argc, char** argv) {
#if defined(_WIN32)
  const bool terminal = _isatty(_fileno(stderr)) != 0;
#else
  const bool terminal = isatty(fileno(stderr)) != 0;
#endif
  return RunRenderer(argc, argv, std::cout, std::cerr, terminal);
}

}  // namespace qsrender
