// The host's callbacks, grouped by the table they serve: the interaction callbacks, the utility
// callbacks, the handle, iterate and transform functions (in the utility table and in suites),
// the ANSI functions, the basic suite, the AEGP suites, and the pre-render and smart-render
// callbacks. Every slot of every table is set: what the host does not implement is a stub.
#pragma once

#include "hostapi/HostApi.h"

namespace quillstreak::host::callbacks {

// ---- whole records (HostRecords) ------------------------------------------------------------
void InstallInteraction(PF_InteractCallbacks& inter);
void InstallUtility(PF_UtilCallbacks& utils);
void InstallBasicSuite(SPBasicSuite& basic);
void InstallRender(PF_PreRenderCallbacks& pre, PF_SmartRenderCallbacks& smart);

// ---- suite tables (SuiteTable.cpp) ----------------------------------------------------------
void FillHandleSuite(PF_HandleSuite1& suite);
void FillIterate8Suite(PF_Iterate8Suite1& suite);
void FillTransformSuite(PF_WorldTransformSuite1& suite);
void FillAnsiSuite(PF_ANSICallbacksSuite1& suite);
void FillPFInterfaceSuite(AEGP_PFInterfaceSuite1& suite);
void FillStreamSuite(AEGP_StreamSuite2& suite);
void FillStreamSuite(AEGP_StreamSuite4& suite);
void FillDynamicStreamSuite(AEGP_DynamicStreamSuite2& suite);
void FillEffectSuite(AEGP_EffectSuite2& suite);
void FillLayerSuite(AEGP_LayerSuite5& suite);
void FillLayerSuite(AEGP_LayerSuite7& suite);

// ---- functions that serve the utility table and a suite alike -------------------------------
void FillAnsiCallbacks(PF_ANSICallbacks& ansi);  // the utility table's ANSI block

PF_Handle host_new_handle(A_HandleSize size);
void* host_lock_handle(PF_Handle handle);
void host_unlock_handle(PF_Handle handle);
void host_dispose_handle(PF_Handle handle);
A_HandleSize host_get_handle_size(PF_Handle handle);
PF_Err host_resize_handle(A_HandleSize new_size, PF_Handle* handleP);

PF_Err fill(PF_ProgPtr ref, const PF_Pixel* color, const PF_Rect* rect, PF_EffectWorld* world);
PF_Err iterate(PF_InData* in_data, A_long progress_base, A_long progress_final, PF_EffectWorld* src,
               const PF_Rect* area, void* refcon, PF_IteratePixel8Func pix_fn, PF_EffectWorld* dst);
PF_Err iterate_generic(A_long iterations, void* refcon, PF_IterateGenericFunc fn);
PF_Err transfer_rect(PF_ProgPtr ref, PF_Quality quality, PF_ModeFlags m_flags, PF_Field field,
                     const PF_Rect* src_rec, const PF_EffectWorld* src_world,
                     const PF_CompositeMode* comp_mode, const PF_MaskWorld* mask_world0,
                     A_long dest_x, A_long dest_y, PF_EffectWorld* dst_world);

}  // namespace quillstreak::host::callbacks
