// Smart render: composites one output frame from the renderings the plan asked for.
#pragma once

#include "hostapi/HostApi.h"

namespace quillstreak {

/// Draws the planned trail behind the current frame into the output; frees the sample list.
PF_Err SmartRender(PF_InData& in_data, PF_SmartRenderExtra& extra);

}  // namespace quillstreak
