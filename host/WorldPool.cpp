#include "host/WorldPool.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>
#include <new>
#include <stdexcept>
#include <string>

#include "host/Composition.h"

namespace quillstreak::host {
namespace {

// Storage is made in size classes an eighth of a power of two apart, so that worlds whose size
// changes by a row or a column from one frame to the next find each other's memory.
std::uint64_t SizeClass(std::uint64_t bytes) {
  if (bytes <= 4096) return (bytes + 255) / 256 * 256;
  const int top = std::bit_width(bytes) - 1;
  const std::uint64_t step = std::uint64_t{1} << (top - 3);
  return (bytes + step - 1) / step * step;
}

}  // namespace

void WorldPool::SetBudget(std::uint64_t bytes) {
  budget_ = bytes;
  MakeRoom(0);
}

bool WorldPool::FreeOneIdle() {
  if (idle_.empty()) return false;
  const auto largest = std::prev(idle_.end());
  idleBytes_ -= largest->first;
  idle_.erase(largest);
  return true;
}

bool WorldPool::MakeRoom(std::uint64_t bytes) {
  while (!Fits(bytes)) {
    if (FreeOneIdle()) continue;
    std::vector<World> dropped;
    if (layerCache_.DropOldest(dropped)) continue;
    if (!sourceFrames_.DropOldest()) return false;
  }
  return true;
}

World::Storage WorldPool::Take(std::uint64_t bytes) {
  if (bytes == 0) return {};
  const std::uint64_t sizeClass = SizeClass(bytes);
  if (const auto it = idle_.lower_bound(bytes); it != idle_.end() && it->first <= sizeClass) {
    World::Storage storage = std::move(it->second.storage);
    idleBytes_ -= it->first;
    idle_.erase(it);
    return storage;
  }
  std::uint64_t capacity = sizeClass;
  if (!MakeRoom(capacity)) {
    capacity = bytes;
    if (!MakeRoom(capacity)) throw std::bad_alloc();
  }
  World::Storage storage;
  storage.reserve(static_cast<std::size_t>(capacity));
  return storage;
}

void WorldPool::Release(World&& world) {
  World::Storage storage = world.TakeStorage();
  const std::uint64_t capacity = storage.capacity();
  if (capacity == 0) return;
  try {
    idle_.emplace(capacity, Idle{std::move(storage), frame_});
    idleBytes_ += capacity;
  } catch (const std::bad_alloc&) {
    // not kept: freed with `storage`
  }
}

void WorldPool::Release(std::vector<World>& worlds) {
  for (World& w : worlds) Release(std::move(w));
  worlds.clear();
}

PF_Err WorldPool::Allocate(std::int64_t width, std::int64_t height, A_long originX, A_long originY,
                           World*& world, bool clear) {
  world = nullptr;
  if (width < 0 || height < 0) return PF_Err_BAD_CALLBACK_PARAM;
  constexpr std::int64_t kMaxSide = std::int64_t{1} << 30;
  if (width > kMaxSide || height > kMaxSide) return PF_Err_OUT_OF_MEMORY;
  const std::uint64_t rowbytes = World::RowBytesFor(width);
  const std::uint64_t bytes = World::BytesFor(width, height);
  constexpr auto kMaxBytes = static_cast<std::uint64_t>(std::numeric_limits<A_long>::max());
  if (rowbytes > kMaxBytes || bytes > kMaxBytes) return PF_Err_OUT_OF_MEMORY;
  try {
    commandWorlds_.reserve(commandWorlds_.size() + 1);
    auto made = std::make_unique<World>(Take(bytes), static_cast<A_long>(width),
                                        static_cast<A_long>(height), originX, originY, clear);
    liveBytes_ += made->capacity();
    bytesInUse_ += made->bytes();
    world = made.get();
    commandWorlds_.push_back(std::move(made));
  } catch (const std::length_error&) {
    return PF_Err_OUT_OF_MEMORY;
  } catch (const std::bad_alloc&) {
    return PF_Err_OUT_OF_MEMORY;
  }
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
    liveBytes_ -= w->capacity();
    bytesInUse_ -= w->bytes();
    Release(std::move(*w));
  }
  commandWorlds_.clear();
  output_ = nullptr;
}

void WorldPool::BeginFrame() {
  ++frame_;
  std::vector<World> dropped;
  layerCache_.NextFrame(dropped);
  for (auto it = idle_.begin(); it != idle_.end();) {
    if (it->second.frame + 2 <= frame_) {
      idleBytes_ -= it->first;
      it = idle_.erase(it);
    } else {
      ++it;
    }
  }
  Release(dropped);
}

void WorldPool::DropLastOutput() {
  if (!lastOutput_) return;
  liveBytes_ -= lastOutput_->capacity();
  bytesInUse_ -= lastOutput_->bytes();
  Release(std::move(*lastOutput_));
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
    const PF_EffectWorld& from = world.def();
    World copy(Take(world.bytes()), from.width, from.height, from.origin_x, from.origin_y, false);
    if (world.bytes() > 0) std::memcpy(copy.def().data, from.data, world.bytes());
    std::vector<World> dropped;
    dropped.reserve(1);
    layerCache_.Store(key, std::move(copy), dropped);
    Release(dropped);
  } catch (const std::bad_alloc&) {
    // no room to keep it: the frame itself is complete
  }
}

std::shared_ptr<const LayerSource> WorldPool::LayerPicture(const Layer& layer, std::int64_t frame) {
  // Not owned: the still source lives as long as its layer.
  if (!layer.frames)
    return std::shared_ptr<const LayerSource>(std::shared_ptr<void>(), &layer.source);
  FrameSource& source = *layer.frames;
  if (auto kept = sourceFrames_.Find(source.serial(), frame)) return kept;
  const auto pixels = static_cast<std::uint64_t>(layer.source.width) *
                      static_cast<std::uint64_t>(std::max<A_long>(layer.source.height, 0));
  if (!MakeRoom(pixels * sizeof(PF_Pixel))) throw std::bad_alloc();
  auto picture = std::make_shared<LayerSource>();
  picture->kind = LayerSource::Kind::Image;
  picture->width = layer.source.width;
  picture->height = layer.source.height;
  picture->pixels = source.Decode(frame);
  if (picture->pixels.size() != pixels) {
    throw std::runtime_error("frame " + std::to_string(frame) + " of layer \"" + layer.name +
                             "\" has " + std::to_string(picture->pixels.size()) + " pixels, not " +
                             std::to_string(layer.source.width) + "x" +
                             std::to_string(layer.source.height));
  }
  sourceFrames_.Keep(source.serial(), frame, picture);
  return picture;
}

}  // namespace quillstreak::host
