// The module's only export.
#include "frame/Dispatch.h"

#if defined(_WIN32)
#define QS_EXPORT __declspec(dllexport)
#else
#define QS_EXPORT __attribute__((visibility("default")))
#endif

extern "C" QS_EXPORT PF_Err EntryPointFunc(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data,
                                           PF_ParamDef* params[], PF_LayerDef* output,
                                           void* extra) {
  try {
    return quillstreak::Dispatch(cmd, {in_data, out_data, params, output, extra});
  } catch (...) {
    return PF_Err_INTERNAL_STRUCT_DAMAGED;
  }
}
