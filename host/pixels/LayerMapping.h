// The mapping of a layer's source into the composition, shared by layer rendering's image and
// shape paths. Internal to host/pixels.
#pragma once

// The float sums of the image paths and the double expressions of the mapping are written as
// separate products and sums, the same in the vector and the portable code: no fused multiply-add
// may merge them, in every file that includes this one. (GCC merges only in its GNU dialects; the
// build uses standard C++.)
#if defined(__clang__)
#pragma STDC FP_CONTRACT OFF
#elif defined(_MSC_VER)
#pragma fp_contract(off)
#endif

#include <cmath>

#include "PixelsCommon.h"

namespace quillstreak::host::detail {

inline constexpr double kMaxCoord = 30000.0;  // layer boxes beyond this are treated as degenerate
inline constexpr double kMinFactor = 1e-9;    // |scale * cos| below this counts as zero scale

// sin and cos of an angle in degrees, exact at multiples of 90 so that quarter turns map
// pixel centres onto pixel centres.
inline void SinCosDeg(double deg, double& s, double& c) {
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

inline Mapping MakeMapping(const TransformValues& xf, double dsx, double dsy) {
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
inline bool CornerBox(const Mapping& m, double x0, double y0, double x1, double y1, double& l,
                      double& t, double& r, double& b) {
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
inline double SnapFloor(double v) {
  const double n = std::nearbyint(v);
  return std::fabs(v - n) < 1e-7 ? n : std::floor(v);
}
inline double SnapCeil(double v) {
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

// The inverse mapping as the contract applies it: a pixel centre (x + 0.5, y + 0.5) of `out`
// to composition units, then src = A + K^-1 * R^T * (comp - P). Every path computes a pixel's
// source position with these expressions, so the positions, and the weights taken from them, are
// the same whichever path draws the pixel.
struct Inverse {
  double ax, ay, px, py, c, s, inv_kx, inv_ky, inv_dsx, inv_dsy;
  i64 ox, oy;  // origin of `out`

  double Fx(i64 x) const { return (static_cast<double>(ox + x) + 0.5) * inv_dsx - px; }
  double Fy(i64 y) const { return (static_cast<double>(oy + y) + 0.5) * inv_dsy - py; }
  double Sx(double fx, double fy) const { return ax + (c * fx + s * fy) * inv_kx; }
  double Sy(double fx, double fy) const { return ay + (c * fy - s * fx) * inv_ky; }
};

// Bilinear sampling with transparent texels outside reaches half a texel past the source: a
// position beyond that draws nothing.
inline bool InReach(double sx, double sy, double swd, double shd) {
  return sx > -1.0 && sx < swd + 1.0 && sy > -1.0 && sy < shd + 1.0;
}

/// Draws an image source through the inverse mapping into `area` of `def` (cleared beforehand):
/// the vector code where `vector` and the machine has it, else the portable code (same bytes).
void RenderImage(const LayerSource& src, const Inverse& inv, PF_EffectWorld& def, const Box& area,
                 unsigned threads, bool vector);

}  // namespace quillstreak::host::detail
