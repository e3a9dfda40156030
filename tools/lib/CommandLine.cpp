#include "CommandLine.h"

#include <CLI/CLI.hpp>

#include <ostream>

#include "renderer/Progress.h"
#include "renderer/Suggest.h"

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
the files, the video's format and ffmpeg. --dry-run stops there and says what would be written.
Existing files are never replaced without --overwrite; --skip-existing keeps frame files this
render would write (same size, kind and settings) and renders the rest, to resume an interrupted
render; with --overwrite as well, the contact sheet and the video are made again.

Parameter values (--set, --variant and scene files) use the effect's parameter names (see
--list-params): numbers for sliders, on/off for checkboxes, #RRGGBB or r,g,b for colours, a layer
id or none for Motion Source.

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

// The scene, what of it is rendered and where the frames go.
void AddSceneOptions(CLI::App& app, Options& opt, std::string& frames) {
  app.add_option("scene", opt.scene,
                 "Scene file (JSON); - reads it from standard input; the built-in demo when left "
                 "out");
  app.add_option("--plugin", opt.plugin,
                 "Effect module to load (default: next to this program, else the one it was "
                 "built with; $QUILLSTREAK_MODULE overrides that)");
  app.add_option("--frames", frames,
                 "Frames to render: 7, 0-47, 1,5,9, 0-47x2 or 10- (default: all)");
  app.add_option("--out", opt.out, "Output folder")->capture_default_str();
  app.add_option("--name", opt.name,
                 "Frame file names, with the frame number as %d, %4d or %04d (both padded "
                 "with zeros; default frame_%04d.png)");
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
}

// What else is written, and how the renderer works and reports.
void AddOutputOptions(CLI::App& app, Options& opt) {
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
  std::string frames;
  AddSceneOptions(app, opt, frames);
  AddOutputOptions(app, opt);
  try {
    std::vector<std::string> args;
    for (int i = argc - 1; i >= 1; --i) args.emplace_back(argv[i]);
    app.parse(args);
  } catch (const CLI::ExtrasError&) {
    return OptionError(argc, argv, io, ExtrasMessage(app) + "; see --help");
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e, io.out, io.err);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e, io.out, io.err);
  } catch (const CLI::ParseError& e) {
    return OptionError(argc, argv, io, std::string(e.what()) + "; see --help");
  }
  if (app.get_option("--frames")->count() > 0) opt.frames = frames;
  for (const char* sheet : {"--sheet-columns", "--sheet-width"})
    if (app.get_option(sheet)->count() > 0) opt.sheetOption = sheet;
  return std::nullopt;
}

}  // namespace quillstreak::renderer
