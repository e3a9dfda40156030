// A stand-in effect module for the renderer's failure tests: global and parameter setup succeed
// (no parameters), and from frame 2 on (time 200 at 100 units per frame) the frame commands fail:
// smart render at frame 2, smart pre-render from frame 3.
#include "hostapi/HostApi.h"

#if defined(_WIN32)
#define QS_TEST_EXPORT __declspec(dllexport)
#else
#define QS_TEST_EXPORT __attribute__((visibility("default")))
#endif

extern "C" QS_TEST_EXPORT PF_Err EntryPointFunc(PF_Cmd cmd, PF_InData* in_data,
                                                PF_OutData* out_data, PF_ParamDef*[], PF_LayerDef*,
                                                void*) {
  switch (cmd) {
    case PF_Cmd_PARAMS_SETUP:
      out_data->num_params = 1;
      return PF_Err_NONE;
    case PF_Cmd_SMART_PRE_RENDER:
      return in_data->current_time >= 300 ? PF_Err_BAD_CALLBACK_PARAM : PF_Err_NONE;
    case PF_Cmd_SMART_RENDER:
      return in_data->current_time >= 200 ? PF_Err_OUT_OF_MEMORY : PF_Err_NONE;
    default:
      return PF_Err_NONE;
  }
}
