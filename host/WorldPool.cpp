#include "host/WorldPool.h"

#include <algorithm>
#include <new>
#include <stdexcept>

namespace quillstreak::host {

bool WorldPool::Fits(std::uint64_t bytes) const {
  return bytes <= budget_ - std::min(budget_, bytesInUse_);
}

PF_Err WorldPool::Allocate(std::int64_t width, std::int64_t height, A_long originX, A_long originY,
                           World*& world) {
  world = nullptr;
  if (width < 0 || height < 0) return PF_Err_BAD_CALLBACK_PARAM;
  constexpr std::int64_t kMaxSide = std::int64_t{1} << 30;
  if (width > kMaxSide || height > kMaxSide) return PF_Err_OUT_OF_MEMORY;
  const std::uint64_t rowbytes = (static_cast<std::uint64_t>(width) * 4 + 15) / 16 * 16;
  const std::uint64_t bytes = rowbytes * static_cast<std::uint64_t>(height);
  if (bytes > budget_ || bytesInUse_ > budget_ - bytes) return PF_Err_OUT_OF_MEMORY;
  std::unique_ptr<World> made;
  try {
    made = std::make_unique<World>(static_cast<A_long>(width), static_cast<A_long>(height), originX,
                                   originY);
  } catch (const std::length_error&) {
    return PF_Err_OUT_OF_MEMORY;
  } catch (const std::bad_alloc&) {
    return PF_Err_OUT_OF_MEMORY;
  }
  bytesInUse_ += made->bytes();
  world = made.get();
  commandWorlds_.push_back(std::move(made));
  return PF_Err_NONE;
}

PF_Err WorldPool::AllocateOutput(std::int64_t width, std::int64_t height, A_long originX,
                                 A_long originY, World*& world) {
  const PF_Err err = Allocate(width, height, originX, originY, world);
  if (err == PF_Err_NONE) output_ = world;
  return err;
}

void WorldPool::EndCommand() {
  for (std::unique_ptr<World>& w : commandWorlds_) {
    if (w.get() == output_) {
      DropLastOutput();
      lastOutput_ = std::move(w);
      continue;
    }
    bytesInUse_ -= w->bytes();
  }
  commandWorlds_.clear();
  output_ = nullptr;
}

void WorldPool::DropLastOutput() {
  if (!lastOutput_) return;
  bytesInUse_ -= lastOutput_->bytes();
  lastOutput_.reset();
}

void WorldPool::SetLayerCache(bool on) {
  layerCacheOn_ = on;
  if (!on) layerCache_.Clear();
}

bool WorldPool::FromLayerCache(const LayerRenderKey& key, World& world) {
  return layerCacheOn_ && layerCache_.CopyTo(key, world);
}

void WorldPool::ToLayerCache(const LayerRenderKey& key, const World& world) {
  if (!layerCacheOn_) return;
  try {
    layerCache_.Store(key, world, budget_ / 2);
  } catch (const std::bad_alloc&) {
    layerCache_.Clear();  // no room to keep it: the frame itself is complete
  }
}

}  // namespace quillstreak::host
