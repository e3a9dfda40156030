// The command-line renderer: loads the effect module, sets up a scene on the substitute host and
// renders frames to PNG files (and optionally a contact sheet and a video).
#pragma once

#include <iosfwd>
#include <string>

#include "renderer/Console.h"

namespace quillstreak::renderer {

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
