// Pixel services of the substitute host. See Pixels.h for the contracts.
#include "host/pixels/Pixels.h"

#include "host/pixels/RowPool.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cassert>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <thread>
#include <type_traits>
#include <utility>

// x86-64 always has SSE2; elsewhere the portable loops below do the same arithmetic.
#if defined(__SSE2__) || defined(_M_X64) || defined(_M_AMD64)
#include <emmintrin.h>
#define QS_PIXELS_SSE2 1
#else
#define QS_PIXELS_SSE2 0
#endif

namespace qshost {
namespace {

using i64 = std::int64_t;

constexpr double kMaxCoord = 30000.0;  // layer boxes beyond this are treated as degenerate
constexpr double kMinFactor = 1e-9;    // |scale * cos| below this counts as zero scale
constexpr i64 kMinPixelsPerThread = 16384;
constexpr unsigned kMaxThreads = 64;

// A world the pixel functions may touch: positive size, data present, rows wide enough.
bool Usable(const PF_EffectWorld& w) {
  return w.width > 0 && w.height > 0 && w.data != nullptr &&
         static_cast<i64>(w.rowbytes) >= static_cast<i64>(w.width) * 4;
}

PF_Pixel* RowPtr(const PF_EffectWorld& w, i64 y) {
  return reinterpret_cast<PF_Pixel*>(reinterpret_cast<unsigned char*>(w.data) +
                                     static_cast<std::ptrdiff_t>(y) * w.rowbytes);
}

// Half-open rectangle in 64-bit so that clipping hostile values cannot overflow.
struct Box {
  i64 left, top, right, bottom;
  bool Empty() const { return left >= right || top >= bottom; }
};

Box Intersect(Box a, Box b) {
  return {std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
          std::min(a.bottom, b.bottom)};
}

Box WorldBox(const PF_EffectWorld& w) { return {0, 0, w.width, w.height}; }

Box FromRect(const PF_Rect& r) { return {r.left, r.top, r.right, r.bottom}; }

unsigned ResolveThreads(unsigned requested, i64 rows, i64 pixels_per_row) {
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
  detail::RunChunks(
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
constexpr unsigned kAlphaShift = std::endian::native == std::endian::little ? 0u : 24u;
constexpr std::uint32_t kAlphaMask = 0xFFu << kAlphaShift;

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
#endif

// One row of StraightOver: s in front of d at the given opacity. At full opacity four pixels at
// a time: every pixel whose source or destination is transparent or opaque is taken without a
// division (see OverPixel); a group that holds a pixel where both are partly covered goes pixel
// by pixel.
void OverRow(const PF_Pixel* s, PF_Pixel* d, i64 n, unsigned opacity) {
  if (opacity != 255u) {
    for (i64 i = 0; i < n; ++i) d[i] = StraightOver(s[i], d[i], static_cast<A_u_char>(opacity));
    return;
  }
  i64 i = 0;
#if QS_PIXELS_SSE2
  const __m128i alpha = _mm_set1_epi32(static_cast<int>(kAlphaMask));
  const __m128i zero = _mm_setzero_si128();
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
      for (int k = 0; k < 4; ++k)
        StorePixel(d[i + k], OverPixel(LoadPixel(s[i + k]), LoadPixel(d[i + k])));
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

// sin and cos of an angle in degrees, exact at multiples of 90 so that quarter turns map
// pixel centres onto pixel centres.
void SinCosDeg(double deg, double& s, double& c) {
  double r = std::fmod(deg, 360.0);
  if (r < 0) r += 360.0;
  if (r == 0.0) {
    s = 0, c = 1;
  } else if (r == 90.0) {
    s = 1, c = 0;
  } else if (r == 180.0) {
    s = 0, c = -1;
  } else if (r == 270.0) {
    s = -1, c = 0;
  } else {
    const double rad = r * (3.14159265358979323846 / 180.0);
    s = std::sin(rad);
    c = std::cos(rad);
  }
}

// Forward mapping comp_ds = ds * (P + R * K * (src - A)), with K = diag(kx, ky).
struct Mapping {
  bool ok = false;
  double ax = 0, ay = 0, px = 0, py = 0;
  double c = 1, s = 0, kx = 1, ky = 1, dsx = 1, dsy = 1;

  void Forward(double sx, double sy, double& x, double& y) const {
    const double u = kx * (sx - ax), v = ky * (sy - ay);
    x = (px + c * u - s * v) * dsx;
    y = (py + s * u + c * v) * dsy;
  }
};

Mapping MakeMapping(const TransformValues& xf, double dsx, double dsy) {
  Mapping m;
  const double vals[] = {xf.anchor[0], xf.anchor[1], xf.position[0], xf.position[1], xf.scale[0],
                         xf.scale[1],  xf.rotateZ,   xf.rotateY,     xf.rotateX,     dsx,
                         dsy};
  for (double v : vals) {
    if (!std::isfinite(v)) return m;
  }
  if (!(dsx > 0) || !(dsy > 0)) return m;
  double sz, cz, sy, cy, sx, cx;
  SinCosDeg(xf.rotateZ, sz, cz);
  SinCosDeg(xf.rotateY, sy, cy);
  SinCosDeg(xf.rotateX, sx, cx);
  (void)sy;
  (void)sx;
  m.kx = xf.scale[0] / 100.0 * cy;
  m.ky = xf.scale[1] / 100.0 * cx;
  if (!(std::fabs(m.kx) >= kMinFactor) || !(std::fabs(m.ky) >= kMinFactor)) return m;
  m.ax = xf.anchor[0];
  m.ay = xf.anchor[1];
  m.px = xf.position[0];
  m.py = xf.position[1];
  m.c = cz;
  m.s = sz;
  m.dsx = dsx;
  m.dsy = dsy;
  m.ok = true;
  return m;
}

// Box of the source rectangle [x0, x1] x [y0, y1] under the mapping, as doubles.
// Returns false when any corner is non-finite or beyond the coordinate limit.
bool CornerBox(const Mapping& m, double x0, double y0, double x1, double y1, double& l, double& t,
               double& r, double& b) {
  const double xs[4] = {x0, x1, x0, x1}, ys[4] = {y0, y0, y1, y1};
  l = t = std::numeric_limits<double>::infinity();
  r = b = -std::numeric_limits<double>::infinity();
  for (int i = 0; i < 4; ++i) {
    double x, y;
    m.Forward(xs[i], ys[i], x, y);
    if (!(std::fabs(x) <= kMaxCoord) || !(std::fabs(y) <= kMaxCoord)) return false;
    l = std::min(l, x), r = std::max(r, x);
    t = std::min(t, y), b = std::max(b, y);
  }
  return true;
}

// floor/ceil that ignore rounding noise of the trigonometry (values within 1e-7 of an integer).
double SnapFloor(double v) {
  const double n = std::nearbyint(v);
  return std::fabs(v - n) < 1e-7 ? n : std::floor(v);
}
double SnapCeil(double v) {
  const double n = std::nearbyint(v);
  return std::fabs(v - n) < 1e-7 ? n : std::ceil(v);
}

// Bilinear weights of the two texels around source coordinate `s` (texel centres at +0.5).
struct Tap {
  i64 i0;     // first texel index (may be outside the source)
  double w1;  // weight of texel i0 + 1; texel i0 gets 1 - w1
};

inline Tap MakeTap(double s) {
  const double u = s - 0.5;
  const double f = std::floor(u);
  return {static_cast<i64>(f), u - f};
}

// Coverage in [0, 1] of a texel at (tx, ty) by the ellipse inscribed in w x h: an analytic
// signed-distance estimate, clamped to a one-texel-wide ramp across the boundary.
inline double EllipseTexel(i64 tx, i64 ty, double cx, double cy, double inv_a2, double inv_b2) {
  const double x = static_cast<double>(tx) + 0.5 - cx;
  const double y = static_cast<double>(ty) + 0.5 - cy;
  const double f = x * x * inv_a2 + y * y * inv_b2 - 1.0;
  const double gx = 2.0 * x * inv_a2, gy = 2.0 * y * inv_b2;
  const double g = std::sqrt(gx * gx + gy * gy);
  if (g <= 0.0) return f <= -0.5 ? 1.0 : 0.0;  // centre texel: |f| = 1 there
  const double d = f / g;
  return std::clamp(0.5 - d, 0.0, 1.0);
}

inline A_u_char ToByte(double v) {
  if (!(v > 0.0)) return 0;
  if (v >= 255.0) return 255;
  return static_cast<A_u_char>(v + 0.5);
}

// Every byte value as a double (a load instead of a conversion in the resampling loop).
constexpr auto kByteValue = [] {
  std::array<double, 256> t{};
  for (int i = 0; i < 256; ++i) t[static_cast<std::size_t>(i)] = i;
  return t;
}();

// A resampled pixel from its premultiplied sums: a = sum of alpha * weight, c = sum of colour *
// alpha * weight. Alpha is a rounded; the straight colour is c / a rounded, or 0 where the rounded
// alpha is 0 (a transparent pixel is transparent black).
inline PF_Pixel StraightFromSums(double a, double r, double g, double b) {
  const A_u_char alpha = ToByte(a);
  if (alpha == 0) return {0, 0, 0, 0};
  return {alpha, ToByte(r / a), ToByte(g / a), ToByte(b / a)};
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// World
// ---------------------------------------------------------------------------------------------

World::World(A_long width, A_long height, A_long origin_x, A_long origin_y) {
  const i64 w = std::max<A_long>(width, 0);
  const i64 h = std::max<A_long>(height, 0);
  const i64 rowbytes = (w * 4 + 15) / 16 * 16;
  const i64 total = rowbytes * h;
  if (rowbytes > std::numeric_limits<A_long>::max() || total > std::numeric_limits<A_long>::max()) {
    throw std::length_error("qshost::World: size too large");
  }
  storage_.assign(static_cast<std::size_t>(total), 0);
  def_.world_flags = PF_WorldFlag_WRITEABLE;
  def_.rowbytes = static_cast<A_long>(rowbytes);
  def_.width = static_cast<A_long>(w);
  def_.height = static_cast<A_long>(h);
  def_.extent_hint = {0, 0, def_.width, def_.height};
  def_.pix_aspect_ratio = {1, 1};
  def_.origin_x = origin_x;
  def_.origin_y = origin_y;
  Rebind();
}

void World::ResetEmpty() noexcept {
  storage_.clear();
  const A_long ox = def_.origin_x, oy = def_.origin_y;
  def_ = PF_EffectWorld{};
  def_.world_flags = PF_WorldFlag_WRITEABLE;
  def_.pix_aspect_ratio = {1, 1};
  def_.origin_x = ox;
  def_.origin_y = oy;
}

void World::Rebind() {
  def_.data = storage_.empty() ? nullptr : reinterpret_cast<PF_Pixel*>(storage_.data());
}

PF_Pixel* World::row(A_long y) {
  assert(y >= 0 && y < def_.height);
  return RowPtr(def_, y);
}

const PF_Pixel* World::row(A_long y) const {
  assert(y >= 0 && y < def_.height);
  return RowPtr(def_, y);
}

World::World(const World& other) : storage_(other.storage_), def_(other.def_) { Rebind(); }

World& World::operator=(const World& other) {
  if (this != &other) {
    storage_ = other.storage_;
    def_ = other.def_;
    Rebind();
  }
  return *this;
}

World::World(World&& other) noexcept : storage_(std::move(other.storage_)), def_(other.def_) {
  Rebind();
  other.ResetEmpty();
}

World& World::operator=(World&& other) noexcept {
  if (this != &other) {
    storage_ = std::move(other.storage_);
    def_ = other.def_;
    Rebind();
    other.ResetEmpty();
  }
  return *this;
}

// ---------------------------------------------------------------------------------------------
// Layer geometry and rendering
// ---------------------------------------------------------------------------------------------

PF_LRect LayerBounds(const LayerSource& src, const TransformValues& xf, double dsx, double dsy) {
  const PF_LRect empty{0, 0, 0, 0};
  if (src.width <= 0 || src.height <= 0) return empty;
  const Mapping m = MakeMapping(xf, dsx, dsy);
  if (!m.ok) return empty;
  double l, t, r, b;
  if (!CornerBox(m, 0, 0, src.width, src.height, l, t, r, b)) return empty;
  return {static_cast<A_long>(SnapFloor(l)), static_cast<A_long>(SnapFloor(t)),
          static_cast<A_long>(SnapCeil(r)), static_cast<A_long>(SnapCeil(b))};
}

void RenderLayer(const LayerSource& src, const TransformValues& xf, double dsx, double dsy,
                 World& out, unsigned threads) {
  PF_EffectWorld& def = out.def();
  if (!Usable(def)) return;
  FillWorld(def, nullptr, nullptr);

  const i64 sw = src.width, sh = src.height;
  if (sw <= 0 || sh <= 0) return;
  const double swd = static_cast<double>(sw), shd = static_cast<double>(sh);
  if (src.kind == LayerSource::Kind::Image &&
      src.pixels.size() != static_cast<std::size_t>(sw) * static_cast<std::size_t>(sh)) {
    return;  // malformed image: nothing to draw
  }
  const Mapping m = MakeMapping(xf, dsx, dsy);
  if (!m.ok) return;
  // Bilinear sampling with transparent texels outside reaches half a texel past the source.
  double l, t, r, b;
  if (!CornerBox(m, 0, 0, swd, shd, l, t, r, b)) return;
  if (!CornerBox(m, -0.5, -0.5, swd + 0.5, shd + 0.5, l, t, r, b)) return;

  // Only pixels of `out` that the layer can reach are visited.
  const Box reach{static_cast<i64>(std::floor(l)) - def.origin_x,
                  static_cast<i64>(std::floor(t)) - def.origin_y,
                  static_cast<i64>(std::ceil(r)) - def.origin_x + 1,
                  static_cast<i64>(std::ceil(b)) - def.origin_y + 1};
  const Box area = Intersect(reach, WorldBox(def));
  if (area.Empty()) return;

  // Inverse mapping: src = A + K^-1 * R^T * (comp_ds / ds - P).
  const double inv_dsx = 1.0 / m.dsx, inv_dsy = 1.0 / m.dsy;
  const double inv_kx = 1.0 / m.kx, inv_ky = 1.0 / m.ky;
  const double c = m.c, s = m.s;

  // Shapes: alpha is the colour's alpha scaled by coverage; the colour itself stays as it is.
  const double ca = src.color.alpha;
  const PF_Pixel shape_color{0, src.color.red, src.color.green, src.color.blue};
  auto shape_pixel = [&](double cov) {
    PF_Pixel p = shape_color;
    p.alpha = ToByte(ca * cov);
    return p.alpha == 0 ? PF_Pixel{0, 0, 0, 0} : p;
  };
  const double ecx = swd / 2.0, ecy = shd / 2.0;
  const double inv_a2 = 1.0 / (ecx * ecx), inv_b2 = 1.0 / (ecy * ecy);
  const PF_Pixel* img = src.pixels.empty() ? nullptr : src.pixels.data();
  const LayerSource::Kind kind = src.kind;

  // Ellipse coverage of every texel, computed once when the output makes more texel reads than
  // the source has texels (four per output pixel): the same values, looked up instead of
  // recomputed.
  std::vector<double> ellipse_table;
  const i64 texel_reads = 4 * (area.right - area.left) * (area.bottom - area.top);
  if (kind == LayerSource::Kind::Ellipse && sw * sh <= texel_reads && sw * sh <= (i64{1} << 22)) {
    ellipse_table.resize(static_cast<std::size_t>(sw * sh));
    ParallelRows(sh, ResolveThreads(threads, sh, sw), [&](unsigned, i64 r0, i64 r1) {
      for (i64 ty = r0; ty < r1; ++ty) {
        for (i64 tx = 0; tx < sw; ++tx) {
          ellipse_table[static_cast<std::size_t>(ty * sw + tx)] =
              EllipseTexel(tx, ty, ecx, ecy, inv_a2, inv_b2);
        }
      }
    });
  }
  const double* ellipse_cov = ellipse_table.empty() ? nullptr : ellipse_table.data();

  auto texel_cov = [&](i64 tx, i64 ty) -> double {
    if (tx < 0 || ty < 0 || tx >= sw || ty >= sh) return 0.0;
    if (kind == LayerSource::Kind::Rectangle) return 1.0;
    if (ellipse_cov != nullptr) return ellipse_cov[ty * sw + tx];
    return EllipseTexel(tx, ty, ecx, ecy, inv_a2, inv_b2);
  };
  auto add_image = [&](i64 tx, i64 ty, double w, double acc[4]) {
    if (w == 0.0 || tx < 0 || ty < 0 || tx >= sw || ty >= sh) return;
    const PF_Pixel& p = img[ty * sw + tx];
    const double a = p.alpha * w;
    acc[0] += a;
    acc[1] += p.red * a;
    acc[2] += p.green * a;
    acc[3] += p.blue * a;
  };

  // One output pixel from the bilinear taps around its source position.
  auto shade = [&](PF_Pixel& o, const Tap& tx, const Tap& ty) {
    const double w00 = (1 - tx.w1) * (1 - ty.w1), w10 = tx.w1 * (1 - ty.w1);
    const double w01 = (1 - tx.w1) * ty.w1, w11 = tx.w1 * ty.w1;
    if (kind == LayerSource::Kind::Image) {
      double acc[4] = {0, 0, 0, 0};
      if (tx.i0 >= 0 && ty.i0 >= 0 && tx.i0 + 1 < sw && ty.i0 + 1 < sh) {
        // All four texels inside: no per-texel bounds checks.
        const PF_Pixel* t0 = img + ty.i0 * sw + tx.i0;
        const PF_Pixel* t1 = t0 + sw;
        const PF_Pixel* taps[4] = {t0, t0 + 1, t1, t1 + 1};
        const double ws[4] = {w00, w10, w01, w11};
        for (int k = 0; k < 4; ++k) {
          const double a = taps[k]->alpha * ws[k];
          acc[0] += a;
          acc[1] += taps[k]->red * a;
          acc[2] += taps[k]->green * a;
          acc[3] += taps[k]->blue * a;
        }
      } else {
        add_image(tx.i0, ty.i0, w00, acc);
        add_image(tx.i0 + 1, ty.i0, w10, acc);
        add_image(tx.i0, ty.i0 + 1, w01, acc);
        add_image(tx.i0 + 1, ty.i0 + 1, w11, acc);
      }
      o = StraightFromSums(acc[0], acc[1], acc[2], acc[3]);
    } else {
      const double cov = w00 * texel_cov(tx.i0, ty.i0) + w10 * texel_cov(tx.i0 + 1, ty.i0) +
                         w01 * texel_cov(tx.i0, ty.i0 + 1) + w11 * texel_cov(tx.i0 + 1, ty.i0 + 1);
      o = shape_pixel(cov);
    }
  };
  // A pixel centre that lands exactly on a texel centre (both weights 0): the bilinear sums
  // reduce to that one texel, since every other term is a finite value times 0, and c * a / a
  // is c exactly: the texel itself, or transparent black where its alpha is 0.
  auto shade_texel = [&](PF_Pixel& o, i64 tx, i64 ty) {
    if (kind == LayerSource::Kind::Image) {
      const bool inside = tx >= 0 && ty >= 0 && tx < sw && ty < sh;
      const PF_Pixel p = inside ? img[ty * sw + tx] : PF_Pixel{0, 0, 0, 0};
      o = p.alpha == 0 ? PF_Pixel{0, 0, 0, 0} : p;
    } else {
      o = shape_pixel(texel_cov(tx, ty));
    }
  };

  const i64 rows = area.bottom - area.top;
  const i64 cols = area.right - area.left;
  const unsigned workers = ResolveThreads(threads, rows, cols);
  if (s == 0.0) {
    // No rotation: the source x of a pixel depends on its column alone and the source y on its
    // row alone (the s terms are zeros), so both are computed once per column and per row, with
    // the same expressions as the general path below and therefore the same values.
    struct Axis {
      bool inside;  // within the reach of the bilinear taps
      Tap tap;
      double w0;  // 1 - tap.w1, as the weights below compute it
    };
    std::vector<Axis> colAxis(static_cast<std::size_t>(cols));
    std::vector<Axis> rowAxis(static_cast<std::size_t>(rows));
    for (i64 i = 0; i < cols; ++i) {
      const double fx = (static_cast<double>(def.origin_x + area.left + i) + 0.5) * inv_dsx - m.px;
      const double sx = m.ax + (c * fx) * inv_kx;
      const Tap tap = MakeTap(sx);
      colAxis[static_cast<std::size_t>(i)] = {sx > -1.0 && sx < swd + 1.0, tap, 1 - tap.w1};
    }
    for (i64 j = 0; j < rows; ++j) {
      const double fy = (static_cast<double>(def.origin_y + area.top + j) + 0.5) * inv_dsy - m.py;
      const double sy = m.ay + (c * fy) * inv_ky;
      const Tap tap = MakeTap(sy);
      rowAxis[static_cast<std::size_t>(j)] = {sy > -1.0 && sy < shd + 1.0, tap, 1 - tap.w1};
    }
    ParallelRows(rows, workers, [&](unsigned, i64 r0, i64 r1) {
      for (i64 j = r0; j < r1; ++j) {
        const Axis& ry = rowAxis[static_cast<std::size_t>(j)];
        if (!ry.inside) continue;
        PF_Pixel* row = RowPtr(def, area.top + j) + area.left;
        const bool interior_row = ry.tap.i0 >= 0 && ry.tap.i0 + 1 < sh;
        const PF_Pixel* row0 = interior_row ? img + ry.tap.i0 * sw : nullptr;
        for (i64 i = 0; i < cols; ++i) {
          const Axis& rx = colAxis[static_cast<std::size_t>(i)];
          if (!rx.inside) continue;
          if (rx.tap.w1 == 0.0 && ry.tap.w1 == 0.0) {
            shade_texel(row[i], rx.tap.i0, ry.tap.i0);
          } else if (kind == LayerSource::Kind::Image && interior_row && rx.tap.i0 >= 0 &&
                     rx.tap.i0 + 1 < sw) {
            // All four texels inside: the sums of `shade`, term by term in the same order.
            const PF_Pixel* t0 = row0 + rx.tap.i0;
            const PF_Pixel* taps[4] = {t0, t0 + 1, t0 + sw, t0 + sw + 1};
            const double ws[4] = {rx.w0 * ry.w0, rx.tap.w1 * ry.w0, rx.w0 * ry.tap.w1,
                                  rx.tap.w1 * ry.tap.w1};
            double a0 = 0, a1 = 0, a2 = 0, a3 = 0;
            for (int k = 0; k < 4; ++k) {
              const double a = kByteValue[taps[k]->alpha] * ws[k];
              a0 += a;
              a1 += kByteValue[taps[k]->red] * a;
              a2 += kByteValue[taps[k]->green] * a;
              a3 += kByteValue[taps[k]->blue] * a;
            }
            row[i] = StraightFromSums(a0, a1, a2, a3);
          } else {
            shade(row[i], rx.tap, ry.tap);
          }
        }
      }
    });
    return;
  }
  ParallelRows(rows, workers, [&](unsigned, i64 r0, i64 r1) {
    for (i64 j = area.top + r0; j < area.top + r1; ++j) {
      PF_Pixel* row = RowPtr(def, j);
      const double fy = (static_cast<double>(def.origin_y + j) + 0.5) * inv_dsy - m.py;
      for (i64 i = area.left; i < area.right; ++i) {
        const double fx = (static_cast<double>(def.origin_x + i) + 0.5) * inv_dsx - m.px;
        const double sx = m.ax + (c * fx + s * fy) * inv_kx;
        const double sy = m.ay + (c * fy - s * fx) * inv_ky;
        if (!(sx > -1.0 && sx < swd + 1.0 && sy > -1.0 && sy < shd + 1.0)) continue;
        shade(row[i], MakeTap(sx), MakeTap(sy));
      }
    }
  });
}

// ---------------------------------------------------------------------------------------------
// Iterate, transfer, fill
// ---------------------------------------------------------------------------------------------

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

void TransferInFront(const PF_EffectWorld& src, const PF_Rect& src_rect, A_long dest_x,
                     A_long dest_y, A_u_char opacity, PF_EffectWorld& dst, unsigned threads) {
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
  ParallelRows(rows, ResolveThreads(threads, rows, cols), [&](unsigned, i64 r0, i64 r1) {
    for (i64 j = r0; j < r1; ++j) {
      const PF_Pixel* sp = overlap ? snapshot.data() + j * cols : RowPtr(src, s.top + j) + s.left;
      PF_Pixel* dp = RowPtr(dst, s.top + j + dy) + (s.left + dx);
      OverRow(sp, dp, cols, opacity);
    }
  });
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

}  // namespace qshost
