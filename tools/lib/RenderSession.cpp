#include "renderer/RenderSession.h"

#include <utility>

#include "host/Host.h"
#include "host/Module.h"
#include "renderer/InputError.h"

namespace quillstreak::renderer {
namespace {

const char* ErrName(PF_Err err) {
  switch (err) {
    case PF_Err_OUT_OF_MEMORY:
      return "PF_Err_OUT_OF_MEMORY";
    case PF_Err_INTERNAL_STRUCT_DAMAGED:
      return "PF_Err_INTERNAL_STRUCT_DAMAGED";
    case PF_Err_INVALID_INDEX:
      return "PF_Err_INVALID_INDEX";
    case PF_Err_UNRECOGNIZED_PARAM_TYPE:
      return "PF_Err_UNRECOGNIZED_PARAM_TYPE";
    case PF_Err_INVALID_CALLBACK:
      return "PF_Err_INVALID_CALLBACK";
    case PF_Err_BAD_CALLBACK_PARAM:
      return "PF_Err_BAD_CALLBACK_PARAM";
    case PF_Err_CANNOT_PARSE_KEYFRAME_TEXT:
      return "PF_Err_CANNOT_PARSE_KEYFRAME_TEXT";
    default:
      return nullptr;
  }
}

std::string ErrText(PF_Err err) {
  std::string s = "error " + std::to_string(err);
  if (const char* name = ErrName(err)) s += std::string(" (") + name + ")";
  return s;
}

}  // namespace

RenderSession::RenderSession(const std::string& pluginPath, unsigned threads) {
  try {
    module_ = std::make_unique<quillstreak::host::Module>(pluginPath);
  } catch (const std::exception& e) {
    throw InputError(std::string("cannot load the effect module: ") + e.what());
  }
  host_ = std::make_unique<quillstreak::host::Host>(*module_);
  host_->settings().SetThreads(threads);
  if (const PF_Err e = host_->GlobalSetup(); e != PF_Err_NONE)
    throw RenderError("the effect failed global setup with " + ErrText(e));
  if (const PF_Err e = host_->ParamsSetup(); e != PF_Err_NONE)
    throw RenderError("the effect failed parameter setup with " + ErrText(e));
  catalog_ = std::make_unique<ParamCatalog>(host_->params().declared());
}

RenderSession::~RenderSession() = default;

void RenderSession::Prepare(const Scene& scene, int downsample) {
  for (const auto& p : catalog_->params()) host_->params().Reset(p.index);
  scene.ApplyTo(*host_);
  const PF_RationalScale ds{1, static_cast<A_u_long>(downsample < 1 ? 1 : downsample)};
  host_->settings().SetDownsample(ds, ds);
  background_ = scene.comp.background;
}

FramePictures RenderSession::Render(long frame, bool effectLayer) {
  quillstreak::host::FrameResult result =
      host_->RenderFrame(static_cast<A_long>(frame * kUnitsPerFrame));
  if (result.preRenderErr != PF_Err_NONE) {
    throw RenderError("frame " + std::to_string(frame) + ": smart pre-render failed with " +
                      ErrText(result.preRenderErr));
  }
  if (result.err != PF_Err_NONE) {
    throw RenderError("frame " + std::to_string(frame) + ": smart render failed with " +
                      ErrText(result.err));
  }
  FramePictures pictures;
  pictures.frame = std::move(result.frame);
  if (effectLayer) pictures.effectLayer = host_->compositor().EffectLayerFrame();
  return pictures;
}

}  // namespace quillstreak::renderer
