// The host's 8-bit iterate. See Pixels.h for the contract.
#include "PixelsCommon.h"

#include <atomic>
#include <vector>

namespace quillstreak::host {

using namespace detail;

PF_Err Iterate8(const PF_EffectWorld* src, PF_EffectWorld* dst, const PF_Rect* area, void* refcon,
                PF_IteratePixel8Func fn, unsigned threads) {
  if (dst == nullptr || fn == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
  if (src == nullptr) src = dst;
  auto malformed = [](const PF_EffectWorld& w) {
    return w.width < 0 || w.height < 0 || (w.width > 0 && w.height > 0 && !Usable(w));
  };
  if (malformed(*dst) || malformed(*src)) return PF_Err_BAD_CALLBACK_PARAM;
  Box box = WorldBox(*dst);
  if (area != nullptr) box = Intersect(box, FromRect(*area));
  box = Intersect(box, WorldBox(*src));
  if (box.Empty()) return PF_Err_NONE;

  const i64 rows = box.bottom - box.top, cols = box.right - box.left;
  const unsigned n = ResolveThreads(threads, rows, cols);
  // The first error of each chunk; chunks are in row order. Once a chunk has failed, the chunks
  // after it are skipped (an error there could not be the first by row order), while those
  // before it still run: one of them may fail earlier.
  std::vector<PF_Err> errors(ChunkCount(rows, cols, n), PF_Err_NONE);
  std::atomic<unsigned> first_failed{static_cast<unsigned>(errors.size())};
  const PF_EffectWorld& s = *src;
  const PF_EffectWorld& d = *dst;
  ParallelRows(rows, cols, n, [&](unsigned k, i64 r0, i64 r1) {
    if (k > first_failed.load(std::memory_order_relaxed)) return;
    for (i64 j = box.top + r0; j < box.top + r1; ++j) {
      PF_Pixel* in = RowPtr(s, j);
      PF_Pixel* out = RowPtr(d, j);
      for (i64 i = box.left; i < box.right; ++i) {
        const PF_Err err =
            fn(refcon, static_cast<A_long>(i), static_cast<A_long>(j), in + i, out + i);
        if (err != PF_Err_NONE) {
          errors[k] = err;
          unsigned seen = first_failed.load(std::memory_order_relaxed);
          while (k < seen && !first_failed.compare_exchange_weak(seen, k)) {
          }
          return;
        }
      }
    }
  });
  for (const PF_Err err : errors) {
    if (err != PF_Err_NONE) return err;
  }
  return PF_Err_NONE;
}

}  // namespace quillstreak::host
