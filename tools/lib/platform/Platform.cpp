#include "platform/Platform.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <system_error>

#if defined(_WIN32)
#include <io.h>
#include <process.h>
#include "platform/WindowsApi.h"
#else
#include <fcntl.h>
#include <stdio.h>
#include <sys/ioctl.h>
#include <unistd.h>
#endif
#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace quillstreak::renderer {

namespace fs = std::filesystem;

fs::path ExecutableDir(const char* argv0) {
#if defined(_WIN32)
  wchar_t buffer[32768];
  const DWORD n = GetModuleFileNameW(nullptr, buffer, 32768);
  if (n > 0 && n < 32768) return fs::path(std::wstring(buffer, n)).parent_path();
#elif defined(__linux__)
  std::error_code ec;
  const fs::path self = fs::read_symlink("/proc/self/exe", ec);
  if (!ec) return self.parent_path();
#endif
  if (argv0 != nullptr && *argv0 != '\0') {
    std::error_code ec;
    const fs::path p = fs::absolute(fs::path(argv0), ec);
    if (!ec) return p.parent_path();
  }
  return {};
}

// Every frame allocates and frees worlds of several megabytes. glibc would give them back to the
// system when freed and fault them in again, zeroed, for the next frame (a tenth of the CPU
// time at 1080p): keep freed memory for reuse instead.
void KeepFreedMemory() {
#if defined(__GLIBC__)
  mallopt(M_MMAP_THRESHOLD, 32 << 20);  // glibc's largest
  mallopt(M_TRIM_THRESHOLD, 256 << 20);
#endif
}

TerminalInfo StandardErrorTerminal() {
  TerminalInfo info;
#if defined(_WIN32)
  info.terminal = _isatty(_fileno(stderr)) != 0;
  CONSOLE_SCREEN_BUFFER_INFO screen;
  if (GetConsoleScreenBufferInfo(GetStdHandle(STD_ERROR_HANDLE), &screen))
    info.columns = screen.srWindow.Right - screen.srWindow.Left + 1;
#else
  info.terminal = isatty(fileno(stderr)) != 0;
  winsize size{};
  if (info.terminal && ioctl(fileno(stderr), TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
    info.columns = size.ws_col;
  else if (const std::string env = EnvironmentValue("COLUMNS"); !env.empty())
    info.columns = std::max(20, std::atoi(env.c_str()));
#endif
  return info;
}

int ProcessId() {
#if defined(_WIN32)
  return _getpid();
#else
  return static_cast<int>(getpid());
#endif
}

std::string AccessProblem(const std::filesystem::path& dir) {
#if defined(_WIN32)
  (void)dir;
#else
  if (access(dir.c_str(), W_OK | X_OK) != 0) return std::generic_category().message(errno);
#endif
  return {};
}

std::error_code RenameFile(const std::filesystem::path& from, const std::filesystem::path& to,
                           bool replace) {
  std::error_code ec;
#if defined(_WIN32)
  if (!MoveFileExW(from.c_str(), to.c_str(), replace ? MOVEFILE_REPLACE_EXISTING : 0)) {
    const DWORD error = GetLastError();
    if (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS)
      return std::make_error_code(std::errc::file_exists);
    return std::error_code(static_cast<int>(error), std::system_category());
  }
  return ec;
#else
  if (replace) {
    std::filesystem::rename(from, to, ec);
    return ec;
  }
#if defined(__GLIBC__)
  if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return ec;
  if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP)
    return std::error_code(errno, std::generic_category());
#endif
  // A file system without renameat2's flags: a second name, then the temporary one removed.
  if (link(from.c_str(), to.c_str()) == 0) {
    unlink(from.c_str());
    return ec;
  }
  if (errno == EEXIST) return std::error_code(errno, std::generic_category());
  // Nor hard links (FAT, some network file systems): checked just before.
  if (std::filesystem::exists(to, ec)) return std::make_error_code(std::errc::file_exists);
  std::filesystem::rename(from, to, ec);
  return ec;
#endif
}

}  // namespace quillstreak::renderer
