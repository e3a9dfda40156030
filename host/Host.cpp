#include "host/Host.h"

#include "callbacks/CallbackContext.h"

namespace quillstreak::host {

Host::Host(PF_FilterProc entry)
    : records_(entry),
      context_(std::make_unique<CallbackContext>(records_, scene_, params_, registries_, journal_,
                                                 faults_, worlds_, frames_)) {
  records_.Attach(context_.get());
  SyncInData();
}

Host::~Host() {
  try {
    if (!records_.busy()) frames_.EndFrame();
  } catch (...) {
  }
}

PF_Err Host::GlobalSetup() {
  SyncInData();
  return Send(PF_Cmd_GLOBAL_SETUP, nullptr, nullptr, nullptr);
}

PF_Err Host::GlobalSetdown() {
  SyncInData();
  return Send(PF_Cmd_GLOBAL_SETDOWN, nullptr, nullptr, nullptr);
}

PF_Err Host::About() {
  SyncInData();
  return Send(PF_Cmd_ABOUT, nullptr, nullptr, nullptr);
}

PF_Err Host::ParamsSetup() {
  SyncInData();
  params_.ClearDeclared();
  records_.in_data().num_params = 1;
  const PF_Err err = Send(PF_Cmd_PARAMS_SETUP, nullptr, nullptr, nullptr);
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
  return Send(cmd, list.data(), nullptr, extra);
}

PF_Err Host::UserChangedParam(int index) {
  SyncInData();
  std::vector<PF_ParamDef> defs = params_.AllAt(scene_.time());
  for (PF_ParamDef& d : defs) d.uu.change_flags = PF_ChangeFlag_NONE;  // held the disk id so far
  PF_UserChangedParamExtra extra{index};
  const PF_Err err = SendAll(PF_Cmd_USER_CHANGED_PARAM, defs, &extra);
  if (err != PF_Err_NONE) return err;
  for (int i = 0; i < static_cast<int>(defs.size()); ++i) {
    const PF_ParamDef& d = defs[static_cast<std::size_t>(i)];
    if ((d.uu.change_flags & PF_ChangeFlag_CHANGED_VALUE) == 0) continue;
    switch (d.param_type) {
      case PF_Param_FLOAT_SLIDER:
        params_.SetFloat(i, d.u.fs_d.value);
        break;
      case PF_Param_COLOR:
        params_.SetColor(i, d.u.cd.value);
        break;
      case PF_Param_CHECKBOX:
        params_.SetCheckbox(i, d.u.bd.value != 0);
        break;
      default:
        break;
    }
  }
  return err;
}

PF_Err Host::UpdateParamsUI() {
  SyncInData();
  std::vector<PF_ParamDef> defs = params_.AllAt(scene_.time());
  return SendAll(PF_Cmd_UPDATE_PARAMS_UI, defs, nullptr);
}

}  // namespace quillstreak::host
