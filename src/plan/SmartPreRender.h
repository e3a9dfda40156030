// Smart pre-render: builds the frame's plan and asks the host for the input renderings it needs.
#pragma once

#include "hostapi/HostApi.h"

namespace quillstreak {

/// Attaches the frame's plan, checks out the input it needs and grows the output rectangles.
PF_Err SmartPreRender(PF_InData& in_data, PF_PreRenderExtra& extra);

/// Grows `into` by `by`: an empty rectangle takes `by` whole; an empty `by` changes nothing;
/// otherwise the union. Empty means left >= right or top >= bottom.
void GrowRect(PF_LRect& into, const PF_LRect& by);

}  // namespace quillstreak
