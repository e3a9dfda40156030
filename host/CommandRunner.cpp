#include "host/CommandRunner.h"

#include <stdexcept>

#include "callbacks/CallbackContext.h"
#include "host/Faults.h"
#include "host/HostRecords.h"
#include "host/Scene.h"
#include "host/WorldPool.h"

namespace quillstreak::host {

// Marks the runner busy and makes its host the current host of this thread.
class CommandRunner::Scope {
 public:
  explicit Scope(CommandRunner& runner) : runner_(runner), current_(Enter(runner)) {}
  ~Scope() { runner_.busy_ = false; }
  Scope(const Scope&) = delete;
  Scope& operator=(const Scope&) = delete;

 private:
  static CallbackContext* Enter(CommandRunner& runner) {
    if (runner.busy_)
      throw std::logic_error("quillstreak::host::Host: a command is already running");
    runner.busy_ = true;
    return runner.context_;
  }

  CommandRunner& runner_;
  CallbackContext::CurrentScope current_;
};

PF_Err CommandRunner::Send(PF_Cmd cmd, PF_ParamDef** params, PF_LayerDef* output, void* extra) {
  if (busy_) throw std::logic_error("quillstreak::host::Host: a command is already running");
  if (hooks_ != nullptr) hooks_->BeforeCommand(cmd);
  worlds_.SetImageBytes(scene_.comp().SourceImageBytes());
  PF_Err err = PF_Err_NONE;
  {
    Scope scope(*this);
    records_.PrepareCall(settings_, faults_.basicSuiteWithheld());
    err = records_.entry()(cmd, &records_.in_data(), &records_.out_data(), params, output, extra);
  }
  if (hooks_ != nullptr) hooks_->AfterCommand(cmd, extra);
  worlds_.EndCommand();
  return err;
}

void CommandRunner::CallDeleter(PF_DeletePreRenderDataFunc deleter, void* data) {
  Scope scope(*this);
  deleter(data);
}

}  // namespace quillstreak::host
