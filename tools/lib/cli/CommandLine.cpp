#include "cli/CommandLine.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <charconv>
#include <initializer_list>
#include <limits>
#include <ostream>
#include <stdexcept>

#include "render/Progress.h"
#include "render/VideoEncoder.h"
#include "scene/Suggest.h"

#ifndef QS_VERSION
#define QS_VERSION "unknown"
#endif

namespace quillstreak::renderer {
namespace {

const char kHelpFooter[] = R"(
Renders frames of a scene through the effect, exactly as the host drives it: global setup,
parameter setup, then smart pre-render and smart render for every frame. Without a scene file it
renders the built-in demo (960x540, 48 frames) and its contact sheet; "-" reads the scene from
standard input.

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
the files, the video's format and ffmpeg. --dry-run stops there, says what would be written and
estimates the time and disk space from one frame it renders (and does not write).
Existing files are never replaced without --overwrite; --skip-existing keeps frame files this
render would write (same size, kind and settings) and renders the rest, to resume an interrupted
render; with --overwrite as well, the contact sheet and the video are made again.

Parameter values (--set, --variant and scene files) use the effect's parameter names (see
--list-params): numbers for sliders, on/off for checkboxes, #RRGGBB or r,g,b for colours, a layer
id or none for Motion Source; "Swap Colors=on" presses the button once the values are set.

Exit codes: 0 success; 1 the effect returned an error or an output could not be written;
2 invalid options, scene or files (nothing is written); 128 + the signal when stopped by one
(130 for Ctrl-C: the complete frames are kept, resume with --skip-existing).)";

// The long names of the app's options ("--frames"), for suggestions.
std::vector<std::string> OptionNames(const CLI::App& app) {
  std::vector<std::string> names;
  for (const CLI::Option* o : app.get_options())
    for (const std::string& n : o->get_lnames()) names.push_back("--" + n);
  return names;
}

// What the options that take a value expect, in the renderer's words, for messages.
struct ValueOption {
  const char* name;
  const char* expects;
};
constexpr ValueOption kValueOptions[] = {
    {"--plugin", "the effect module's path"},
    {"--frames", "a frame list such as 7, 0-47, 1,5,9, 0-47x2 or 10-"},
    {"--out", "the output folder"},
    {"--name", "a frame file name pattern such as frame_%04d.png"},
    {"--resolution", "full, half, third or quarter"},
    {"--set", "NAME=VALUE"},
    {"--variant", "NAME=VALUE[; NAME=VALUE...]"},
    {"--sheet-columns", "a whole number from 1 to 100"},
    {"--sheet-width", "a whole number of pixels from 8 to 4096"},
    {"--ffmpeg", "the ffmpeg program to run"},
    {"--threads", "a whole number of threads (0 = all cores)"},
    {"--png-compression", "fast or small"},
};

std::string Expects(const std::string& option) {
  if (option == "--video") return "a video file name (" + VideoExtensions() + ")";
  for (const ValueOption& o : kValueOptions)
    if (option == o.name) return o.expects;
  return "a value";
}

// The values given as text to options that take numbers or one of a few words, read after
// parsing so that a wrong value is answered in the renderer's words.
struct CheckedTexts {
  std::string frames;
  std::string resolution = "full";
  std::string sheetColumns = "6";
  std::string sheetWidth = "240";
  std::string threads = "0";
  std::string pngCompression = "fast";
};

// The scene, what of it is rendered and where the frames go.
void AddSceneOptions(CLI::App& app, Options& opt, CheckedTexts& texts) {
  app.add_option("scene", opt.scene,
                 "Scene file (JSON); - reads it from standard input; the built-in demo when left "
                 "out");
  app.add_option("--plugin", opt.plugin,
                 "Effect module to load (default: next to this program, else the one it was "
                 "built with; $QUILLSTREAK_MODULE overrides that)");
  app.add_option("--frames", texts.frames,
                 "Frames to render: 7, 0-47, 1,5,9, 0-47x2 or 10- (default: all)");
  app.add_option("--out", opt.out, "Output folder")->capture_default_str();
  app.add_option("--name", opt.name,
                 "Frame file names, with the frame number as %d, %4d or %04d (both padded "
                 "with zeros; default frame_%04d.png)");
  app.add_option("--resolution", texts.resolution, "full, half, third or quarter")
      ->capture_default_str();
  app.add_option("--set", opt.sets, "Override a parameter: NAME=VALUE (repeatable)")
      ->allow_extra_args(false);
  app.add_option("--variant", opt.variants,
                 "Render once more with NAME=VALUE[;NAME=VALUE] and compare on the contact "
                 "sheet (repeatable)")
      ->allow_extra_args(false);
  app.add_flag("--list-params", opt.listParams, "List the effect's parameters and exit");
}

// What else is written, and how the renderer works and reports.
void AddOutputOptions(CLI::App& app, Options& opt, CheckedTexts& texts) {
  app.add_flag("--contact-sheet", opt.contactSheet, "Also write OUT/contact_sheet.png");
  app.add_option("--sheet-columns", texts.sheetColumns, "Contact sheet: frames per row (1 to 100)")
      ->type_name("INT")
      ->capture_default_str();
  app.add_option("--sheet-width", texts.sheetWidth,
                 "Contact sheet: width of each frame in pixels (8 to 4096)")
      ->type_name("INT")
      ->capture_default_str();
  app.add_flag("--alpha", opt.alpha,
               "Write the effect layer alone as RGBA, without the background and other layers");
  app.add_option(
      "--video", opt.video,
      "Also encode the frames to this video file with ffmpeg (" + VideoExtensions() + ")");
  app.add_flag("--video-only", opt.videoOnly, "With --video: write no PNG frames");
  app.add_option("--ffmpeg", opt.ffmpeg, "The ffmpeg program to run")->capture_default_str();
  app.add_option("--threads", texts.threads,
                 "Worker threads for rendering, and as many (up to 8) writing PNG files (0 = all "
                 "cores)")
      ->type_name("UINT")
      ->capture_default_str();
  app.add_option("--png-compression", texts.pngCompression,
                 "PNG files: fast (quick to write) or small (smallest files, several times "
                 "slower)")
      ->capture_default_str();
  app.add_flag("--dry-run", opt.dryRun,
               "Check everything, say what would be written, estimate time and disk use from "
               "one frame, write nothing");
  app.add_flag("--overwrite", opt.overwrite, "Replace existing output files");
  app.add_flag("--skip-existing", opt.skipExisting,
               "Keep existing frame files and render the others (resume)");
  app.add_flag("--json", opt.json,
               "Report as JSON lines on standard output (frames, warnings, summary, errors)");
  app.add_flag("-q,--quiet", opt.quiet, "No progress or summary, errors only");
}

// An option error: on standard error, and with --json (wherever it was given) as an "error"
// record on standard output.
int OptionError(int argc, const char* const* argv, const Console& io, const std::string& message) {
  for (int i = 1; i < argc; ++i) {
    if (std::string(argv[i]) != "--json") continue;
    WriteJsonLine(io.out, {{"event", "error"}, {"exit_code", kExitBadInput}, {"message", message}});
    break;
  }
  io.err << kProgram << ": " << message << "\n";
  return kExitBadInput;
}

// The message for a parse error: an option given without its value, or CLI11's own words.
std::string ParseErrorMessage(const CLI::ParseError& e) {
  const std::string what = e.what();
  if (dynamic_cast<const CLI::ArgumentMismatch*>(&e) != nullptr) {
    const std::string option = what.substr(0, what.find(':'));
    for (const ValueOption& o : kValueOptions)
      if (option == o.name) return option + " needs a value: " + o.expects;
  }
  return what;
}

// A whole number from `lo` to `hi` given to `option` as `text`; throws the message otherwise.
int WholeNumber(const std::string& option, const std::string& text, long lo, long hi) {
  long value = 0;
  const char* end = text.data() + text.size();
  const auto [stop, ec] = std::from_chars(text.data(), end, value);
  if (text.empty() || ec != std::errc() || stop != end || value < lo || value > hi)
    throw std::invalid_argument(option + " \"" + text + "\": expected " + Expects(option));
  return static_cast<int>(value);
}

// The parser takes the word after an option as its value even when it is another option: a
// forgotten value would turn "--out --dry-run" into a render into a folder named "--dry-run".
void CheckNoOptionTakenAsValue(const CLI::App& app) {
  const std::vector<std::string> names = OptionNames(app);
  for (const CLI::Option* o : app.get_options()) {
    if (o->get_items_expected_min() == 0 || o->get_lnames().empty()) continue;
    for (const std::string& value : o->results()) {
      if (std::find(names.begin(), names.end(), value) == names.end() && value != "-q") continue;
      const std::string option = "--" + o->get_lnames().front();
      throw std::invalid_argument(option + " needs a value: " + Expects(option) + " (\"" + value +
                                  "\" is an option)");
    }
  }
}

// The checked texts into `opt`; throws the message of the first that is not valid.
void ReadCheckedTexts(const CLI::App& app, const CheckedTexts& texts, Options& opt) {
  CheckNoOptionTakenAsValue(app);
  auto oneOf = [](const std::string& option, const std::string& text,
                  std::initializer_list<const char*> words) {
    for (const char* w : words)
      if (text == w) return text;
    throw std::invalid_argument(option + " \"" + text + "\": expected " + Expects(option));
  };
  if (app.get_option("--frames")->count() > 0) opt.frames = texts.frames;
  opt.resolution = oneOf("--resolution", texts.resolution, {"full", "half", "third", "quarter"});
  opt.pngCompression =
      oneOf("--png-compression", texts.pngCompression, {"fast", "small"}) == "small"
          ? PngCompression::Small
          : PngCompression::Fast;
  opt.sheetColumns = WholeNumber("--sheet-columns", texts.sheetColumns, 1, 100);
  opt.sheetWidth = WholeNumber("--sheet-width", texts.sheetWidth, 8, 4096);
  opt.threads = static_cast<unsigned>(
      WholeNumber("--threads", texts.threads, 0, std::numeric_limits<int>::max()));
}

// The message for arguments CLI11 left over: an unknown option or a second scene.
std::string ExtrasMessage(const CLI::App& app) {
  for (const std::string& extra : app.remaining()) {
    if (!extra.empty() && extra[0] == '-' && extra != "-")
      return "unknown option " + extra + DidYouMean(extra, OptionNames(app));
    return "unexpected argument \"" + extra + "\" (one scene file at most)";
  }
  return "unexpected arguments";
}

}  // namespace

std::optional<int> ParseCommandLine(int argc, const char* const* argv, const Console& io,
                                    Options& opt) {
  CLI::App app("Renders a scene through the Quillstreak effect to PNG frames.", kProgram);
  app.footer(kHelpFooter);
  app.set_version_flag("--version", std::string(kProgram) + " " + QS_VERSION);
  CheckedTexts texts;
  AddSceneOptions(app, opt, texts);
  AddOutputOptions(app, opt, texts);
  try {
    std::vector<std::string> args;
    for (int i = argc - 1; i >= 1; --i) args.emplace_back(argv[i]);
    app.parse(args);
  } catch (const CLI::ExtrasError&) {
    try {
      CheckNoOptionTakenAsValue(app);  // the likelier cause of a word left over
    } catch (const std::invalid_argument& e) {
      return OptionError(argc, argv, io, std::string(e.what()) + "; see --help");
    }
    return OptionError(argc, argv, io, ExtrasMessage(app) + "; see --help");
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e, io.out, io.err);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e, io.out, io.err);
  } catch (const CLI::ParseError& e) {
    return OptionError(argc, argv, io, ParseErrorMessage(e) + "; see --help");
  }
  try {
    ReadCheckedTexts(app, texts, opt);
  } catch (const std::invalid_argument& e) {
    return OptionError(argc, argv, io, std::string(e.what()) + "; see --help");
  }
  for (const char* sheet : {"--sheet-columns", "--sheet-width"})
    if (app.get_option(sheet)->count() > 0) opt.sheetOption = sheet;
  return std::nullopt;
}

}  // namespace quillstreak::renderer
