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

// Rows are handed out in chunks of about this many pixels (at least one row): large enough that
// claiming a chunk costs next to nothing beside its work, small enough that a thread whose core
// is busy with other work leaves its share to the others.
inline constexpr i64 kPixelsPerChunk = 8192;

// How many chunks [0, rows) is split into when `threads` threads share it: about
// kPixelsPerChunk pixels each, but at least one per thread and at most one per row.
inline unsigned ChunkCount(i64 rows, i64 pixels_per_row, unsigned threads) {
  if (threads <= 1 || rows <= 1) return 1;
  const i64 by_size = rows * std::max<i64>(pixels_per_row, 1) / kPixelsPerChunk;
  const i64 limit = std::min<i64>(rows, i64{1} << 20);
  return static_cast<unsigned>(std::clamp<i64>(by_size, threads, limit));
}

// Runs body(chunk, row_begin, row_end) over [0, rows) split into ChunkCount(rows, pixels_per_row,
// threads) contiguous chunks in row order, claimed by up to `threads` threads of the persistent
// row pool (the calling thread among them). Chunk k covers rows [rows * k / n, rows * (k + 1) / n).
template <typename Body>
void ParallelRows(i64 rows, i64 pixels_per_row, unsigned threads, Body&& body) {
  if (rows <= 0) return;
  const unsigned chunks = ChunkCount(rows, pixels_per_row, threads);
  if (chunks <= 1) {
    body(0u, i64{0}, rows);
    return;
  }
  using BodyType = std::remove_reference_t<Body>;
  struct Context {
    BodyType* body;
    i64 rows;
    unsigned chunks;
  } context{&body, rows, chunks};
  RunChunks(
      chunks, threads - 1,
      [](void* raw, unsigned k) {
        const Context& c = *static_cast<const Context*>(raw);
        (*c.body)(k, c.rows * k / c.chunks, c.rows * (k + 1) / c.chunks);
      },
      &context);
}

// Which code draws the pixels: the vector paths where the target has them, or the portable code
// that every target has. Both give the same bytes; tests compare them.
enum class PixelCode { Vector, Portable };

// RenderLayer (see Pixels.h) drawn with the given code.
void RenderLayerWith(PixelCode code, const LayerSource& src, const TransformValues& xf, double dsx,
                     double dsy, World& out, unsigned threads);

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
