// Sends commands to the effect: one at a time (the busy flag), with the host's records, this
// host current on the thread while the effect runs, and the command's worlds released when it
// returns.
#pragma once

#include "hostapi/HostApi.h"

namespace quillstreak::host {

class CallbackContext;
class Faults;
class HostRecords;
class RenderSettings;
class Scene;
class WorldPool;

/// What the frame protocol does around the commands the runner sends (FrameProtocol).
class CommandHooks {
 public:
  /// Before the effect runs `cmd` (the host not yet current).
  virtual void BeforeCommand(PF_Cmd cmd) = 0;
  /// After it returned, before the command's worlds are released.
  virtual void AfterCommand(PF_Cmd cmd, void* extra) = 0;

 protected:
  ~CommandHooks() = default;
};

class CommandRunner {
 public:
  CommandRunner(HostRecords& records, const Scene& scene, const RenderSettings& settings,
                const Faults& faults, WorldPool& worlds)
      : records_(records), scene_(scene), settings_(settings), faults_(faults), worlds_(worlds) {}
  CommandRunner(const CommandRunner&) = delete;
  CommandRunner& operator=(const CommandRunner&) = delete;

  /// What the callbacks see of the host, current while a command runs; set once by the host.
  void Attach(CallbackContext* context) { context_ = context; }
  /// The frame protocol's hooks around every command; set once by the frame protocol.
  void SetHooks(CommandHooks* hooks) { hooks_ = hooks; }

  /// Sends a command with the host's in_data and out_data as they stand, except for what every
  /// call sees as the settings and faults say (HostRecords::PrepareCall). A smart pre-render
  /// ends the pending frame first; smart pre-render and smart render drop the last output
  /// (FrameProtocol). The command's worlds are released when it returns. Throws
  /// std::logic_error when a command is already running.
  PF_Err Send(PF_Cmd cmd, PF_ParamDef** params, PF_LayerDef* output, void* extra);
  /// Calls a frame's pre-render deleter the same way, this host current (it may call back into
  /// the host). Throws std::logic_error when a command is running.
  void CallDeleter(PF_DeletePreRenderDataFunc deleter, void* data);
  /// Whether a command (or a deleter) is running.
  bool busy() const { return busy_; }

 private:
  class Scope;

  HostRecords& records_;
  const Scene& scene_;
  const RenderSettings& settings_;
  const Faults& faults_;
  WorldPool& worlds_;
  CallbackContext* context_ = nullptr;
  CommandHooks* hooks_ = nullptr;
  bool busy_ = false;
};

}  // namespace quillstreak::host
