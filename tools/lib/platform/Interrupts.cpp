#include "platform/Interrupts.h"

#include <atomic>
#include <csignal>
#include <cstring>
#include <iterator>

#if defined(_WIN32)
#include <io.h>
#include "platform/WindowsApi.h"
#else
#include <fcntl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#endif

namespace quillstreak::renderer {
namespace {

// Everything the handler reads is here, in storage that needs no allocation and atomics that
// need no lock, so that the handler may read it at any moment.
constexpr int kPartials = 64;
constexpr std::size_t kPathBytes = 4096;
char gPartialPaths[kPartials][kPathBytes];
std::atomic<int> gPartialState[kPartials];  // 0 free, 1 being filled, 2 registered
constexpr int kChildren = 8;
std::atomic<long> gChildren[kChildren];  // 0 free
constexpr int kLockFiles = 4;
char gLockPaths[kLockFiles][kPathBytes];
std::atomic<int> gLockFds[kLockFiles];  // 0 free, else the file's descriptor
std::atomic<int> gSignal{0};
std::atomic<int> gCreating{0};  // FileCreation holders
std::atomic<bool> gEndingAtOnce{false};
std::atomic<bool> gBrokenPipe{false};

#if defined(_WIN32)
constexpr int kSignals[] = {SIGINT, SIGTERM, SIGBREAK};
using Previous = void (*)(int);
#else
constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
static_assert(SIGPIPE == kBrokenPipeSignal);
using Previous = struct sigaction;
#endif
Previous gPrevious[std::size(kSignals)];
bool gInstalled[std::size(kSignals)];

void Pause() {
#if defined(_WIN32)
  Sleep(1);
#else
  const timespec millisecond{0, 1000000};
  nanosleep(&millisecond, nullptr);
#endif
}

// The second signal: only async-signal-safe calls from here on.
[[noreturn]] void EndAtOnce(int signal) {
  static const char kMessage[] =
      "\nquillstreak-render: interrupted again: stopped at once; the complete frames are kept\n";
#if defined(_WIN32)
  (void)!_write(2, kMessage, sizeof kMessage - 1);
#else
  (void)!write(2, kMessage, sizeof kMessage - 1);
#endif
  gEndingAtOnce = true;
  for (int i = 0; i < 5000 && gCreating.load() > 0; ++i) Pause();  // files being written
  for (auto& child : gChildren) {
    const long pid = child.load();
    if (pid == 0) continue;
#if defined(_WIN32)
    if (HANDLE h = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, static_cast<DWORD>(pid))) {
      TerminateProcess(h, 1);
      WaitForSingleObject(h, 5000);
      CloseHandle(h);
    }
#else
    kill(static_cast<pid_t>(pid), SIGKILL);
    waitpid(static_cast<pid_t>(pid), nullptr, 0);  // it writes nothing more
#endif
  }
  for (int i = 0; i < kPartials; ++i) {
    if (gPartialState[i].load() != 2) continue;
#if defined(_WIN32)
    DeleteFileA(gPartialPaths[i]);
#else
    unlink(gPartialPaths[i]);
#endif
  }
#if !defined(_WIN32)
  for (int i = 0; i < kLockFiles; ++i) {
    const int fd = gLockFds[i].load();
    if (fd == 0) continue;
    struct flock all = {};
    all.l_type = F_WRLCK;
    all.l_whence = SEEK_SET;
    if (fcntl(fd, F_SETLK, &all) == 0) unlink(gLockPaths[i]);
  }
#endif
  _exit(128 + signal);
}

extern "C" void OnSignal(int signal) {
#if defined(_WIN32)
  std::signal(signal, OnSignal);  // the C runtime resets the handler before calling it
#else
  // The files are removed where the worker threads are not: on the main thread.
  if (syscall(SYS_gettid) != getpid()) {
    syscall(SYS_tgkill, getpid(), getpid(), signal);
    return;
  }
#endif
  int none = 0;
  if (!gSignal.compare_exchange_strong(none, signal)) EndAtOnce(signal);
}

}  // namespace

InterruptCatcher::InterruptCatcher() {
  gSignal = 0;
  gEndingAtOnce = false;
  for (std::size_t i = 0; i < std::size(kSignals); ++i) {
#if defined(_WIN32)
    gPrevious[i] = std::signal(kSignals[i], OnSignal);
    gInstalled[i] = gPrevious[i] != SIG_ERR && gPrevious[i] != SIG_IGN;
    // A signal ignored from the start stays ignored.
    if (gPrevious[i] == SIG_IGN) std::signal(kSignals[i], SIG_IGN);
#else
    struct sigaction action {};
    action.sa_handler = OnSignal;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    for (const int s : kSignals) sigaddset(&action.sa_mask, s);
    gInstalled[i] = false;
    if (sigaction(kSignals[i], nullptr, &gPrevious[i]) != 0) continue;
    // A signal ignored from the start (nohup, a background job) stays ignored.
    if (gPrevious[i].sa_handler == SIG_IGN) continue;
    gInstalled[i] = sigaction(kSignals[i], &action, nullptr) == 0;
#endif
  }
}

InterruptCatcher::~InterruptCatcher() {
  for (std::size_t i = 0; i < std::size(kSignals); ++i) {
    if (!gInstalled[i]) continue;
#if defined(_WIN32)
    std::signal(kSignals[i], gPrevious[i]);
#else
    sigaction(kSignals[i], &gPrevious[i], nullptr);
#endif
  }
}

int InterruptSignal() {
  const int signal = gSignal.load();
  return signal != 0 ? signal : gBrokenPipe.load() ? kBrokenPipeSignal : 0;
}

void IgnoreBrokenPipe() {
#if !defined(_WIN32)
  std::signal(SIGPIPE, SIG_IGN);
#endif
}

void NoteBrokenPipe() { gBrokenPipe = true; }
bool BrokenPipe() { return gBrokenPipe.load(); }

std::string SignalName(int signal) {
  switch (signal) {
    case SIGINT:
      return "SIGINT";
    case SIGTERM:
      return "SIGTERM";
#if defined(_WIN32)
    case SIGBREAK:
      return "SIGBREAK";
#else
    case SIGHUP:
      return "SIGHUP";
#endif
    case kBrokenPipeSignal:
      return "SIGPIPE";
    default:
      return "signal " + std::to_string(signal);
  }
}

RegisteredPartial::RegisteredPartial(const std::string& path) {
  if (path.size() >= kPathBytes) return;
  for (int i = 0; i < kPartials; ++i) {
    int free = 0;
    if (!gPartialState[i].compare_exchange_strong(free, 1)) continue;
    std::memcpy(gPartialPaths[i], path.c_str(), path.size() + 1);
    gPartialState[i] = 2;
    slot_ = i;
    return;
  }
}

RegisteredPartial::~RegisteredPartial() {
  if (slot_ >= 0) gPartialState[slot_] = 0;
}

RegisteredChild::RegisteredChild(long pid) {
  for (int i = 0; i < kChildren; ++i) {
    long free = 0;
    if (gChildren[i].compare_exchange_strong(free, pid)) {
      slot_ = i;
      return;
    }
  }
}

RegisteredChild::~RegisteredChild() {
  if (slot_ >= 0) gChildren[slot_] = 0;
}

RegisteredLockFile::RegisteredLockFile(int fd, const std::string& path) {
  if (path.size() >= kPathBytes) return;
  for (int i = 0; i < kLockFiles; ++i) {
    if (gLockFds[i].load() != 0) continue;  // in use
    std::memcpy(gLockPaths[i], path.c_str(), path.size() + 1);
    gLockFds[i] = fd;
    slot_ = i;
    return;
  }
}

RegisteredLockFile::~RegisteredLockFile() {
  if (slot_ >= 0) gLockFds[slot_] = 0;
}

FileCreation::FileCreation() {
  ++gCreating;
  allowed_ = !gEndingAtOnce.load();
}

FileCreation::~FileCreation() { --gCreating; }

}  // namespace quillstreak::renderer
