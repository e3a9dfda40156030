// Layer geometry and rendering: the box of a transformed source and its resampling. See Pixels.h
// for the contracts.
#include "PixelsCommon.h"

#include <array>
#include <cmath>
#include <limits>

namespace quillstreak::host {

using namespace detail;

namespace {

constexpr double kMaxCoord = 30000.0;  // layer boxes beyond this are treated as degenerate
constexpr double kMinFactor = 1e-9;    // |scale * cos| below this counts as zero scale

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

}  // namespace quillstreak::host
