// Fuzzes the command protocol: the built module, loaded by path, driven through the substitute
// host with a sequence of steps decoded from the input (ProtocolCodec.h): commands in any order,
// raw commands without their records, parameter values in and out of range and not finite,
// times, time scales and downsample factors, scene edits between commands, output requests, and
// host faults armed at a decoded call, suites refused and the basic suite withheld.
//
// After every step: the command's result is 0, one the effect gives of its own accord (out of
// memory, a missing suite), one the host's calls return, or a code armed as a fault; nothing of
// the host's is held but the pending frame's plan; a pre-render asks for its samples in
// ascending time, none after the current time. After every frame end, and at the end of the
// input, the effect holds nothing at all (a plan whose deleter the host refused a suite stays
// with the host, and is tolerated while a fault is armed). Crashes and memory misuse are the
// sanitizers' part. QS_FUZZ_VERBOSE=1 keeps the host's journal and prints it with a failure.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <limits>
#include <memory>
#include <set>
#include <string>

#include "ProtocolCodec.h"
#include "host/Host.h"
#include "host/Module.h"

namespace quillstreak::fuzz {
namespace {

using quillstreak::host::Host;
using quillstreak::host::Op;

/// Stream reads an input may make in all. A frame whose shutter window needs more stops there
/// (with kGuardCode), and so does the input: executions must stay short.
constexpr int kReadBudget = 2000;
constexpr A_long kGuardCode = 0x7E57;
/// Steps taken from one input at most.
constexpr int kMaxSteps = 40;
/// World bytes the host hands out at once.
constexpr std::uint64_t kWorldBudget = std::uint64_t{256} << 10;
constexpr int kMaxLayers = 6;

/// Downsample numerators and denominators.
constexpr A_long kFactors[] = {
    1, 2, 4, 0, -1, 3, 7, std::numeric_limits<A_long>::max(), std::numeric_limits<A_long>::min(),
    16};
/// Composition sizes.
constexpr A_long kSizes[] = {0, 1, 16, 48, 96, 200, -8, 100000};

const quillstreak::host::Module* gModule = nullptr;

[[noreturn]] void Fail(const Host& host, const std::string& what) {
  std::fprintf(stderr, "fuzz_protocol: %s\n%s\n", what.c_str(), host.journal().Text().c_str());
  std::abort();
}

template <typename Table>
const auto& Pick(const Table& table, std::uint8_t sel) {
  return table[sel % std::size(table)];
}

/// Codes the host's own calls return on failure (its suites' refusals excepted: the effect
/// reports those as PF_Err_BAD_CALLBACK_PARAM).
bool HostCode(PF_Err err) {
  switch (err) {
    case PF_Err_OUT_OF_MEMORY:
    case PF_Err_INVALID_INDEX:
    case PF_Err_INVALID_CALLBACK:
    case PF_Err_BAD_CALLBACK_PARAM:
    case A_Err_GENERIC:
    case A_Err_PARAMETER:
      return true;
    default:
      return false;
  }
}

/// One input's run: the host, what the checks know of it, and the steps.
class Run {
 public:
  Run() : host_(gModule->entry()) {
    // The journal costs a fifth of the time; QS_FUZZ_VERBOSE=1 keeps it, to print with a failure.
    host_.journal().SetEnabled(std::getenv("QS_FUZZ_VERBOSE") != nullptr);
    host_.settings().SetThreads(1);
    host_.settings().SetWorldBudget(kWorldBudget);
    // A smaller stage than the host's default, so that frames are quick to draw.
    auto& comp = host_.scene().comp();
    comp.width = 96;
    comp.height = 54;
    quillstreak::host::Layer& layer = comp.layers.front();
    layer.source.width = 16;
    layer.source.height = 16;
    layer.transform.anchor.SetConstant({8.0, 8.0, 0.0, 0.0});
    layer.transform.position.SetConstant({48.0, 27.0, 0.0, 0.0});
    ArmGuard();
  }

  void Go(ProtocolReader& in) {
    for (int steps = 0; steps < kMaxSteps && !in.done() && !spent_; ++steps) {
      try {
        Apply(in);
      } catch (const std::exception& e) {
        Fail(host_, std::string("the host threw: ") + e.what());
      }
      host_.journal().Clear();
    }
    // The input ends as a healthy host would end it.
    host_.faults().Clear();
    host_.faults().SetNoBasicSuite(false);
    FrameEnd();
  }

 private:
  /// The stream reads from now on stop at kReadBudget.
  void ArmGuard() {
    host_.faults().FailCall(Op::AEGP_GetLayerStreamValue, kReadBudget, kGuardCode);
  }

  // ---- checks --------------------------------------------------------------------------------
  /// A command's result: 0, the effect's own out-of-memory or missing-suite code, a code the
  /// host's calls return, or a code armed as a fault.
  void CheckResult(const char* command, PF_Err err) {
    if (err == kGuardCode) {
      spent_ = true;
      return;
    }
    if (err == PF_Err_NONE || HostCode(err) || armedCodes_.count(err) != 0) return;
    Fail(host_, std::string(command) + " returned " + std::to_string(err) +
                    ", which neither the host nor the effect gives");
  }

  /// The plan of the pending frame, if any.
  bool PlanPending() const { return host_.frames().preRenderOutput().pre_render_data != nullptr; }

  /// A frame's end may leave the plan's handle behind only when the host refused its deleter
  /// something (an armed fault or a refused suite): the plan's handle stays with the host then.
  void Orphaned(const char* what, std::int64_t extra) {
    if (extra <= 0) return;
    if (!faultsArmed_) Fail(host_, std::string(what) + ": the plan's handle was not given back");
    orphans_ += extra;
  }

  /// Between commands the effect holds nothing but the pending frame's plan. A pre-render ends
  /// the pending frame first.
  void CheckHeld(const char* command) {
    quillstreak::host::Accounts::Summary held = host_.accounts();
    const std::int64_t plans = PlanPending() ? 1 : 0;
    if (planBefore_ && held.handles == orphans_ + plans + 1) Orphaned(command, 1);
    if (held.handles != orphans_ + plans)
      Fail(host_, std::string("after ") + command + ": " + std::to_string(held.handles) +
                      " handles held, " + std::to_string(orphans_ + plans) + " expected");
    held.handles = 0;
    if (!held.Clear()) Fail(host_, std::string("after ") + command + ": " + held.Describe());
  }

  /// The samples a pre-render asked for: ascending, and none after the current time.
  void CheckCheckouts() {
    const auto& checkouts = host_.frames().layerCheckouts();
    const A_long now = host_.records().in_data().current_time;
    for (std::size_t i = 0; i < checkouts.size(); ++i) {
      if (checkouts[i].time > now) Fail(host_, "a sample after the current time");
      if (i + 2 < checkouts.size() && checkouts[i].time >= checkouts[i + 1].time)
        Fail(host_, "samples out of order");
    }
  }

  /// After a frame's end the effect holds nothing.
  void CheckEnded(const char* what) {
    quillstreak::host::Accounts::Summary held = host_.accounts();
    Orphaned(what, held.handles - orphans_);
    held.handles -= orphans_;
    if (!held.Clear()) Fail(host_, std::string(what) + ": " + held.Describe());
  }

  void FrameEnd() {
    host_.frames().EndFrame();
    CheckEnded("frame end");
  }

  void Command(const char* name, PF_Err err) {
    CheckResult(name, err);
    CheckHeld(name);
  }

  // ---- steps ---------------------------------------------------------------------------------
  // Each family of steps has its own function, which returns false for a step not its own.
  void Apply(ProtocolReader& in) {
    planBefore_ = PlanPending();
    const Step step = in.NextStep();
    for (auto apply : {&Run::ApplyCommand, &Run::ApplySetting, &Run::ApplyParam, &Run::ApplyScene,
                       &Run::ApplyFault})
      if ((this->*apply)(step, in)) return;
  }

  // Commands sent to the effect, checked as they return.
  bool ApplyCommand(Step step, ProtocolReader& in) {
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

  // Render settings: time, time steps, downsample, output requests.
  bool ApplySetting(Step step, ProtocolReader& in) {
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

  // Parameter values, constant or keyframed.
  bool ApplyParam(Step step, ProtocolReader& in) {
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

  // Layers and the composition.
  bool ApplyScene(Step step, ProtocolReader& in) {
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

  // Host faults armed or cleared.
  bool ApplyFault(Step step, ProtocolReader& in) {
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

  void Armed(A_long code) {
    armedCodes_.insert(code);
    faultsArmed_ = true;
  }

  Host host_;
  std::set<A_long> armedCodes_;  // codes armed as faults, ever
  bool faultsArmed_ = false;     // a fault or refusal may be pending
  bool spent_ = false;           // the read budget is used up
  bool planBefore_ = false;      // a frame's plan was pending when the step began
  std::int64_t orphans_ = 0;     // plan handles the host kept the deleter from giving back
};

}  // namespace
}  // namespace quillstreak::fuzz

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // Loaded before the first input, so that libFuzzer counts the module's coverage from the start.
  static const quillstreak::host::Module module(quillstreak::host::DefaultModulePath());
  quillstreak::fuzz::gModule = &module;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  quillstreak::fuzz::ProtocolReader in(data, size);
  quillstreak::fuzz::Run run;
  run.Go(in);
  return 0;
}
