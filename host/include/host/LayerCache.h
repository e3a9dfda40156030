// Rendered layer checkouts kept between frames, so that consecutive frames render only the layer
// times they have not rendered before. The effect repaints checked-out worlds in place, so a hit
// is always handed out as a copy into a fresh world, never as the cached world itself.
#pragma once

#include <cstddef>
#include <cstdint>
#include <list>

#include "host/pixels/Pixels.h"
#include "hostapi/HostApi.h"

namespace quillstreak::host {

/// Everything a layer rendering depends on. Two renderings with equal keys are identical.
struct LayerRenderKey {
  std::int32_t layerId = 0;
  std::int64_t time = 0;
  std::uint32_t timeScale = 0;
  double dsx = 1, dsy = 1;
  TransformValues transform;  // the evaluated transform streams (compared bit for bit)
  PF_LRect box{};             // the world's extent in downsampled composition pixels
  std::uint64_t source = 0;   // LayerCache::SourceFingerprint of the layer's source

  bool operator==(const LayerRenderKey& other) const;
};

/// Least recently used store of rendered layer worlds, bounded by a byte budget.
class LayerCache {
 public:
  /// A digest of everything in the source that the rendering reads (kind, size, colour and
  /// every image pixel). Reads the whole image: call once per render command, not per pixel.
  static std::uint64_t SourceFingerprint(const LayerSource& source);

  /// On a hit, copies the cached pixels into `out` (which must have the key's size) and
  /// returns true; the entry becomes the most recently used.
  bool CopyTo(const LayerRenderKey& key, World& out);
  /// Keeps a copy of `rendered` under the key, dropping least recently used entries to stay
  /// within `budgetBytes`. A world larger than the budget is not kept.
  void Store(const LayerRenderKey& key, const World& rendered, std::uint64_t budgetBytes);
  void Clear();

  std::uint64_t bytes() const { return bytes_; }
  std::size_t entries() const { return entries_.size(); }
  std::uint64_t hits() const { return hits_; }
  std::uint64_t misses() const { return misses_; }

 private:
  struct Entry {
    LayerRenderKey key;
    World world;
  };
  std::list<Entry> entries_;  // most recently used first
  std::uint64_t bytes_ = 0;
  std::uint64_t hits_ = 0;
  std::uint64_t misses_ = 0;
};

}  // namespace quillstreak::host
