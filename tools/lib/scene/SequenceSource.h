// Image sequences: numbered PNG files as a layer source that changes over time.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "renderer/MediaSource.h"

namespace quillstreak::renderer {

/// Numbered PNG files read as straight RGBA, like image layers: frame i is the file numbered
/// first + i, up to the highest number found. Each frame is read when the host asks for it.
class SequenceSource final : public MediaSource {
 public:
  /// Opens the sequence whose file names are `pattern` (a path whose file name holds the
  /// number as %d, %0Nd or a run of N #), as given in the scene, under `baseDir`: finds its
  /// files numbered from `first` on (nullopt: the lowest number there) and reads the size of
  /// the first one there. Throws InputError (without the scene's name) when the pattern has no
  /// number, no file of it is there, or the first cannot be read.
  static std::shared_ptr<SequenceSource> Open(const std::string& pattern,
                                              const std::filesystem::path& baseDir,
                                              std::optional<std::int64_t> first,
                                              quillstreak::host::FrameRate rate);

  A_long width() const override { return width_; }
  A_long height() const override { return height_; }
  std::int64_t frameCount() const override { return last_ - first_ + 1; }
  quillstreak::host::FrameRate rate() const override { return rate_; }
  /// Reads the frame's file; throws std::runtime_error naming it when it cannot be read or
  /// has another size.
  std::vector<PF_Pixel> Decode(std::int64_t index) override;

  std::string Describe() const override { return pattern_; }
  std::int64_t FrameNumber(std::int64_t index) const override { return first_ + index; }
  /// Each file must be there and a PNG of the size of the first: names the first missing file
  /// or the first of another size.
  void Check(const std::vector<std::int64_t>& indices) const override;

  /// The file of frame `index`, as the scene names it (relative to the scene's folder).
  std::string FileName(std::int64_t index) const;

 private:
  SequenceSource() = default;
  std::filesystem::path FilePath(std::int64_t index) const;

  std::string pattern_;
  std::filesystem::path baseDir_;
  std::string prefix_, suffix_;  // the pattern around the number
  int digits_ = 0;               // zero-padded to at least this many digits
  std::int64_t first_ = 0, last_ = 0;
  std::int64_t sizedBy_ = 0;  // the number of the file that gave the size
  A_long width_ = 0, height_ = 0;
  quillstreak::host::FrameRate rate_;
};

}  // namespace quillstreak::renderer
