// Layer rendering of image sources: the dispatch between the two image paths, and the path for
// mappings without rotation whose columns step one texel each (by source columns). See Pixels.h
// for the contract and ImageSampling.h for the arithmetic.
#include <cmath>
#include <vector>

#include "ImageSampling.h"

namespace quillstreak::host::detail {

namespace {

// The vertical sums of a span of source columns, one array per channel. Passed by value: the
// vector stores may alias anything, and pointers held in a caller's record would be reloaded
// after each of them.
struct SpanSums {
  float *a, *r, *g, *b;
};

// The sums of columns 0..count-1 of source rows `top` and `bottom`, with weights y0 and y1.
void SumSpanColumns(const PF_Pixel* top, const PF_Pixel* bottom, i64 count, float y0, float y1,
                    SpanSums v, [[maybe_unused]] bool vector) {
  i64 col = 0;
#if QS_PIXELS_SSE2
  if (vector) {
    const __m128 wy0 = _mm_set1_ps(y0), wy1 = _mm_set1_ps(y1);
    for (; col + 4 <= count; col += 4) {
      const __m128i w0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(top + col));
      const __m128i w1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bottom + col));
      const __m128 q0 = _mm_mul_ps(ChannelOf<0>(w0), wy0), q1 = _mm_mul_ps(ChannelOf<0>(w1), wy1);
      _mm_storeu_ps(v.a + col, _mm_add_ps(q0, q1));
      _mm_storeu_ps(v.r + col,
                    _mm_add_ps(_mm_mul_ps(ChannelOf<8>(w0), q0), _mm_mul_ps(ChannelOf<8>(w1), q1)));
      _mm_storeu_ps(v.g + col, _mm_add_ps(_mm_mul_ps(ChannelOf<16>(w0), q0),
                                          _mm_mul_ps(ChannelOf<16>(w1), q1)));
      _mm_storeu_ps(v.b + col, _mm_add_ps(_mm_mul_ps(ChannelOf<24>(w0), q0),
                                          _mm_mul_ps(ChannelOf<24>(w1), q1)));
    }
  }
#endif
  for (; col < count; ++col) {
    const ColumnSums s = SumColumn(top[col], bottom[col], y0, y1);
    v.a[col] = s.a, v.r[col] = s.r, v.g[col] = s.g, v.b[col] = s.b;
  }
}

// Pixels 0..span-1, each from columns k and k + 1 of the sums with weights x0 and x1.
void CombineSpan(SpanSums v, i64 span, float x0, float x1, PF_Pixel* o,
                 [[maybe_unused]] bool vector) {
  i64 k = 0;
#if QS_PIXELS_SSE2
  if (vector) {
    const __m128 wx0 = _mm_set1_ps(x0), wx1 = _mm_set1_ps(x1);
    auto mix = [&](const float* s, i64 at) {
      return _mm_add_ps(_mm_mul_ps(wx0, _mm_loadu_ps(s + at)),
                        _mm_mul_ps(wx1, _mm_loadu_ps(s + at + 1)));
    };
    for (; k + 4 <= span; k += 4) {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(o + k),
                       PixelsFromSums(mix(v.a, k), mix(v.r, k), mix(v.g, k), mix(v.b, k)));
    }
  }
#endif
  for (; k < span; ++k) {
    o[k] = CombineColumns({v.a[k], v.r[k], v.g[k], v.b[k]},
                          {v.a[k + 1], v.r[k + 1], v.g[k + 1], v.b[k + 1]}, x0, x1);
  }
}

// One output row of the by-columns path: n pixels, the first of which samples source columns t
// and t + 1 (each next pixel one column further) with weights x0 and x1, of source rows y and
// y + 1 with weights y0 and y1. `sums` holds at least 4 * (n + 8) floats.
void ColumnsRow(const Image& img, i64 y, float y0, float y1, i64 t, float x0, float x1, i64 n,
                PF_Pixel* out, float* sums, [[maybe_unused]] bool vector) {
  // Output pixels k in [k_begin, k_end) have all four texels inside the image.
  i64 k_begin = n, k_end = n;
  if (y >= 0 && y + 1 < img.h) {
    k_begin = std::clamp<i64>(-t, 0, n);
    k_end = std::clamp<i64>(img.w - 1 - t, k_begin, n);
  }
  auto edge_pixel = [&](i64 k) {
    const i64 tc = t + k;
    const ColumnSums l = SumColumn(img.At(tc, y), img.At(tc, y + 1), y0, y1);
    const ColumnSums r = SumColumn(img.At(tc + 1, y), img.At(tc + 1, y + 1), y0, y1);
    out[k] = CombineColumns(l, r, x0, x1);
  };
  for (i64 k = 0; k < k_begin; ++k) edge_pixel(k);
  for (i64 k = k_end; k < n; ++k) edge_pixel(k);
  const i64 span = k_end - k_begin;
  if (span <= 0) return;
  const PF_Pixel* top = img.Row(y) + t + k_begin;
  // Columns 0..span of the span (span + 1 of them), then the pixels from neighbouring columns.
  const SpanSums v{sums, sums + (span + 8), sums + 2 * (span + 8), sums + 3 * (span + 8)};
  SumSpanColumns(top, top + img.w, span + 1, y0, y1, v, vector);
  CombineSpan(v, span, x0, x1, out + k_begin, vector);
}

// n texels of source row y from column t on (transparent outside the image); a texel of alpha 0
// becomes transparent black.
void CopyRow(const Image& img, i64 y, i64 t, i64 n, PF_Pixel* out) {
  if (y < 0 || y >= img.h) return;
  const i64 k_begin = std::clamp<i64>(-t, 0, n), k_end = std::clamp<i64>(img.w - t, k_begin, n);
  const PF_Pixel* in = img.Row(y) + t;
  i64 k = k_begin;
#if QS_PIXELS_SSE2
  const __m128i alpha = _mm_set1_epi32(static_cast<int>(kAlphaMask));
  for (; k + 4 <= k_end; k += 4) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + k));
    const __m128i clear = _mm_cmpeq_epi32(_mm_and_si128(v, alpha), _mm_setzero_si128());
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + k), _mm_andnot_si128(clear, v));
  }
#endif
  for (; k < k_end; ++k) out[k] = in[k].alpha == 0 ? PF_Pixel{0, 0, 0, 0} : in[k];
}

// Without rotation a pixel's source x depends on its column alone and its source y on its row
// alone (the s terms are zeros). When the columns step one texel each with one weight, draws the
// rows by columns and returns true; false (nothing drawn) otherwise.
bool RenderByColumns(const Image& img, const Inverse& inv, PF_EffectWorld& def, const Box& area,
                     unsigned workers, bool vector) {
  const i64 rows = area.bottom - area.top;
  const i64 cols = area.right - area.left;
  std::vector<Tap> col_tap(static_cast<std::size_t>(cols));
  i64 reach_begin = cols, reach_end = 0;  // columns within the reach
  bool unit_step = true;
  for (i64 i = 0; i < cols; ++i) {
    const double sx = inv.Sx(inv.Fx(area.left + i), 0.0);
    const Tap tap = MakeTap(sx);
    col_tap[static_cast<std::size_t>(i)] = tap;
    if (sx > -1.0 && sx < img.wd + 1.0) reach_begin = std::min(reach_begin, i), reach_end = i + 1;
    const Tap& first = col_tap[0];
    // Positions computed per column may differ from an exact step in the last bits: weights
    // within 2^-24 of the first column's count as equal (float keeps no more).
    unit_step = unit_step && tap.i0 == first.i0 + i && std::fabs(tap.w1 - first.w1) <= 0x1p-24;
  }
  if (unit_step && reach_begin < reach_end) {
    const Tap first = col_tap[static_cast<std::size_t>(reach_begin)];
    const float x1 = static_cast<float>(first.w1), x0 = 1.0f - x1;
    const i64 n = reach_end - reach_begin;
    ParallelRows(rows, cols, workers, [&](unsigned, i64 r0, i64 r1) {
      std::vector<float> sums;
      for (i64 j = r0; j < r1; ++j) {
        const double sy = inv.Sy(0.0, inv.Fy(area.top + j));
        if (!(sy > -1.0 && sy < img.hd + 1.0)) continue;
        const Tap ty = MakeTap(sy);
        PF_Pixel* out = RowPtr(def, area.top + j) + area.left + reach_begin;
        if (x1 == 0.0f && ty.w1 == 0.0) {
          CopyRow(img, ty.i0, first.i0, n, out);  // texel centres: the texels themselves
          continue;
        }
        if (sums.empty()) sums.resize(static_cast<std::size_t>(4 * (n + 8)));
        const float y1 = static_cast<float>(ty.w1);
        ColumnsRow(img, ty.i0, 1.0f - y1, y1, first.i0, x0, x1, n, out, sums.data(), vector);
      }
    });
    return true;
  }
  return false;
}

}  // namespace

void RenderImage(const LayerSource& src, const Inverse& inv, PF_EffectWorld& def, const Box& area,
                 unsigned threads, bool vector) {
  const Image img{src.pixels.data(), src.width, src.height, static_cast<double>(src.width),
                  static_cast<double>(src.height)};
  const unsigned workers = ResolveThreads(threads, area.bottom - area.top, area.right - area.left);
  if (inv.s == 0.0 && RenderByColumns(img, inv, def, area, workers, vector)) return;
  RenderGeneral(img, inv, def, area, workers, vector);
}

}  // namespace quillstreak::host::detail
