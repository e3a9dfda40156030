#include "plan/MotionSampling.h"

#include "frame/AegpRefs.h"
#include "frame/HostServices.h"
#include "params/ParamIndex.h"

namespace quillstreak {
namespace {

PF_Err ReadStream(const AEGP_StreamSuite4& streams, AEGP_LayerH layer, AEGP_LayerStream which,
                  const A_Time& time, AEGP_StreamVal2& value) {
  return CallHost(streams.AEGP_GetLayerStreamValue, layer, which,
                  AEGP_LTimeMode{AEGP_LTimeMode_LayerTime}, &time, A_Boolean{0}, &value,
                  static_cast<AEGP_StreamType*>(nullptr));
}

}  // namespace

PF_Err ReadLayerTransform(SuiteCache& suites, AEGP_LayerH layer, A_long time, A_u_long timeScale,
                          LayerTransform& out) {
  const AEGP_StreamSuite4& streams = suites.StreamSuite4();
  const A_Time at{time, timeScale};
  AEGP_StreamVal2 value{};

  if (const PF_Err err = ReadStream(streams, layer, AEGP_LayerStream_POSITION, at, value)) {
    return err;
  }
  out.position[0] = value.three_d.x;
  out.position[1] = value.three_d.y;
  out.position[2] = value.three_d.z;

  if (const PF_Err err = ReadStream(streams, layer, AEGP_LayerStream_SCALE, at, value)) {
    return err;
  }
  out.scale[0] = value.three_d.x;
  out.scale[1] = value.three_d.y;

  if (const PF_Err err = ReadStream(streams, layer, AEGP_LayerStream_ANCHORPOINT, at, value)) {
    return err;
  }
  out.anchor[0] = value.three_d.x;
  out.anchor[1] = value.three_d.y;
  out.anchor[2] = value.three_d.z;

  if (const PF_Err err = ReadStream(streams, layer, AEGP_LayerStream_ROTATION, at, value)) {
    return err;
  }
  out.rotateZ = value.one_d;

  if (const PF_Err err = ReadStream(streams, layer, AEGP_LayerStream_ROTATE_Y, at, value)) {
    return err;
  }
  out.rotateY = value.one_d;

  if (const PF_Err err = ReadStream(streams, layer, AEGP_LayerStream_ROTATE_X, at, value)) {
    return err;
  }
  out.rotateX = value.one_d;
  return PF_Err_NONE;
}

PF_Err FindMotionSourceLayer(PF_InData& in_data, AEGP_LayerH& layer) {
  layer = nullptr;
  SuiteCache suites(in_data.pica_basicP);
  ScopedEffectRef effect(suites);
  ScopedStream stream(suites);
  AEGP_LayerIDVal layerId = 0;
  AEGP_LayerH ownLayer = nullptr;
  AEGP_CompH comp = nullptr;

  const AEGP_PFInterfaceSuite1& pfInterface = suites.PFInterfaceSuite1();
  PrepareEffectRefDisposal(suites);
  PF_Err err =
      CallHost(pfInterface.AEGP_GetNewEffectForEffect, kPluginId, in_data.effect_ref, effect.out());
  if (err == PF_Err_NONE) {
    err = CallHost(suites.StreamSuite2().AEGP_GetNewEffectStreamByIndex, kPluginId, effect.get(),
                   PF_ParamIndex{PARAM_MOTION_SOURCE}, stream.out());
  }
  if (err == PF_Err_NONE) {
    // The choice is read at time 0, before expressions, whatever the frame's time.
    const A_Time atStart{0, 1};
    AEGP_StreamValue value{};
    const AEGP_StreamSuite2& streams = suites.StreamSuite2();
    err = CallHost(streams.AEGP_GetNewStreamValue, kPluginId, stream.get(),
                   AEGP_LTimeMode{AEGP_LTimeMode_LayerTime}, &atStart, A_Boolean{1}, &value);
    if (err == PF_Err_NONE) {
      layerId = value.val.layer_id;
      err = CallHost(streams.AEGP_DisposeStreamValue, &value);
    }
  }
  if (err == PF_Err_NONE) {
    err = CallHost(suites.PFInterfaceSuite1().AEGP_GetEffectLayer, in_data.effect_ref, &ownLayer);
  }
  if (err == PF_Err_NONE) {
    err = CallHost(suites.LayerSuite5().AEGP_GetLayerParentComp, ownLayer, &comp);
  }
  if (err == PF_Err_NONE) {
    err = CallHost(suites.LayerSuite7().AEGP_GetLayerFromLayerID, comp, layerId, &layer);
  }
  if (err != PF_Err_NONE) {
    layer = nullptr;
  }
  KeepFirst(err, stream.Dispose());
  KeepFirst(err, effect.Dispose());
  return err;
}

PF_Err SampleMotion(PF_InData& in_data, TrailPlan& plan) {
  SuiteCache suites(in_data.pica_basicP);
  AEGP_LayerH layer = nullptr;
  PF_Err err = PF_Err_NONE;
  if (plan.motionSourceLayer.data != nullptr) {
    err = FindMotionSourceLayer(in_data, layer);
  } else {
    err = CallHost(suites.PFInterfaceSuite1().AEGP_GetEffectLayer, in_data.effect_ref, &layer);
  }
  if (err != PF_Err_NONE) {
    return err;
  }
  const A_u_long timeScale = in_data.time_scale;
  return SelectSampleTimes(plan, in_data.current_time, in_data.downsample_x, in_data.downsample_y,
                           [&suites, layer, timeScale](A_long time, LayerTransform& out) {
                             return ReadLayerTransform(suites, layer, time, timeScale, out);
                           });
}

}  // namespace quillstreak
