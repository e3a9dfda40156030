// Layer geometry and rendering: the box of a transformed source, shapes, and the dispatch to the
// image paths (LayerImage.cpp). See Pixels.h for the contracts.
#include "LayerMapping.h"

#include <cmath>
#include <vector>

namespace quillstreak::host {

using namespace detail;

namespace {

// Shapes, in double precision: alpha = the colour's alpha times the bilinear sum of the texels'
// coverage (1 inside a rectangle; an ellipse's anti-aliased coverage), the colour unchanged.
class ShapeShader {
 public:
  // Ellipse coverage of every texel is computed once when the output makes more texel reads
  // than the source has texels (four per output pixel): the same values, looked up instead of
  // recomputed.
  ShapeShader(const LayerSource& src, const Box& area, unsigned threads)
      : sw_(src.width),
        sh_(src.height),
        ca_(src.color.alpha),
        color_{0, src.color.red, src.color.green, src.color.blue},
        rectangle_(src.kind == LayerSource::Kind::Rectangle),
        ecx_(static_cast<double>(sw_) / 2.0),
        ecy_(static_cast<double>(sh_) / 2.0),
        inv_a2_(1.0 / (ecx_ * ecx_)),
        inv_b2_(1.0 / (ecy_ * ecy_)) {
    // Four texels inside a rectangle: the coverage sums to 1 within a few ulps, which rounds to
    // the colour's alpha whatever it is.
    solid_ = FromCoverage(1.0);
    const i64 texel_reads = 4 * (area.right - area.left) * (area.bottom - area.top);
    if (!rectangle_ && sw_ * sh_ <= texel_reads && sw_ * sh_ <= (i64{1} << 22)) {
      table_.resize(static_cast<std::size_t>(sw_ * sh_));
      ParallelRows(sh_, sw_, ResolveThreads(threads, sh_, sw_), [&](unsigned, i64 r0, i64 r1) {
        for (i64 ty = r0; ty < r1; ++ty) {
          for (i64 tx = 0; tx < sw_; ++tx)
            table_[static_cast<std::size_t>(ty * sw_ + tx)] = EllipseCoverage(tx, ty);
        }
      });
    }
    cov_ = table_.empty() ? nullptr : table_.data();
  }

  // One output pixel from the bilinear taps around its source position. A pixel centre on a
  // texel centre (both weights 0) reduces to that texel, since every other term is a finite
  // value times 0.
  PF_Pixel Shade(const Tap& tx, const Tap& ty) const {
    if (rectangle_ && tx.i0 >= 0 && ty.i0 >= 0 && tx.i0 + 1 < sw_ && ty.i0 + 1 < sh_) return solid_;
    if (tx.w1 == 0.0 && ty.w1 == 0.0) return FromCoverage(Coverage(tx.i0, ty.i0));
    const double w00 = (1 - tx.w1) * (1 - ty.w1), w10 = tx.w1 * (1 - ty.w1);
    const double w01 = (1 - tx.w1) * ty.w1, w11 = tx.w1 * ty.w1;
    const double cov = w00 * Coverage(tx.i0, ty.i0) + w10 * Coverage(tx.i0 + 1, ty.i0) +
                       w01 * Coverage(tx.i0, ty.i0 + 1) + w11 * Coverage(tx.i0 + 1, ty.i0 + 1);
    return FromCoverage(cov);
  }

 private:
  double EllipseCoverage(i64 tx, i64 ty) const {
    return EllipseTexel(tx, ty, ecx_, ecy_, inv_a2_, inv_b2_);
  }
  double Coverage(i64 tx, i64 ty) const {
    if (tx < 0 || ty < 0 || tx >= sw_ || ty >= sh_) return 0.0;
    if (rectangle_) return 1.0;
    if (cov_ != nullptr) return cov_[ty * sw_ + tx];
    return EllipseCoverage(tx, ty);
  }
  PF_Pixel FromCoverage(double cov) const {
    PF_Pixel p = color_;
    p.alpha = ToByte(ca_ * cov);
    return p.alpha == 0 ? PF_Pixel{0, 0, 0, 0} : p;
  }

  i64 sw_, sh_;
  double ca_;
  PF_Pixel color_;
  bool rectangle_;
  double ecx_, ecy_, inv_a2_, inv_b2_;
  PF_Pixel solid_{};
  std::vector<double> table_;
  const double* cov_ = nullptr;
};

// Without rotation: the taps of a column and of a row are computed once.
void RenderShapeUnrotated(const ShapeShader& shader, const Inverse& inv, PF_EffectWorld& def,
                          const Box& area, double swd, double shd, unsigned workers) {
  struct Axis {
    bool inside;  // within the reach of the bilinear taps
    Tap tap;
  };
  const i64 rows = area.bottom - area.top;
  const i64 cols = area.right - area.left;
  std::vector<Axis> col_axis(static_cast<std::size_t>(cols));
  std::vector<Axis> row_axis(static_cast<std::size_t>(rows));
  for (i64 i = 0; i < cols; ++i) {
    const double sx = inv.Sx(inv.Fx(area.left + i), 0.0);
    col_axis[static_cast<std::size_t>(i)] = {sx > -1.0 && sx < swd + 1.0, MakeTap(sx)};
  }
  for (i64 j = 0; j < rows; ++j) {
    const double sy = inv.Sy(0.0, inv.Fy(area.top + j));
    row_axis[static_cast<std::size_t>(j)] = {sy > -1.0 && sy < shd + 1.0, MakeTap(sy)};
  }
  ParallelRows(rows, cols, workers, [&](unsigned, i64 r0, i64 r1) {
    for (i64 j = r0; j < r1; ++j) {
      const Axis& ry = row_axis[static_cast<std::size_t>(j)];
      if (!ry.inside) continue;
      PF_Pixel* row = RowPtr(def, area.top + j) + area.left;
      for (i64 i = 0; i < cols; ++i) {
        const Axis& rx = col_axis[static_cast<std::size_t>(i)];
        if (rx.inside) row[i] = shader.Shade(rx.tap, ry.tap);
      }
    }
  });
}

void RenderShape(const LayerSource& src, const Inverse& inv, PF_EffectWorld& def, const Box& area,
                 unsigned threads) {
  const ShapeShader shader(src, area, threads);
  const double swd = static_cast<double>(src.width), shd = static_cast<double>(src.height);
  const i64 rows = area.bottom - area.top;
  const i64 cols = area.right - area.left;
  const unsigned workers = ResolveThreads(threads, rows, cols);
  if (inv.s == 0.0) {
    RenderShapeUnrotated(shader, inv, def, area, swd, shd, workers);
    return;
  }
  ParallelRows(rows, cols, workers, [&](unsigned, i64 r0, i64 r1) {
    for (i64 j = area.top + r0; j < area.top + r1; ++j) {
      PF_Pixel* row = RowPtr(def, j);
      const double fy = inv.Fy(j);
      for (i64 i = area.left; i < area.right; ++i) {
        const double fx = inv.Fx(i);
        const double sx = inv.Sx(fx, fy), sy = inv.Sy(fx, fy);
        if (InReach(sx, sy, swd, shd)) row[i] = shader.Shade(MakeTap(sx), MakeTap(sy));
      }
    }
  });
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
  RenderLayerWith(PixelCode::Vector, src, xf, dsx, dsy, out, threads);
}

void detail::RenderLayerWith(PixelCode code, const LayerSource& src, const TransformValues& xf,
                             double dsx, double dsy, World& out, unsigned threads) {
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

  const Inverse inv{m.ax,       m.ay,       m.px,        m.py,        m.c,          m.s,
                    1.0 / m.kx, 1.0 / m.ky, 1.0 / m.dsx, 1.0 / m.dsy, def.origin_x, def.origin_y};
  if (src.kind == LayerSource::Kind::Image) {
    RenderImage(src, inv, def, area, threads, code == PixelCode::Vector);
    return;
  }
  RenderShape(src, inv, def, area, threads);
}

}  // namespace quillstreak::host
