// Behaviour of the effect controls: the Swap Colors button and hiding the ungrouped sliders.
#pragma once

#include "hostapi/HostApi.h"

namespace quillstreak {

/// Exchanges the ramp start and end colours when the Swap Colors button was pressed.
PF_Err UserChangedParam(PF_ParamDef* params[], const PF_UserChangedParamExtra& extra);

/// Hides the Left, Top, Right and Bottom sliders from the effect controls.
PF_Err UpdateParamsUI(PF_InData& in_data);

}  // namespace quillstreak
