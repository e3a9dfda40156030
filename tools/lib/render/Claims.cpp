#include "render/Claims.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <system_error>
#include <thread>

#include "platform/Interrupts.h"
#include "render/Plan.h"
#include "renderer/InputError.h"
#include "text/Text.h"

#if defined(_WIN32)
#include "platform/WindowsApi.h"
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace quillstreak::renderer {
namespace {

namespace fs = std::filesystem;

constexpr char kLockFile[] = ".quillstreak-claims";
constexpr int kNumberBits = 20;  // frame numbers: compositions have at most 100000 frames
constexpr std::size_t kMaxRuns = 256;

// The byte that claims the file `name` (frame `frame`, or -1): its name with the frame number's
// digits taken out ("frame_#.png") picks a region, the number the byte in it, so the frames of
// one pattern lie side by side and a run of frames is one lock. Two names that differ only in
// the number's zeros ("f7.png", "f0007.png") share their byte: claimed as one file, to be safe.
std::uint64_t ClaimByte(std::string name, long frame) {
#if defined(_WIN32)
  name = Lower(name);
#endif
  std::uint64_t number = 0;
  for (std::size_t end = name.size(); frame >= 0 && end > 0;) {
    if (!std::isdigit(static_cast<unsigned char>(name[end - 1]))) {
      --end;
      continue;
    }
    std::size_t begin = end;
    while (begin > 0 && std::isdigit(static_cast<unsigned char>(name[begin - 1]))) --begin;
    const std::string digits = name.substr(begin, end - begin);
    if (digits.size() < 10 && std::stol(digits) == frame) {
      name.replace(begin, end - begin, "#");
      number = static_cast<std::uint64_t>(frame) & ((1u << kNumberBits) - 1);
      break;
    }
    end = begin;
  }
  std::uint64_t hash = 14695981039346656037ull;  // FNV-1a
  for (const unsigned char c : name) hash = (hash ^ c) * 1099511628211ull;
  return ((hash & ((1ull << 30) - 1)) << kNumberBits) | number;
}

// One output, and the runs of neighbouring bytes the outputs of a folder make.
struct Spot {
  std::uint64_t byte;
  std::string shown;
};
struct Run {
  std::uint64_t start, length;
  std::size_t first;  // its first spot
};

struct FolderSpots {
  fs::path lockFile;
  std::vector<Spot> spots;  // sorted by byte
  std::vector<Run> runs;
};

std::vector<FolderSpots> SpotsByFolder(const Plan& plan) {
  std::map<fs::path, std::vector<Spot>> byFolder;
  std::map<fs::path, fs::path> canonical;  // each folder as given, once
  auto add = [&](const fs::path& path, long frame) {
    const fs::path given = path.parent_path().empty() ? fs::path(".") : path.parent_path();
    auto [at, added] = canonical.emplace(given, given);
    std::error_code ec;
    if (added) {
      const fs::path resolved = fs::weakly_canonical(given, ec);
      if (!ec) at->second = resolved;
    }
    byFolder[at->second].push_back({ClaimByte(path.filename().string(), frame), path.string()});
  };
  for (const Output& o : plan.frameFiles) add(o.path, o.frame);
  if (plan.sheet) add(plan.sheet->path, -1);
  if (plan.video) add(plan.video->path, -1);
  std::vector<FolderSpots> out;
  for (auto& [folder, spots] : byFolder) {
    FolderSpots f{folder / kLockFile, std::move(spots), {}};
    std::sort(f.spots.begin(), f.spots.end(),
              [](const Spot& a, const Spot& b) { return a.byte < b.byte; });
    // The system keeps a file's locks in a list that each new lock walks: thousands of separate
    // ones (every other frame of a long render) would take seconds. Beyond kMaxRuns the frames
    // of a pattern are claimed from the first to the last, those skipped included.
    for (const bool wholePatterns : {false, true}) {
      f.runs.clear();
      for (std::size_t i = 0; i < f.spots.size(); ++i) {
        const std::uint64_t byte = f.spots[i].byte;
        const Run* last = f.runs.empty() ? nullptr : &f.runs.back();
        if (last != nullptr &&
            (byte <= last->start + last->length ||
             (wholePatterns && byte >> kNumberBits == last->start >> kNumberBits))) {
          f.runs.back().length = byte + 1 - last->start;
          continue;
        }
        f.runs.push_back({byte, 1, i});
      }
      if (f.runs.size() <= kMaxRuns) break;
    }
    out.push_back(std::move(f));
  }
  return out;
}

[[noreturn]] void Held(const FolderSpots& f, const Run& run, std::uint64_t heldFrom, long pid) {
  std::size_t i = run.first;
  while (i + 1 < f.spots.size() && f.spots[i].byte < heldFrom &&
         f.spots[i + 1].byte < run.start + run.length) {
    ++i;
  }
  throw InputError(f.spots[i].shown + ": being written by another render" +
                   (pid > 0 ? " (process " + std::to_string(pid) + ")" : std::string()) +
                   "; wait for it to end, or render other frames or into another folder");
}

#if !defined(_WIN32)

// The lock on a run that another process holds, or one of type F_UNLCK.
flock HolderOf(int fd, const Run& run) {
  flock lock{};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  lock.l_start = static_cast<off_t>(run.start);
  lock.l_len = static_cast<off_t>(run.length);
  if (fcntl(fd, F_GETLK, &lock) != 0) lock.l_type = F_UNLCK;
  return lock;
}

// The lock of a render removing the lock file (see Claims::Folder).
bool IsRemoval(const flock& lock) { return lock.l_start == 0 && lock.l_len == 0; }

#endif

}  // namespace

struct Claims::Folder {
  fs::path lockFile;
#if defined(_WIN32)
  HANDLE handle = INVALID_HANDLE_VALUE;
  ~Folder() {
    if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
  }
#else
  int fd = -1;
  std::unique_ptr<RegisteredLockFile> registered;  // removed by a second interrupt too
  // A render letting go of a lock file locks all of it for a moment: when that succeeds no one
  // else holds a claim there, and the file is removed.
  ~Folder() {
    if (fd < 0) return;
    registered.reset();
    flock all{};
    all.l_type = F_WRLCK;
    all.l_whence = SEEK_SET;
    if (fcntl(fd, F_SETLK, &all) == 0) unlink(lockFile.c_str());
    close(fd);
  }
#endif
};

Claims::~Claims() = default;

void CheckNotClaimed(const Plan& plan) {
  for (const FolderSpots& f : SpotsByFolder(plan)) {
#if defined(_WIN32)
    (void)f;  // Windows reports a running render when Claims takes its claims
#else
    const int fd = open(f.lockFile.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) continue;
    for (const Run& run : f.runs) {
      const flock holder = HolderOf(fd, run);
      if (holder.l_type == F_UNLCK || IsRemoval(holder)) continue;
      close(fd);
      Held(f, run, static_cast<std::uint64_t>(holder.l_start), holder.l_pid);
    }
    close(fd);  // this process holds no claim there yet, so closing releases nothing
#endif
  }
}

#if defined(_WIN32)

Claims::Claims(const Plan& plan) {
  for (const FolderSpots& f : SpotsByFolder(plan)) {
    auto folder = std::make_unique<Folder>();
    folder->lockFile = f.lockFile;
    folder->handle = CreateFileW(f.lockFile.c_str(), GENERIC_READ | GENERIC_WRITE,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_ALWAYS, FILE_ATTRIBUTE_HIDDEN, nullptr);
    if (folder->handle == INVALID_HANDLE_VALUE) continue;  // claims are a safeguard
    for (const Run& run : f.runs) {
      OVERLAPPED at{};
      at.Offset = static_cast<DWORD>(run.start);
      at.OffsetHigh = static_cast<DWORD>(run.start >> 32);
      if (!LockFileEx(folder->handle, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0,
                      static_cast<DWORD>(run.length), static_cast<DWORD>(run.length >> 32), &at)) {
        Held(f, run, run.start, 0);
      }
    }
    folders_.push_back(std::move(folder));
  }
}

#else

Claims::Claims(const Plan& plan) {
  for (const FolderSpots& f : SpotsByFolder(plan)) {
    auto folder = std::make_unique<Folder>();
    folder->lockFile = f.lockFile;
    for (int attempt = 0;; ++attempt) {
      const int fd = open(f.lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
      if (fd < 0) {
        throw InputError(f.spots.front().shown + ": cannot claim it for this render: " +
                         f.lockFile.string() + ": " + std::generic_category().message(errno));
      }
      bool again = false, unsupported = false;
      for (std::size_t r = 0; r < f.runs.size() && !again && !unsupported;) {
        const Run& run = f.runs[r];
        flock lock{};
        lock.l_type = F_WRLCK;
        lock.l_whence = SEEK_SET;
        lock.l_start = static_cast<off_t>(run.start);
        lock.l_len = static_cast<off_t>(run.length);
        if (fcntl(fd, F_SETLK, &lock) == 0) {
          ++r;
          continue;
        }
        if (errno != EACCES && errno != EAGAIN) {
          unsupported = true;  // no locks here (ENOLCK): claims are a safeguard, not a need
          break;
        }
        const flock holder = HolderOf(fd, run);
        if (holder.l_type == F_UNLCK) continue;  // let go of meanwhile
        if (IsRemoval(holder)) {
          again = true;
          break;
        }
        close(fd);
        Held(f, run, static_cast<std::uint64_t>(holder.l_start), holder.l_pid);
      }
      if (unsupported) {
        close(fd);
        break;
      }
      // The file locked must still be the one under the name: the last render may have removed
      // it after this one opened it.
      struct stat opened = {};
      struct stat named = {};
      if (!again && fstat(fd, &opened) == 0 && stat(f.lockFile.c_str(), &named) == 0 &&
          opened.st_dev == named.st_dev && opened.st_ino == named.st_ino) {
        folder->fd = fd;
        folder->registered = std::make_unique<RegisteredLockFile>(fd, f.lockFile.string());
        break;
      }
      close(fd);
      if (attempt == 1000) {
        throw InputError(f.spots.front().shown + ": cannot claim it for this render: " +
                         f.lockFile.string() + " keeps changing");
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    if (folder->fd >= 0) folders_.push_back(std::move(folder));
  }
}

#endif

}  // namespace quillstreak::renderer
