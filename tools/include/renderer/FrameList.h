// Which frames to render and what their files are called: the --frames list and the --name
// pattern of the renderer.
#pragma once

#include <string>
#include <vector>

namespace quillstreak::renderer {

/// Parses a frame list against the composition's frames 0..last: comma-separated items, each a
/// frame ("7"), a range ("0-47"), an open range ("10-", to the last frame) or a range with a step
/// ("0-47x2", "10-x3"). The result is ascending without repeats. Throws InputError naming
/// `option` and the text; `where` names the composition in the message about frames outside it.
std::vector<long> ParseFrameList(const std::string& text, long last, const std::string& option,
                                 const std::string& where);

/// The frames as a short text: "0-23", "0-46x2", "1, 5, 9".
std::string DescribeFrames(const std::vector<long>& frames);

/// A file name pattern with one frame number: printf-style %d, with an optional width that pads
/// with zeros ("shot_%04d.png", "shot_%4d.png"); "%%" is a percent sign.
class NamePattern {
 public:
  /// The default "frame_%0Nd" with N digits, then `extension` (".png").
  NamePattern(int digits, const std::string& extension);
  /// Checks a pattern given by the user: one frame number, no folder, ending in `extension`
  /// (".png"). Throws InputError naming `option`.
  static NamePattern Parse(const std::string& pattern, const std::string& option,
                           const std::string& extension);
  /// The file name of a frame.
  std::string Name(long frame) const;
  const std::string& text() const { return text_; }

 private:
  NamePattern() = default;
  std::string text_;
  std::string prefix_, suffix_;
  int width_ = 0;
};

}  // namespace quillstreak::renderer
