// Owned 8-bit worlds. See World.h for the contract.
#include "PixelsCommon.h"

#include <cassert>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <utility>

namespace quillstreak::host {

using namespace detail;

World::World(A_long width, A_long height, A_long origin_x, A_long origin_y) {
  Shape(width, height, origin_x, origin_y, true);
}

World::World(Storage storage, A_long width, A_long height, A_long origin_x, A_long origin_y,
             bool clear)
    : storage_(std::move(storage)) {
  Shape(width, height, origin_x, origin_y, clear);
}

std::uint64_t World::RowBytesFor(std::int64_t width) {
  return (static_cast<std::uint64_t>(std::max<std::int64_t>(width, 0)) * 4 + 15) / 16 * 16;
}

std::uint64_t World::BytesFor(std::int64_t width, std::int64_t height) {
  return RowBytesFor(width) * static_cast<std::uint64_t>(std::max<std::int64_t>(height, 0));
}

void World::Shape(A_long width, A_long height, A_long origin_x, A_long origin_y, bool clear) {
  const i64 w = std::max<A_long>(width, 0);
  const i64 h = std::max<A_long>(height, 0);
  const auto rowbytes = static_cast<i64>(RowBytesFor(w));
  const i64 total = rowbytes * h;
  if (rowbytes > std::numeric_limits<A_long>::max() || total > std::numeric_limits<A_long>::max()) {
    throw std::length_error("quillstreak::host::World: size too large");
  }
  storage_.resize(static_cast<std::size_t>(total));
  if (clear && total > 0) std::memset(storage_.data(), 0, static_cast<std::size_t>(total));
  def_ = PF_EffectWorld{};
  def_.world_flags = PF_WorldFlag_WRITEABLE;
  def_.rowbytes = static_cast<A_long>(rowbytes);
  def_.width = static_cast<A_long>(w);
  def_.height = static_cast<A_long>(h);
  def_.extent_hint = {0, 0, def_.width, def_.height};
  def_.pix_aspect_ratio = {1, 1};
  def_.origin_x = origin_x;
  def_.origin_y = origin_y;
  Rebind();
}

World::Storage World::TakeStorage() noexcept {
  Storage taken = std::move(storage_);
  storage_ = Storage();
  ResetEmpty();
  return taken;
}

void World::ResetEmpty() noexcept {
  storage_.clear();
  const A_long ox = def_.origin_x, oy = def_.origin_y;
  def_ = PF_EffectWorld{};
  def_.world_flags = PF_WorldFlag_WRITEABLE;
  def_.pix_aspect_ratio = {1, 1};
  def_.origin_x = ox;
  def_.origin_y = oy;
}

void World::Rebind() {
  def_.data = storage_.empty() ? nullptr : reinterpret_cast<PF_Pixel*>(storage_.data());
}

PF_Pixel* World::row(A_long y) {
  assert(y >= 0 && y < def_.height);
  return RowPtr(def_, y);
}

const PF_Pixel* World::row(A_long y) const {
  assert(y >= 0 && y < def_.height);
  return RowPtr(def_, y);
}

World::World(const World& other) : storage_(other.storage_), def_(other.def_) { Rebind(); }

World& World::operator=(const World& other) {
  if (this != &other) {
    storage_ = other.storage_;
    def_ = other.def_;
    Rebind();
  }
  return *this;
}

World::World(World&& other) noexcept : storage_(std::move(other.storage_)), def_(other.def_) {
  Rebind();
  other.ResetEmpty();
}

World& World::operator=(World&& other) noexcept {
  if (this != &other) {
    storage_ = std::move(other.storage_);
    def_ = other.def_;
    Rebind();
    other.ResetEmpty();
  }
  return *this;
}

}  // namespace quillstreak::host
