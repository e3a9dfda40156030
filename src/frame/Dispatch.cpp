#include "frame/Dispatch.h"

#include <array>

#include "frame/GlobalCommands.h"
#include "params/ParamSetup.h"
#include "params/ParamUI.h"
#include "plan/SmartPreRender.h"
#include "render/SmartRender.h"

namespace quillstreak {
namespace {

// Each adapter passes a handler only the arguments it takes, and refuses a command whose
// records are missing rather than following a null pointer.

PF_Err OnAbout(const CommandArgs& a) {
  if (a.in_data == nullptr || a.out_data == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
  return About(*a.in_data, *a.out_data);
}

PF_Err OnGlobalSetup(const CommandArgs& a) {
  if (a.in_data == nullptr || a.out_data == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
  return GlobalSetup(*a.in_data, *a.out_data);
}

PF_Err OnGlobalSetdown(const CommandArgs&) { return PF_Err_NONE; }

PF_Err OnParamsSetup(const CommandArgs& a) {
  if (a.in_data == nullptr || a.out_data == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
  return ParamsSetup(*a.in_data, *a.out_data);
}

PF_Err OnUserChangedParam(const CommandArgs& a) {
  if (a.params == nullptr || a.extra == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
  return UserChangedParam(a.params, *static_cast<const PF_UserChangedParamExtra*>(a.extra));
}

PF_Err OnUpdateParamsUI(const CommandArgs& a) {
  if (a.in_data == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
  return UpdateParamsUI(*a.in_data);
}

PF_Err OnSmartPreRender(const CommandArgs& a) {
  if (a.in_data == nullptr || a.extra == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
  return SmartPreRender(*a.in_data, *static_cast<PF_PreRenderExtra*>(a.extra));
}

PF_Err OnSmartRender(const CommandArgs& a) {
  if (a.in_data == nullptr || a.extra == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
  return SmartRender(*a.in_data, *static_cast<PF_SmartRenderExtra*>(a.extra));
}

struct CommandEntry {
  PF_Cmd cmd;
  CommandHandler handler;
};

constexpr std::array<CommandEntry, 8> kCommands = {{
    {PF_Cmd_ABOUT, OnAbout},
    {PF_Cmd_GLOBAL_SETUP, OnGlobalSetup},
    {PF_Cmd_GLOBAL_SETDOWN, OnGlobalSetdown},
    {PF_Cmd_PARAMS_SETUP, OnParamsSetup},
    {PF_Cmd_USER_CHANGED_PARAM, OnUserChangedParam},
    {PF_Cmd_UPDATE_PARAMS_UI, OnUpdateParamsUI},
    {PF_Cmd_SMART_PRE_RENDER, OnSmartPreRender},
    {PF_Cmd_SMART_RENDER, OnSmartRender},
}};

}  // namespace

CommandHandler FindHandler(PF_Cmd cmd) {
  for (const CommandEntry& entry : kCommands) {
    if (entry.cmd == cmd) {
      return entry.handler;
    }
  }
  return nullptr;
}

PF_Err RunGuarded(CommandHandler handler, const CommandArgs& args) {
  try {
    return handler(args);
  } catch (PF_Err code) {
    return code;
  } catch (...) {
    return PF_Err_INTERNAL_STRUCT_DAMAGED;
  }
}

PF_Err Dispatch(PF_Cmd cmd, const CommandArgs& args) {
  const CommandHandler handler = FindHandler(cmd);
  if (handler == nullptr) {
    return PF_Err_NONE;
  }
  return RunGuarded(handler, args);
}

}  // namespace quillstreak
