// Motion sampling against the host: finds the measured layer and reads its transform streams.
#pragma once

#include "frame/SuiteCache.h"
#include "hostapi/HostApi.h"
#include "plan/SelectSampleTimes.h"
#include "plan/TrailPlan.h"

namespace quillstreak {

/// Appends the frame's sample times to `plan.sampleTimes` (empty on entry), measuring the
/// effect's own layer or the chosen Motion Source layer. Raises PF_Err_BAD_CALLBACK_PARAM when
/// a suite cannot be had.
PF_Err SampleMotion(PF_InData& in_data, TrailPlan& plan);

/// The layer chosen in the Motion Source parameter, looked up in the composition of the
/// effect's own layer.
PF_Err FindMotionSourceLayer(PF_InData& in_data, AEGP_LayerH& layer);

/// Reads position, scale, anchor point and the Z, Y and X rotations of a layer at a layer time.
PF_Err ReadLayerTransform(SuiteCache& suites, AEGP_LayerH layer, A_long time, A_u_long timeScale,
                          LayerTransform& out);

}  // namespace quillstreak
