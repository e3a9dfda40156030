#include "scene/TrailCopies.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <set>

#include "host/Host.h"
#include "renderer/SceneFile.h"

namespace quillstreak::renderer {
namespace {

using quillstreak::host::TransformValues;

// At most this many moments are measured, spread evenly over the frames.
constexpr long kMaxProbes = 200000;

bool EmptyRect(const PF_LRect& r) { return r.left >= r.right || r.top >= r.bottom; }

// One change of the measured layer, as the effect measures it when it decides whether a later
// moment is a new sample: the largest of the anchor point's and the position's change in
// (downsampled) pixels, the scale's in percentage points and the rotation's in degrees, each of
// the last two weighted by its Samples parameter.
struct Change {
  enum class Kind { Move, Scale, Turn };
  double amount = 0;
  Kind kind = Kind::Move;
};

Change Measure(const TransformValues& probe, const TransformValues& base, double dsx, double dsy,
               double samplesScale, double samplesRotation) {
  auto largestShift = [&](const double* p, const double* b) {
    return std::max(
        {std::fabs(p[0] - b[0]) * dsx, std::fabs(p[1] - b[1]) * dsy, std::fabs(p[2] - b[2]) * dsx});
  };
  const double rotation = samplesRotation * std::max({std::fabs(probe.rotateX - base.rotateX),
                                                      std::fabs(probe.rotateY - base.rotateY),
                                                      std::fabs(probe.rotateZ - base.rotateZ)});
  const double scale =
      (samplesScale * 100.0) * std::max(std::fabs(probe.scale[0] * 0.01 - base.scale[0] * 0.01),
                                        std::fabs(probe.scale[1] * 0.01 - base.scale[1] * 0.01));
  const double shift = std::max(largestShift(probe.anchor, base.anchor),
                                largestShift(probe.position, base.position));
  Change c{shift, Change::Kind::Move};
  if (std::fabs(scale) > c.amount) c = {std::fabs(scale), Change::Kind::Scale};
  if (rotation > c.amount) c = {rotation, Change::Kind::Turn};
  return c;
}

// `v` with as few decimals (at least one) as show that it lies below `limit`.
std::string Below(double v, double limit) {
  char buf[64];
  for (int decimals = 1; decimals <= 6; ++decimals) {
    std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
    if (std::strtod(buf, nullptr) < limit) break;
  }
  return buf;
}

// The effect's parameters the sampling reads, found by name.
struct SamplingParams {
  const ParamInfo* threshold = nullptr;
  const ParamInfo* timeThreshold = nullptr;
  const ParamInfo* shutter = nullptr;
  const ParamInfo* source = nullptr;
  const ParamInfo* samplesScale = nullptr;
  const ParamInfo* samplesRotation = nullptr;
  bool found() const {
    return threshold && timeThreshold && shutter && source && samplesScale && samplesRotation;
  }
};

// What the frames showed: the largest change within a frame's shutter interval and the values
// of the frame it was met in.
struct Finding {
  Change largest;
  double threshold = 0;
  double shutter = 0;
  std::int32_t shutterTicks = 0;
  bool anyShutter = false;  // some frame had a shutter interval at all
};

}  // namespace

int CopiesDrawn(const quillstreak::host::Host& host) {
  const auto& checkouts = host.frames().layerCheckouts();
  if (checkouts.empty()) return 0;
  using quillstreak::host::LayerCheckout;
  const LayerCheckout& current =
      *std::max_element(checkouts.begin(), checkouts.end(),
                        [](const LayerCheckout& a, const LayerCheckout& b) { return a.id < b.id; });
  std::set<A_long> drawn;
  for (const quillstreak::host::JournalEntry& e : host.journal()) {
    if (e.op != quillstreak::host::Op::checkout_layer_pixels || e.result != PF_Err_NONE) continue;
    const A_long id = e.Args<quillstreak::host::Op::checkout_layer_pixels>().checkout_id;
    for (const LayerCheckout& c : checkouts)
      if (c.id == id && c.id != current.id && c.time < current.time && !EmptyRect(c.resultRect))
        drawn.insert(id);
  }
  return static_cast<int>(drawn.size());
}

namespace {

// The largest change of `layer` within the shutter intervals of `frames` (at most kMaxProbes
// moments, spread evenly over them), as the effect would measure it.
Finding LargestChange(const quillstreak::host::Host& host, const SamplingParams& p,
                      const quillstreak::host::Layer& layer, const std::vector<long>& frames,
                      double ds) {
  const auto& params = host.params();
  const auto& comp = host.scene().comp();
  auto at = [&](const ParamInfo* info, long frame) {
    return params.FloatAt(info->index, static_cast<A_long>(frame * kUnitsPerFrame));
  };
  auto probesOf = [&](long frame, std::int32_t& ticks, std::int32_t& step) {
    ticks = static_cast<std::int32_t>(static_cast<double>(comp.frameDuration) *
                                      (at(p.shutter, frame) * 0.002777777777777778));
    step = std::max<std::int32_t>(
        1, static_cast<std::int32_t>(static_cast<std::int32_t>(at(p.timeThreshold, frame)) / ds));
    return ticks < 0 ? 0L : ticks / step + 1L;
  };
  std::int32_t ticks = 0, step = 1;
  const long perFrame = std::max(1L, probesOf(frames.front(), ticks, step));
  const std::size_t stride = static_cast<std::size_t>(
      std::max(1L, perFrame * static_cast<long>(frames.size()) / kMaxProbes));
  Finding f;
  f.threshold = at(p.threshold, frames.front());
  f.shutter = at(p.shutter, frames.front());
  f.shutterTicks = ticks;
  long budget = kMaxProbes;
  for (std::size_t i = 0; i < frames.size() && budget > 0; i += stride) {
    const long frame = frames[i];
    const long probes = std::min(budget, probesOf(frame, ticks, step));
    budget -= probes;
    f.anyShutter = f.anyShutter || ticks > 0;
    // No probe was accepted, so every one was measured against the interval's start.
    const std::int64_t start = frame * kUnitsPerFrame - ticks;
    const TransformValues base = host.scene().TransformAt(layer, start, comp.timeScale);
    const double samplesScale = at(p.samplesScale, frame);
    const double samplesRotation = at(p.samplesRotation, frame);
    for (long k = 1; k <= probes; ++k) {
      const Change c = Measure(host.scene().TransformAt(layer, start + k * step, comp.timeScale),
                               base, ds, ds, samplesScale, samplesRotation);
      if (c.amount <= f.largest.amount) continue;
      f.largest = c;
      f.threshold = at(p.threshold, frame);
      f.shutter = at(p.shutter, frame);
      f.shutterTicks = ticks;
    }
  }
  return f;
}

// How `f.largest` falls short of the threshold: " moves at most 0.4 px in the half-resolution
// frame".
std::string Shortfall(const Finding& f, int downsample) {
  const std::string amount = Below(f.largest.amount, f.threshold);
  static const char* const kResolutions[] = {"", "", "half", "third", "quarter"};
  switch (f.largest.kind) {
    case Change::Kind::Move:
      return " moves at most " + amount + " px" +
             (downsample >= 2 && downsample <= 4
                  ? std::string(" in the ") + kResolutions[downsample] + "-resolution frame"
                  : "");
    case Change::Kind::Scale:
      return " scales by at most " + amount + " percentage points";
    case Change::Kind::Turn:
      return " turns at most " + amount + " degrees";
  }
  return {};
}

}  // namespace

std::string NoCopiesReason(const quillstreak::host::Host& host, const ParamCatalog& catalog,
                           const std::vector<long>& frames, int downsample) {
  SamplingParams p{catalog.Find("Motion Threshold"), catalog.Find("Time Threshold"),
                   catalog.Find("Shutter Angle"),    catalog.Find("Motion Source"),
                   catalog.Find("Samples Scale"),    catalog.Find("Samples Rotation")};
  if (!p.found() || frames.empty()) return {};
  const std::int32_t sourceId = host.params().LayerAt(p.source->index);
  const std::int32_t layerId = sourceId != 0 ? sourceId : host.scene().effectLayer();
  const quillstreak::host::Layer* layer = host.scene().comp().FindLayer(layerId);
  if (layer == nullptr) return {};
  const double ds = downsample < 1 ? 1.0 : 1.0 / downsample;  // the host's factor, num / den
  const Finding f = LargestChange(host, p, *layer, frames, ds);
  if (!f.anyShutter) {
    return "Shutter Angle " + FormatNumber(f.shutter) +
           " leaves no shutter interval, so there is no earlier moment to draw";
  }
  const std::string named = std::to_string(layer->id) + " \"" + layer->name + "\"";
  const std::string who =
      sourceId != 0 ? "the Motion Source, layer " + named + "," : "layer " + named;
  const std::string interval =
      " within the shutter interval of any frame rendered (Shutter Angle " +
      FormatNumber(f.shutter) + ": " + FormatNumber(f.shutterTicks / double(kUnitsPerFrame)) +
      (f.shutterTicks == kUnitsPerFrame ? " frame)" : " frames)");
  if (f.largest.amount == 0) return who + " does not move, scale or turn" + interval;
  if (f.largest.amount >= f.threshold) return {};
  return who + Shortfall(f, downsample) + interval + ", less than Motion Threshold " +
         FormatNumber(f.threshold) + (f.largest.kind == Change::Kind::Move ? " px" : "");
}

}  // namespace quillstreak::renderer
