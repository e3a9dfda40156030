#include "cli/ModulePath.h"

#include <filesystem>
#include <system_error>

#include "platform/Platform.h"

namespace quillstreak::renderer {
namespace {

#if defined(_WIN32)
constexpr char kModuleFileName[] = "Quillstreak.aex";
#else
constexpr char kModuleFileName[] = "Quillstreak.so";
#endif

}  // namespace

ModuleChoice ChooseModule(const std::string& plugin, const char* argv0) {
  namespace fs = std::filesystem;
  if (!plugin.empty()) return {plugin, "the path given with --plugin"};
  if (std::string env = EnvironmentValue("QUILLSTREAK_MODULE"); !env.empty())
    return {env, "the path in $QUILLSTREAK_MODULE"};
  const fs::path dir = ExecutableDir(argv0);
  std::error_code ec;
  if (!dir.empty() && fs::is_regular_file(dir / kModuleFileName, ec))
    return {(dir / kModuleFileName).string(), "the module next to the program"};
#ifdef QS_DEFAULT_PLUGIN
  return {QS_DEFAULT_PLUGIN,
          "the module of the build tree the program was built in; name another with --plugin or "
          "$QUILLSTREAK_MODULE"};
#else
  return {kModuleFileName,
          "the default name; name the module with --plugin or $QUILLSTREAK_MODULE"};
#endif
}

}  // namespace quillstreak::renderer
