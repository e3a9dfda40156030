// Stopping a render cleanly on SIGINT, SIGTERM and SIGHUP (Ctrl-C, a job manager's stop, a
// closed terminal). The first signal asks the render to stop after the frame in hand; the render
// then removes what it has not finished and says what it kept. A second one ends the program at
// once, in the signal handler: it ends the registered child processes, removes the registered
// partial files (and lock files no other render uses) and exits.
#pragma once

#include <exception>
#include <string>

namespace quillstreak::renderer {

/// Catches the three signals while it lives (each one that was not ignored when it was made) and
/// puts the previous handlers back afterwards. One at a time.
class InterruptCatcher {
 public:
  InterruptCatcher();
  ~InterruptCatcher();
  InterruptCatcher(const InterruptCatcher&) = delete;
  InterruptCatcher& operator=(const InterruptCatcher&) = delete;
};

/// The signal caught since the catcher was made, or 0; SIGPIPE once standard output is broken.
int InterruptSignal();
/// "SIGINT", "SIGTERM", "SIGHUP", "SIGPIPE".
std::string SignalName(int signal);

/// SIGPIPE's number (13, which Windows does not define).
inline constexpr int kBrokenPipeSignal = 13;
/// Ignores SIGPIPE for the rest of the program, so that writing to a standard output whose reader
/// has gone (`quillstreak-render --json | head -1`) fails with EPIPE instead of ending the program
/// before it removes its partial files and claims.
void IgnoreBrokenPipe();
/// Notes that a write to standard output failed with EPIPE: the render then stops as a signal
/// stops it (InterruptSignal() is kBrokenPipeSignal) and writes nothing more there.
void NoteBrokenPipe();
bool BrokenPipe();

/// A render stopped by a signal: how far it got. The exit code is 128 + the signal.
struct Interrupted : std::exception {
  explicit Interrupted(int signal) : signal(signal) {}
  const char* what() const noexcept override { return "interrupted"; }
  int signal;
  long done = 0, total = 0;
  bool frameFiles = false;  // whether the render writes frame files (kept when complete)
};

/// A partial file a second signal removes, registered for as long as this lives (the path may be
/// dropped when the register, of 64 entries, is full: the next render removes such a file).
class RegisteredPartial {
 public:
  explicit RegisteredPartial(const std::string& path);
  ~RegisteredPartial();
  RegisteredPartial(const RegisteredPartial&) = delete;
  RegisteredPartial& operator=(const RegisteredPartial&) = delete;

 private:
  int slot_ = -1;
};

/// A child process a second signal ends (and waits for) before it removes the partial files.
class RegisteredChild {
 public:
  explicit RegisteredChild(long pid);
  ~RegisteredChild();
  RegisteredChild(const RegisteredChild&) = delete;
  RegisteredChild& operator=(const RegisteredChild&) = delete;

 private:
  int slot_ = -1;
};

/// A claims lock file (see Claims.h), open as `fd`, that a second signal removes when no other
/// render holds a claim in it (one open as descriptor 0, standard input being closed, is not).
class RegisteredLockFile {
 public:
  RegisteredLockFile(int fd, const std::string& path);
  ~RegisteredLockFile();
  RegisteredLockFile(const RegisteredLockFile&) = delete;
  RegisteredLockFile& operator=(const RegisteredLockFile&) = delete;

 private:
  int slot_ = -1;
};

/// Held by a worker thread (never the main thread, which the signals reach) while it creates and
/// writes a registered partial file, so that a second signal waits for it before it removes the
/// files. False once the program is ending at once: the thread must then create nothing.
class FileCreation {
 public:
  FileCreation();
  ~FileCreation();
  FileCreation(const FileCreation&) = delete;
  FileCreation& operator=(const FileCreation&) = delete;
  explicit operator bool() const { return allowed_; }

 private:
  bool allowed_ = true;
};

}  // namespace quillstreak::renderer
