#include "renderer/RenderSession.h"

#include <utility>

#include "host/Host.h"
#include "host/Module.h"
#include "host/RenderSettings.h"
#include "renderer/InputError.h"
#include "scene/TrailCopies.h"

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

}  // namespace

std::string ErrorText(PF_Err err) {
  std::string s = "error " + std::to_string(err);
  if (const char* name = ErrName(err)) s += std::string(" (") + name + ")";
  return s;
}

void SetUpScene(quillstreak::host::Host& host, const SceneFile& scene) {
  host.scene().comp() = scene.comp;
  host.SyncInData();
  host.scene().SetEffectLayer(scene.effectLayer);
  for (const auto& p : scene.params) {
    auto& params = host.params();
    params.Reset(p.index);
    switch (p.type) {
      case ParamType::Float:
        if (p.keys.empty()) params.SetFloat(p.index, p.constant.number);
        for (const auto& k : p.keys) params.KeyFloat(p.index, k.time, k.value.number, k.interp);
        break;
      case ParamType::Checkbox:
        if (p.keys.empty()) params.SetCheckbox(p.index, p.constant.on);
        for (const auto& k : p.keys) params.KeyCheckbox(p.index, k.time, k.value.on);
        break;
      case ParamType::Color:
        if (p.keys.empty()) params.SetColor(p.index, p.constant.color);
        for (const auto& k : p.keys) params.KeyColor(p.index, k.time, k.value.color, k.interp);
        break;
      case ParamType::Layer:
        params.SetLayer(p.index, p.constant.layer);
        break;
      default:
        break;
    }
  }
  // Buttons are pressed once every value is set, at the composition's start, as a user presses
  // one in the effect controls: the effect changes the values it changes through the host.
  for (const auto& p : scene.params) {
    if (p.type != ParamType::Button || !p.constant.on) continue;
    host.settings().SetTime(0);
    if (const PF_Err e = host.UserChangedParam(p.index); e != PF_Err_NONE)
      throw RenderError("the effect failed a press of \"" + p.name + "\" with " + ErrorText(e));
  }
}

RenderSession::RenderSession(const std::string& pluginPath, unsigned threads) {
  try {
    module_ = std::make_unique<quillstreak::host::Module>(pluginPath);
  } catch (const std::exception& e) {
    throw InputError(std::string("cannot load the effect module: ") + e.what());
  }
  host_ = std::make_unique<quillstreak::host::Host>(*module_);
  host_->settings().SetThreads(threads);
  if (const PF_Err e = host_->GlobalSetup(); e != PF_Err_NONE)
    throw RenderError("the effect failed global setup with " + ErrorText(e));
  if (const PF_Err e = host_->ParamsSetup(); e != PF_Err_NONE)
    throw RenderError("the effect failed parameter setup with " + ErrorText(e));
  catalog_ = std::make_unique<ParamCatalog>(host_->params().declared());
}

RenderSession::~RenderSession() = default;

void RenderSession::Prepare(const SceneFile& scene, int downsample) {
  for (const auto& p : catalog_->params()) host_->params().Reset(p.index);
  SetUpScene(*host_, scene);
  const PF_RationalScale ds{1, static_cast<A_u_long>(downsample < 1 ? 1 : downsample)};
  host_->settings().SetDownsample(ds, ds);
  background_ = scene.comp.background;
  downsample_ = downsample < 1 ? 1 : downsample;
}

FramePictures RenderSession::Render(long frame, bool effectLayer) {
  // The journal holds one frame's calls: the copies are counted from it.
  host_->journal().Clear();
  quillstreak::host::FrameResult result =
      host_->RenderFrame(static_cast<A_long>(frame * kUnitsPerFrame));
  if (!result.sourceError.empty())
    throw RenderError("frame " + std::to_string(frame) + ": " + result.sourceError);
  if (result.preRenderErr != PF_Err_NONE) {
    throw RenderError("frame " + std::to_string(frame) + ": smart pre-render failed with " +
                      ErrorText(result.preRenderErr));
  }
  if (result.err != PF_Err_NONE) {
    throw RenderError("frame " + std::to_string(frame) + ": smart render failed with " +
                      ErrorText(result.err));
  }
  copies_.push_back(CopiesDrawn(*host_));
  FramePictures pictures;
  pictures.frame = std::move(result.frame);
  if (effectLayer) pictures.effectLayer = host_->compositor().EffectLayerFrame();
  return pictures;
}

std::string RenderSession::NoCopiesReason(const std::vector<long>& frames) const {
  return quillstreak::renderer::NoCopiesReason(*host_, *catalog_, frames, downsample_);
}

}  // namespace quillstreak::renderer
