// Straight-alpha compositing: the in-front transfer, fill and the composite over the background.
// See Pixels.h for the contracts.
#include "PixelsCommon.h"

namespace quillstreak::host {

using namespace detail;

namespace {

// The four bytes of a pixel word spread into four 16-bit lanes, and packed back.
constexpr std::uint64_t kLanes = 0x00FF00FF00FF00FFull;
inline std::uint64_t Spread(std::uint32_t v) {
  std::uint64_t x = v;
  x = (x | (x << 16)) & 0x0000FFFF0000FFFFull;
  return (x | (x << 8)) & kLanes;
}
inline std::uint32_t Pack(std::uint64_t x) {
  x = (x | (x >> 8)) & 0x0000FFFF0000FFFFull;
  return static_cast<std::uint32_t>(x | (x >> 16));
}

// Straight "over" at full opacity onto an opaque destination pixel, all four channels at once in
// 16-bit lanes: colour = div255(s * s.alpha + d * (255 - s.alpha)), alpha 255. This is what
// StraightOver gives when d.alpha is 255 (its weights are then 255 * s.alpha and
// 255 * (255 - s.alpha), whose sum 65025 divides out exactly to div255).
inline std::uint32_t OverOpaquePixel(std::uint32_t s, std::uint32_t d) {
  const std::uint32_t a = (s >> kAlphaShift) & 0xFFu;
  // Per lane at most 255 * 255 + 128 = 65153, so no lane carries into the next.
  std::uint64_t x = Spread(s) * a + Spread(d) * (255u - a) + 0x0080008000800080ull;
  x = ((x + ((x >> 8) & kLanes)) >> 8) & kLanes;  // div255, <= 255 per lane
  return Pack(x) | kAlphaMask;
}

// One pixel of StraightOver at full opacity, taking the cases that need no division first; the
// same result as StraightOver(s, d, 255) for every pair of pixels.
inline std::uint32_t OverPixel(std::uint32_t s, std::uint32_t d) {
  const std::uint32_t sa = s & kAlphaMask, da = d & kAlphaMask;
  if (sa == 0) return da == 0 ? 0u : d;       // nothing in front: the destination (or nothing)
  if (sa == kAlphaMask || da == 0) return s;  // opaque in front, or nothing behind
  if (da == kAlphaMask) return OverOpaquePixel(s, d);
  PF_Pixel sp, dp;
  std::memcpy(&sp, &s, sizeof s);
  std::memcpy(&dp, &d, sizeof d);
  return LoadPixel(StraightOver(sp, dp, 255));
}

#if QS_PIXELS_SSE2
// OverOpaquePixel on four pixels, each channel in a 16-bit lane.
inline __m128i OverOpaqueFour(__m128i s, __m128i d) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i c255 = _mm_set1_epi16(255), c128 = _mm_set1_epi16(128);
  auto half = [&](__m128i s16, __m128i d16) {
    // Broadcast each pixel's alpha (lane 0 of its four) over the pixel.
    __m128i a = _mm_shufflelo_epi16(s16, _MM_SHUFFLE(0, 0, 0, 0));
    a = _mm_shufflehi_epi16(a, _MM_SHUFFLE(0, 0, 0, 0));
    // s * a + d * (255 - a) + 128 <= 65153: exact in unsigned 16-bit lanes.
    __m128i v =
        _mm_add_epi16(_mm_mullo_epi16(s16, a), _mm_mullo_epi16(d16, _mm_sub_epi16(c255, a)));
    v = _mm_add_epi16(v, c128);
    return _mm_srli_epi16(_mm_add_epi16(v, _mm_srli_epi16(v, 8)), 8);
  };
  const __m128i lo = half(_mm_unpacklo_epi8(s, zero), _mm_unpacklo_epi8(d, zero));
  const __m128i hi = half(_mm_unpackhi_epi8(s, zero), _mm_unpackhi_epi8(d, zero));
  return _mm_or_si128(_mm_packus_epi16(lo, hi), _mm_set1_epi32(static_cast<int>(kAlphaMask)));
}

// a where mask is set, else b.
inline __m128i Select(__m128i mask, __m128i a, __m128i b) {
  return _mm_or_si128(_mm_and_si128(mask, a), _mm_andnot_si128(mask, b));
}

// div255 in 32-bit lanes (v <= 65025).
inline __m128i Div255Four(__m128i v) {
  const __m128i r = _mm_add_epi32(v, _mm_set1_epi32(128));
  return _mm_srli_epi32(_mm_add_epi32(r, _mm_srli_epi32(r, 8)), 8);
}

// StraightOver on four pixels, any opacity (`opacity` in every 32-bit lane). The weights are
// integers below 2^16 (16-bit products suffice), and each colour's numerator
//   n = s.c * ws + d.c * wd + w / 2 <= 255 * w + w / 2 < 2^24
// is exact in float, sums included. Its quotient by w rounded to float keeps its integer part:
// below 256 the rounding moves it by at most 2^-17, less than the 1 / w >= 1 / 65025 that a
// quotient which is not whole lies below the next integer. So truncating the float quotient is
// the integer division of the reference, bit for bit.
inline __m128i StraightOverFour(__m128i s, __m128i d, __m128i opacity) {
  const __m128i low = _mm_set1_epi32(0xFF), c255 = _mm_set1_epi32(255);
  const __m128i sa = Div255Four(_mm_mullo_epi16(_mm_and_si128(s, low), opacity));
  const __m128i ws = _mm_sub_epi32(_mm_slli_epi32(sa, 8), sa);
  const __m128i wd = _mm_mullo_epi16(_mm_and_si128(d, low), _mm_sub_epi32(c255, sa));
  const __m128i w = _mm_add_epi32(ws, wd);
  const __m128 wsf = _mm_cvtepi32_ps(ws), wdf = _mm_cvtepi32_ps(wd), wf = _mm_cvtepi32_ps(w);
  const __m128 half = _mm_cvtepi32_ps(_mm_srli_epi32(w, 1));
  auto mix = [&](int shift) {
    const __m128 sc = _mm_cvtepi32_ps(_mm_and_si128(_mm_srli_epi32(s, shift), low));
    const __m128 dc = _mm_cvtepi32_ps(_mm_and_si128(_mm_srli_epi32(d, shift), low));
    const __m128 n = _mm_add_ps(_mm_add_ps(_mm_mul_ps(sc, wsf), _mm_mul_ps(dc, wdf)), half);
    return _mm_slli_epi32(_mm_cvttps_epi32(_mm_div_ps(n, wf)), shift);
  };
  const __m128i out =
      _mm_or_si128(_mm_or_si128(Div255Four(w), mix(8)), _mm_or_si128(mix(16), mix(24)));
  // Both transparent (w = 0, where the quotients are not numbers): transparent black.
  return _mm_andnot_si128(_mm_cmpeq_epi32(w, _mm_setzero_si128()), out);
}
#endif

// One row of StraightOver: s in front of d at the given opacity, four pixels at a time (SSE2). At
// full opacity a group whose every pixel has a transparent or opaque source or destination is
// taken without a division (see OverPixel), the others by StraightOverFour.
void OverRow(const PF_Pixel* s, PF_Pixel* d, i64 n, unsigned opacity) {
  i64 i = 0;
#if QS_PIXELS_SSE2
  if (opacity != 255u) {
    const __m128i op = _mm_set1_epi32(static_cast<int>(opacity));
    for (; i + 4 <= n; i += 4) {
      __m128i* dp = reinterpret_cast<__m128i*>(d + i);
      const __m128i sv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
      _mm_storeu_si128(dp, StraightOverFour(sv, _mm_loadu_si128(dp), op));
    }
  }
#endif
  if (opacity != 255u) {
    for (; i < n; ++i) d[i] = StraightOver(s[i], d[i], static_cast<A_u_char>(opacity));
    return;
  }
#if QS_PIXELS_SSE2
  const __m128i alpha = _mm_set1_epi32(static_cast<int>(kAlphaMask));
  const __m128i zero = _mm_setzero_si128();
  const __m128i full = _mm_set1_epi32(255);
  for (; i + 4 <= n; i += 4) {
    const __m128i sv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
    __m128i* dp = reinterpret_cast<__m128i*>(d + i);
    const __m128i sa = _mm_and_si128(sv, alpha);
    const __m128i sOpaque = _mm_cmpeq_epi32(sa, alpha);
    if (_mm_movemask_epi8(sOpaque) == 0xFFFF) {  // four opaque sources replace the destination
      _mm_storeu_si128(dp, sv);
      continue;
    }
    const __m128i dv = _mm_loadu_si128(dp);
    const __m128i da = _mm_and_si128(dv, alpha);
    const __m128i sClear = _mm_cmpeq_epi32(sa, zero);
    const __m128i dClear = _mm_cmpeq_epi32(da, zero);
    if (_mm_movemask_epi8(sClear) == 0xFFFF) {
      // Four transparent sources: the destination stays, except that its transparent pixels
      // become transparent black.
      if (_mm_movemask_epi8(dClear) != 0) _mm_storeu_si128(dp, _mm_andnot_si128(dClear, dv));
      continue;
    }
    const __m128i dOpaque = _mm_cmpeq_epi32(da, alpha);
    const __m128i easy = _mm_or_si128(_mm_or_si128(sClear, sOpaque), _mm_or_si128(dClear, dOpaque));
    if (_mm_movemask_epi8(easy) != 0xFFFF) {
      _mm_storeu_si128(dp, StraightOverFour(sv, dv, full));
      continue;
    }
    // The cases of OverPixel, lane by lane, in its order of precedence (last applied wins).
    __m128i r = Select(dOpaque, OverOpaqueFour(sv, dv), dv);
    r = Select(_mm_or_si128(sOpaque, dClear), sv, r);
    r = Select(_mm_and_si128(sClear, dClear), zero, r);
    _mm_storeu_si128(dp, r);
  }
#endif
  for (; i < n; ++i) StorePixel(d[i], OverPixel(LoadPixel(s[i]), LoadPixel(d[i])));
}

#if QS_PIXELS_SSE2
// PremulOver on four pixels, each channel in a 32-bit lane. Every product is below 2^16, so the
// 16-bit multiplies give it whole; a colour sum above 65025 is clamped to it before div255.
inline __m128i PremulOverFour(__m128i s, __m128i d, __m128i opacity) {
  const __m128i low = _mm_set1_epi32(0xFF), c255 = _mm_set1_epi32(255);
  const __m128i full = _mm_set1_epi32(65025);
  const __m128i sa = Div255Four(_mm_mullo_epi16(_mm_and_si128(s, low), opacity));
  const __m128i keep = _mm_sub_epi32(c255, sa);
  auto channel = [&](int shift) {
    const __m128i sc = _mm_and_si128(_mm_srli_epi32(s, shift), low);
    const __m128i dc = _mm_and_si128(_mm_srli_epi32(d, shift), low);
    const __m128i v = _mm_add_epi32(_mm_mullo_epi16(sc, opacity), _mm_mullo_epi16(dc, keep));
    return _mm_slli_epi32(Div255Four(Select(_mm_cmpgt_epi32(v, full), full, v)), shift);
  };
  const __m128i alpha = _mm_add_epi32(sa, Div255Four(_mm_mullo_epi16(_mm_and_si128(d, low), keep)));
  return _mm_or_si128(_mm_or_si128(alpha, channel(8)), _mm_or_si128(channel(16), channel(24)));
}
#endif

// One row of PremulOver, four pixels at a time (SSE2).
void PremulOverRow(const PF_Pixel* s, PF_Pixel* d, i64 n, unsigned opacity) {
  i64 i = 0;
#if QS_PIXELS_SSE2
  const __m128i op = _mm_set1_epi32(static_cast<int>(opacity));
  for (; i + 4 <= n; i += 4) {
    __m128i* dp = reinterpret_cast<__m128i*>(d + i);
    const __m128i sv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
    _mm_storeu_si128(dp, PremulOverFour(sv, _mm_loadu_si128(dp), op));
  }
#endif
  for (; i < n; ++i) d[i] = PremulOver(s[i], d[i], static_cast<A_u_char>(opacity));
}

// The in-front transfer with the given row blend (OverRow or PremulOverRow).
template <typename RowBlend>
void Transfer(const PF_EffectWorld& src, const PF_Rect& src_rect, A_long dest_x, A_long dest_y,
              A_u_char opacity, PF_EffectWorld& dst, unsigned threads, RowBlend blend) {
  if (!Usable(src) || !Usable(dst)) return;
  // Clip the source rectangle to the source world, moving the destination along with it.
  Box s = FromRect(src_rect);
  i64 dx = static_cast<i64>(dest_x) - s.left, dy = static_cast<i64>(dest_y) - s.top;
  s = Intersect(s, WorldBox(src));
  // Then clip to the destination world (in source coordinates).
  s = Intersect(s, Box{-dx, -dy, dst.width - dx, dst.height - dy});
  if (s.Empty()) return;
  const i64 rows = s.bottom - s.top, cols = s.right - s.left;

  // Source and destination in the same buffer: read from a snapshot of the source rows.
  std::vector<PF_Pixel> snapshot;
  const auto src_base = reinterpret_cast<std::uintptr_t>(src.data);
  const auto dst_base = reinterpret_cast<std::uintptr_t>(dst.data);
  const bool overlap = src_base < dst_base + static_cast<std::uintptr_t>(dst.rowbytes) *
                                                 static_cast<std::uintptr_t>(dst.height) &&
                       dst_base < src_base + static_cast<std::uintptr_t>(src.rowbytes) *
                                                 static_cast<std::uintptr_t>(src.height);
  if (overlap) {
    snapshot.resize(static_cast<std::size_t>(rows * cols));
    for (i64 j = 0; j < rows; ++j) {
      std::memcpy(snapshot.data() + j * cols, RowPtr(src, s.top + j) + s.left,
                  static_cast<std::size_t>(cols) * sizeof(PF_Pixel));
    }
  }
  ParallelRows(rows, cols, ResolveThreads(threads, rows, cols), [&](unsigned, i64 r0, i64 r1) {
    for (i64 j = r0; j < r1; ++j) {
      const PF_Pixel* sp = overlap ? snapshot.data() + j * cols : RowPtr(src, s.top + j) + s.left;
      PF_Pixel* dp = RowPtr(dst, s.top + j + dy) + (s.left + dx);
      blend(sp, dp, cols, opacity);
    }
  });
}

}  // namespace

void TransferInFront(const PF_EffectWorld& src, const PF_Rect& src_rect, A_long dest_x,
                     A_long dest_y, A_u_char opacity, PF_EffectWorld& dst, unsigned threads) {
  Transfer(src, src_rect, dest_x, dest_y, opacity, dst, threads, OverRow);
}

void TransferInFrontPremul(const PF_EffectWorld& src, const PF_Rect& src_rect, A_long dest_x,
                           A_long dest_y, A_u_char opacity, PF_EffectWorld& dst, unsigned threads) {
  Transfer(src, src_rect, dest_x, dest_y, opacity, dst, threads, PremulOverRow);
}

void FillWorld(PF_EffectWorld& world, const PF_Pixel* color, const PF_Rect* rect) {
  if (!Usable(world)) return;
  Box box = WorldBox(world);
  if (rect != nullptr) box = Intersect(box, FromRect(*rect));
  if (box.Empty()) return;
  const PF_Pixel c = color != nullptr ? *color : PF_Pixel{0, 0, 0, 0};
  const std::uint32_t word = LoadPixel(c);
  const auto count = static_cast<std::size_t>(box.right - box.left);
  const bool bytewise = c.alpha == c.red && c.alpha == c.green && c.alpha == c.blue;
  for (i64 j = box.top; j < box.bottom; ++j) {
    PF_Pixel* row = RowPtr(world, j) + box.left;
    if (bytewise) {
      std::memset(row, c.alpha, count * sizeof(PF_Pixel));
    } else {
      for (std::size_t i = 0; i < count; ++i) StorePixel(row[i], word);
    }
  }
}

void CompositeOverBackground(const World& frame, PF_Pixel bg, World& out) {
  if (out.width() != frame.width() || out.height() != frame.height()) {
    out = World(frame.width(), frame.height(), frame.def().origin_x, frame.def().origin_y);
  }
  for (A_long y = 0; y < frame.height(); ++y) {
    const PF_Pixel* s = frame.row(y);
    PF_Pixel* d = out.row(y);
    for (A_long x = 0; x < frame.width(); ++x) {
      const unsigned a = s[x].alpha, keep = 255u - a;
      d[x].alpha = 255;
      d[x].red = static_cast<A_u_char>(Div255(s[x].red * a + bg.red * keep));
      d[x].green = static_cast<A_u_char>(Div255(s[x].green * a + bg.green * keep));
      d[x].blue = static_cast<A_u_char>(Div255(s[x].blue * a + bg.blue * keep));
    }
  }
}

PF_Pixel StraightOver(PF_Pixel s, PF_Pixel d, A_u_char opacity) {
  const std::uint32_t sa = Div255(s.alpha * opacity);
  const std::uint32_t ws = 255u * sa;              // at most 65025
  const std::uint32_t wd = d.alpha * (255u - sa);  // at most 65025
  const std::uint32_t w = ws + wd;                 // at most 65025 (= 255 * out alpha)
  if (w == 0) return {0, 0, 0, 0};
  auto mix = [&](std::uint32_t sc, std::uint32_t dc) {  // sum at most 255 * 65025 < 2^32
    return static_cast<A_u_char>((sc * ws + dc * wd + w / 2) / w);
  };
  return {static_cast<A_u_char>(Div255(w)), mix(s.red, d.red), mix(s.green, d.green),
          mix(s.blue, d.blue)};
}

PF_Pixel PremulOver(PF_Pixel s, PF_Pixel d, A_u_char opacity) {
  const unsigned sa = Div255(s.alpha * opacity);
  const unsigned keep = 255u - sa;
  // A colour above its alpha (not a premultiplied pixel) can take the sum past 65025, which
  // clamps to 255.
  auto mix = [&](unsigned sc, unsigned dc) {
    return static_cast<A_u_char>(Div255(std::min(sc * opacity + dc * keep, 65025u)));
  };
  return {static_cast<A_u_char>(sa + Div255(d.alpha * keep)), mix(s.red, d.red),
          mix(s.green, d.green), mix(s.blue, d.blue)};
}

}  // namespace quillstreak::host
