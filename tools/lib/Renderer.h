// The command-line renderer: loads the effect module, sets up a scene on the substitute host and
// renders a range of frames to PNG files (and optionally a contact sheet and a video).
#pragma once

#include <iosfwd>
#include <string>

#include "FrameImage.h"
#include "Png.h"

namespace qsrender {

/// Exit codes of the renderer.
inline constexpr int kExitOk = 0;
inline constexpr int kExitRenderFailed = 1;  // the effect failed, or writing an output failed
inline constexpr int kExitBadInput = 2;      // invalid options, scene or files; nothing written

/// The whole program: parses the command line, renders, reports. Output goes to `out` (listings,
/// the summary) and `err` (messages, progress); `errIsTerminal` selects the redrawn progress bar
/// over plain progress lines. Returns the exit code.
int RunRenderer(int argc, const char* const* argv, std::ostream& out, std::ostream& err,
                bool errIsTerminal);
/// The same on std::cout and std::cerr (progress bar when stderr is a terminal).
int RunRenderer(int argc, char** argv);

/// The file name of frame `frame` ("frame_0007.png"), zero-padded to `digits`.
std::string FrameFileName(long frame, int digits);

}  // namespace qsrender
