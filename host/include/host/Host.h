// The substitute host: drives an effect module through its entry point the way the real host
// does, over a small composition, and records every host call the effect makes.
//
// A small facade over the host's parts, reached through grouped accessors:
//   scene()    the composition, the effect's layer, the time of the next commands
//   params()   parameter definitions, values and stream flags
//   frames()   the frame protocol: pre-render, render, frame end, checkouts, the composite
//   worlds()   world budget, the last output world, the layer cache
//   journal()  every host call the effect made, with typed arguments
//   faults()   host calls made to fail, suites refused, no basic suite
//   accounts() what the effect holds of the host's resources
//   records()  the raw in_data, out_data and callback tables
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
#include <vector>

#include "host/Faults.h"
#include "host/FrameDriver.h"
#include "host/HostRecords.h"
#include "host/Journal.h"
#include "host/Module.h"
#include "host/ParamStore.h"
#include "host/Registries.h"
#include "host/Scene.h"
#include "host/WorldPool.h"
#include "hostapi/HostApi.h"

namespace quillstreak::host {

class CallbackContext;

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
  FrameDriver& frames() { return frames_; }
  const FrameDriver& frames() const { return frames_; }
  WorldPool& worlds() { return worlds_; }
  Journal& journal() { return journal_; }
  const Journal& journal() const { return journal_; }
  Faults& faults() { return faults_; }
  /// What the effect holds now: handles, checkouts, AEGP objects, suites.
  Accounts accounts() const { return registries_.Summary(); }
  HostRecords& records() { return records_; }

  // ---- commands ------------------------------------------------------------------------------
  /// Writes the scene's time and time steps and the composition's size at in_data's
  /// downsample into in_data (see HostRecords::SyncInData). Done by the constructor and by
  /// every command helper; Send leaves in_data alone.
  void SyncInData() { records_.SyncInData(scene_); }
  /// A raw command with the host's in_data and out_data as they stand (FrameDriver::Send).
  PF_Err Send(PF_Cmd cmd, PF_ParamDef** params, PF_LayerDef* output, void* extra) {
    return frames_.Send(cmd, params, output, extra);
  }
  PF_Err GlobalSetup();
  PF_Err GlobalSetdown();
  PF_Err About();
  /// Forgets the declared parameters and sets them up anew; a failed setup leaves none declared.
  PF_Err ParamsSetup();
  /// Sends the parameter array at the scene's time and a PF_UserChangedParamExtra; stores values
  /// flagged PF_ChangeFlag_CHANGED_VALUE as new constant values.
  PF_Err UserChangedParam(int index);
  PF_Err UpdateParamsUI();
  /// Ends a pending frame, then pre-renders the frame at the scene's time.
  PF_Err SmartPreRender() { return frames_.SmartPreRender(); }
  /// Renders the frame pre-rendered last (its pre_render_data).
  PF_Err SmartRender() { return frames_.SmartRender(); }
  /// Calls delete_pre_render_data_func(pre_render_data) when set and forgets the frame.
  void EndFrame() { frames_.EndFrame(); }
  /// Pre-render, render, the composite over the background and the frame's end at a time
  /// (FrameDriver::RenderFrame).
  FrameResult RenderFrame(A_long time) { return frames_.RenderFrame(time); }

 private:
  PF_Err SendAll(PF_Cmd cmd, std::vector<PF_ParamDef>& defs, void* extra);

  HostRecords records_;
  Scene scene_;
  ParamStore params_{scene_};
  Registries registries_;
  Journal journal_;
  Faults faults_{records_.in_data(), records_.basicSuite()};
  WorldPool worlds_;
  FrameDriver frames_{records_, scene_, params_, worlds_};
  std::unique_ptr<CallbackContext> context_;  // what the callbacks see of the parts above
};

}  // namespace quillstreak::host
