// Which effect module the renderer loads, and where that path came from (for messages).
#pragma once

#include <string>

namespace quillstreak::renderer {

struct ModuleChoice {
  std::string path;
  std::string origin;  // where the path came from, for messages: "the path given with --plugin"
};

/// `plugin` (the --plugin option) when given, else $QUILLSTREAK_MODULE, else the module next to
/// the program, else the module of the build tree the program was built in.
ModuleChoice ChooseModule(const std::string& plugin, const char* argv0);

}  // namespace quillstreak::renderer
