// The command-line renderer: loads the effect module, sets up a scene on the substitute host and
// renders frames to PNG files (and optionally a contact sheet and a video).
#pragma once

#include <iosfwd>
#include <string>

#include "renderer/FrameImage.h"
#include "renderer/Png.h"

namespace quillstreak::renderer {

/// Exit codes of the renderer.
inline constexpr int kExitOk = 0;
inline constexpr int kExitRenderFailed = 1;  // the effect failed, or writing an output failed
inline constexpr int kExitBadInput = 2;      // invalid options, scene or files; nothing written

/// Where the renderer reads and writes: `in` is the scene for "-", `out` takes listings, the
/// summary and JSON lines, `err` messages and progress. With `errIsTerminal` progress is a bar
/// redrawn in place and fitted to `columns`, else one line per frame.
struct Console {
  std::istream& in;
  std::ostream& out;
  std::ostream& err;
  bool errIsTerminal = false;
  int columns = 80;
};

/// The whole program: parses the command line, renders, reports. Returns the exit code.
int RunRenderer(int argc, const char* const* argv, const Console& console);
/// The same without standard input, with an 80-column terminal.
int RunRenderer(int argc, const char* const* argv, std::ostream& out, std::ostream& err,
                bool errIsTerminal);
/// The same on the process's standard streams (a bar when stderr is a terminal).
int RunRenderer(int argc, char** argv);

/// The file name of frame `frame` ("frame_0007.png"), zero-padded to `digits`.
std::string FrameFileName(long frame, int digits);

}  // namespace quillstreak::renderer
