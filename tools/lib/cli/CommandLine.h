// The renderer's command line: its options, their CLI11 definition and the help text.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "renderer/Console.h"
#include "renderer/Png.h"

namespace quillstreak::renderer {

inline constexpr char kProgram[] = "quillstreak-render";

/// Everything the command line says, as given.
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
  std::string sheetOption;  // "--sheet-columns" or "--sheet-width" when given, for a warning
  std::string video;
  bool videoOnly = false;
  std::string ffmpeg = "ffmpeg";
  unsigned threads = 0;
  PngCompression pngCompression = PngCompression::Fast;
};

/// Parses the command line into `opt`. Returns the exit code when the program is done already
/// (--help, --version, or an option error, reported on `io`), else nullopt.
std::optional<int> ParseCommandLine(int argc, const char* const* argv, const Console& io,
                                    Options& opt);

}  // namespace quillstreak::renderer
