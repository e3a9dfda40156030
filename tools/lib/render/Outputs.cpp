// Placing finished files safely: the checks of output folders, files written under a temporary
// name and renamed into place, and what an interrupted render left behind.
#include "render/Outputs.h"

#include <atomic>
#include <cerrno>
#include <fstream>
#include <map>
#include <set>
#include <system_error>

#include "platform/Interrupts.h"
#include "platform/Platform.h"
#include "renderer/InputError.h"

namespace quillstreak::renderer {
namespace {

namespace fs = std::filesystem;

std::string Unique() {
  static std::atomic<int> counter{0};
  return std::to_string(ProcessId()) + "-" + std::to_string(counter++);
}

// Whether a folder that exists can take new files; the system's reason when not. A folder may
// pass the permission check and still take no files (/proc, or any folder for an administrator on
// a read-only system), so a file is created there and removed again.
std::string WriteProblem(const fs::path& dir) {
  if (const std::string why = AccessProblem(dir); !why.empty()) return why;
  const fs::path probe = dir / (".quillstreak-write-test-" + Unique());
  errno = 0;
  std::ofstream file(probe, std::ios::binary);
  if (!file) return std::generic_category().message(errno != 0 ? errno : EACCES);
  file.close();
  std::error_code ec;
  fs::remove(probe, ec);
  return {};
}

}  // namespace

void CheckWritableFolder(const fs::path& dir, const std::string& what) {
  const std::string name = what + " " + dir.string();
  std::error_code ec;
  fs::path existing = dir.empty() ? fs::path(".") : dir;
  while (!fs::exists(existing, ec)) {
    if (ec) throw InputError(name + ": " + ec.message());
    const fs::path parent = existing.parent_path();
    existing = parent.empty() || parent == existing ? fs::path(".") : parent;
  }
  if (!fs::is_directory(existing, ec)) {
    throw InputError(
        name + ": " + existing.string() +
        (existing == dir ? " exists and is not a folder" : " is a file, not a folder"));
  }
  if (const std::string why = WriteProblem(existing); !why.empty()) {
    throw InputError(name + ": cannot write " +
                     (existing == dir ? std::string("to it") : "in " + existing.string()) + ": " +
                     why);
  }
}

PartialFile::PartialFile(fs::path target) : target_(std::move(target)) {
  partial_ = target_;
  partial_ += ".partial-" + Unique();
  registered_ = std::make_unique<RegisteredPartial>(partial_.string());
}

PartialFile::~PartialFile() {
  if (placed_) return;
  std::error_code ec;
  fs::remove(partial_, ec);
}

void PartialFile::Place(bool replace) {
  const std::error_code ec = RenameFile(partial_, target_, replace);
  if (!ec) {
    placed_ = true;
    return;
  }
  std::error_code ignored;
  fs::remove(partial_, ignored);
  if (ec == std::errc::file_exists) {
    throw RenderError(target_.string() +
                      ": appeared while this render was writing it, and is left as it is "
                      "(--overwrite replaces it)");
  }
  throw RenderError(target_.string() + ": " + ec.message());
}

namespace {

// Whether `text` is "<digits>-<digits>", the end of a temporary name.
bool IsPartialSuffix(const std::string& text) {
  const auto dash = text.find('-');
  auto digits = [](const std::string& s) {
    return !s.empty() && s.find_first_not_of("0123456789") == std::string::npos;
  };
  return dash != std::string::npos && digits(text.substr(0, dash)) && digits(text.substr(dash + 1));
}

}  // namespace

void RemoveLeftoverPartials(const std::vector<fs::path>& outputs) {
  std::map<fs::path, std::set<std::string>> names;  // by folder
  for (const fs::path& o : outputs) {
    const fs::path folder = o.parent_path().empty() ? fs::path(".") : o.parent_path();
    names[folder].insert(o.filename().string());
  }
  for (const auto& [folder, files] : names) {
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
      const std::string name = it->path().filename().string();
      const auto mark = name.rfind(".partial-");
      if (mark == std::string::npos || !IsPartialSuffix(name.substr(mark + 9))) continue;
      if (files.count(name.substr(0, mark)) == 0) continue;
      std::error_code ignored;
      fs::remove(it->path(), ignored);
    }
  }
}

void WritePictureWhole(const fs::path& path, const RgbaImage& image, bool opaque,
                       const FrameFormat& format, bool replace) {
  PartialFile partial(path);
  try {
    format.WritePicture(partial.path().string(), image, opaque);
  } catch (const FrameFileError& e) {
    throw RenderError(path.string() + ": " + e.what());
  }
  partial.Place(replace);
}

}  // namespace quillstreak::renderer
