// The substitute host: drives an effect module through its entry point the way the real host
// does, over a small composition, and records every host call the effect makes.
//
// A small facade: an accessor per part, and the commands that span parts.
//   scene()      the composition and the effect's layer
//   params()     parameter definitions, values and stream flags
//   settings()   every render setting: time, time steps, downsample, threads, the pre-render's
//                output request, the world budget and the layer cache
//   commands()   raw commands, one at a time (Send)
//   frames()     the frame protocol: pre-render, render, frame end, the layer checkouts
//   compositor() the composite of a frame, the effect layer alone
//   worlds()     the memory the host holds for pixels: the last output, the layer cache
//   journal()    every host call the effect made, with typed arguments
//   faults()     host calls made to fail, suites refused, no basic suite
//   accounts()   what the effect holds of the host's resources
//   records()    the raw in_data, out_data and callback tables
//
// Typical use:
//   quillstreak::host::Module module(quillstreak::host::DefaultModulePath());
//   quillstreak::host::Host host(module);
//   host.scene().comp().AddLayer(...);            // optional: a default 100x100 layer exists
//   host.GlobalSetup(); host.ParamsSetup();
//   host.params().SetFloat(2, 0.5);                // parameter values by index
//   auto frame = host.RenderFrame(1000);           // pre-render + render + composite + frame end
//   EXPECT_TRUE(host.accounts().Clear()) << host.accounts().Describe();
//
// Threading: one command at a time per Host. Callbacks without a context argument (handle suite,
// AcquireSuite, ...) find the Host through a per-thread "current host" that is set while a
// command (or the frame-end deleter) runs on that thread.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "host/Accounts.h"
#include "host/CommandRunner.h"
#include "host/Faults.h"
#include "host/FrameCompositor.h"
#include "host/FrameProtocol.h"
#include "host/HostRecords.h"
#include "host/Journal.h"
#include "host/Module.h"
#include "host/ParamStore.h"
#include "host/RenderSettings.h"
#include "host/Scene.h"
#include "host/WorldPool.h"
#include "hostapi/HostApi.h"

namespace quillstreak::host {

class CallbackContext;

/// What RenderFrame produced.
struct FrameResult {
  PF_Err preRenderErr = PF_Err_NONE;
  PF_Err renderErr = PF_Err_NONE;
  PF_Err err = PF_Err_NONE;  // the first non-zero of the two, else PF_Err_OUT_OF_MEMORY when
                             // the frame does not fit the world budget (frame left empty)
  World frame;               // composition-sized at the downsample, opaque; empty when it has
                             // no pixels
  bool effectRan = true;     // false at a time where the effect layer draws nothing
  std::string sourceError;   // why a changing source's frame could not be had (err is then
                             // PF_Err_INTERNAL_STRUCT_DAMAGED)
};

class Host {
 public:
  /// Any entry point (tests may pass a function of their own).
  explicit Host(PF_FilterProc entry);
  explicit Host(const Module& module) : Host(module.entry()) {}
  ~Host();  // ends a pending frame (calls the pre-render deleter)
  Host(const Host&) = delete;
  Host& operator=(const Host&) = delete;

  // ---- parts ---------------------------------------------------------------------------------
  Scene& scene() { return scene_; }
  const Scene& scene() const { return scene_; }
  ParamStore& params() { return params_; }
  const ParamStore& params() const { return params_; }
  RenderSettings& settings() { return settings_; }
  const RenderSettings& settings() const { return settings_; }
  CommandRunner& commands() { return runner_; }
  FrameProtocol& frames() { return frames_; }
  const FrameProtocol& frames() const { return frames_; }
  const FrameCompositor& compositor() const { return compositor_; }
  const WorldPool& worlds() const { return worlds_; }
  Journal& journal() { return journal_; }
  const Journal& journal() const { return journal_; }
  Faults& faults() { return faults_; }
  /// What the effect holds now: handles, checkouts, AEGP objects, suites.
  Accounts::Summary accounts() const { return accounts_.Summarise(); }
  HostRecords& records() { return records_; }

  // ---- commands ------------------------------------------------------------------------------
  /// Writes the settings' time and time steps and the composition's size at the downsample
  /// into in_data (see HostRecords::SyncInData). Done by the constructor and by every command
  /// below and of the frame protocol; a raw commands().Send leaves in_data alone.
  void SyncInData() { records_.SyncInData(scene_, settings_); }
  PF_Err GlobalSetup();
  PF_Err GlobalSetdown();
  PF_Err About();
  /// Forgets the declared parameters and sets them up anew; a failed setup leaves none declared.
  PF_Err ParamsSetup();
  /// Sends the parameter array at the settings' time and a PF_UserChangedParamExtra; stores
  /// values flagged PF_ChangeFlag_CHANGED_VALUE as new constant values.
  PF_Err UserChangedParam(int index);
  PF_Err UpdateParamsUI();
  /// Sets the (composition) time, pre-renders, renders (only when pre-render succeeded),
  /// composites the frame (FrameCompositor::Composite, the effect layer only when both
  /// succeeded) and ends the frame. Outside the effect layer's in and out points no effect
  /// runs (FrameProtocol::SkipFrame): the frame shows the other layers.
  FrameResult RenderFrame(A_long time);

 private:
  PF_Err SendSimple(PF_Cmd cmd);
  PF_Err SendAll(PF_Cmd cmd, std::vector<PF_ParamDef>& defs, void* extra);

  HostRecords records_;
  Scene scene_;
  ParamStore params_{scene_};
  Accounts accounts_;
  Journal journal_;
  Faults faults_;
  WorldPool worlds_;
  RenderSettings settings_{worlds_};
  CommandRunner runner_{records_, scene_, settings_, faults_, worlds_};
  FrameProtocol frames_{runner_, records_, scene_, params_, settings_, worlds_};
  FrameCompositor compositor_{scene_, settings_, worlds_};
  std::unique_ptr<CallbackContext> context_;  // what the callbacks see of the parts above
};

}  // namespace quillstreak::host
