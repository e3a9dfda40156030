// A folder of a benchmark's own in the temporary folder, emptied when made and removed when the
// owner goes away.
#pragma once

#include <filesystem>
#include <string>
#include <system_error>

#if defined(__linux__)
#include <unistd.h>
#endif

namespace quillstreak::bench {

struct ScratchFolder {
  std::filesystem::path dir;

  /// <temp>/<prefix><process id>, created empty.
  explicit ScratchFolder(const std::string& prefix) {
#if defined(__linux__)
    const std::string id = std::to_string(getpid());
#else
    const std::string id = "0";
#endif
    dir = std::filesystem::temp_directory_path() / (prefix + id);
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
  }
  ~ScratchFolder() {
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
};

}  // namespace quillstreak::bench
