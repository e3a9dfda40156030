#include "renderer/FrameList.h"

#include <algorithm>
#include <cctype>

#include "renderer/InputError.h"
#include "text/Text.h"

namespace quillstreak::renderer {
namespace {

bool ParseNumber(const std::string& s, long& value) {
  if (s.empty() || s.size() > 9) return false;
  for (char c : s)
    if (c < '0' || c > '9') return false;
  value = std::stol(s);
  return true;
}

}  // namespace

std::vector<long> ParseFrameList(const std::string& text, long last, const std::string& option,
                                 const std::string& where) {
  const std::string context = option + " " + (Trim(text).empty() ? "\"" + text + "\"" : text);
  if (Trim(text).empty())
    throw InputError(context + ": no frames given (leave the option out to render all frames)");
  std::vector<long> frames;
  std::size_t start = 0;
  while (start <= text.size()) {
    const std::size_t comma = std::min(text.find(',', start), text.size());
    const std::string item(Trim(std::string_view(text).substr(start, comma - start)));
    start = comma + 1;
    std::string range = item;
    long step = 1;
    if (const auto x = item.find('x'); x != std::string::npos) {
      range = item.substr(0, x);
      if (ParseNumber(item.substr(x + 1), step) && step < 1)
        throw InputError(context + ": the step must be at least 1 in \"" + item + "\"");
      if (!ParseNumber(item.substr(x + 1), step) || step < 1 ||
          range.find('-') == std::string::npos)
        range.clear();
    }
    long a = 0, b = 0;
    const auto dash = range.find('-');
    bool ok = false;
    if (dash == std::string::npos) {
      ok = ParseNumber(range, a);
      b = a;
    } else {
      ok = ParseNumber(range.substr(0, dash), a);
      const std::string end = range.substr(dash + 1);
      b = last;
      if (!end.empty()) ok = ok && ParseNumber(end, b);
    }
    if (!ok) {
      throw InputError(context +
                       ": expected A-B or A, a list (1,5,9), a step (0-47x2) or an open "
                       "range (10-), with frame numbers from 0; \"" +
                       item + "\" is none of these");
    }
    if (a > b) {
      throw InputError(context + ": the first frame comes after the last in \"" + item + "\"");
    }
    if (b > last) {
      throw InputError(context + ": outside the composition of " + where + " (frames 0-" +
                       std::to_string(last) + ")");
    }
    for (long f = a; f <= b; f += step) frames.push_back(f);
    if (comma >= text.size()) break;
  }
  std::sort(frames.begin(), frames.end());
  frames.erase(std::unique(frames.begin(), frames.end()), frames.end());
  return frames;
}

std::string DescribeFrames(const std::vector<long>& frames) {
  if (frames.empty()) return "none";
  if (frames.size() == 1) return std::to_string(frames[0]);
  const long step = frames[1] - frames[0];
  bool even = true;
  for (std::size_t i = 1; i < frames.size(); ++i) even = even && frames[i] - frames[i - 1] == step;
  if (even) {
    std::string s = std::to_string(frames.front()) + "-" + std::to_string(frames.back());
    return step == 1 ? s : s + "x" + std::to_string(step);
  }
  std::string s;
  for (std::size_t i = 0; i < frames.size(); ++i) {
    if (i == 8 && frames.size() > 10) {
      s += ", ... " + std::to_string(frames.back());
      break;
    }
    s += (i == 0 ? "" : ", ") + std::to_string(frames[i]);
  }
  return s;
}

NamePattern::NamePattern(int digits, const std::string& extension)
    : text_("frame_%0" + std::to_string(digits) + "d" + extension),
      prefix_("frame_"),
      suffix_(extension),
      width_(digits) {}

NamePattern NamePattern::Parse(const std::string& pattern, const std::string& option,
                               const std::string& extension) {
  const std::string context = option + " \"" + pattern + "\"";
  NamePattern p;
  p.text_ = pattern;
  int numbers = 0;
  std::string* part = &p.prefix_;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    const char c = pattern[i];
    if (c == '/' || c == '\\')
      throw InputError(context + ": a file name without a folder (the folder is --out)");
    if (c != '%') {
      *part += c;
      continue;
    }
    if (i + 1 < pattern.size() && pattern[i + 1] == '%') {
      *part += '%';
      ++i;
      continue;
    }
    // A width pads with zeros, given as %04d or as %4d: a file name with spaces helps nobody.
    std::size_t j = i + 1;
    if (j < pattern.size() && pattern[j] == '0') ++j;
    int width = 0;
    while (j < pattern.size() && pattern[j] >= '0' && pattern[j] <= '9' && width < 100)
      width = width * 10 + (pattern[j++] - '0');
    if (j >= pattern.size() || pattern[j] != 'd' || width > 18) {
      throw InputError(context +
                       ": expected %d, %4d or %04d for the frame number (%% for a "
                       "percent sign)");
    }
    p.width_ = width;
    ++numbers;
    part = &p.suffix_;
    i = j;
  }
  if (numbers != 1) {
    throw InputError(context + ": expected one frame number in the name (%d, %4d or %04d), found " +
                     std::to_string(numbers));
  }
  const std::string tail = p.suffix_.size() >= extension.size()
                               ? p.suffix_.substr(p.suffix_.size() - extension.size())
                               : std::string();
  if (Lower(tail) != extension) throw InputError(context + ": the name must end in " + extension);
  return p;
}

std::string NamePattern::Name(long frame) const {
  std::string n = std::to_string(frame);
  if (static_cast<int>(n.size()) < width_)
    n.insert(0, static_cast<std::size_t>(width_) - n.size(), '0');
  return prefix_ + n + suffix_;
}

}  // namespace quillstreak::renderer
