// Where the renderer reads and writes, and the exit codes it ends with.
#pragma once

#include <iosfwd>

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

}  // namespace quillstreak::renderer
