// Rendered layer checkouts kept between frames, so that consecutive frames render only the layer
// times they have not rendered before. The effect repaints checked-out worlds in place, so a hit
// is always handed out as a copy into a fresh world, never as the cached world itself.
#pragma once

#include <cstddef>
#include <cstdint>
#include <list>
#include <unordered_map>
#include <vector>

#include "host/pixels/LayerSource.h"
#include "host/pixels/World.h"
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

/// The renderings of the trail window: the layer times checked out by the current frame and the
/// frame before it, which is what the next frame can reuse (its samples overlap the current
/// frame's when time moves forwards, the previous frame's when it steps back). Entries are found
/// by hash; the least recently used go first when the host needs their memory.
/// The cache does not allocate: WorldPool gives it the copies it keeps and takes back what it
/// drops.
class LayerCache {
 public:
  /// A digest of everything in the source that the rendering reads (kind, size, colour and
  /// every image pixel). Reads the whole image: call once per render command, not per pixel.
  static std::uint64_t SourceFingerprint(const LayerSource& source);
  /// The digest of one frame of a changing source (FrameSource::serial, the frame's index).
  static std::uint64_t FrameFingerprint(std::uint64_t serial, std::int64_t frame);

  /// On a hit, copies the cached pixels into `out` (which must have the key's size) and
  /// returns true; the entry becomes the most recently used and part of the current frame.
  bool CopyTo(const LayerRenderKey& key, World& out);
  /// Keeps `rendered` under the key, in place of an entry with the same key (whose world goes
  /// to `dropped`).
  void Store(const LayerRenderKey& key, World rendered, std::vector<World>& dropped);
  /// Starts the next frame: the entries used neither by the frame that ends nor by the one
  /// before it leave for `dropped`.
  void NextFrame(std::vector<World>& dropped);
  /// Moves the least recently used entry's world to `dropped`; false when the cache is empty.
  bool DropOldest(std::vector<World>& dropped);
  void Clear();

  /// Memory held by the cached worlds (their storage capacity).
  std::uint64_t bytes() const { return bytes_; }
  std::size_t entries() const { return entries_.size(); }
  std::uint64_t hits() const { return hits_; }
  std::uint64_t misses() const { return misses_; }

 private:
  struct Entry {
    LayerRenderKey key;
    World world;
    std::uint64_t frame = 0;  // the last frame that used it
  };
  struct KeyHash {
    std::size_t operator()(const LayerRenderKey& key) const;
  };
  using List = std::list<Entry>;
  void Erase(List::iterator it, std::vector<World>& dropped);

  List entries_;  // most recently used first
  std::unordered_map<LayerRenderKey, List::iterator, KeyHash> index_;
  std::uint64_t frame_ = 0;
  std::uint64_t bytes_ = 0;
  std::uint64_t hits_ = 0;
  std::uint64_t misses_ = 0;
};

}  // namespace quillstreak::host
