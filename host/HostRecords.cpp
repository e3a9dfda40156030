#include "host/HostRecords.h"

#include <cmath>
#include <limits>
#include <stdexcept>

#include "callbacks/Callbacks.h"
#include "host/Scene.h"

namespace quillstreak::host {

namespace {

thread_local CallbackContext* t_current = nullptr;

}  // namespace

// Marks the records busy and makes their host the current host of this thread.
class HostRecords::Scope {
 public:
  explicit Scope(HostRecords& records) : records_(records), previous_(t_current) {
    if (records_.busy_)
      throw std::logic_error("quillstreak::host::Host: a command is already running");
    records_.busy_ = true;
    t_current = records_.context_;
  }
  ~Scope() {
    t_current = previous_;
    records_.busy_ = false;
  }
  Scope(const Scope&) = delete;
  Scope& operator=(const Scope&) = delete;

 private:
  HostRecords& records_;
  CallbackContext* previous_;
};

CallbackContext* HostRecords::CurrentContext() { return t_current; }

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

void HostRecords::SetDownsample(PF_RationalScale x, PF_RationalScale y) {
  in_.downsample_x = x;
  in_.downsample_y = y;
}

double HostRecords::dsx() const {
  const PF_RationalScale& d = in_.downsample_x;
  return d.den != 0 ? static_cast<double>(d.num) / d.den : 1.0;
}

double HostRecords::dsy() const {
  const PF_RationalScale& d = in_.downsample_y;
  return d.den != 0 ? static_cast<double>(d.num) / d.den : 1.0;
}

A_long HostRecords::Scaled(A_long size, const PF_RationalScale& ds) {
  if (ds.den == 0 || ds.num <= 0) return size;
  const double scaled = std::ceil(static_cast<double>(size) * ds.num / static_cast<double>(ds.den));
  // Absurd factors give absurd sizes, which the world budget then refuses.
  if (!(scaled < 2147483647.0)) return std::numeric_limits<A_long>::max();
  if (!(scaled > -2147483648.0)) return 0;
  return static_cast<A_long>(scaled);
}

void HostRecords::SyncInData(const Scene& scene) {
  const Composition& comp = scene.comp();
  in_.current_time = scene.time();
  in_.time_step = scene.timeStep();
  in_.local_time_step = scene.localTimeStep();
  in_.total_time = comp.duration;
  in_.time_scale = comp.timeScale;
  in_.width = Scaled(comp.width, in_.downsample_x);
  in_.height = Scaled(comp.height, in_.downsample_y);
  in_.extent_hint = PF_Rect{0, 0, in_.width, in_.height};
}

PF_Err HostRecords::Call(PF_Cmd cmd, PF_ParamDef** params, PF_LayerDef* output, void* extra) {
  Scope scope(*this);
  return entry_(cmd, &in_, &out_, params, output, extra);
}

void HostRecords::CallDeleter(PF_DeletePreRenderDataFunc deleter, void* data) {
  Scope scope(*this);
  deleter(data);
}

}  // namespace quillstreak::host
