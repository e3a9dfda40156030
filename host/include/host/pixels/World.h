// An owned 8-bit ARGB world, the picture every pixel service reads and writes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <utility>
#include <vector>

#include "hostapi/HostApi.h"

namespace quillstreak::host {

/// std::allocator whose value-initialisation (as in vector::resize) leaves the value
/// uninitialised.
template <typename T>
struct UninitAllocator : std::allocator<T> {
  template <typename U>
  struct rebind {
    using other = UninitAllocator<U>;
  };
  UninitAllocator() = default;
  template <typename U>
  UninitAllocator(const UninitAllocator<U>&) noexcept {}
  template <typename U>
  void construct(U* p) noexcept {
    ::new (static_cast<void*>(p)) U;
  }
  template <typename U, typename... Args>
  void construct(U* p, Args&&... args) {
    ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
  }
};

/// An owned 8-bit ARGB world; def() is the PF_EffectWorld handed to the effect. Pixels start
/// transparent black (padding bytes are zero too).
/// rowbytes is width*4 rounded up to a multiple of 16, so code that assumes rowbytes == width*4
/// breaks in tests whenever width is not a multiple of 4.
/// Negative sizes are treated as 0. A 0x0 (or 0xN, Nx0) world has data == nullptr, rowbytes ==
/// width*4 rounded up (0 for width 0) and bytes() == 0; every pixel service (Pixels.h) accepts
/// it and does nothing. Sizes whose byte count does not fit in A_long throw std::length_error.
/// extent_hint is the whole world (origin-relative: 0,0,width,height).
class World {
 public:
  /// Pixel storage: growing leaves bytes uninitialised (the world clears what it needs), so
  /// that storage can go from one world to the next without touching its pages twice.
  using Storage = std::vector<unsigned char, UninitAllocator<unsigned char>>;

  World() : World(0, 0) {}
  World(A_long width, A_long height, A_long origin_x = 0, A_long origin_y = 0);
  /// A world on the memory of `storage` (grown when its capacity is too small). `clear` makes
  /// every byte zero, as a new world is; without it the pixels are whatever the storage held,
  /// for a caller that writes every byte.
  World(Storage storage, A_long width, A_long height, A_long origin_x, A_long origin_y, bool clear);
  /// Gives up the world's storage, capacity intact; the world becomes 0x0.
  Storage TakeStorage() noexcept;

  PF_EffectWorld& def() { return def_; }
  const PF_EffectWorld& def() const { return def_; }

  /// Row y (0 <= y < height); no bounds check beyond a debug assertion.
  PF_Pixel* row(A_long y);
  const PF_Pixel* row(A_long y) const;
  PF_Pixel& at(A_long x, A_long y) { return row(y)[x]; }
  const PF_Pixel& at(A_long x, A_long y) const { return row(y)[x]; }

  A_long width() const { return def_.width; }
  A_long height() const { return def_.height; }
  /// Total bytes of pixel storage (rowbytes * height).
  std::size_t bytes() const { return storage_.size(); }
  /// Bytes of memory the storage holds (at least bytes()).
  std::size_t capacity() const { return storage_.capacity(); }

  /// rowbytes of a world `width` pixels wide, and the bytes of one of that size (negative
  /// sizes count as 0), as a world lays them out.
  static std::uint64_t RowBytesFor(std::int64_t width);
  static std::uint64_t BytesFor(std::int64_t width, std::int64_t height);

  World(const World& other);
  World& operator=(const World& other);
  World(World&& other) noexcept;
  World& operator=(World&& other) noexcept;
  ~World() = default;

 private:
  void Rebind();               // points def_.data at storage_ after a copy or move
  void ResetEmpty() noexcept;  // the moved-from state: 0x0, data null, origin kept
  void Shape(A_long width, A_long height, A_long origin_x, A_long origin_y, bool clear);

  Storage storage_;
  PF_EffectWorld def_{};
};

}  // namespace quillstreak::host
