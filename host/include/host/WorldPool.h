// The worlds the host hands out, within a byte budget: the worlds of the running command
// (released when it ends), the output of the last smart render (kept for inspection until the
// next pre-render or smart render) and the cache of rendered layer checkouts.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "host/LayerCache.h"
#include "host/pixels/Pixels.h"
#include "hostapi/HostApi.h"

namespace quillstreak::host {

class WorldPool {
 public:
  static constexpr std::uint64_t kDefaultBudget = std::uint64_t{2} << 30;

  WorldPool() = default;
  WorldPool(const WorldPool&) = delete;
  WorldPool& operator=(const WorldPool&) = delete;

  /// Bytes of worlds that may be live at once (default 2 GiB); past it an allocation gives
  /// PF_Err_OUT_OF_MEMORY. The layer cache keeps within half of it, apart from the live worlds.
  void SetBudget(std::uint64_t bytes) { budget_ = bytes; }
  std::uint64_t budget() const { return budget_; }
  /// Bytes of the live worlds: the running command's and the last output.
  std::uint64_t bytesInUse() const { return bytesInUse_; }
  /// Whether a world of that many bytes fits beside the live ones.
  bool Fits(std::uint64_t bytes) const;

  // ---- worlds of the running command ---------------------------------------------------------
  /// A transparent world for the running command, released when it ends.
  /// PF_Err_BAD_CALLBACK_PARAM for a negative size, PF_Err_OUT_OF_MEMORY past the budget.
  PF_Err Allocate(std::int64_t width, std::int64_t height, A_long originX, A_long originY,
                  World*& world);
  /// Allocates the command's output world: the one kept when the command ends.
  PF_Err AllocateOutput(std::int64_t width, std::int64_t height, A_long originX, A_long originY,
                        World*& world);
  /// The command's output world, null before AllocateOutput.
  World* commandOutput() const { return output_; }
  /// Releases the command's worlds; its output becomes the last output.
  void EndCommand();

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
  /// Keeps a copy of `world` under `key`, within half the budget. Nothing when the cache is off;
  /// a cache that finds no memory for it empties instead.
  void ToLayerCache(const LayerRenderKey& key, const World& world);

 private:
  std::uint64_t budget_ = kDefaultBudget;
  std::uint64_t bytesInUse_ = 0;
  std::vector<std::unique_ptr<World>> commandWorlds_;
  World* output_ = nullptr;
  std::unique_ptr<World> lastOutput_;
  LayerCache layerCache_;
  bool layerCacheOn_ = true;
};

}  // namespace quillstreak::host
