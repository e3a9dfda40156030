// Writes the seed inputs of fuzz_protocol into a folder: the scenes of the robustness suites
// (a still layer, a sliding layer with ramp or solid fill, a turning Motion Source layer) on the
// fuzzer's smaller stage (96x54, a 16x16 layer), in the command sequences worth starting from.
//   protocol_seed_writer <folder>
#include <cstdio>
#include <fstream>
#include <functional>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "ProtocolCodec.h"
#include "params/ParamIndex.h"

namespace quillstreak::fuzz {
namespace {

// A parameter index of the effect as the one byte the protocol carries.
constexpr std::uint8_t Index(ParamIndex index) { return static_cast<std::uint8_t>(index); }

// Transform streams in KeyTransform's order.
constexpr std::uint8_t kPosition = 1;
constexpr std::uint8_t kScale = 2;
constexpr std::uint8_t kRotateZ = 3;

constexpr std::int32_t kNow = 1000;
constexpr std::int32_t kFaultCode = 0x7A01;

using W = ProtocolWriter;

std::uint8_t FaultOp(Op op) {
  for (std::size_t i = 0; i < std::size(kFaultOps); ++i)
    if (kFaultOps[i] == op) return static_cast<std::uint8_t>(i);
  return 0;
}

W& SetFloat(W& w, std::uint8_t index, double v) { return w.Op(Step::SetFloat).U8(index).Number(v); }
W& SetCheckbox(W& w, std::uint8_t index, bool on) {
  return w.Op(Step::SetCheckbox).U8(index).U8(on ? 1 : 0);
}
W& Key(W& w, std::uint8_t slot, std::uint8_t stream, std::int32_t time, double a, double b,
       double c) {
  return w.Op(Step::KeyTransform).U8(slot).U8(stream).Time(time).Number(a).Number(b).Number(c);
}
W& Setup(W& w) { return w.Op(Step::GlobalSetup).Op(Step::ParamsSetup); }
W& Frame(W& w) { return w.Op(Step::PreRender).Op(Step::Render).Op(Step::EndFrame); }
W& FailAt(W& w, int k) {
  return w.Op(Step::FailCallNumber)
      .U8(static_cast<std::uint8_t>(k % 256))
      .U8(static_cast<std::uint8_t>(k / 256))
      .Time(kFaultCode);
}
W& FailOp(W& w, Op op, int n) {
  return w.Op(Step::FailCall).U8(FaultOp(op)).U8(static_cast<std::uint8_t>(n - 1)).Time(kFaultCode);
}

// The scenes.
W& Sliding(W& w) {
  Key(w, 0, kPosition, 0, 15, 27, 0);
  Key(w, 0, kPosition, 2000, 75, 27, 0);
  SetFloat(w, Index(PARAM_TIME_THRESHOLD), 20.0);
  return SetFloat(w, Index(PARAM_SHUTTER_ANGLE), 360.0);
}
W& RampFill(W& w) {
  Sliding(w);
  SetCheckbox(w, Index(PARAM_RAMP_FILL_ENABLE), true);
  return SetFloat(w, Index(PARAM_OPACITY), 50.0);
}
W& SolidFill(W& w) {
  Sliding(w);
  SetCheckbox(w, Index(PARAM_SOLID_FILL_ENABLE), true);
  return SetFloat(w, Index(PARAM_OPACITY), 60.0);
}
W& MotionSource(W& w) {
  w.Op(Step::AddLayer).U8(0).U8(6).U8(6).Number(15.0).Number(15.0);
  Key(w, 1, kRotateZ, 0, 0, 0, 0);
  Key(w, 1, kRotateZ, 2000, 400, 0, 0);
  Key(w, 1, kScale, 0, 100, 100, 100);
  Key(w, 1, kScale, 2000, 300, 300, 100);
  w.Op(Step::SetLayerParam).U8(Index(PARAM_MOTION_SOURCE)).U8(2);
  SetFloat(w, Index(PARAM_TIME_THRESHOLD), 25.0);
  SetCheckbox(w, Index(PARAM_RAMP_FILL_ENABLE), true);
  return SetCheckbox(w, Index(PARAM_SOLID_FILL_ENABLE), true);
}

using SeedList = std::vector<std::pair<std::string, W>>;

/// Adds the seed `name`, written by `build`.
void Add(SeedList& seeds, std::string name, const std::function<void(W&)>& build) {
  W w;
  build(w);
  seeds.emplace_back(std::move(name), std::move(w));
}

/// Whole frames of each scene.
void AddFrameSeeds(SeedList& seeds) {
  const std::function<W&(W&)> scenes[] = {Sliding, RampFill, SolidFill, MotionSource};
  const char* sceneNames[] = {"sliding", "ramp-fill", "solid-fill", "motion-source"};

  Add(seeds, "still-frame", [](W& w) { Setup(w).Op(Step::RenderFrame).Time(kNow); });
  for (std::size_t i = 0; i < std::size(scenes); ++i) {
    Add(seeds, std::string(sceneNames[i]) + "-frame", [&](W& w) {
      Setup(w);
      scenes[i](w).Op(Step::SetTime).Time(kNow);
      Frame(w);
    });
  }
}

/// Commands out of their order, twice, or without their records.
void AddCommandOrderSeeds(SeedList& seeds) {
  Add(seeds, "param-change-between-pre-render-and-render", [](W& w) {
    Setup(w);
    RampFill(w).Op(Step::SetTime).Time(kNow).Op(Step::PreRender);
    SetFloat(w, Index(PARAM_TIME_THRESHOLD), 1.0);
    SetCheckbox(w, Index(PARAM_RAMP_FILL_ENABLE), false);
    SetCheckbox(w, Index(PARAM_SOLID_FILL_ENABLE), true);
    w.Op(Step::SetColor).U8(Index(PARAM_SOLID_COLOR)).U8(255).U8(0).U8(200).U8(40);
    w.Op(Step::Render).Op(Step::EndFrame);
  });
  Add(seeds, "frame-ended-twice", [](W& w) {
    Setup(w);
    Sliding(w).Op(Step::SetTime).Time(kNow).Op(Step::PreRender).Op(Step::Render);
    w.Op(Step::EndFrame).Op(Step::EndFrame);
    // A pre-render without its extra record, after the frame has ended, then its render.
    w.Op(Step::RawCommand).Time(23).Op(Step::Render).Op(Step::EndFrame).Op(Step::EndFrame);
  });
  Add(seeds, "render-without-pre-render", [](W& w) {
    Setup(w);
    Sliding(w).Op(Step::SetTime).Time(kNow).Op(Step::Render).Op(Step::EndFrame);
    w.Op(Step::PreRender).Op(Step::EndFrame).Op(Step::Render).Op(Step::RawCommand).Time(24);
  });
  Add(seeds, "about-before-global-setup", [](W& w) {
    w.Op(Step::About).Op(Step::UpdateParamsUI).Op(Step::GlobalSetup).Op(Step::About);
    w.Op(Step::GlobalSetdown).Op(Step::RawCommand).Time(-1).Op(Step::RawCommand).Time(11);
  });
  Add(seeds, "parameter-setup-twice", [](W& w) {
    Setup(w).Op(Step::ParamsSetup).Op(Step::UserChangedParam).U8(Index(PARAM_SWAP_COLORS));
    w.Op(Step::UpdateParamsUI).Op(Step::RenderFrame).Time(kNow);
  });
  Add(seeds, "failed-parameter-setup", [](W& w) {
    w.Op(Step::GlobalSetup);
    FailOp(w, Op::add_param, 5).Op(Step::ParamsSetup).Op(Step::ClearFaults);
    w.Op(Step::UserChangedParam).U8(Index(PARAM_SWAP_COLORS)).Op(Step::ParamsSetup);
    w.Op(Step::UserChangedParam).U8(Index(PARAM_SWAP_COLORS)).Op(Step::RenderFrame).Time(kNow);
  });
}

/// Times, downsample factors and parameter values at and beyond their limits.
void AddValueSeeds(SeedList& seeds) {
  Add(seeds, "frames-at-times-and-downsamples", [](W& w) {
    Setup(w);
    Sliding(w).Op(Step::SetDownsample).U8(0).U8(1).U8(0).U8(1);  // 1/2 each way
    w.Op(Step::RenderFrame).Time(1100);
    w.Op(Step::SetDownsample).U8(0).U8(2).U8(5).U8(6);  // 1/4, 3/7
    w.Op(Step::RenderFrame).Time(std::numeric_limits<std::int32_t>::max());
    w.Op(Step::SetTimeSteps).Time(-100).Time(2400).Op(Step::RenderFrame).Time(-2400);
    w.Op(Step::SetDownsample).U8(3).U8(0).U8(0).U8(3);  // 0/1, 1/0
    w.Op(Step::ClearTimeSteps).Op(Step::RenderFrame).Time(std::numeric_limits<std::int32_t>::min());
  });
  Add(seeds, "hostile-values", [](W& w) {
    Setup(w);
    Sliding(w);
    SetFloat(w, Index(PARAM_SHUTTER_ANGLE), std::numeric_limits<double>::quiet_NaN());
    w.Op(Step::RenderFrame).Time(kNow);
    SetFloat(w, Index(PARAM_SHUTTER_ANGLE), 720.0);
    SetFloat(w, Index(PARAM_TIME_THRESHOLD), -1.0);
    SetFloat(w, Index(PARAM_OPACITY), -1e300);
    w.Op(Step::RenderFrame).Time(kNow);
    w.Op(Step::SetTimeScale).Time(0).Time(100).Op(Step::RenderFrame).Time(kNow);
  });
}

/// Host calls failing during frames, and suites refused.
void AddFaultSeeds(SeedList& seeds) {
  for (int k : {5, 40, 90, 160, 300}) {
    Add(seeds, "fault-at-call-" + std::to_string(k), [k](W& w) {
      Setup(w);
      RampFill(w).Op(Step::SetTime).Time(kNow);
      FailAt(w, k);
      Frame(w);
      Frame(w);
    });
  }
  Add(seeds, "faults-in-render", [](W& w) {
    Setup(w);
    MotionSource(w).Op(Step::SetTime).Time(kNow).Op(Step::PreRender);
    FailOp(w, Op::checkout_layer_pixels, 2).Op(Step::Render);
    FailOp(w, Op::host_lock_handle, 1).Op(Step::Render).Op(Step::EndFrame);
  });
  Add(seeds, "suite-refused-at-frame-end", [](W& w) {
    Setup(w);
    SolidFill(w).Op(Step::SetTime).Time(kNow).Op(Step::PreRender).Op(Step::Render);
    w.Op(Step::RefuseSuite).U8(0).Op(Step::EndFrame).Op(Step::ClearFaults);
    w.Op(Step::NoBasicSuite).U8(1).Op(Step::PreRender).Op(Step::About).Op(Step::EndFrame);
    w.Op(Step::NoBasicSuite).U8(0).Op(Step::RenderFrame).Time(kNow);
  });
}

/// The scene edited between commands.
void AddSceneEditSeeds(SeedList& seeds) {
  Add(seeds, "scene-edits-between-commands", [](W& w) {
    Setup(w);
    MotionSource(w).Op(Step::SetTime).Time(kNow).Op(Step::PreRender);
    w.Op(Step::ResizeComp).U8(3).U8(2).Op(Step::SetEffectLayer).U8(2).Op(Step::Render);
    w.Op(Step::OutputRequest).U8(1).Time(0).Time(0).Time(50).Time(50);
    w.Op(Step::RenderFrame).Time(kNow);
  });
  Add(seeds, "frame-without-columns", [](W& w) {
    // No width, 16 rows at a vertical downsample of 2^31 / 3: a frame of no bytes, 2^31 rows.
    Setup(w).Op(Step::ResizeComp).U8(0).U8(2);
    w.Op(Step::SetDownsample).U8(0).U8(0).U8(7).U8(5).Op(Step::RenderFrame).Time(0);
  });
}

SeedList Seeds() {
  SeedList seeds;
  AddFrameSeeds(seeds);
  AddCommandOrderSeeds(seeds);
  AddValueSeeds(seeds);
  AddFaultSeeds(seeds);
  AddSceneEditSeeds(seeds);
  return seeds;
}

}  // namespace
}  // namespace quillstreak::fuzz

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <folder>\n", argv[0]);
    return 2;
  }
  for (const auto& [name, writer] : quillstreak::fuzz::Seeds()) {
    const std::string path = std::string(argv[1]) + "/" + name;
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(writer.bytes().data()),
              static_cast<std::streamsize>(writer.bytes().size()));
    if (!out) {
      std::fprintf(stderr, "cannot write %s\n", path.c_str());
      return 1;
    }
  }
  return 0;
}
