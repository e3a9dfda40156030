#include "renderer/Process.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <filesystem>
#include <mutex>
#include <sstream>
#include <system_error>
#include <thread>

#include "text/Text.h"

#if defined(_WIN32)
#include "platform/WindowsApi.h"
#else
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
extern char** environ;
#endif

namespace quillstreak::renderer {

std::string QuoteWindowsArgument(const std::string& arg) {
  if (!arg.empty() && arg.find_first_of(" \t\n\v\"") == std::string::npos) return arg;
  std::string out = "\"";
  std::size_t backslashes = 0;
  for (const char c : arg) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    // Backslashes count only before a quote: there each one is doubled, and the quote escaped.
    out.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
    backslashes = 0;
    out += c;
  }
  out.append(backslashes * 2, '\\');  // before the closing quote
  return out + "\"";
}

std::string WindowsCommandLine(const std::vector<std::string>& args) {
  std::string line;
  for (const std::string& a : args) line += (line.empty() ? "" : " ") + QuoteWindowsArgument(a);
  return line;
}

namespace {

constexpr std::size_t kErrorsKept = 64 * 1024;

#if defined(_WIN32)
using Handle = HANDLE;
const Handle kNoHandle = nullptr;
void CloseHandleOf(Handle& h) {
  if (h != kNoHandle) CloseHandle(h);
  h = kNoHandle;
}
std::string SystemMessage(DWORD error) {
  return std::system_category().message(static_cast<int>(error));
}
std::wstring Wide(const std::string& text) {
  if (text.empty()) return {};
  const int n =
      MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
  return out;
}
#else
using Handle = int;
const Handle kNoHandle = -1;
void CloseHandleOf(Handle& h) {
  if (h != kNoHandle) close(h);
  h = kNoHandle;
}
#endif

}  // namespace

struct Process::Impl {
#if defined(_WIN32)
  HANDLE process = nullptr;
  DWORD pid = 0;
#else
  pid_t pid = -1;
#endif
  Handle input = kNoHandle, output = kNoHandle, errors = kNoHandle;
  std::optional<int> status;
  mutable std::mutex mutex;  // guards errorText
  std::string errorText;
  std::thread reader;

  void Start(const std::vector<std::string>& args, ProcessPipes pipes);
  void ReadErrors();
  void Ended(int code) {
    status = code;
    if (reader.joinable()) reader.join();
  }
};

void Process::Impl::ReadErrors() {
  char buffer[4096];
  for (;;) {
#if defined(_WIN32)
    DWORD n = 0;
    if (!ReadFile(errors, buffer, sizeof buffer, &n, nullptr) || n == 0) return;
#else
    const ssize_t n = read(errors, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
#endif
    std::lock_guard lock(mutex);
    errorText.append(buffer, static_cast<std::size_t>(n));
    if (errorText.size() > 2 * kErrorsKept) errorText.erase(0, errorText.size() - kErrorsKept);
  }
}

#if defined(_WIN32)

void Process::Impl::Start(const std::vector<std::string>& args, ProcessPipes pipes) {
  const std::string extension = Lower(std::filesystem::path(args[0]).extension().string());
  if (extension == ".bat" || extension == ".cmd")
    throw ProcessError("cannot run " + args[0] + ": a batch file would run through cmd.exe");
  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE childIn = nullptr, childOut = nullptr, childErr = nullptr, null = nullptr;
  auto closeChildEnds = [&] {
    for (HANDLE* h : {&childIn, &childOut, &childErr, &null}) CloseHandleOf(*h);
  };
  // A pipe whose child end is inherited and whose own end is not.
  auto makePipe = [&](HANDLE& own, HANDLE& child, bool childReads) {
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return false;
    own = childReads ? writeEnd : readEnd;
    child = childReads ? readEnd : writeEnd;
    SetHandleInformation(own, HANDLE_FLAG_INHERIT, 0);
    return true;
  };
  null = CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                     &inherit, OPEN_EXISTING, 0, nullptr);
  if (null == INVALID_HANDLE_VALUE) null = nullptr;
  if ((pipes.input && !makePipe(input, childIn, true)) ||
      (pipes.output && !makePipe(output, childOut, false)) || !makePipe(errors, childErr, false)) {
    const DWORD error = GetLastError();
    closeChildEnds();
    throw ProcessError("cannot run " + args[0] + ": " + SystemMessage(error));
  }
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = pipes.input ? childIn : null;
  startup.hStdOutput = pipes.output ? childOut : null;
  startup.hStdError = childErr;
  std::wstring line = Wide(WindowsCommandLine(args));
  PROCESS_INFORMATION info{};
  const BOOL started = CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE,
                                      CREATE_NEW_PROCESS_GROUP | CREATE_NO_WINDOW, nullptr, nullptr,
                                      &startup, &info);
  const DWORD error = GetLastError();
  closeChildEnds();
  if (!started) throw ProcessError("cannot run " + args[0] + ": " + SystemMessage(error));
  CloseHandle(info.hThread);
  process = info.hProcess;
  pid = info.dwProcessId;
}

#else

void Process::Impl::Start(const std::vector<std::string>& args, ProcessPipes pipes) {
  int in[2] = {-1, -1}, out[2] = {-1, -1}, err[2] = {-1, -1};
  auto fail = [&](int error) {
    for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]})
      if (fd >= 0) close(fd);
    throw ProcessError("cannot run " + args[0] + ": " + std::generic_category().message(error));
  };
  if ((pipes.input && pipe2(in, O_CLOEXEC) != 0) || (pipes.output && pipe2(out, O_CLOEXEC) != 0) ||
      pipe2(err, O_CLOEXEC) != 0) {
    fail(errno);
  }
  // A child that stops reading must show as a failed write, not end this program.
  if (pipes.input) std::signal(SIGPIPE, SIG_IGN);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (pipes.input)
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
  else
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  if (pipes.output)
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  else
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, err[1], 2);

  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  posix_spawnattr_setflags(&attributes,
                           POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
  posix_spawnattr_setpgroup(&attributes, 0);
  sigset_t defaults, none;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  sigemptyset(&none);
  posix_spawnattr_setsigmask(&attributes, &none);

  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  const int error =
      posix_spawnp(&pid, args[0].c_str(), &actions, &attributes, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  if (error != 0) fail(error);
  for (int* fd : {&in[0], &out[1], &err[1]})
    if (*fd >= 0) close(*fd);
  input = in[1];
  output = out[0];
  errors = err[0];
}

#endif

Process::Process(const std::vector<std::string>& args, ProcessPipes pipes)
    : impl_(std::make_unique<Impl>()) {
  if (args.empty() || args[0].empty()) throw ProcessError("no program to run");
  impl_->Start(args, pipes);
  try {
    impl_->reader = std::thread([impl = impl_.get()] { impl->ReadErrors(); });
  } catch (...) {
    Kill();
    Wait();
    throw;
  }
}

Process::~Process() {
  CloseInput();
  if (!impl_->status) {
    Kill();
    Wait();
  }
  if (impl_->reader.joinable()) impl_->reader.join();
  CloseHandleOf(impl_->output);
  CloseHandleOf(impl_->errors);
#if defined(_WIN32)
  CloseHandleOf(impl_->process);
#endif
}

long Process::id() const { return static_cast<long>(impl_->pid); }

bool Process::Write(const void* data, std::size_t size) {
  const char* p = static_cast<const char*>(data);
  while (size > 0 && impl_->input != kNoHandle) {
#if defined(_WIN32)
    DWORD n = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
    if (!WriteFile(impl_->input, p, chunk, &n, nullptr)) return false;
#else
    const ssize_t n = write(impl_->input, p, size);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
#endif
    p += n;
    size -= static_cast<std::size_t>(n);
  }
  return size == 0;
}

void Process::CloseInput() { CloseHandleOf(impl_->input); }

std::size_t Process::Read(void* data, std::size_t size) {
  if (impl_->output == kNoHandle) return 0;
  for (;;) {
#if defined(_WIN32)
    DWORD n = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
    if (!ReadFile(impl_->output, data, chunk, &n, nullptr)) return 0;  // ERROR_BROKEN_PIPE: the end
    return n;
#else
    const ssize_t n = read(impl_->output, data, size);
    if (n < 0 && errno == EINTR) continue;
    return n < 0 ? 0 : static_cast<std::size_t>(n);
#endif
  }
}

std::string Process::ReadAll() {
  std::string out;
  char buffer[4096];
  for (std::size_t n; (n = Read(buffer, sizeof buffer)) > 0;) out.append(buffer, n);
  return out;
}

int Process::Wait() {
  if (impl_->status) return *impl_->status;
#if defined(_WIN32)
  WaitForSingleObject(impl_->process, INFINITE);
  DWORD code = 1;
  GetExitCodeProcess(impl_->process, &code);
  impl_->Ended(static_cast<int>(code));
#else
  int status = 0;
  while (waitpid(impl_->pid, &status, 0) < 0) {
    if (errno != EINTR) {
      impl_->Ended(-1);
      return -1;
    }
  }
  impl_->Ended(WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status));
#endif
  return *impl_->status;
}

std::optional<int> Process::Poll() {
  if (impl_->status) return impl_->status;
#if defined(_WIN32)
  if (WaitForSingleObject(impl_->process, 0) != WAIT_OBJECT_0) return std::nullopt;
#else
  int status = 0;
  const pid_t done = waitpid(impl_->pid, &status, WNOHANG);
  if (done == 0 || (done < 0 && errno == EINTR)) return std::nullopt;
  if (done == impl_->pid) {
    impl_->Ended(WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status));
    return impl_->status;
  }
#endif
  return Wait();
}

void Process::Kill() {
  if (impl_->status) return;
#if defined(_WIN32)
  TerminateProcess(impl_->process, 1);
#else
  kill(impl_->pid, SIGKILL);
#endif
}

std::string Process::Errors() const {
  std::lock_guard lock(impl_->mutex);
  const std::string& text = impl_->errorText;
  return text.size() > kErrorsKept ? text.substr(text.size() - kErrorsKept) : text;
}

std::string LastLine(const std::string& text) {
  std::istringstream in(text);
  std::string line, last;
  while (std::getline(in, line)) {
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
    if (!line.empty()) last = line;
  }
  return last;
}

}  // namespace quillstreak::renderer
