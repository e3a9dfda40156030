// Layer rendering of image sources: bilinear resampling in single precision, vector and portable
// code. See Pixels.h for the contract.
#include "LayerMapping.h"

#include <cmath>
#include <limits>
#include <vector>

namespace quillstreak::host::detail {

namespace {

// ---------------------------------------------------------------------------------------------
// Images: bilinear resampling in single precision.
//
// With fx, fy the weights of a pixel's second texel column and row (gx = 1 - fx, gy = 1 - fy),
// each output pixel is, in float,
//   q00 = (gx * gy) * a00,  q10 = (fx * gy) * a10,  q01 = (gx * fy) * a01,  q11 = (fx * fy) * a11
//   A = (q00 + q10) + (q01 + q11),  C = (c00 * q00 + c10 * q10) + (c01 * q01 + c11 * q11)
// for each colour channel c; then alpha = A and colour = C * (1 / A), each + 0.5 and truncated
// (clamped to 0..255), and transparent black where the alpha is 0. Every product of a byte and a
// weight keeps float's 24 bits and every term is positive, so the sums are within a few parts in
// 10^7 of their exact values: the bytes are those of the double-precision contract except where
// its value is a half or within about 1e-4 of one, and never more than one level away (where an
// alpha of 0 and one of 1 differ, the colour of the transparent one counts for nothing). At a
// texel centre (weights 1, 0, 0, 0) the pixel is the texel itself, exactly.
// Where the output's columns step one texel each with one horizontal weight X1 (X0 = 1 - X1: a
// translation, at any vertical scale), the same sums are formed by source columns first, so that
// each column serves two output pixels: with the row weights Y0, Y1 of the output row,
//   q0 = a0 * Y0,  q1 = a1 * Y1,  VA = q0 + q1,  VC = c0 * q0 + c1 * q1   (per source column t)
//   A = X0 * VA(t) + X1 * VA(t + 1),  C = X0 * VC(t) + X1 * VC(t + 1).
// The vector code (SSE2, four pixels at a time) and the portable code perform the same float
// operations in the same order and so give the same bytes.

inline float ByteF(A_u_char v) { return static_cast<float>(v); }

// A straight pixel from its float sums.
inline PF_Pixel PixelFromSums(float a, float r, float g, float b) {
  const float rounded = a + 0.5f;
  const int alpha = static_cast<int>(rounded);
  if (alpha == 0) return {0, 0, 0, 0};
  const float inv = 1.0f / a;
  auto level = [inv](float c) {
    const float straight = c * inv;
    const float v = straight + 0.5f;
    return static_cast<A_u_char>(std::clamp(static_cast<int>(v), 0, 255));
  };
  return {static_cast<A_u_char>(std::min(alpha, 255)), level(r), level(g), level(b)};
}

inline PF_Pixel Bilinear(const PF_Pixel& t00, const PF_Pixel& t10, const PF_Pixel& t01,
                         const PF_Pixel& t11, float fx, float fy) {
  const float gx = 1.0f - fx, gy = 1.0f - fy;
  const float w00 = gx * gy, w10 = fx * gy, w01 = gx * fy, w11 = fx * fy;
  const float q00 = w00 * ByteF(t00.alpha), q10 = w10 * ByteF(t10.alpha);
  const float q01 = w01 * ByteF(t01.alpha), q11 = w11 * ByteF(t11.alpha);
  auto sum = [&](A_u_char c00, A_u_char c10, A_u_char c01, A_u_char c11) {
    const float top = ByteF(c00) * q00 + ByteF(c10) * q10;
    const float bottom = ByteF(c01) * q01 + ByteF(c11) * q11;
    return top + bottom;
  };
  const float a = (q00 + q10) + (q01 + q11);
  return PixelFromSums(a, sum(t00.red, t10.red, t01.red, t11.red),
                       sum(t00.green, t10.green, t01.green, t11.green),
                       sum(t00.blue, t10.blue, t01.blue, t11.blue));
}

// The vertical sums of one source column: `top` in row y0, `bottom` in row y0 + 1.
struct ColumnSums {
  float a, r, g, b;
};

inline ColumnSums SumColumn(const PF_Pixel& top, const PF_Pixel& bottom, float y0, float y1) {
  const float q0 = ByteF(top.alpha) * y0, q1 = ByteF(bottom.alpha) * y1;
  auto sum = [&](A_u_char c0, A_u_char c1) {
    const float upper = ByteF(c0) * q0;
    const float lower = ByteF(c1) * q1;
    return upper + lower;
  };
  return {q0 + q1, sum(top.red, bottom.red), sum(top.green, bottom.green),
          sum(top.blue, bottom.blue)};
}

inline PF_Pixel CombineColumns(const ColumnSums& l, const ColumnSums& r, float x0, float x1) {
  auto mix = [x0, x1](float vl, float vr) {
    const float left = x0 * vl;
    const float right = x1 * vr;
    return left + right;
  };
  return PixelFromSums(mix(l.a, r.a), mix(l.r, r.r), mix(l.g, r.g), mix(l.b, r.b));
}

// The source image; texels outside it are transparent.
struct Image {
  const PF_Pixel* px;
  i64 w, h;
  double wd, hd;

  PF_Pixel At(i64 x, i64 y) const {
    if (x < 0 || y < 0 || x >= w || y >= h) return {0, 0, 0, 0};
    return px[y * w + x];
  }
  const PF_Pixel* Row(i64 y) const { return px + y * w; }
};

// One pixel of the general path, bounds checked; false (nothing drawn) outside the reach.
inline bool SamplePixel(const Image& img, const Inverse& inv, double fx, double fy, PF_Pixel& o) {
  const double sx = inv.Sx(fx, fy), sy = inv.Sy(fx, fy);
  if (!InReach(sx, sy, img.wd, img.hd)) return false;
  const Tap tx = MakeTap(sx), ty = MakeTap(sy);
  o = Bilinear(img.At(tx.i0, ty.i0), img.At(tx.i0 + 1, ty.i0), img.At(tx.i0, ty.i0 + 1),
               img.At(tx.i0 + 1, ty.i0 + 1), static_cast<float>(tx.w1), static_cast<float>(ty.w1));
  return true;
}

#if QS_PIXELS_SSE2
// Channel kShift / 8 of four pixel words (alpha is the low byte) as floats.
template <int kShift>
inline __m128 ChannelOf(__m128i words) {
  __m128i v = words;
  if constexpr (kShift > 0) v = _mm_srli_epi32(v, kShift);
  if constexpr (kShift < 24) v = _mm_and_si128(v, _mm_set1_epi32(0xFF));
  return _mm_cvtepi32_ps(v);
}

// PixelFromSums on four pixels: their words, in order.
inline __m128i PixelsFromSums(__m128 a, __m128 r, __m128 g, __m128 b) {
  const __m128 half = _mm_set1_ps(0.5f);
  const __m128 inv = _mm_div_ps(_mm_set1_ps(1.0f), a);
  const __m128i ai = _mm_cvttps_epi32(_mm_add_ps(a, half));
  const __m128i clear = _mm_cmpeq_epi32(ai, _mm_setzero_si128());
  auto level = [&](__m128 c) {
    return _mm_andnot_si128(clear, _mm_cvttps_epi32(_mm_add_ps(_mm_mul_ps(c, inv), half)));
  };
  // Saturating packs clamp to 0..255: a0..a3 r0..r3 g0..g3 b0..b3, then interleaved per pixel.
  const __m128i bytes =
      _mm_packus_epi16(_mm_packs_epi32(ai, level(r)), _mm_packs_epi32(level(g), level(b)));
  const __m128i ar = _mm_unpacklo_epi8(bytes, _mm_srli_si128(bytes, 4));
  const __m128i gb = _mm_unpacklo_epi8(_mm_srli_si128(bytes, 8), _mm_srli_si128(bytes, 12));
  return _mm_unpacklo_epi16(ar, gb);
}

// Bilinear on four pixels: the words of their four texels and their weights.
inline __m128i BilinearFour(__m128i t00, __m128i t10, __m128i t01, __m128i t11, __m128 fx,
                            __m128 fy) {
  const __m128 one = _mm_set1_ps(1.0f);
  const __m128 gx = _mm_sub_ps(one, fx), gy = _mm_sub_ps(one, fy);
  const __m128 q00 = _mm_mul_ps(_mm_mul_ps(gx, gy), ChannelOf<0>(t00));
  const __m128 q10 = _mm_mul_ps(_mm_mul_ps(fx, gy), ChannelOf<0>(t10));
  const __m128 q01 = _mm_mul_ps(_mm_mul_ps(gx, fy), ChannelOf<0>(t01));
  const __m128 q11 = _mm_mul_ps(_mm_mul_ps(fx, fy), ChannelOf<0>(t11));
  auto sum = [&](auto channel) {
    const __m128 top = _mm_add_ps(_mm_mul_ps(channel(t00), q00), _mm_mul_ps(channel(t10), q10));
    const __m128 bottom = _mm_add_ps(_mm_mul_ps(channel(t01), q01), _mm_mul_ps(channel(t11), q11));
    return _mm_add_ps(top, bottom);
  };
  const __m128 a = _mm_add_ps(_mm_add_ps(q00, q10), _mm_add_ps(q01, q11));
  return PixelsFromSums(a, sum([](__m128i w) { return ChannelOf<8>(w); }),
                        sum([](__m128i w) { return ChannelOf<16>(w); }),
                        sum([](__m128i w) { return ChannelOf<24>(w); }));
}

#endif

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
  if (vector && in_hi - in_lo >= 4) {
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
    for (; k + 4 <= in_hi; k += 4) {
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
  }
#endif
  edge(k, in_hi);
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
  const PF_Pixel* bottom = top + img.w;
  PF_Pixel* o = out + k_begin;
  // Columns 0..span of the span (span + 1 of them), then the pixels from neighbouring columns.
  float* va = sums;
  float* vr = va + (span + 8);
  float* vg = vr + (span + 8);
  float* vb = vg + (span + 8);
  i64 col = 0, k = 0;
#if QS_PIXELS_SSE2
  if (vector) {
    const __m128 wy0 = _mm_set1_ps(y0), wy1 = _mm_set1_ps(y1);
    for (; col + 4 <= span + 1; col += 4) {
      const __m128i w0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(top + col));
      const __m128i w1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bottom + col));
      const __m128 q0 = _mm_mul_ps(ChannelOf<0>(w0), wy0), q1 = _mm_mul_ps(ChannelOf<0>(w1), wy1);
      _mm_storeu_ps(va + col, _mm_add_ps(q0, q1));
      _mm_storeu_ps(vr + col,
                    _mm_add_ps(_mm_mul_ps(ChannelOf<8>(w0), q0), _mm_mul_ps(ChannelOf<8>(w1), q1)));
      _mm_storeu_ps(vg + col, _mm_add_ps(_mm_mul_ps(ChannelOf<16>(w0), q0),
                                         _mm_mul_ps(ChannelOf<16>(w1), q1)));
      _mm_storeu_ps(vb + col, _mm_add_ps(_mm_mul_ps(ChannelOf<24>(w0), q0),
                                         _mm_mul_ps(ChannelOf<24>(w1), q1)));
    }
  }
#endif
  for (; col <= span; ++col) {
    const ColumnSums v = SumColumn(top[col], bottom[col], y0, y1);
    va[col] = v.a, vr[col] = v.r, vg[col] = v.g, vb[col] = v.b;
  }
#if QS_PIXELS_SSE2
  if (vector) {
    const __m128 wx0 = _mm_set1_ps(x0), wx1 = _mm_set1_ps(x1);
    auto mix = [&](const float* v, i64 at) {
      return _mm_add_ps(_mm_mul_ps(wx0, _mm_loadu_ps(v + at)),
                        _mm_mul_ps(wx1, _mm_loadu_ps(v + at + 1)));
    };
    for (; k + 4 <= span; k += 4) {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(o + k),
                       PixelsFromSums(mix(va, k), mix(vr, k), mix(vg, k), mix(vb, k)));
    }
  }
#endif
  for (; k < span; ++k) {
    o[k] = CombineColumns({va[k], vr[k], vg[k], vb[k]},
                          {va[k + 1], vr[k + 1], vg[k + 1], vb[k + 1]}, x0, x1);
  }
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

// The image under the mapping into `area` of `out` (cleared beforehand).
void RenderImageRows(const Image& img, const Inverse& inv, PF_EffectWorld& def, const Box& area,
                     unsigned threads, bool vector) {
  const i64 rows = area.bottom - area.top;
  const i64 cols = area.right - area.left;
  const unsigned workers = ResolveThreads(threads, rows, cols);
  if (inv.s == 0.0) {
    // No rotation: a pixel's source x depends on its column alone and its source y on its row
    // alone (the s terms are zeros). When the columns step one texel each with one weight, the
    // by-columns path draws the rows, else the general one.
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
      return;
    }
  }
  // Rows are drawn in strips of columns: under rotation a row's texels come from many source
  // rows, and within a strip the next row finds them still in the cache.
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

}  // namespace

void RenderImage(const LayerSource& src, const Inverse& inv, PF_EffectWorld& def, const Box& area,
                 unsigned threads, bool vector) {
  const Image img{src.pixels.data(), src.width, src.height, static_cast<double>(src.width),
                  static_cast<double>(src.height)};
  RenderImageRows(img, inv, def, area, threads, vector);
}

}  // namespace quillstreak::host::detail
