// The records the host hands to the effect: in_data (with its interaction callbacks), out_data,
// the utility callbacks, the basic suite, the pre-render and smart-render callback tables, and
// the effect_ref they carry.
#pragma once

#include <memory>

#include "hostapi/HostApi.h"

namespace quillstreak::host {

class RenderSettings;
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

  /// Writes current_time, time_step, local_time_step, total_time, time_scale, the downsample,
  /// and width, height and extent_hint (the composition at the downsample) from the scene and
  /// the settings; no other field.
  void SyncInData(const Scene& scene, const RenderSettings& settings);
  /// Writes what every call sees as the settings and faults stand: the downsample, and
  /// pica_basicP (null when the basic suite is withheld). Done before every command.
  void PrepareCall(const RenderSettings& settings, bool withholdBasicSuite);

 private:
  PF_FilterProc entry_ = nullptr;
  std::unique_ptr<char[]> effectRefCell_;
  PF_InData in_{};
  PF_OutData out_{};
  PF_UtilCallbacks utils_{};
  SPBasicSuite basic_{};
  PF_PreRenderCallbacks preRender_{};
  PF_SmartRenderCallbacks smartRender_{};
};

}  // namespace quillstreak::host
