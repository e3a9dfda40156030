// The records the host hands to the effect: in_data (with its interaction callbacks), out_data,
// the utility callbacks, the basic suite, the pre-render and smart-render callback tables, and
// the effect_ref they carry.
//
// One command runs at a time. While it runs (or while a frame's pre-render deleter runs) this
// host is the current host of the thread: callbacks without a context argument (the handle
// suite, AcquireSuite, ...) find it that way.
#pragma once

#include <memory>

#include "hostapi/HostApi.h"

namespace quillstreak::host {

class CallbackContext;
class Scene;

class HostRecords {
 public:
  /// Fills the tables with the host's callbacks and in_data with its fixed fields (quality HI,
  /// field FRAME, full resolution, version 13.28, num_params 1, ...). Throws
  /// std::invalid_argument for a null entry point.
  explicit HostRecords(PF_FilterProc entry);
  HostRecords(const HostRecords&) = delete;
  HostRecords& operator=(const HostRecords&) = delete;

  PF_InData& in_data() { return in_; }
  const PF_InData& in_data() const { return in_; }
  PF_OutData& out_data() { return out_; }
  const PF_OutData& out_data() const { return out_; }
  PF_UtilCallbacks& utils() { return utils_; }
  SPBasicSuite& basicSuite() { return basic_; }
  PF_PreRenderCallbacks& preRenderCallbacks() { return preRender_; }
  PF_SmartRenderCallbacks& smartRenderCallbacks() { return smartRender_; }
  PF_ProgPtr effectRef() const { return in_.effect_ref; }
  PF_FilterProc entry() const { return entry_; }

  /// in_data's downsample_x and downsample_y.
  void SetDownsample(PF_RationalScale x, PF_RationalScale y);
  /// The downsample factors as numbers (1 where a denominator is 0).
  double dsx() const;
  double dsy() const;
  /// A composition size at one axis' downsample, rounded up.
  static A_long Scaled(A_long size, const PF_RationalScale& downsample);

  /// Writes current_time, time_step, local_time_step, total_time, time_scale, and width, height
  /// and extent_hint (the composition at in_data's downsample) from the scene; no other field.
  void SyncInData(const Scene& scene);

  /// Calls the effect's entry point with these records, this host current on the thread.
  /// Throws std::logic_error when a command is already running.
  PF_Err Call(PF_Cmd cmd, PF_ParamDef** params, PF_LayerDef* output, void* extra);
  /// Calls a frame's pre-render deleter the same way (it may call back into the host).
  void CallDeleter(PF_DeletePreRenderDataFunc deleter, void* data);
  bool busy() const { return busy_; }

  /// What the callbacks reach of the host while it is current; set once by the host.
  void Attach(CallbackContext* context) { context_ = context; }
  /// The context of the host whose command runs on this thread; null outside commands.
  static CallbackContext* CurrentContext();

 private:
  class Scope;

  PF_FilterProc entry_ = nullptr;
  std::unique_ptr<char[]> effectRefCell_;
  PF_InData in_{};
  PF_OutData out_{};
  PF_UtilCallbacks utils_{};
  SPBasicSuite basic_{};
  PF_PreRenderCallbacks preRender_{};
  PF_SmartRenderCallbacks smartRender_{};
  CallbackContext* context_ = nullptr;
  bool busy_ = false;
};

}  // namespace quillstreak::host
