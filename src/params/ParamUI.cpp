#include "params/ParamUI.h"

#include <array>
#include <optional>

#include "frame/AegpRefs.h"
#include "params/ParamIndex.h"

namespace quillstreak {

PF_Err UserChangedParam(PF_ParamDef* params[], const PF_UserChangedParamExtra& extra) {
  if (extra.param_index != PARAM_SWAP_COLORS) {
    return PF_Err_NONE;
  }
  PF_ParamDef* start = params[PARAM_RAMP_START_COLOR];
  PF_ParamDef* end = params[PARAM_RAMP_END_COLOR];
  if (start == nullptr || end == nullptr) {
    return PF_Err_BAD_CALLBACK_PARAM;
  }
  const PF_Pixel startColor = start->u.cd.value;
  start->u.cd.value = end->u.cd.value;
  end->u.cd.value = startColor;
  start->uu.change_flags = PF_ChangeFlag_CHANGED_VALUE;
  end->uu.change_flags = PF_ChangeFlag_CHANGED_VALUE;
  return PF_Err_NONE;
}

PF_Err UpdateParamsUI(PF_InData& in_data) {
  constexpr std::array<ParamIndex, 4> kHidden = {PARAM_LEFT, PARAM_TOP, PARAM_RIGHT, PARAM_BOTTOM};

  SuiteCache suites(in_data.pica_basicP);
  ScopedEffectRef effect(suites);
  std::array<std::optional<ScopedStream>, kHidden.size()> streams;

  const AEGP_PFInterfaceSuite1& pfInterface = suites.PFInterfaceSuite1();
  PrepareEffectRefDisposal(suites);
  PF_Err err =
      CallHost(pfInterface.AEGP_GetNewEffectForEffect, kPluginId, in_data.effect_ref, effect.out());
  std::size_t obtained = 0;
  if (err == PF_Err_NONE) {
    for (; obtained < kHidden.size(); ++obtained) {
      ScopedStream& stream = streams[obtained].emplace(suites);
      err = CallHost(suites.StreamSuite2().AEGP_GetNewEffectStreamByIndex, kPluginId, effect.get(),
                     PF_ParamIndex{kHidden[obtained]}, stream.out());
      if (err != PF_Err_NONE) break;
    }
  }
  if (err == PF_Err_NONE) {
    for (auto& stream : streams) {
      err = CallHost(suites.DynamicStreamSuite2().AEGP_SetDynamicStreamFlag, stream->get(),
                     AEGP_DynStreamFlags{AEGP_DynStreamFlag_HIDDEN}, A_Boolean{0}, A_Boolean{1});
      if (err != PF_Err_NONE) break;
    }
  }

  KeepFirst(err, effect.Dispose());
  for (auto& stream : streams) {
    if (stream) KeepFirst(err, stream->Dispose());
  }
  return err;
}

}  // namespace quillstreak
