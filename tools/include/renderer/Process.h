// Running another program (ffmpeg, ffprobe) without a shell: its arguments passed as a list, its
// standard input and output through pipes when asked for, its standard error read into memory.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace quillstreak::renderer {

/// A program that could not be started; what() says why.
class ProcessError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

/// Which of the child's standard streams are pipes to this program; the others are the null
/// device. Its standard error is always read, into memory.
struct ProcessPipes {
  bool input = false;
  bool output = false;
};

/// A child process. The program (`args[0]`) is looked up on the PATH when it names no folder; on
/// Windows a batch file is refused (it would run through cmd.exe). The child runs in a process
/// group of its own, so that a Ctrl-C at the terminal reaches only this program, which decides
/// what becomes of the child. Arguments are UTF-8. Used from one thread.
class Process {
 public:
  /// Starts the program. Throws ProcessError when it cannot be started.
  explicit Process(const std::vector<std::string>& args, ProcessPipes pipes = {});
  /// Kills a child still running and waits for it.
  ~Process();
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;

  /// The child's process id.
  long id() const;

  /// Writes to the child's standard input; false when it no longer reads it.
  bool Write(const void* data, std::size_t size);
  /// Closes the child's standard input (its end of file).
  void CloseInput();
  /// Reads up to `size` bytes of the child's standard output; 0 at its end.
  std::size_t Read(void* data, std::size_t size);
  /// Reads the child's standard output to its end.
  std::string ReadAll();

  /// Waits for the child to end: its exit code (128 + the signal for one a signal ended).
  int Wait();
  /// The exit code when the child has ended, else nothing (does not wait).
  std::optional<int> Poll();
  /// Ends the child at once (it does not wait).
  void Kill();

  /// What the child wrote on standard error (its last 64 KiB); complete once it has ended.
  std::string Errors() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

/// The last line of a program's messages that says something (trailing blanks and carriage
/// returns dropped); empty when there is none.
std::string LastLine(const std::string& text);

/// One argument as the C runtime of a Windows program reads it back from its command line:
/// quoted when it is empty or holds a space, tab or quote, with the backslashes before a quote
/// (and before the closing quote) doubled and the quote escaped.
std::string QuoteWindowsArgument(const std::string& arg);
/// The command line of `args` for CreateProcess: each argument quoted as above, separated by
/// spaces.
std::string WindowsCommandLine(const std::vector<std::string>& args);

}  // namespace quillstreak::renderer
