// Bilinear sampling of image sources in single precision, shared by the image paths of layer
// rendering (LayerImage.cpp, LayerImageGeneral.cpp). Internal to host/pixels.
#pragma once

#include "LayerMapping.h"

namespace quillstreak::host::detail {

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

// The arithmetic has internal linkage in each file that includes it, as it had when both image
// paths lived in one file, so that it is inlined into their row loops as freely as it was then.
namespace {

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

}  // namespace

/// The general path (LayerImageGeneral.cpp): the image under any mapping (rotations included)
/// into `area` of `def` (cleared beforehand), rows shared out to `workers` threads; the vector
/// code where `vector` and the machine has it.
void RenderGeneral(const Image& img, const Inverse& inv, PF_EffectWorld& def, const Box& area,
                   unsigned workers, bool vector);

}  // namespace quillstreak::host::detail
