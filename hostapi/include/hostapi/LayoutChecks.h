// Compile-time pins of the host ABI: sizes, offsets and callback slots that must match the host
// on Windows x64 (and agree on Linux x86-64).
#pragma once

#include <cstddef>

#include "AegpApi.h"
#include "BasicSuite.h"
#include "EffectApi.h"
#include "EffectSuites.h"

#define QS_PIN_SIZE(T, n) static_assert(sizeof(T) == (n), "size of " #T)
#define QS_PIN_OFFSET(T, m, n) static_assert(offsetof(T, m) == (n), "offset of " #T "." #m)

// Basic widths.
QS_PIN_SIZE(A_long, 4);
QS_PIN_SIZE(A_short, 2);
QS_PIN_SIZE(A_Boolean, 1);
QS_PIN_SIZE(PF_Boolean, 1);
QS_PIN_SIZE(SPBoolean, 4);
QS_PIN_SIZE(PF_ValueDisplayFlags, 2);
QS_PIN_SIZE(AEGP_LTimeMode, 2);
QS_PIN_SIZE(PF_RenderOutputFlags, 2);
QS_PIN_SIZE(A_Time, 8);
QS_PIN_SIZE(PF_Pixel, 4);
QS_PIN_SIZE(PF_LRect, 16);
QS_PIN_SIZE(PF_RationalScale, 8);
QS_PIN_SIZE(PF_SpecVersion, 4);

// PF_InData
QS_PIN_SIZE(PF_InData, 408);
QS_PIN_OFFSET(PF_InData, inter, 0);
QS_PIN_OFFSET(PF_InData, utils, 176);
QS_PIN_OFFSET(PF_InData, effect_ref, 184);
QS_PIN_OFFSET(PF_InData, quality, 192);
QS_PIN_OFFSET(PF_InData, appl_id, 204);
QS_PIN_OFFSET(PF_InData, current_time, 224);
QS_PIN_OFFSET(PF_InData, time_step, 228);
QS_PIN_OFFSET(PF_InData, local_time_step, 236);
QS_PIN_OFFSET(PF_InData, time_scale, 240);
QS_PIN_OFFSET(PF_InData, field, 244);
QS_PIN_OFFSET(PF_InData, extent_hint, 260);
QS_PIN_OFFSET(PF_InData, downsample_x, 284);
QS_PIN_OFFSET(PF_InData, downsample_y, 292);
QS_PIN_OFFSET(PF_InData, global_data, 312);
QS_PIN_OFFSET(PF_InData, sequence_data, 320);
QS_PIN_OFFSET(PF_InData, src_snd, 352);
QS_PIN_OFFSET(PF_InData, pica_basicP, 384);
QS_PIN_OFFSET(PF_InData, shutter_phase, 400);

// PF_OutData
QS_PIN_SIZE(PF_OutData, 408);
QS_PIN_OFFSET(PF_OutData, my_version, 0);
QS_PIN_OFFSET(PF_OutData, num_params, 48);
QS_PIN_OFFSET(PF_OutData, out_flags, 96);
QS_PIN_OFFSET(PF_OutData, return_msg, 100);
QS_PIN_OFFSET(PF_OutData, out_flags2, 400);

// Callback tables
QS_PIN_SIZE(PF_InteractCallbacks, 176);
QS_PIN_OFFSET(PF_InteractCallbacks, checkout_param, 0);
QS_PIN_OFFSET(PF_InteractCallbacks, checkin_param, 8);
QS_PIN_OFFSET(PF_InteractCallbacks, add_param, 16);
QS_PIN_OFFSET(PF_InteractCallbacks, reserved_str, 72);
QS_PIN_OFFSET(PF_InteractCallbacks, reserved, 96);
QS_PIN_SIZE(PF_UtilCallbacks, 552);
QS_PIN_OFFSET(PF_UtilCallbacks, fill, 72);
QS_PIN_OFFSET(PF_UtilCallbacks, iterate, 88);
QS_PIN_OFFSET(PF_UtilCallbacks, transfer_rect, 144);
QS_PIN_OFFSET(PF_UtilCallbacks, host_new_handle, 160);
QS_PIN_OFFSET(PF_UtilCallbacks, app, 200);
QS_PIN_OFFSET(PF_UtilCallbacks, ansi, 208);
QS_PIN_OFFSET(PF_UtilCallbacks, colorCB, 368);
QS_PIN_OFFSET(PF_UtilCallbacks, get_platform_data, 432);
QS_PIN_OFFSET(PF_UtilCallbacks, get_pixel_data16, 536);
QS_PIN_OFFSET(PF_UtilCallbacks, reserved, 544);
static_assert(offsetof(PF_UtilCallbacks, ansi) + offsetof(PF_ANSICallbacks, sprintf) == 328,
              "utils ansi.sprintf slot");
static_assert(offsetof(PF_UtilCallbacks, ansi) + offsetof(PF_ANSICallbacks, strcpy) == 336,
              "utils ansi.strcpy slot");
QS_PIN_SIZE(PF_ANSICallbacks, 160);
QS_PIN_OFFSET(PF_ANSICallbacks, sprintf, 120);
QS_PIN_OFFSET(PF_ANSICallbacks, strcpy, 128);
QS_PIN_OFFSET(PF_ANSICallbacks, ansi_procs, 152);
QS_PIN_SIZE(PF_ColorCallbacks, 64);
QS_PIN_SIZE(PF_PreRenderCallbacks, 16);
QS_PIN_OFFSET(PF_PreRenderCallbacks, checkout_layer, 0);
QS_PIN_SIZE(PF_SmartRenderCallbacks, 24);
QS_PIN_OFFSET(PF_SmartRenderCallbacks, checkout_layer_pixels, 0);
QS_PIN_OFFSET(PF_SmartRenderCallbacks, checkout_output, 16);

// Parameter definitions
QS_PIN_SIZE(PF_ParamDef, 176);
QS_PIN_OFFSET(PF_ParamDef, uu, 0);
QS_PIN_OFFSET(PF_ParamDef, ui_flags, 4);
QS_PIN_OFFSET(PF_ParamDef, ui_width, 8);
QS_PIN_OFFSET(PF_ParamDef, ui_height, 10);
QS_PIN_OFFSET(PF_ParamDef, param_type, 12);
QS_PIN_OFFSET(PF_ParamDef, name, 16);
QS_PIN_OFFSET(PF_ParamDef, flags, 48);
QS_PIN_OFFSET(PF_ParamDef, unused, 52);
QS_PIN_OFFSET(PF_ParamDef, u, 56);
QS_PIN_SIZE(PF_ParamDefUnion, 120);
static_assert(alignof(PF_ParamDefUnion) == 8, "PF_ParamDefUnion alignment");
QS_PIN_SIZE(PF_LayerDef, 120);
QS_PIN_OFFSET(PF_LayerDef, world_flags, 16);
QS_PIN_OFFSET(PF_LayerDef, data, 24);
QS_PIN_OFFSET(PF_LayerDef, rowbytes, 32);
QS_PIN_OFFSET(PF_LayerDef, width, 36);
QS_PIN_OFFSET(PF_LayerDef, height, 40);
QS_PIN_OFFSET(PF_LayerDef, extent_hint, 44);
QS_PIN_OFFSET(PF_LayerDef, platform_ref, 64);
QS_PIN_OFFSET(PF_LayerDef, reserved_long1, 72);
QS_PIN_OFFSET(PF_LayerDef, reserved_long4, 80);
QS_PIN_OFFSET(PF_LayerDef, pix_aspect_ratio, 88);
QS_PIN_OFFSET(PF_LayerDef, reserved_long2, 96);
QS_PIN_OFFSET(PF_LayerDef, origin_x, 104);
QS_PIN_OFFSET(PF_LayerDef, origin_y, 108);
QS_PIN_OFFSET(PF_LayerDef, dephault, 116);
QS_PIN_SIZE(PF_SliderDef, 88);
QS_PIN_SIZE(PF_FixedSliderDef, 92);
QS_PIN_SIZE(PF_FloatSliderDef, 88);
QS_PIN_OFFSET(PF_FloatSliderDef, value, 0);
QS_PIN_OFFSET(PF_FloatSliderDef, phase, 8);
QS_PIN_OFFSET(PF_FloatSliderDef, value_desc, 16);
QS_PIN_OFFSET(PF_FloatSliderDef, valid_min, 48);
QS_PIN_OFFSET(PF_FloatSliderDef, valid_max, 52);
QS_PIN_OFFSET(PF_FloatSliderDef, slider_min, 56);
QS_PIN_OFFSET(PF_FloatSliderDef, slider_max, 60);
QS_PIN_OFFSET(PF_FloatSliderDef, dephault, 64);
QS_PIN_OFFSET(PF_FloatSliderDef, precision, 68);
QS_PIN_OFFSET(PF_FloatSliderDef, display_flags, 70);
QS_PIN_OFFSET(PF_FloatSliderDef, fs_flags, 72);
QS_PIN_OFFSET(PF_FloatSliderDef, curve_tolerance, 76);
QS_PIN_OFFSET(PF_FloatSliderDef, useExponent, 80);
QS_PIN_OFFSET(PF_FloatSliderDef, exponent, 84);
QS_PIN_SIZE(PF_AngleDef, 16);
QS_PIN_SIZE(PF_CheckBoxDef, 16);
QS_PIN_OFFSET(PF_CheckBoxDef, dephault, 4);
QS_PIN_OFFSET(PF_CheckBoxDef, u, 8);
QS_PIN_SIZE(PF_ColorDef, 8);
QS_PIN_OFFSET(PF_ColorDef, dephault, 4);
QS_PIN_SIZE(PF_PointDef, 20);
QS_PIN_SIZE(PF_Point3DDef, 64);
QS_PIN_SIZE(PF_PopupDef, 16);
QS_PIN_SIZE(PF_ButtonDef, 16);
QS_PIN_OFFSET(PF_ButtonDef, u, 8);
QS_PIN_SIZE(PF_PathDef, 12);
QS_PIN_SIZE(PF_ArbitraryDef, 32);

// Worlds and small records
QS_PIN_SIZE(PF_CompositeMode, 12);
QS_PIN_OFFSET(PF_CompositeMode, opacity, 8);
QS_PIN_OFFSET(PF_CompositeMode, rgb_only, 9);
QS_PIN_OFFSET(PF_CompositeMode, opacitySu, 10);
QS_PIN_SIZE(PF_SoundFormatInfo, 16);
QS_PIN_SIZE(PF_SoundWorld, 32);
QS_PIN_SIZE(PF_MaskWorld, 136);
QS_PIN_SIZE(PF_SampPB, 104);
QS_PIN_SIZE(PF_FloatMatrix, 72);

// Command extras
QS_PIN_SIZE(PF_UserChangedParamExtra, 4);
QS_PIN_SIZE(PF_RenderRequest, 44);
QS_PIN_OFFSET(PF_RenderRequest, channel_mask, 20);
QS_PIN_OFFSET(PF_RenderRequest, preserve_rgb_of_zero_alpha, 24);
QS_PIN_SIZE(PF_CheckoutResult, 76);
QS_PIN_OFFSET(PF_CheckoutResult, max_result_rect, 16);
QS_PIN_OFFSET(PF_CheckoutResult, solid, 40);
QS_PIN_OFFSET(PF_CheckoutResult, ref_width, 44);
QS_PIN_SIZE(PF_PreRenderInput, 64);
QS_PIN_OFFSET(PF_PreRenderInput, bitdepth, 44);
QS_PIN_OFFSET(PF_PreRenderInput, gpu_data, 48);
QS_PIN_SIZE(PF_PreRenderOutput, 56);
QS_PIN_OFFSET(PF_PreRenderOutput, max_result_rect, 16);
QS_PIN_OFFSET(PF_PreRenderOutput, solid, 32);
QS_PIN_OFFSET(PF_PreRenderOutput, flags, 34);
QS_PIN_OFFSET(PF_PreRenderOutput, pre_render_data, 40);
QS_PIN_OFFSET(PF_PreRenderOutput, delete_pre_render_data_func, 48);
QS_PIN_SIZE(PF_PreRenderExtra, 24);
QS_PIN_OFFSET(PF_PreRenderExtra, cb, 16);
QS_PIN_SIZE(PF_SmartRenderInput, 72);
QS_PIN_OFFSET(PF_SmartRenderInput, pre_render_data, 48);
QS_PIN_SIZE(PF_SmartRenderExtra, 16);
QS_PIN_OFFSET(PF_SmartRenderExtra, cb, 8);

// AEGP values
QS_PIN_SIZE(AEGP_TwoDVal, 16);
QS_PIN_SIZE(AEGP_ThreeDVal, 24);
QS_PIN_SIZE(AEGP_ColorVal, 32);
QS_PIN_SIZE(AEGP_StreamVal2, 32);
QS_PIN_SIZE(AEGP_StreamValue2, 40);
QS_PIN_OFFSET(AEGP_StreamValue2, val, 8);
QS_PIN_SIZE(AEGP_StreamVal, 32);
QS_PIN_SIZE(AEGP_StreamValue, 40);
QS_PIN_OFFSET(AEGP_StreamValue, val, 8);
QS_PIN_SIZE(AEGP_LayerTransferMode, 12);

// Suites and the slots the effect calls.
QS_PIN_SIZE(SPBasicSuite, 56);
QS_PIN_OFFSET(SPBasicSuite, AcquireSuite, 0);
QS_PIN_OFFSET(SPBasicSuite, ReleaseSuite, 8);
QS_PIN_SIZE(PF_HandleSuite1, 48);
QS_PIN_OFFSET(PF_HandleSuite1, host_new_handle, 0);
QS_PIN_OFFSET(PF_HandleSuite1, host_lock_handle, 8);
QS_PIN_OFFSET(PF_HandleSuite1, host_unlock_handle, 16);
QS_PIN_OFFSET(PF_HandleSuite1, host_dispose_handle, 24);
QS_PIN_SIZE(PF_Iterate8Suite1, 40);
QS_PIN_OFFSET(PF_Iterate8Suite1, iterate, 0);
QS_PIN_SIZE(PF_WorldTransformSuite1, 56);
QS_PIN_OFFSET(PF_WorldTransformSuite1, transfer_rect, 40);
QS_PIN_SIZE(PF_ANSICallbacksSuite1, 152);
QS_PIN_OFFSET(PF_ANSICallbacksSuite1, sprintf, 120);
QS_PIN_OFFSET(PF_ANSICallbacksSuite1, strcpy, 128);
QS_PIN_SIZE(AEGP_PFInterfaceSuite1, 40);
QS_PIN_OFFSET(AEGP_PFInterfaceSuite1, AEGP_GetEffectLayer, 0);
QS_PIN_OFFSET(AEGP_PFInterfaceSuite1, AEGP_GetNewEffectForEffect, 8);
QS_PIN_SIZE(AEGP_StreamSuite2, 176);
QS_PIN_SIZE(AEGP_StreamSuite4, 176);
QS_PIN_OFFSET(AEGP_StreamSuite2, AEGP_GetNewEffectStreamByIndex, 40);
QS_PIN_OFFSET(AEGP_StreamSuite2, AEGP_DisposeStream, 56);
QS_PIN_OFFSET(AEGP_StreamSuite2, AEGP_GetNewStreamValue, 104);
QS_PIN_OFFSET(AEGP_StreamSuite2, AEGP_DisposeStreamValue, 112);
QS_PIN_OFFSET(AEGP_StreamSuite4, AEGP_GetLayerStreamValue, 128);
QS_PIN_SIZE(AEGP_DynamicStreamSuite2, 136);
QS_PIN_OFFSET(AEGP_DynamicStreamSuite2, AEGP_SetDynamicStreamFlag, 40);
QS_PIN_SIZE(AEGP_EffectSuite2, 136);
QS_PIN_OFFSET(AEGP_EffectSuite2, AEGP_DisposeEffect, 64);
QS_PIN_SIZE(AEGP_LayerSuite5, 368);
QS_PIN_SIZE(AEGP_LayerSuite7, 384);
QS_PIN_OFFSET(AEGP_LayerSuite5, AEGP_GetLayerParentComp, 48);
QS_PIN_OFFSET(AEGP_LayerSuite7, AEGP_GetLayerFromLayerID, 360);

#undef QS_PIN_SIZE
#undef QS_PIN_OFFSET
