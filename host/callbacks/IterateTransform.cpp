// The pixel functions: fill, the 8-bit iterate, iterate_generic and transfer_rect, served by
// the utility table, the "PF Iterate8 Suite" and the "PF World Transform Suite". The work is done
// by the pixel services (host/pixels).
#include "CallbackContext.h"
#include "Callbacks.h"
#include "Stubs.h"
#include "host/RenderSettings.h"
#include "host/pixels/Pixels.h"

namespace quillstreak::host::callbacks {

namespace {

using detail::kPfStubError;

bool ValidWorld(const PF_EffectWorld* w) {
  if (w == nullptr) return false;
  if (w->width < 0 || w->height < 0) return false;
  if (w->width == 0 || w->height == 0) return true;
  if (w->data == nullptr) return false;
  return static_cast<std::int64_t>(w->rowbytes) >= static_cast<std::int64_t>(w->width) * 4;
}

std::optional<PF_Rect> RectOf(const PF_Rect* rect) {
  return rect != nullptr ? std::optional<PF_Rect>(*rect) : std::nullopt;
}

}  // namespace

PF_Err fill(PF_ProgPtr ref, const PF_Pixel* color, const PF_Rect* rect, PF_EffectWorld* world) {
  return WithContext<PF_Err>(PF_Err_BAD_CALLBACK_PARAM, [&](CallbackContext& c) -> PF_Err {
    if (A_long f = c.Enter<Op::fill>({color != nullptr, RectOf(rect)})) return c.Done(f);
    if (c.BadRef(ref) || !ValidWorld(world)) return c.Done(PF_Err_BAD_CALLBACK_PARAM);
    FillWorld(*world, color, rect);
    return c.Done(PF_Err_NONE);
  });
}

PF_Err iterate(PF_InData* in_data, A_long progress_base, A_long progress_final, PF_EffectWorld* src,
               const PF_Rect* area, void* refcon, PF_IteratePixel8Func pix_fn,
               PF_EffectWorld* dst) {
  return WithContext<PF_Err>(PF_Err_BAD_CALLBACK_PARAM, [&](CallbackContext& c) -> PF_Err {
    if (A_long f = c.Enter<Op::iterate>({progress_base, progress_final, src != nullptr,
                                         RectOf(area), src != nullptr && src == dst}))
      return c.Done(f);
    if (in_data == nullptr || pix_fn == nullptr || !ValidWorld(dst) ||
        (src != nullptr && !ValidWorld(src)))
      return c.Done(PF_Err_BAD_CALLBACK_PARAM);
    return c.Done(Iterate8(src, dst, area, refcon, pix_fn, c.settings().threads()));
  });
}

PF_Err iterate_generic(A_long iterations, void* refcon, PF_IterateGenericFunc fn) {
  return WithContext<PF_Err>(PF_Err_BAD_CALLBACK_PARAM, [&](CallbackContext& c) -> PF_Err {
    if (A_long f = c.Enter<Op::iterate_generic>({iterations})) return c.Done(f);
    if (fn == nullptr || iterations < 0) return c.Done(PF_Err_BAD_CALLBACK_PARAM);
    for (A_long i = 0; i < iterations; ++i)
      if (PF_Err err = fn(refcon, 0, i, iterations)) return c.Done(err);
    return c.Done(PF_Err_NONE);
  });
}

PF_Err transfer_rect(PF_ProgPtr ref, PF_Quality quality, PF_ModeFlags m_flags, PF_Field field,
                     const PF_Rect* src_rec, const PF_EffectWorld* src_world,
                     const PF_CompositeMode* comp_mode, const PF_MaskWorld* mask_world0,
                     A_long dest_x, A_long dest_y, PF_EffectWorld* dst_world) {
  return WithContext<PF_Err>(PF_Err_BAD_CALLBACK_PARAM, [&](CallbackContext& c) -> PF_Err {
    args::TransferRect call{quality, m_flags, field, {}, dest_x, dest_y};
    if (src_rec != nullptr) call.src_rect = *src_rec;
    if (comp_mode != nullptr) {
      call.xfer = comp_mode->xfer;
      call.opacity = comp_mode->opacity;
      call.rgb_only = comp_mode->rgb_only != 0;
    }
    call.mask = mask_world0 != nullptr;
    if (A_long f = c.Enter<Op::transfer_rect>(call)) return c.Done(f);
    if (c.BadRef(ref) || comp_mode == nullptr || !ValidWorld(src_world) || !ValidWorld(dst_world))
      return c.Done(PF_Err_BAD_CALLBACK_PARAM);
    // Only what the effect needs: the source in front of the destination, no mask. The alpha
    // mode says what the source pixels are: straight ones are blended straight, premultiplied
    // ones by the premultiplied "over" (see Pixels.h).
    if (comp_mode->xfer != PF_Xfer_IN_FRONT ||
        (m_flags != PF_MF_Alpha_PREMUL && m_flags != PF_MF_Alpha_STRAIGHT) ||
        mask_world0 != nullptr)
      return c.Done(PF_Err_BAD_CALLBACK_PARAM);
    const PF_Rect whole{0, 0, src_world->width, src_world->height};
    const auto transfer = m_flags == PF_MF_Alpha_STRAIGHT ? TransferInFront : TransferInFrontPremul;
    transfer(*src_world, src_rec != nullptr ? *src_rec : whole, dest_x, dest_y, comp_mode->opacity,
             *dst_world, c.settings().threads());
    return c.Done(PF_Err_NONE);
  });
}

void FillIterate8Suite(PF_Iterate8Suite1& suite) {
  suite.iterate = iterate;
  QS_STUB(suite, iterate_origin, kPfStubError);
  QS_STUB(suite, iterate_lut, kPfStubError);
  QS_STUB(suite, iterate_origin_non_clip_src, kPfStubError);
  // Only the utility table's iterate_generic is implemented.
  QS_STUB(suite, iterate_generic, kPfStubError);
}

void FillTransformSuite(PF_WorldTransformSuite1& suite) {
  QS_STUB(suite, composite_rect, kPfStubError);
  QS_STUB(suite, blend, kPfStubError);
  QS_STUB(suite, convolve, kPfStubError);
  QS_STUB(suite, copy, kPfStubError);
  QS_STUB(suite, copy_hq, kPfStubError);
  suite.transfer_rect = transfer_rect;
  QS_STUB(suite, transform_world, kPfStubError);
}

}  // namespace quillstreak::host::callbacks
