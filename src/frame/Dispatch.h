// Routes each host command to its handler and turns what a handler throws into a result code.
#pragma once

#include "hostapi/HostApi.h"

namespace quillstreak {

/// What the host passed with one command.
struct CommandArgs {
  PF_InData* in_data;
  PF_OutData* out_data;
  PF_ParamDef** params;
  PF_LayerDef* output;
  void* extra;
};

using CommandHandler = PF_Err (*)(const CommandArgs& args);

/// The handler of a command, or null for the commands the effect leaves alone.
CommandHandler FindHandler(PF_Cmd cmd);

/// Runs one command inside one guarded region: an integer thrown by the handler becomes the
/// result, anything else PF_Err_INTERNAL_STRUCT_DAMAGED. Unhandled commands return PF_Err_NONE.
PF_Err Dispatch(PF_Cmd cmd, const CommandArgs& args);

/// The same guard around any handler; exposed for tests.
PF_Err RunGuarded(CommandHandler handler, const CommandArgs& args);

}  // namespace quillstreak
