// Pixel services of the substitute host: layer rendering, the 8-bit iterate, in-front transfer,
// fill and background compositing, over owned worlds (World.h) and layer sources
// (LayerSource.h). Pure functions with no dependency on the Host class, so they can be tested and
// benchmarked on their own.
//
// Every 8-bit world holds straight (unpremultiplied) ARGB, as the real host's 8-bit worlds do: a
// pixel's colour is its colour whatever its alpha, and the colour of a pixel of alpha 0 counts
// for nothing. The effect's pixel functions (replace the colour and keep the alpha; scale the
// alpha and keep the colour) are straight-alpha operations and rely on this.
//
// The in-front transfer takes the caller's word for what its source pixels are, as a real host
// does: PF_MF_Alpha_STRAIGHT composites them with StraightOver, PF_MF_Alpha_PREMUL with
// PremulOver, the premultiplied "over" on the stored values. A caller that passes straight
// pixels as PREMUL gets every partly covered pixel over content too bright (alpha 128, red 200
// over opaque red 0 gives red 200 instead of 100); over a transparent destination the two agree.
// The effect's pixels are straight, so it declares STRAIGHT.
#pragma once

#include "host/pixels/LayerSource.h"
#include "host/pixels/World.h"
#include "hostapi/HostApi.h"

namespace quillstreak::host {

/// Bounding box, in composition pixels at downsample (dsx, dsy), of the source under the transform:
/// left/top = floor of the minimum, right/bottom = ceil of the maximum of the four transformed
/// source corners, each multiplied by the downsample factor.
/// Mapping: comp = position + Rz(rotateZ) * diag(sx/100 * cos(rotY), sy/100 * cos(rotX)) *
/// (src - anchor), then multiplied by (dsx, dsy).
/// Empty (0,0,0,0) when the transform or downsample is degenerate (zero scale, non-finite values,
/// non-positive downsample, an empty source or a box beyond +-30000 px).
PF_LRect LayerBounds(const LayerSource& src, const TransformValues& xf, double dsx, double dsy);

/// Renders the source under the transform into `out` (every pixel of `out` is written), whose pixel
/// (i, j) is composition pixel (origin_x + i, origin_y + j) at the downsample: samples at the pixel
/// centre, maps back through the inverse transform to source coordinates and bilinear-resamples
/// the source (texel centres at +0.5; outside = transparent), writing straight ARGB.
/// The resampling weighs colour by alpha (premultiplied form), so that transparent texels do not
/// darken edges; with w the bilinear weights and round(v) = v rounded to nearest (halves up)
/// and clamped to 0..255:
///   alpha  = round(sum a * w)
///   colour = round(sum c * a * w / sum a * w), or 0 where alpha is 0 (transparent black).
/// Images are resampled in single precision (vector code where the target has it): each byte is
/// that formula's, except where its value is a half or within about 1e-4 of one, where it may be
/// one level off; a pixel centre on a texel centre gives the texel exactly.
/// Rectangle = the whole source rectangle in `color`; Ellipse = the inscribed ellipse, edge
/// anti-aliased by coverage: alpha = round(color.alpha * coverage), colour = `color` unchanged
/// (in double precision).
/// An integer translation at 100% without rotation reproduces the source exactly (a texel of alpha
/// 0 becomes transparent black). Degenerate transforms and an Image whose pixel count is not
/// width*height leave `out` transparent. Rows are split across `threads` (0 = hardware
/// concurrency).
void RenderLayer(const LayerSource& src, const TransformValues& xf, double dsx, double dsy,
                 World& out, unsigned threads = 0);

/// The host's 8-bit iterate: calls fn once for every pixel of `area` (null = the whole dst world;
/// clipped to dst and, when given, to src), with in = the source pixel at the same position (src
/// null = dst), out = the dst pixel, x/y = the pixel position in the world.
/// Rows are shared out in chunks of a few rows to at most `threads` threads (0 = hardware
/// concurrency), each thread claiming the next chunk when it is done with one. Returns the first
/// error by row order: a chunk stops at its first error and chunks after a failed one are skipped.
/// Null dst/fn or a world with null data but a non-empty size returns PF_Err_BAD_CALLBACK_PARAM.
PF_Err Iterate8(const PF_EffectWorld* src, PF_EffectWorld* dst, const PF_Rect* area, void* refcon,
                PF_IteratePixel8Func fn, unsigned threads = 0);

/// Straight-alpha "over" of one pixel: s in front of d, s's alpha first scaled by `opacity`.
/// In exact integer arithmetic, with the alphas as fractions of 255:
///   sa     = div255(s.alpha * opacity)               (s.alpha itself at opacity 255)
///   ws     = 255 * sa                                 source coverage, in 1/65025ths
///   wd     = d.alpha * (255 - sa)                     destination coverage left showing
///   alpha  = div255(ws + wd)                          = sa + div255(d.alpha * (255 - sa))
///   colour = (s.c * ws + d.c * wd + (ws + wd) / 2) / (ws + wd)     integer division
/// so the colour is the coverage-weighted mean of the two colours rounded to nearest (halves up);
/// where ws + wd is 0 (both transparent) the result is transparent black. A pixel of alpha 0
/// contributes nothing, whatever its colour: a transparent source (after opacity) leaves a d of
/// alpha above 0 as it is, and over a transparent d the result is s with its scaled alpha
/// (transparent black where that is 0). This plain scalar version is the reference that
/// TransferInFront's fast paths equal bit for bit.
PF_Pixel StraightOver(PF_Pixel s, PF_Pixel d, A_u_char opacity);

/// Premultiplied "over" of one pixel on the stored values, as a host that takes the source for
/// premultiplied computes it (what transfer_rect does with PF_MF_Alpha_PREMUL):
///   sa     = div255(s.alpha * opacity)
///   alpha  = sa + div255(d.alpha * (255 - sa))          (at most 255)
///   colour = div255(min(s.c * opacity + d.c * (255 - sa), 65025))
/// that is out.c = s.c * o + d.c * (1 - sa) rounded to nearest and clamped to 255 (the sum only
/// passes 255 where a colour exceeds its alpha, which a premultiplied pixel never does).
PF_Pixel PremulOver(PF_Pixel s, PF_Pixel d, A_u_char opacity);

/// In-front transfer: src_rect of src drawn over dst with its top-left at (dest_x, dest_y),
/// clipped to both worlds, every pixel of the clipped rectangle becoming StraightOver(src, dst,
/// opacity). Equal to that formula bit for bit, four pixels at a time (SSE2): at opacity 255,
/// transparent and opaque sources and destinations are taken without a division; the division
/// of the others is done in float, whose quotient there always has the integer part of the exact
/// one. Source and destination may share memory. Row-parallel on `threads` (0 = hardware
/// concurrency).
void TransferInFront(const PF_EffectWorld& src, const PF_Rect& src_rect, A_long dest_x,
                     A_long dest_y, A_u_char opacity, PF_EffectWorld& dst, unsigned threads = 0);

/// TransferInFront with PremulOver for every pixel (the PF_MF_Alpha_PREMUL transfer), equal to
/// it bit for bit four pixels at a time (SSE2).
void TransferInFrontPremul(const PF_EffectWorld& src, const PF_Rect& src_rect, A_long dest_x,
                           A_long dest_y, A_u_char opacity, PF_EffectWorld& dst,
                           unsigned threads = 0);

/// Fill: color null = transparent black; rect null = the whole world (clipped to the world).
void FillWorld(PF_EffectWorld& world, const PF_Pixel* color, const PF_Rect* rect);

/// Composites a straight frame over an opaque background colour (its alpha is not read):
///   out.colour = div255(p.c * p.alpha + bg.c * (255 - p.alpha)),  out.alpha = 255,
/// which is StraightOver(p, bg, 255) for an opaque bg. `out` is resized to the size of `frame`
/// when they differ.
void CompositeOverBackground(const World& frame, PF_Pixel opaque_background, World& out);

/// div255(v): v / 255 rounded to nearest, exact for 0 <= v <= 65025 (255 is odd: no ties).
constexpr unsigned Div255(unsigned v) { return (v + 128u + ((v + 128u) >> 8)) >> 8; }

}  // namespace quillstreak::host
