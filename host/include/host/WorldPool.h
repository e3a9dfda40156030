// The memory the host holds for pixels, within one byte budget: the worlds of the running command
// (released when it ends), the output of the last smart render (kept for inspection until the
// next pre-render or smart render), the storage of released worlds kept for the next ones, the
// cache of rendered layer checkouts, the layers' source images and the decoded frames of their
// changing sources.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "host/LayerCache.h"
#include "host/SourceFrames.h"
#include "host/pixels/World.h"
#include "hostapi/HostApi.h"

namespace quillstreak::host {

struct Layer;

/// Hands out worlds on reused memory: a released world's storage goes back to the pool and the
/// next world of its size class gets it (cleared, not freed and faulted in again), so that
/// frames after the first allocate nothing. Storage left idle for a whole frame is freed, and
/// idle storage, then the least recently used cache entries, are freed whenever a new
/// allocation needs their room in the budget (then decoded source frames).
class WorldPool {
 public:
  static constexpr std::uint64_t kDefaultBudget = std::uint64_t{2} << 30;

  WorldPool() = default;
  WorldPool(const WorldPool&) = delete;
  WorldPool& operator=(const WorldPool&) = delete;

  /// Bytes the host may hold at once (default 2 GiB): live worlds, idle storage, the layer
  /// cache, the source images and the kept source frames together; an allocation that does not
  /// fit once idle storage, cache entries and source frames are freed gives
  /// PF_Err_OUT_OF_MEMORY. Lowering it frees what is above.
  void SetBudget(std::uint64_t bytes);
  std::uint64_t budget() const { return budget_; }
  /// Bytes of the live worlds' pixels: the running command's and the last output.
  std::uint64_t bytesInUse() const { return bytesInUse_; }
  /// Everything counted against the budget: the memory of live worlds, idle storage and the
  /// cache (storage capacity), the source images and the kept source frames.
  std::uint64_t bytesHeld() const {
    return liveBytes_ + idleBytes_ + layerCache_.bytes() + imageBytes_ + sourceFrames_.bytes();
  }
  /// Memory of released worlds kept for reuse.
  std::uint64_t idleBytes() const { return idleBytes_; }
  /// The layers' source images, which count against the budget (set before each command).
  void SetImageBytes(std::uint64_t bytes) { imageBytes_ = bytes; }
  /// Frees idle storage, then cache entries, then source frames, until `bytes` more fit in the
  /// budget; false when they do not fit even then. For pictures the host makes outside the pool.
  bool MakeRoom(std::uint64_t bytes);

  // ---- worlds of the running command ---------------------------------------------------------
  /// A world for the running command, released when it ends: transparent, or, without `clear`,
  /// with whatever its reused memory held (for a caller that writes every pixel).
  /// PF_Err_BAD_CALLBACK_PARAM for a negative size, PF_Err_OUT_OF_MEMORY past the budget.
  PF_Err Allocate(std::int64_t width, std::int64_t height, A_long originX, A_long originY,
                  World*& world, bool clear = true);
  /// Allocates the command's output world: the one kept when the command ends.
  PF_Err AllocateOutput(std::int64_t width, std::int64_t height, A_long originX, A_long originY,
                        World*& world);
  /// The command's output world, null before AllocateOutput.
  World* commandOutput() const { return output_; }
  /// Releases the command's worlds; its output becomes the last output.
  void EndCommand();

  // ---- frames --------------------------------------------------------------------------------
  /// A new frame begins: cache entries outside the trail window and storage idle since the
  /// frame before last are freed.
  void BeginFrame();

  // ---- the last output -----------------------------------------------------------------------
  /// The output world of the last smart render; null when there is none.
  const World* lastOutput() const { return lastOutput_.get(); }
  void DropLastOutput();

  // ---- the layer cache -----------------------------------------------------------------------
  /// Keeps rendered layer checkouts between frames (on by default); turning it off empties it.
  void SetLayerCache(bool on);
  bool layerCacheOn() const { return layerCacheOn_; }
  const LayerCache& layerCache() const { return layerCache_; }
  /// Copies the rendering cached under `key` into `world` and returns true, when there is one.
  bool FromLayerCache(const LayerRenderKey& key, World& world);
  /// Keeps a copy of `world` under `key` in pooled memory, freeing older entries when the
  /// budget needs it. Nothing when the cache is off or the copy does not fit.
  void ToLayerCache(const LayerRenderKey& key, const World& world);

  // ---- source frames -------------------------------------------------------------------------
  /// The picture `layer` shows as its frame `frame` (Layer::FrameAt): its still source itself,
  /// or that frame of its changing source, kept or decoded now (and kept, room made for it in
  /// the budget). Throws std::bad_alloc when it does not fit, and what FrameSource::Decode
  /// throws, or std::runtime_error for a frame of the wrong size.
  std::shared_ptr<const LayerSource> LayerPicture(const Layer& layer, std::int64_t frame);
  const SourceFrames& sourceFrames() const { return sourceFrames_; }

 private:
  struct Idle {
    World::Storage storage;
    std::uint64_t frame = 0;  // when it was released
  };
  // Storage for `bytes` of pixels: idle storage of its size class, else new memory within the
  // budget. Throws std::bad_alloc when it does not fit.
  World::Storage Take(std::uint64_t bytes);
  void Release(World&& world);
  void Release(std::vector<World>& worlds);
  bool FreeOneIdle();
  bool Fits(std::uint64_t bytes) const {
    return bytes <= budget_ && bytesHeld() <= budget_ - bytes;
  }

  std::uint64_t budget_ = kDefaultBudget;
  std::uint64_t bytesInUse_ = 0;  // pixels of live worlds
  std::uint64_t liveBytes_ = 0;   // memory of live worlds
  std::uint64_t idleBytes_ = 0;
  std::uint64_t imageBytes_ = 0;
  std::uint64_t frame_ = 0;
  std::multimap<std::uint64_t, Idle> idle_;  // by capacity
  std::vector<std::unique_ptr<World>> commandWorlds_;
  World* output_ = nullptr;
  std::unique_ptr<World> lastOutput_;
  LayerCache layerCache_;
  bool layerCacheOn_ = true;
  SourceFrames sourceFrames_;
};

}  // namespace quillstreak::host
