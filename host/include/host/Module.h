// Loading the effect module by path and finding its entry point.
#pragma once

#include <cstdlib>
#include <string>

#include "hostapi/HostApi.h"

namespace quillstreak::host {

/// A loaded effect module. Loads in the constructor (throws std::runtime_error with a message
/// naming the path and the cause when the file cannot be loaded or lacks EntryPointFunc) and
/// unloads in the destructor.
class Module {
 public:
  explicit Module(const std::string& path);
  ~Module();
  Module(const Module&) = delete;
  Module& operator=(const Module&) = delete;

  /// The module's exported EntryPointFunc; never null.
  PF_FilterProc entry() const { return entry_; }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
  void* library_ = nullptr;
  PF_FilterProc entry_ = nullptr;
};

/// An environment variable's value (empty when unset).
inline std::string EnvironmentValue(const char* name) {
  std::string out;
#if defined(_MSC_VER)
  char* value = nullptr;
  std::size_t length = 0;
  if (_dupenv_s(&value, &length, name) == 0 && value != nullptr) {
    out = value;
    std::free(value);
  }
#else
  if (const char* value = std::getenv(name)) out = value;
#endif
  return out;
}

/// The module the tests load: the environment variable QUILLSTREAK_MODULE when set and
/// non-empty, else the path compiled in as QS_MODULE_PATH (empty string when neither exists).
/// Inline so that QS_MODULE_PATH is read in the including target (the test helper defines it
/// per test executable).
inline std::string DefaultModulePath() {
  if (std::string fromEnv = EnvironmentValue("QUILLSTREAK_MODULE"); !fromEnv.empty())
    return fromEnv;
#ifdef QS_MODULE_PATH
  return QS_MODULE_PATH;
#else
  return {};
#endif
}

}  // namespace quillstreak::host
