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

/// The module the tests load: the environment variable QUILLSTREAK_MODULE when set and
/// non-empty, else the path compiled in as QS_MODULE_PATH (empty string when neither exists).
/// Inline so that QS_MODULE_PATH is read in the including target (the test helper defines it
/// per test executable).
inline std::string DefaultModulePath() {
  std::string fromEnv;
#if defined(_MSC_VER)
  char* value = nullptr;
  std::size_t length = 0;
  if (_dupenv_s(&value, &length, "QUILLSTREAK_MODULE") == 0 && value != nullptr) {
    fromEnv = value;
    std::free(value);
  }
#else
  if (const char* value = std::getenv("QUILLSTREAK_MODULE")) fromEnv = value;
#endif
  if (!fromEnv.empty()) return fromEnv;
#ifdef QS_MODULE_PATH
  return QS_MODULE_PATH;
#else
  return {};
#endif
}

}  // namespace quillstreak::host
