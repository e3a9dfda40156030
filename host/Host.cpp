#include "host/Host.h"

#include "callbacks/CallbackContext.h"

namespace quillstreak::host {

Host::Host(PF_FilterProc entry)
    : records_(entry),
      context_(std::make_unique<CallbackContext>(records_, scene_, params_, accounts_, journal_,
                                                 faults_, frames_, settings_)) {
  runner_.Attach(context_.get());
  SyncInData();
}

Host::~Host() {
  try {
    if (!runner_.busy()) frames_.EndFrame();
  } catch (...) {
  }
}

PF_Err Host::SendSimple(PF_Cmd cmd) {
  SyncInData();
  return runner_.Send(cmd, nullptr, nullptr, nullptr);
}

PF_Err Host::GlobalSetup() { return SendSimple(PF_Cmd_GLOBAL_SETUP); }

PF_Err Host::GlobalSetdown() { return SendSimple(PF_Cmd_GLOBAL_SETDOWN); }

PF_Err Host::About() { return SendSimple(PF_Cmd_ABOUT); }

PF_Err Host::ParamsSetup() {
  SyncInData();
  params_.ClearDeclared();
  records_.in_data().num_params = 1;
  const PF_Err err = runner_.Send(PF_Cmd_PARAMS_SETUP, nullptr, nullptr, nullptr);
  if (err == PF_Err_NONE)
    records_.in_data().num_params = records_.out_data().num_params;
  else
    params_.ClearDeclared();  // a failed setup declares nothing, whatever it added so far
  return err;
}

// Sends a command with the parameter array `defs` (one pointer per definition).
PF_Err Host::SendAll(PF_Cmd cmd, std::vector<PF_ParamDef>& defs, void* extra) {
  std::vector<PF_ParamDef*> list;
  for (PF_ParamDef& d : defs) list.push_back(&d);
  return runner_.Send(cmd, list.data(), nullptr, extra);
}

PF_Err Host::UserChangedParam(int index) {
  SyncInData();
  std::vector<PF_ParamDef> defs = params_.AllAt(scene_.EffectLayerTime(settings_.time()));
  for (PF_ParamDef& d : defs) d.uu.change_flags = PF_ChangeFlag_NONE;  // held the disk id so far
  PF_UserChangedParamExtra extra{index};
  const PF_Err err = SendAll(PF_Cmd_USER_CHANGED_PARAM, defs, &extra);
  if (err == PF_Err_NONE) params_.StoreChangedValues(defs);
  return err;
}

PF_Err Host::UpdateParamsUI() {
  SyncInData();
  std::vector<PF_ParamDef> defs = params_.AllAt(scene_.EffectLayerTime(settings_.time()));
  return SendAll(PF_Cmd_UPDATE_PARAMS_UI, defs, nullptr);
}

FrameResult Host::RenderFrame(A_long time) {
  FrameResult result;
  settings_.SetTime(time);
  const Layer* effectLayer = scene_.comp().FindLayer(scene_.effectLayer());
  result.effectRan =
      effectLayer == nullptr || scene_.comp().Active(*effectLayer, time, scene_.comp().timeScale);
  if (!result.effectRan) {
    frames_.SkipFrame();
  } else {
    result.preRenderErr = frames_.SmartPreRender();
    if (result.preRenderErr == PF_Err_NONE) result.renderErr = frames_.SmartRender();
    result.sourceError = frames_.sourceError();
  }
  result.err = result.preRenderErr != PF_Err_NONE ? result.preRenderErr : result.renderErr;
  const PF_Err composite =
      compositor_.Composite(time, result.err == PF_Err_NONE, result.frame, &result.sourceError);
  if (result.err == PF_Err_NONE) result.err = composite;
  frames_.EndFrame();
  return result;
}

}  // namespace quillstreak::host
