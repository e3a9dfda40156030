// The utility callback table of in_data: the pixel and handle functions it shares with the
// suites, its ANSI block, and stubs for every slot the host does not implement.
#include "Callbacks.h"
#include "Stubs.h"

namespace quillstreak::host::callbacks {

using detail::kPfStubError;

void InstallUtility(PF_UtilCallbacks& u) {
  QS_STUB(u, begin_sampling, kPfStubError);
  QS_STUB(u, subpixel_sample, kPfStubError);
  QS_STUB(u, area_sample, kPfStubError);
  u.get_batch_func_is_deprecated = detail::ReservedStubAddress();
  QS_STUB(u, end_sampling, kPfStubError);
  QS_STUB(u, composite_rect, kPfStubError);
  QS_STUB(u, blend, kPfStubError);
  QS_STUB(u, convolve, kPfStubError);
  QS_STUB(u, copy, kPfStubError);
  u.fill = fill;
  QS_STUB(u, gaussian_kernel, kPfStubError);
  u.iterate = iterate;
  QS_STUB(u, premultiply, kPfStubError);
  QS_STUB(u, premultiply_color, kPfStubError);
  QS_STUB(u, new_world, kPfStubError);
  QS_STUB(u, dispose_world, kPfStubError);
  QS_STUB(u, iterate_origin, kPfStubError);
  QS_STUB(u, iterate_lut, kPfStubError);
  u.transfer_rect = transfer_rect;
  QS_STUB(u, transform_world, kPfStubError);
  u.host_new_handle = host_new_handle;
  u.host_lock_handle = host_lock_handle;
  u.host_unlock_handle = host_unlock_handle;
  u.host_dispose_handle = host_dispose_handle;
  QS_STUB(u, get_callback_addr, kPfStubError);
  QS_STUB(u, app, kPfStubError);
  FillAnsiCallbacks(u.ansi);
  QS_STUB(u.colorCB, RGBtoHLS, kPfStubError);
  QS_STUB(u.colorCB, HLStoRGB, kPfStubError);
  QS_STUB(u.colorCB, RGBtoYIQ, kPfStubError);
  QS_STUB(u.colorCB, YIQtoRGB, kPfStubError);
  QS_STUB(u.colorCB, Luminance, kPfStubError);
  QS_STUB(u.colorCB, Hue, kPfStubError);
  QS_STUB(u.colorCB, Lightness, kPfStubError);
  QS_STUB(u.colorCB, Saturation, kPfStubError);
  QS_STUB(u, get_platform_data, kPfStubError);
  u.host_get_handle_size = host_get_handle_size;
  QS_STUB(u, iterate_origin_non_clip_src, kPfStubError);
  u.iterate_generic = iterate_generic;
  u.host_resize_handle = host_resize_handle;
  QS_STUB(u, subpixel_sample16, kPfStubError);
  QS_STUB(u, area_sample16, kPfStubError);
  QS_STUB(u, fill16, kPfStubError);
  QS_STUB(u, premultiply_color16, kPfStubError);
  QS_STUB(u, iterate16, kPfStubError);
  QS_STUB(u, iterate_origin16, kPfStubError);
  QS_STUB(u, iterate_origin_non_clip_src16, kPfStubError);
  QS_STUB(u, get_pixel_data8, kPfStubError);
  QS_STUB(u, get_pixel_data16, kPfStubError);
  u.reserved[0] = 0;
}

}  // namespace quillstreak::host::callbacks
