#include "scene/SequenceSource.h"

#include <algorithm>
#include <cctype>
#include <limits>
#include <stdexcept>
#include <system_error>

#include "renderer/FrameImage.h"
#include "renderer/InputError.h"
#include "renderer/Png.h"

namespace quillstreak::renderer {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t kMaxDigits = 15;

bool AllDigits(const std::string& s) {
  if (s.empty() || s.size() > kMaxDigits) return false;
  for (const char c : s)
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
  return true;
}

std::string Padded(std::int64_t number, int digits) {
  std::string s = std::to_string(number);
  if (static_cast<int>(s.size()) < digits)
    s.insert(0, static_cast<std::size_t>(digits) - s.size(), '0');
  return s;
}

// A file name pattern split around its number: %d, %0Nd (or %Nd) or a run of #, once; %% is a
// percent sign.
struct NumberedName {
  std::string prefix, suffix;
  int digits = 0;
};

NumberedName SplitAtNumber(const std::string& pattern, const std::string& name) {
  NumberedName n;
  bool found = false;
  for (std::size_t i = 0; i < name.size(); ++i) {
    std::string& into = found ? n.suffix : n.prefix;
    const char c = name[i];
    if (c == '%' && i + 1 < name.size() && name[i + 1] == '%') {
      into += '%';
      ++i;
      continue;
    }
    if (c != '%' && c != '#') {
      into += c;
      continue;
    }
    if (found) throw InputError("\"" + pattern + "\" holds more than one frame number");
    std::size_t end = i + 1;
    if (c == '#') {
      while (end < name.size() && name[end] == '#') ++end;
      n.digits = static_cast<int>(end - i);
    } else {
      while (end < name.size() && std::isdigit(static_cast<unsigned char>(name[end]))) ++end;
      if (end >= name.size() || name[end] != 'd' || end - i > 3) {
        throw InputError("\"" + pattern +
                         "\": a % in a sequence's file name must be %d, %04d (digits) or %%");
      }
      n.digits = end > i + 1 ? std::stoi(name.substr(i + 1, end - i - 1)) : 0;
      ++end;
    }
    if (n.digits > static_cast<int>(kMaxDigits))
      throw InputError("\"" + pattern + "\": at most 15 digits");
    found = true;
    i = end - 1;
  }
  if (!found) {
    throw InputError("\"" + pattern +
                     "\" has no frame number: give the file names with %04d (or ####) where the "
                     "number goes, e.g. \"walk/walk_%04d.png\"");
  }
  return n;
}

// The lowest and the highest number of the files of `name` in `folder` from `from` on (highest
// -1 when there is none).
std::pair<std::int64_t, std::int64_t> NumbersThere(const std::string& pattern,
                                                   const fs::path& folder, const NumberedName& name,
                                                   std::int64_t from) {
  const std::string where = folder.empty() ? std::string(".") : folder.string();
  std::error_code ec;
  if (!fs::is_directory(folder.empty() ? fs::path(".") : folder, ec))
    throw InputError("\"" + pattern + "\": no folder " + where);
  std::int64_t lowest = std::numeric_limits<std::int64_t>::max(), highest = -1;
  const std::string &prefix = name.prefix, &suffix = name.suffix;
  for (fs::directory_iterator it(folder.empty() ? fs::path(".") : folder, ec), end;
       !ec && it != end; it.increment(ec)) {
    const std::string file = it->path().filename().string();
    if (file.size() <= prefix.size() + suffix.size() ||
        file.compare(0, prefix.size(), prefix) != 0 ||
        file.compare(file.size() - suffix.size(), suffix.size(), suffix) != 0)
      continue;
    const std::string digits =
        file.substr(prefix.size(), file.size() - prefix.size() - suffix.size());
    if (!AllDigits(digits)) continue;
    const std::int64_t number = std::stoll(digits);
    if (Padded(number, name.digits) != digits || number < from) continue;
    lowest = std::min(lowest, number);
    highest = std::max(highest, number);
  }
  if (ec) throw InputError("\"" + pattern + "\": cannot list " + where + ": " + ec.message());
  return {lowest, highest};
}

}  // namespace

std::shared_ptr<SequenceSource> SequenceSource::Open(const std::string& pattern,
                                                     const fs::path& baseDir,
                                                     std::optional<std::int64_t> first,
                                                     quillstreak::host::FrameRate rate) {
  std::shared_ptr<SequenceSource> s(new SequenceSource());
  s->pattern_ = pattern;
  s->baseDir_ = baseDir;
  s->rate_ = rate;
  const std::string name = fs::path(pattern).filename().string();
  const NumberedName numbered = SplitAtNumber(pattern, name);
  s->digits_ = numbered.digits;
  s->prefix_ = pattern.substr(0, pattern.size() - name.size()) + numbered.prefix;
  s->suffix_ = numbered.suffix;

  // The files there: the lowest number from `first` on, and the highest.
  const fs::path folder = baseDir / fs::path(pattern).parent_path();
  const auto [lowest, highest] = NumbersThere(pattern, folder, numbered, first.value_or(0));
  if (highest < 0) {
    throw InputError("no file of the sequence \"" + pattern + "\" in " +
                     (folder.empty() ? std::string(".") : folder.string()) +
                     (first ? " numbered " + std::to_string(*first) + " or higher" : ""));
  }
  s->first_ = first.value_or(lowest);
  s->last_ = highest;
  s->sizedBy_ = lowest;
  const std::string sizing = s->FileName(lowest - s->first_);
  PngInfo info;
  try {
    info = ReadPngInfo(s->FilePath(lowest - s->first_).string());
  } catch (const PngError& e) {
    throw InputError("cannot read image \"" + sizing + "\": " + e.what());
  }
  if (info.width <= 0 || info.height <= 0 || info.width > kMaxImageSide ||
      info.height > kMaxImageSide) {
    throw InputError("\"" + sizing + "\" is " + std::to_string(info.width) + "x" +
                     std::to_string(info.height) + ", larger than the image size limit (" +
                     std::to_string(kMaxImageSide) + " pixels a side)");
  }
  s->width_ = static_cast<A_long>(info.width);
  s->height_ = static_cast<A_long>(info.height);
  return s;
}

std::string SequenceSource::FileName(std::int64_t index) const {
  return prefix_ + Padded(first_ + index, digits_) + suffix_;
}

fs::path SequenceSource::FilePath(std::int64_t index) const {
  return baseDir_ / fs::path(FileName(index));
}

void SequenceSource::Check(const std::vector<std::int64_t>& indices) const {
  for (const std::int64_t i : indices) {
    std::error_code ec;
    const fs::path path = FilePath(i);
    if (!fs::exists(path, ec)) {
      throw InputError("\"" + FileName(i) +
                       "\" is missing, and the render needs it (the sequence \"" + pattern_ +
                       "\" has files " + std::to_string(first_) + " to " + std::to_string(last_) +
                       ")");
    }
    PngInfo info;
    try {
      info = ReadPngInfo(path.string());
    } catch (const PngError& e) {
      throw InputError("cannot read image \"" + FileName(i) + "\": " + e.what());
    }
    if (info.width != width_ || info.height != height_) {
      throw InputError("\"" + FileName(i) + "\" is " + std::to_string(info.width) + "x" +
                       std::to_string(info.height) + ", the sequence's frames " +
                       std::to_string(width_) + "x" + std::to_string(height_) + " (as \"" +
                       FileName(sizedBy_ - first_) + "\")");
    }
  }
}

std::vector<PF_Pixel> SequenceSource::Decode(std::int64_t index) {
  RgbaImage image;
  try {
    image = ReadPng(FilePath(index).string());
  } catch (const PngError& e) {
    throw std::runtime_error("cannot read image \"" + FileName(index) + "\": " + e.what());
  }
  if (image.width != width_ || image.height != height_) {
    throw std::runtime_error("\"" + FileName(index) + "\" is " + std::to_string(image.width) + "x" +
                             std::to_string(image.height) + ", the sequence's frames " +
                             std::to_string(width_) + "x" + std::to_string(height_));
  }
  return ArgbPixels(image);
}

}  // namespace quillstreak::renderer
