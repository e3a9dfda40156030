// The steps of fuzz_protocol's inputs, one function per family: each reads its step's operands
// from the input and applies them to the host.
#include <cstdint>
#include <iterator>
#include <limits>
#include <string>
#include <utility>

#include "ProtocolRun.h"

namespace quillstreak::fuzz {
namespace {

/// Downsample numerators and denominators.
constexpr A_long kFactors[] = {
    1, 2, 4, 0, -1, 3, 7, std::numeric_limits<A_long>::max(), std::numeric_limits<A_long>::min(),
    16};
/// Composition sizes.
constexpr A_long kSizes[] = {0, 1, 16, 48, 96, 200, -8, 100000};

template <typename Table>
const auto& Pick(const Table& table, std::uint8_t sel) {
  return table[sel % std::size(table)];
}

}  // namespace

void Run::Apply(ProtocolReader& in) {
  planBefore_ = PlanPending();
  const Step step = in.NextStep();
  for (auto apply : {&Run::ApplyCommand, &Run::ApplySetting, &Run::ApplyParam, &Run::ApplyScene,
                     &Run::ApplyFault})
    if ((this->*apply)(step, in)) return;
}

bool Run::ApplyCommand(Step step, ProtocolReader& in) {
  switch (step) {
    case Step::GlobalSetup:
      Command("global setup", host_.GlobalSetup());
      return true;
    case Step::GlobalSetdown:
      Command("global setdown", host_.GlobalSetdown());
      return true;
    case Step::About:
      Command("about", host_.About());
      return true;
    case Step::ParamsSetup:
      Command("parameter setup", host_.ParamsSetup());
      return true;
    case Step::UserChangedParam:
      Command("user changed param", host_.UserChangedParam(in.U8() % 32));
      return true;
    case Step::UpdateParamsUI:
      Command("update params UI", host_.UpdateParamsUI());
      return true;
    case Step::PreRender: {
      const PF_Err err = host_.frames().SmartPreRender();
      Command("smart pre-render", err);
      if (err == PF_Err_NONE) CheckCheckouts();
      return true;
    }
    case Step::Render:
      Command("smart render", host_.frames().SmartRender());
      return true;
    case Step::EndFrame:
      FrameEnd();
      return true;
    case Step::RenderFrame: {
      const A_long time = in.Time();
      // The frame ends inside; a pending one is ended first, so that its end is checked alone.
      if (PlanPending()) FrameEnd();
      const quillstreak::host::FrameResult r = host_.RenderFrame(time);
      CheckResult("frame (pre-render)", r.preRenderErr);
      CheckResult("frame (render)", r.renderErr);
      CheckEnded("frame");
      return true;
    }
    case Step::RawCommand: {
      const A_long cmd = in.Time();
      host_.SyncInData();
      Command("raw command", host_.commands().Send(cmd, nullptr, nullptr, nullptr));
      return true;
    }
    default:
      return false;
  }
}

bool Run::ApplySetting(Step step, ProtocolReader& in) {
  switch (step) {
    case Step::SetTime:
      host_.settings().SetTime(in.Time());
      return true;
    case Step::SetTimeSteps: {
      const A_long step = in.Time();
      host_.settings().SetTimeSteps(step, in.Time());
      return true;
    }
    case Step::ClearTimeSteps:
      host_.settings().ClearTimeSteps();
      return true;
    case Step::SetDownsample: {
      PF_RationalScale x{Pick(kFactors, in.U8()), 1};
      x.den = static_cast<A_u_long>(Pick(kFactors, in.U8()));
      PF_RationalScale y{Pick(kFactors, in.U8()), 1};
      y.den = static_cast<A_u_long>(Pick(kFactors, in.U8()));
      host_.settings().SetDownsample(x, y);
      return true;
    }
    case Step::OutputRequest: {
      const std::uint8_t mode = in.U8() % 3;
      PF_LRect r;
      r.left = in.Time();
      r.top = in.Time();
      r.right = in.Time();
      r.bottom = in.Time();
      if (mode == 0) {
        host_.settings().ClearOutputRequest();
        host_.settings().SetPreRenderEntryRects(PF_LRect{}, PF_LRect{});
      } else if (mode == 1) {
        PF_RenderRequest request = host_.frames().DefaultOutputRequest();
        request.rect = r;
        host_.settings().SetOutputRequest(request);
      } else {
        host_.settings().SetPreRenderEntryRects(r, r);
      }
      return true;
    }
    default:
      return false;
  }
}

bool Run::ApplyParam(Step step, ProtocolReader& in) {
  auto& params = host_.params();
  switch (step) {
    case Step::SetFloat: {
      const int index = in.U8() % 32;
      params.SetFloat(index, in.Number());
      return true;
    }
    case Step::KeyFloat: {
      const int index = in.U8() % 32;
      const A_long time = in.Time();
      params.KeyFloat(index, time, in.Number(),
                      static_cast<quillstreak::host::Interp>(in.U8() % 3));
      return true;
    }
    case Step::SetColor: {
      const int index = in.U8() % 32;
      PF_Pixel c;
      c.alpha = in.U8();
      c.red = in.U8();
      c.green = in.U8();
      c.blue = in.U8();
      params.SetColor(index, c);
      return true;
    }
    case Step::SetCheckbox: {
      const int index = in.U8() % 32;
      params.SetCheckbox(index, in.U8() & 1);
      return true;
    }
    case Step::SetLayerParam: {
      const int index = in.U8() % 32;
      params.SetLayer(index, in.U8() % 8);
      return true;
    }
    case Step::ResetParam:
      params.Reset(in.U8() % 32);
      return true;
    default:
      return false;
  }
}

bool Run::ApplyScene(Step step, ProtocolReader& in) {
  auto& scene = host_.scene();
  auto& comp = scene.comp();
  switch (step) {
    case Step::AddLayer: {
      quillstreak::host::Layer layer;
      layer.id = static_cast<std::int32_t>(comp.layers.size()) + 1;
      layer.name = "Layer " + std::to_string(layer.id);
      const std::uint8_t kind = in.U8() % 3;
      layer.source.kind = static_cast<quillstreak::host::LayerSource::Kind>(kind);
      layer.source.width = in.U8() % 24;
      layer.source.height = in.U8() % 24;
      if (layer.source.kind == quillstreak::host::LayerSource::Kind::Image) {
        layer.source.pixels.assign(
            static_cast<std::size_t>(layer.source.width) * layer.source.height,
            PF_Pixel{200, 10, 120, 240});
      }
      const double x = in.Number();
      layer.transform.position.SetConstant({x, in.Number(), 0.0, 0.0});
      if (comp.layers.size() < kMaxLayers) comp.AddLayer(std::move(layer));
      return true;
    }
    case Step::KeyTransform: {
      const std::uint8_t slot = in.U8();
      const std::uint8_t which = in.U8() % 6;
      const A_long time = in.Time();
      const double a = in.Number();
      const double b = in.Number();
      const double c = in.Number();
      if (comp.layers.empty()) return true;
      quillstreak::host::TransformStreams& t = comp.layers[slot % comp.layers.size()].transform;
      quillstreak::host::Stream* streams[] = {&t.anchor,  &t.position, &t.scale,
                                              &t.rotateZ, &t.rotateY,  &t.rotateX};
      streams[which]->AddKeyframe(time, {a, b, c, 0.0});
      return true;
    }
    case Step::SetEffectLayer:
      scene.SetEffectLayer(in.U8() % 8);
      return true;
    case Step::ResizeComp: {
      comp.width = Pick(kSizes, in.U8());
      comp.height = Pick(kSizes, in.U8());
      return true;
    }
    case Step::SetTimeScale: {
      comp.timeScale = static_cast<A_u_long>(in.Time());
      comp.frameDuration = in.Time();
      return true;
    }
    default:
      return false;
  }
}

bool Run::ApplyFault(Step step, ProtocolReader& in) {
  switch (step) {
    case Step::FailCallNumber: {
      const int low = in.U8();
      const int k = low + 256 * (in.U8() % 8);
      const A_long code = in.Time();
      host_.faults().FailCallNumber(k, code);
      Armed(code);
      return true;
    }
    case Step::FailCall: {
      const Op op = Pick(kFaultOps, in.U8());
      const int n = in.U8() % 16 + 1;
      const A_long code = in.Time();
      host_.faults().FailCall(op, n, code);
      Armed(code);
      return true;
    }
    case Step::RefuseSuite: {
      const std::uint8_t sel = in.U8();
      if (sel == 0xFF)
        host_.faults().RefuseAllSuites();
      else
        host_.faults().RefuseSuite(Pick(kSuites, sel));
      faultsArmed_ = true;
      return true;
    }
    case Step::NoBasicSuite:
      host_.faults().SetNoBasicSuite(in.U8() & 1);
      return true;
    case Step::ClearFaults:
      host_.faults().Clear();
      faultsArmed_ = false;
      ArmGuard();
      return true;
    default:
      return false;
  }
}

void Run::Armed(A_long code) {
  armedCodes_.insert(code);
  faultsArmed_ = true;
}
}  // namespace quillstreak::fuzz
