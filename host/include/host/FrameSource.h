// A layer source that changes over time (an image sequence, a video): frames by index at a frame
// rate, all of one size, decoded one at a time when the host needs them. The host library reads
// no file format itself: its users implement this (the renderer's image sequences).
#pragma once

#include <cstdint>
#include <vector>

#include "hostapi/HostApi.h"

namespace quillstreak::host {

/// Frames per second as a fraction num / den (both positive).
struct FrameRate {
  std::uint32_t num = 24;
  std::uint32_t den = 1;
};

/// The frames of a changing source. The host asks for a frame only when it draws the layer at a
/// time that shows it and no rendering of that time is cached, and keeps only a few decoded
/// frames (WorldPool::LayerPicture): a source never needs to hold all its frames. An
/// implementation may decode ahead on a thread of its own (frames are mostly asked for in
/// ascending order); Decode is called on the thread of the host command that draws the layer,
/// and a source shared by hosts on several threads guards its own state.
class FrameSource {
 public:
  FrameSource();
  virtual ~FrameSource() = default;
  FrameSource(const FrameSource&) = delete;
  FrameSource& operator=(const FrameSource&) = delete;

  /// The size of every frame, in source pixels (positive).
  virtual A_long width() const = 0;
  virtual A_long height() const = 0;
  /// Frames 0 to frameCount() - 1 (at least one).
  virtual std::int64_t frameCount() const = 0;
  virtual FrameRate rate() const = 0;
  /// Frame `index` (0 <= index < frameCount()): width * height straight ARGB pixels, row by
  /// row. Throws std::exception with a message naming the frame when it cannot be had.
  virtual std::vector<PF_Pixel> Decode(std::int64_t index) = 0;

  /// A number no other source of this process has: what kept frames and cached renderings are
  /// known by.
  std::uint64_t serial() const { return serial_; }

 private:
  std::uint64_t serial_;
};

/// The frame a changing source shows at layer time value / scale: floor(t x rate), without
/// blending; before its first frame the first; after its last the last, or with `loop` the
/// frames again from the first. A scale of 0 counts as time 0.
std::int64_t FrameIndexAt(std::int64_t value, std::uint32_t scale, FrameRate rate,
                          std::int64_t frameCount, bool loop);

}  // namespace quillstreak::host
