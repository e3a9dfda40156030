// The host's 8-bit iterate. See Pixels.h for the contract.
#include "PixelsCommon.h"

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

  const i64 rows = box.bottom - box.top;
  const unsigned n = ResolveThreads(threads, rows, box.right - box.left);
  // Per chunk: the first error and the row it happened on.
  struct ChunkResult {
    PF_Err err = PF_Err_NONE;
    i64 row = 0;
  };
  std::vector<ChunkResult> results(n);
  const PF_EffectWorld& s = *src;
  const PF_EffectWorld& d = *dst;
  ParallelRows(rows, n, [&](unsigned k, i64 r0, i64 r1) {
    for (i64 j = box.top + r0; j < box.top + r1; ++j) {
      PF_Pixel* in = RowPtr(s, j);
      PF_Pixel* out = RowPtr(d, j);
      for (i64 i = box.left; i < box.right; ++i) {
        const PF_Err err =
            fn(refcon, static_cast<A_long>(i), static_cast<A_long>(j), in + i, out + i);
        if (err != PF_Err_NONE) {
          results[k] = {err, j};
          return;
        }
      }
    }
  });
  for (const ChunkResult& r : results) {  // chunks are in row order
    if (r.err != PF_Err_NONE) return r.err;
  }
  return PF_Err_NONE;
}

}  // namespace quillstreak::host
