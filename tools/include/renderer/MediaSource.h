// A layer source of a scene that changes over time, as the renderer opens it: the host's
// FrameSource, and what the render plan checks and reports of it before anything is written.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/FrameSource.h"

namespace quillstreak::renderer {

class MediaSource : public quillstreak::host::FrameSource {
 public:
  /// The source as the scene gives it, for messages and the dry run ("walk/walk_%04d.png").
  virtual std::string Describe() const = 0;
  /// The number users know frame `index` by (a sequence's file number, a video's frame).
  virtual std::int64_t FrameNumber(std::int64_t index) const = 0;
  /// Checks that the frames `indices` (ascending) can be had and have the source's size;
  /// throws InputError naming the first that cannot (its file, without the scene's name).
  virtual void Check(const std::vector<std::int64_t>& indices) const = 0;
};

}  // namespace quillstreak::renderer
