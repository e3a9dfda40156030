// Helpers shared by the pixel services' source files: clipping boxes, row access, pixel words and
// the row-parallel driver. Internal to host/pixels.
#pragma once

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <thread>
#include <type_traits>

#include "RowPool.h"
#include "host/pixels/Pixels.h"

// x86-64 always has SSE2; elsewhere the portable loops do the same arithmetic.
#if defined(__SSE2__) || defined(_M_X64) || defined(_M_AMD64)
#include <emmintrin.h>
#define QS_PIXELS_SSE2 1
#else
#define QS_PIXELS_SSE2 0
#endif

namespace quillstreak::host::detail {

using i64 = std::int64_t;

// Rows per thread are worth a thread only above this many pixels; never more threads than this.
inline constexpr i64 kMinPixelsPerThread = 16384;
inline constexpr unsigned kMaxThreads = 64;

// A world the pixel functions may touch: positive size, data present, rows wide enough.
inline bool Usable(const PF_EffectWorld& w) {
  return w.width > 0 && w.height > 0 && w.data != nullptr &&
         static_cast<i64>(w.rowbytes) >= static_cast<i64>(w.width) * 4;
}

inline PF_Pixel* RowPtr(const PF_EffectWorld& w, i64 y) {
  return reinterpret_cast<PF_Pixel*>(reinterpret_cast<unsigned char*>(w.data) +
                                     static_cast<std::ptrdiff_t>(y) * w.rowbytes);
}

// Half-open rectangle in 64-bit so that clipping hostile values cannot overflow.
struct Box {
  i64 left, top, right, bottom;
  bool Empty() const { return left >= right || top >= bottom; }
};

inline Box Intersect(Box a, Box b) {
  return {std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
          std::min(a.bottom, b.bottom)};
}

inline Box WorldBox(const PF_EffectWorld& w) { return {0, 0, w.width, w.height}; }

inline Box FromRect(const PF_Rect& r) { return {r.left, r.top, r.right, r.bottom}; }

inline unsigned ResolveThreads(unsigned requested, i64 rows, i64 pixels_per_row) {
  if (rows <= 1) return 1;
  unsigned n = requested;
  if (n == 0) {
    // Automatic: hardware threads, but only as many as the work justifies.
    n = std::max(1u, std::thread::hardware_concurrency());
    const i64 by_work =
        std::max<i64>(1, rows * std::max<i64>(pixels_per_row, 1) / kMinPixelsPerThread);
    n = static_cast<unsigned>(std::min<i64>(n, by_work));
  }
  n = std::min(n, kMaxThreads);
  return static_cast<unsigned>(std::min<i64>(n, rows));
}

// Runs body(chunk, row_begin, row_end) over [0, rows) split into `threads` contiguous chunks on
// the persistent row pool. Chunk 0 runs on the calling thread.
template <typename Body>
void ParallelRows(i64 rows, unsigned threads, Body&& body) {
  if (rows <= 0) return;
  if (threads <= 1) {
    body(0u, i64{0}, rows);
    return;
  }
  using BodyType = std::remove_reference_t<Body>;
  struct Context {
    BodyType* body;
    i64 rows;
    unsigned threads;
  } context{&body, rows, threads};
  RunChunks(
      threads,
      [](void* raw, unsigned k) {
        const Context& c = *static_cast<const Context*>(raw);
        (*c.body)(k, c.rows * k / c.threads, c.rows * (k + 1) / c.threads);
      },
      &context);
}

// A pixel as a 32-bit word in memory order, and back.
inline std::uint32_t LoadPixel(const PF_Pixel& p) {
  std::uint32_t v;
  std::memcpy(&v, &p, sizeof v);
  return v;
}
inline void StorePixel(PF_Pixel& p, std::uint32_t v) { std::memcpy(&p, &v, sizeof v); }

// Alpha is the first byte in memory: the low byte of the word on little-endian machines.
inline constexpr unsigned kAlphaShift = std::endian::native == std::endian::little ? 0u : 24u;
inline constexpr std::uint32_t kAlphaMask = 0xFFu << kAlphaShift;

}  // namespace quillstreak::host::detail
