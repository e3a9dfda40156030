#include "host/LayerCache.h"

#include <cstring>
#include <iterator>

namespace quillstreak::host {
namespace {

bool SameBits(const void* a, const void* b, std::size_t n) { return std::memcmp(a, b, n) == 0; }

// Four independent multiply-xor lanes over 8-byte words, so that the digest of a large image
// costs little more than reading it.
std::uint64_t Digest(const unsigned char* data, std::size_t size, std::uint64_t seed) {
  constexpr std::uint64_t kMul = 0x9E3779B97F4A7C15ull;
  std::uint64_t lane[4] = {seed ^ 0x243F6A8885A308D3ull, seed ^ 0x13198A2E03707344ull,
                           seed ^ 0xA4093822299F31D0ull, seed ^ 0x082EFA98EC4E6C89ull};
  std::size_t i = 0;
  for (; i + 32 <= size; i += 32) {
    for (int k = 0; k < 4; ++k) {
      std::uint64_t w;
      std::memcpy(&w, data + i + 8 * k, 8);
      lane[k] = (lane[k] ^ w) * kMul;
      lane[k] ^= lane[k] >> 29;
    }
  }
  std::uint64_t h = size * kMul;
  for (; i < size; ++i) h = (h ^ data[i]) * 0x100000001B3ull;
  for (int k = 0; k < 4; ++k) {
    h = (h ^ lane[k]) * kMul;
    h ^= h >> 31;
  }
  return h;
}

}  // namespace

bool LayerRenderKey::operator==(const LayerRenderKey& o) const {
  return layerId == o.layerId && time == o.time && timeScale == o.timeScale &&
         SameBits(&dsx, &o.dsx, sizeof dsx) && SameBits(&dsy, &o.dsy, sizeof dsy) &&
         SameBits(&transform, &o.transform, sizeof transform) && box.left == o.box.left &&
         box.top == o.box.top && box.right == o.box.right && box.bottom == o.box.bottom &&
         source == o.source;
}

std::uint64_t LayerCache::SourceFingerprint(const LayerSource& s) {
  const std::int64_t header[] = {static_cast<std::int64_t>(s.kind), s.width, s.height,
                                 static_cast<std::int64_t>(s.pixels.size())};
  std::uint64_t h = Digest(reinterpret_cast<const unsigned char*>(header), sizeof header, 1);
  h = Digest(reinterpret_cast<const unsigned char*>(&s.color), sizeof s.color, h);
  if (!s.pixels.empty()) {
    h = Digest(reinterpret_cast<const unsigned char*>(s.pixels.data()),
               s.pixels.size() * sizeof(PF_Pixel), h);
  }
  return h;
}

std::uint64_t LayerCache::FrameFingerprint(std::uint64_t serial, std::int64_t frame) {
  const std::uint64_t words[] = {0x5EC0F4A3E5ull, serial, static_cast<std::uint64_t>(frame)};
  return Digest(reinterpret_cast<const unsigned char*>(words), sizeof words, 3);
}

std::size_t LayerCache::KeyHash::operator()(const LayerRenderKey& k) const {
  struct Packed {
    std::int64_t id, time, scale;
    double dsx, dsy;
    TransformValues transform;
    std::int64_t box[4];
    std::uint64_t source;
  } packed{};
  packed.id = k.layerId;
  packed.time = k.time;
  packed.scale = k.timeScale;
  packed.dsx = k.dsx;
  packed.dsy = k.dsy;
  packed.transform = k.transform;
  packed.box[0] = k.box.left;
  packed.box[1] = k.box.top;
  packed.box[2] = k.box.right;
  packed.box[3] = k.box.bottom;
  packed.source = k.source;
  return static_cast<std::size_t>(
      Digest(reinterpret_cast<const unsigned char*>(&packed), sizeof packed, 7));
}

bool LayerCache::CopyTo(const LayerRenderKey& key, World& out) {
  const auto found = index_.find(key);
  if (found != index_.end()) {
    const List::iterator it = found->second;
    const PF_EffectWorld& from = it->world.def();
    PF_EffectWorld& to = out.def();
    // A world of another shape is not the one this key describes: render afresh.
    if (from.width == to.width && from.height == to.height && from.rowbytes == to.rowbytes) {
      if (from.data != nullptr && to.data != nullptr) {
        std::memcpy(to.data, from.data, it->world.bytes());
      }
      it->frame = frame_;
      entries_.splice(entries_.begin(), entries_, it);
      ++hits_;
      return true;
    }
  }
  ++misses_;
  return false;
}

void LayerCache::Erase(List::iterator it, std::vector<World>& dropped) {
  dropped.push_back(std::move(it->world));
  bytes_ -= dropped.back().capacity();
  index_.erase(it->key);
  entries_.erase(it);
}

void LayerCache::Store(const LayerRenderKey& key, World rendered, std::vector<World>& dropped) {
  if (const auto found = index_.find(key); found != index_.end()) Erase(found->second, dropped);
  const std::uint64_t size = rendered.capacity();
  entries_.push_front(Entry{key, std::move(rendered), frame_});
  try {
    index_.emplace(key, entries_.begin());
  } catch (...) {
    entries_.pop_front();
    throw;
  }
  bytes_ += size;
}

void LayerCache::NextFrame(std::vector<World>& dropped) {
  ++frame_;
  for (auto it = entries_.begin(); it != entries_.end();) {
    const auto next = std::next(it);
    if (it->frame + 2 <= frame_) Erase(it, dropped);
    it = next;
  }
}

bool LayerCache::DropOldest(std::vector<World>& dropped) {
  if (entries_.empty()) return false;
  Erase(std::prev(entries_.end()), dropped);
  return true;
}

void LayerCache::Clear() {
  index_.clear();
  entries_.clear();
  bytes_ = 0;
}

}  // namespace quillstreak::host
