#include "host/HostRecords.h"

#include <stdexcept>

#include "callbacks/Callbacks.h"
#include "host/RenderSettings.h"
#include "host/Scene.h"

namespace quillstreak::host {

HostRecords::HostRecords(PF_FilterProc entry) : entry_(entry), effectRefCell_(new char[64]()) {
  if (entry_ == nullptr) throw std::invalid_argument("quillstreak::host::Host: null entry point");
  callbacks::InstallInteraction(in_.inter);
  callbacks::InstallUtility(utils_);
  callbacks::InstallBasicSuite(basic_);
  callbacks::InstallRender(preRender_, smartRender_);
  in_.utils = &utils_;
  in_.pica_basicP = &basic_;
  in_.effect_ref = reinterpret_cast<PF_ProgPtr>(effectRefCell_.get());
  in_.quality = PF_Quality_HI;
  in_.version = PF_SpecVersion{13, 28};
  in_.appl_id = 0x46585443;  // 'FXTC'
  in_.num_params = 1;
  in_.field = PF_Field_FRAME;
  in_.shutter_angle = 180 << 16;
  in_.downsample_x = PF_RationalScale{1, 1};
  in_.downsample_y = PF_RationalScale{1, 1};
  in_.pixel_aspect_ratio = PF_RationalScale{1, 1};
}

void HostRecords::SyncInData(const Scene& scene, const RenderSettings& settings) {
  const Composition& comp = scene.comp();
  in_.current_time = scene.EffectLayerTime(settings.time());
  in_.time_step = settings.timeStep(comp);
  in_.local_time_step = settings.localTimeStep(comp);
  in_.total_time = comp.duration;
  in_.time_scale = comp.timeScale;
  in_.width = settings.FrameWidth(comp);
  in_.height = settings.FrameHeight(comp);
  in_.extent_hint = PF_Rect{0, 0, in_.width, in_.height};
  in_.downsample_x = settings.downsampleX();
  in_.downsample_y = settings.downsampleY();
}

void HostRecords::PrepareCall(const RenderSettings& settings, bool withholdBasicSuite) {
  in_.downsample_x = settings.downsampleX();
  in_.downsample_y = settings.downsampleY();
  in_.pica_basicP = withholdBasicSuite ? nullptr : &basic_;
}

}  // namespace quillstreak::host
