// Decoded frames of the layers' changing sources (FrameSource), kept so that the frames a trail
// window shows are decoded once rather than once per copy and per frame.
#pragma once

#include <cstddef>
#include <cstdint>
#include <list>
#include <memory>

#include "host/pixels/LayerSource.h"

namespace quillstreak::host {

/// At most kLimit frames of each source, the least recently used going first when a source
/// has more, and whenever the world budget needs their memory (WorldPool): a long source is
/// never held whole. A frame handed out stays valid while its holder keeps it, dropped or not.
class SourceFrames {
 public:
  static constexpr std::size_t kLimit = 8;

  /// The kept frame `index` of the source numbered `serial` (FrameSource::serial), which
  /// becomes the most recently used; null when it is not kept.
  std::shared_ptr<const LayerSource> Find(std::uint64_t serial, std::int64_t index);
  /// Keeps a frame, dropping the source's least recently used frames beyond the limit.
  void Keep(std::uint64_t serial, std::int64_t index, std::shared_ptr<const LayerSource> frame);
  /// Drops the least recently used frame of any source; false when none is kept.
  bool DropOldest();

  /// Bytes of the kept frames' pixels.
  std::uint64_t bytes() const { return bytes_; }
  std::size_t frames() const { return entries_.size(); }

 private:
  struct Entry {
    std::uint64_t serial;
    std::int64_t index;
    std::shared_ptr<const LayerSource> frame;
  };
  using List = std::list<Entry>;
  void Erase(List::iterator it);
  void Trim(std::uint64_t serial);

  List entries_;  // most recently used first
  std::uint64_t bytes_ = 0;
};

}  // namespace quillstreak::host
