// Layer rendering of image sources under any mapping (the general path): source positions
// stepped in fixed point from pixel to pixel, in strips of columns. See Pixels.h for the contract
// and ImageSampling.h for the arithmetic.
#include <cmath>

#include "ImageSampling.h"

namespace quillstreak::host::detail {

namespace {

// One pixel of the general path, bounds checked; false (nothing drawn) outside the reach.
inline bool SamplePixel(const Image& img, const Inverse& inv, double fx, double fy, PF_Pixel& o) {
  const double sx = inv.Sx(fx, fy), sy = inv.Sy(fx, fy);
  if (!InReach(sx, sy, img.wd, img.hd)) return false;
  const Tap tx = MakeTap(sx), ty = MakeTap(sy);
  o = Bilinear(img.At(tx.i0, ty.i0), img.At(tx.i0 + 1, ty.i0), img.At(tx.i0, ty.i0 + 1),
               img.At(tx.i0 + 1, ty.i0 + 1), static_cast<float>(tx.w1), static_cast<float>(ty.w1));
  return true;
}

// The general path steps source positions from pixel to pixel in 32.32 fixed point: U = (sx -
// 0.5) * 2^32 (likewise V for sy), so that U >> 32 is a pixel's first texel column and the next
// 24 bits its weight fx, exactly as a float. Each row of a strip starts from the contract's
// position of its first pixel and steps by exact integer additions of the rounded step: off by at
// most 2^-33 of a texel per step, under 2^-24 over a strip, which moves no byte except at an
// exact half.
constexpr double kFixedOne = 4294967296.0;  // 2^32
// Positions and steps must stay far inside the 64-bit range: images and mappings beyond these
// (a source wider than 2^28 texels, a mapping shrinking by more than 2^26) take the double path.
constexpr double kFixedPositionLimit = 268435456.0;  // 2^28 texels
constexpr double kFixedStepLimit = 67108864.0;       // 2^26 texels per pixel

constexpr i64 kStripWidth = 256;  // columns of a strip of the general path

inline i64 FloorDiv(i64 a, i64 b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }  // b > 0

// Narrows [k_lo, k_hi) to the k with lo <= base + k * step < hi; when none is left, to the empty
// range at k_lo.
inline void Solve(i64 base, i64 step, i64 lo, i64 hi, i64& k_lo, i64& k_hi) {
  if (step == 0) {
    if (base < lo || base >= hi) k_hi = k_lo;
    return;
  }
  i64 first, end;
  if (step > 0) {
    first = -FloorDiv(base - lo, step);  // ceil((lo - base) / step)
    end = -FloorDiv(base - hi, step);    // ceil((hi - base) / step)
  } else {
    first = FloorDiv(base - hi, -step) + 1;
    end = FloorDiv(base - lo, -step) + 1;
  }
  const i64 narrow_lo = std::max<i64>(k_lo, first), narrow_hi = std::min<i64>(k_hi, end);
  if (narrow_lo >= narrow_hi) {
    k_hi = k_lo;
  } else {
    k_lo = narrow_lo, k_hi = narrow_hi;
  }
}

// The weight of a fixed-point position's second texel (the top 24 bits of its fraction, exactly as
// a float), and the pixel sampled at a position with bounds checks.
inline float FixedWeight(i64 u) {
  return static_cast<float>(static_cast<std::int32_t>(static_cast<std::uint32_t>(u) >> 8)) *
         0x1p-24f;
}
inline PF_Pixel FixedPixel(const Image& img, i64 u, i64 v) {
  const i64 x = u >> 32, y = v >> 32;
  return Bilinear(img.At(x, y), img.At(x + 1, y), img.At(x, y + 1), img.At(x + 1, y + 1),
                  FixedWeight(u), FixedWeight(v));
}

// The fixed-point steps of a mapping, or none (fits = false) when it is beyond the limits over
// the area.
struct FixedSteps {
  bool fits = false;
  i64 du = 0, dv = 0;
};

FixedSteps MakeFixedSteps(const Image& img, const Inverse& inv, const Box& area) {
  FixedSteps f;
  const double du = inv.c * inv.inv_dsx * inv.inv_kx, dv = -inv.s * inv.inv_dsx * inv.inv_ky;
  if (!(std::fabs(du) < kFixedStepLimit && std::fabs(dv) < kFixedStepLimit)) return f;
  if (!(img.wd < kFixedPositionLimit && img.hd < kFixedPositionLimit)) return f;
  for (const i64 x : {area.left, area.right - 1}) {
    for (const i64 y : {area.top, area.bottom - 1}) {
      const double fx = inv.Fx(x), fy = inv.Fy(y);
      if (!(std::fabs(inv.Sx(fx, fy)) < kFixedPositionLimit &&
            std::fabs(inv.Sy(fx, fy)) < kFixedPositionLimit)) {
        return f;
      }
    }
  }
  f.fits = true;
  f.du = std::llround(du * kFixedOne);
  f.dv = std::llround(dv * kFixedOne);
  return f;
}

#if QS_PIXELS_SSE2
// Pixels k, k + 1, ... of a row of the general path whose four texels all lie inside the image,
// four at a time while four are left before k_end; returns the first pixel not drawn.
i64 InsideFour(const Image& img, i64 u0, i64 v0, i64 du, i64 dv, i64 k, i64 k_end, PF_Pixel* out) {
  const i64 u = u0 + k * du, v = v0 + k * dv;
  __m128i u01 = _mm_set_epi64x(u + du, u), u23 = _mm_set_epi64x(u + 3 * du, u + 2 * du);
  __m128i v01 = _mm_set_epi64x(v + dv, v), v23 = _mm_set_epi64x(v + 3 * dv, v + 2 * dv);
  const __m128i du4 = _mm_set1_epi64x(4 * du), dv4 = _mm_set1_epi64x(4 * dv);
  const __m128 to_weight = _mm_set1_ps(0x1p-24f);
  // The low 32 bits of each position, top 24 of them as a float weight (FixedWeight).
  auto weights = [&](__m128i lo, __m128i hi) {
    const __m128i frac = _mm_castps_si128(
        _mm_shuffle_ps(_mm_castsi128_ps(lo), _mm_castsi128_ps(hi), _MM_SHUFFLE(2, 0, 2, 0)));
    return _mm_mul_ps(_mm_cvtepi32_ps(_mm_srli_epi32(frac, 8)), to_weight);
  };
  // Texel x0 of each pixel (even words of the loaded pairs), then texel x0 + 1 (odd words).
  auto pick = [](__m128i a, __m128i b, bool odd) {
    const __m128 fa = _mm_castsi128_ps(a), fb = _mm_castsi128_ps(b);
    return _mm_castps_si128(odd ? _mm_shuffle_ps(fa, fb, _MM_SHUFFLE(3, 1, 3, 1))
                                : _mm_shuffle_ps(fa, fb, _MM_SHUFFLE(2, 0, 2, 0)));
  };
  auto pair = [](const PF_Pixel* p) {
    return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
  };
  for (; k + 4 <= k_end; k += 4) {
    const PF_Pixel* t[4];
    for (int m = 0; m < 4; ++m) {
      const i64 um = u0 + (k + m) * du, vm = v0 + (k + m) * dv;
      t[m] = img.Row(vm >> 32) + (um >> 32);
    }
    const __m128i top0 = _mm_unpacklo_epi64(pair(t[0]), pair(t[1]));
    const __m128i top1 = _mm_unpacklo_epi64(pair(t[2]), pair(t[3]));
    const __m128i bot0 = _mm_unpacklo_epi64(pair(t[0] + img.w), pair(t[1] + img.w));
    const __m128i bot1 = _mm_unpacklo_epi64(pair(t[2] + img.w), pair(t[3] + img.w));
    const __m128i px =
        BilinearFour(pick(top0, top1, false), pick(top0, top1, true), pick(bot0, bot1, false),
                     pick(bot0, bot1, true), weights(u01, u23), weights(v01, v23));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + k), px);
    u01 = _mm_add_epi64(u01, du4), u23 = _mm_add_epi64(u23, du4);
    v01 = _mm_add_epi64(v01, dv4), v23 = _mm_add_epi64(v23, dv4);
  }
  return k;
}
#endif

// Columns [i_begin, i_end) of row y of the general path: pixels whose four texels all lie inside
// the image four at a time, the others within the reach one by one with bounds checks.
void GeneralRow(const Image& img, const Inverse& inv, const FixedSteps& steps, i64 y, i64 i_begin,
                i64 i_end, PF_Pixel* row, [[maybe_unused]] bool vector) {
  const double fy = inv.Fy(y);
  if (!steps.fits) {
    for (i64 i = i_begin; i < i_end; ++i) SamplePixel(img, inv, inv.Fx(i), fy, row[i]);
    return;
  }
  const double fx = inv.Fx(i_begin);
  const i64 u0 = std::llround((inv.Sx(fx, fy) - 0.5) * kFixedOne);
  const i64 v0 = std::llround((inv.Sy(fx, fy) - 0.5) * kFixedOne);
  const i64 du = steps.du, dv = steps.dv;
  const i64 half = i64{1} << 31;
  // Within the reach: -1.5 < u < width + 0.5; inside: 0 <= u < width - 1 (likewise v).
  i64 reach_lo = 0, reach_hi = i_end - i_begin;
  Solve(u0, du, -3 * half + 1, (2 * img.w + 1) * half, reach_lo, reach_hi);
  Solve(v0, dv, -3 * half + 1, (2 * img.h + 1) * half, reach_lo, reach_hi);
  i64 in_lo = reach_lo, in_hi = reach_hi;
  Solve(u0, du, 0, (img.w - 1) * 2 * half, in_lo, in_hi);
  Solve(v0, dv, 0, (img.h - 1) * 2 * half, in_lo, in_hi);
  PF_Pixel* out = row + i_begin;
  auto edge = [&](i64 k0, i64 k1) {
    for (i64 k = k0; k < k1; ++k) out[k] = FixedPixel(img, u0 + k * du, v0 + k * dv);
  };
  edge(reach_lo, in_lo);
  edge(in_hi, reach_hi);
  i64 k = in_lo;
#if QS_PIXELS_SSE2
  if (vector && in_hi - in_lo >= 4) k = InsideFour(img, u0, v0, du, dv, k, in_hi, out);
#endif
  edge(k, in_hi);
}

}  // namespace

void RenderGeneral(const Image& img, const Inverse& inv, PF_EffectWorld& def, const Box& area,
                   unsigned workers, bool vector) {
  // Rows are drawn in strips of columns: under rotation a row's texels come from many source
  // rows, and within a strip the next row finds them still in the cache.
  const i64 rows = area.bottom - area.top;
  const i64 cols = area.right - area.left;
  const FixedSteps steps = MakeFixedSteps(img, inv, area);
  ParallelRows(rows, cols, workers, [&](unsigned, i64 r0, i64 r1) {
    for (i64 x = area.left; x < area.right; x += kStripWidth) {
      const i64 x_end = std::min(area.right, x + kStripWidth);
      for (i64 j = area.top + r0; j < area.top + r1; ++j) {
        GeneralRow(img, inv, steps, j, x, x_end, RowPtr(def, j), vector);
      }
    }
  });
}

}  // namespace quillstreak::host::detail
