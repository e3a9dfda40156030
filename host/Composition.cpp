#include "host/Composition.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace quillstreak::host {

void Stream::AddKeyframe(std::int32_t time, StreamValue value, Interp interp) {
  auto it = std::lower_bound(keys_.begin(), keys_.end(), time,
                             [](const Keyframe& k, std::int32_t t) { return k.time < t; });
  if (it != keys_.end() && it->time == time) {
    it->value = value;
    it->interp = interp;
    return;
  }
  keys_.insert(it, Keyframe{time, value, interp});
}

StreamValue Stream::Evaluate(std::int64_t value, std::uint32_t scale,
                             std::uint32_t keyScale) const {
  if (keys_.empty()) return constant_;
  if (scale == 0 || keyScale == 0) {
    value = 0;
    scale = 1;
    keyScale = 1;
  }
  // The evaluation time t = value / scale and a keyframe time k / keyScale compare as
  // value * keyScale against k * scale. |value| and |k| are below 2^31 and both scales below
  // 2^32, so every product stays below 2^63.
  const std::int64_t tNum = value * static_cast<std::int64_t>(keyScale);
  auto keyNum = [scale](const Keyframe& k) {
    return static_cast<std::int64_t>(k.time) * static_cast<std::int64_t>(scale);
  };
  if (tNum <= keyNum(keys_.front())) return keys_.front().value;
  if (tNum >= keyNum(keys_.back())) return keys_.back().value;
  // First keyframe strictly after t; the one before it is at or before t.
  auto next = std::upper_bound(keys_.begin(), keys_.end(), tNum,
                               [&](std::int64_t t, const Keyframe& k) { return t < keyNum(k); });
  const Keyframe& a = *(next - 1);
  const Keyframe& b = *next;
  const std::int64_t aNum = keyNum(a);
  if (tNum == aNum || a.interp == Interp::Hold) return a.value;
  // The differences can exceed 64 bits at extreme times and scales: take them in double.
  const double u = (static_cast<double>(tNum) - static_cast<double>(aNum)) /
                   (static_cast<double>(keyNum(b)) - static_cast<double>(aNum));
  const double w = a.interp == Interp::Eased ? u * u * (3.0 - 2.0 * u) : u;
  StreamValue out{};
  for (std::size_t i = 0; i < out.size(); ++i) out[i] = a.value[i] + (b.value[i] - a.value[i]) * w;
  return out;
}

TransformValues TransformStreams::Evaluate(std::int64_t value, std::uint32_t scale,
                                           std::uint32_t keyScale) const {
  TransformValues xf;
  const StreamValue a = anchor.Evaluate(value, scale, keyScale);
  const StreamValue p = position.Evaluate(value, scale, keyScale);
  const StreamValue s = this->scale.Evaluate(value, scale, keyScale);
  for (int i = 0; i < 3; ++i) {
    xf.anchor[i] = a[static_cast<std::size_t>(i)];
    xf.position[i] = p[static_cast<std::size_t>(i)];
    xf.scale[i] = s[static_cast<std::size_t>(i)];
  }
  xf.rotateZ = rotateZ.Evaluate(value, scale, keyScale)[0];
  xf.rotateY = rotateY.Evaluate(value, scale, keyScale)[0];
  xf.rotateX = rotateX.Evaluate(value, scale, keyScale)[0];
  return xf;
}

const Stream* TransformStreams::ForLayerStream(AEGP_LayerStream which,
                                               AEGP_StreamType& type) const {
  switch (which) {
    case AEGP_LayerStream_ANCHORPOINT:
      type = AEGP_StreamType_ThreeD_SPATIAL;
      return &anchor;
    case AEGP_LayerStream_POSITION:
      type = AEGP_StreamType_ThreeD_SPATIAL;
      return &position;
    case AEGP_LayerStream_SCALE:
      type = AEGP_StreamType_ThreeD;
      return &scale;
    case AEGP_LayerStream_ROTATION:
      type = AEGP_StreamType_OneD;
      return &rotateZ;
    case AEGP_LayerStream_ROTATE_X:
      type = AEGP_StreamType_OneD;
      return &rotateX;
    case AEGP_LayerStream_ROTATE_Y:
      type = AEGP_StreamType_OneD;
      return &rotateY;
    default:
      return nullptr;
  }
}

std::int64_t Layer::FrameAt(std::int64_t value, std::uint32_t scale) const {
  if (!frames) return 0;
  return FrameIndexAt(value, scale, frames->rate(), frames->frameCount(), loop);
}

Layer* Composition::FindLayer(std::int32_t id) {
  for (Layer& layer : layers)
    if (layer.id == id) return &layer;
  return nullptr;
}

const Layer* Composition::FindLayer(std::int32_t id) const {
  for (const Layer& layer : layers)
    if (layer.id == id) return &layer;
  return nullptr;
}

Layer& Composition::AddLayer(Layer layer) {
  layers.push_back(std::move(layer));
  return layers.back();
}

std::uint64_t Composition::SourceImageBytes() const {
  std::uint64_t bytes = 0;
  for (const Layer& layer : layers) bytes += layer.source.pixels.size() * sizeof(PF_Pixel);
  return bytes;
}

namespace {

// Composition units as a count of 1/scale seconds: exact in the composition's own scale, else
// rounded to nearest.
std::int64_t InScale(std::int64_t units, std::uint32_t scale, std::uint32_t compScale) {
  if (scale == compScale || units == 0) return units;
  if (compScale == 0) return 0;
  const double v = std::round(static_cast<double>(units) * scale / compScale);
  constexpr double kLimit = 9.0e18;
  return static_cast<std::int64_t>(std::clamp(v, -kLimit, kLimit));
}

// a - b and a + b, saturated.
constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
std::int64_t Minus(std::int64_t a, std::int64_t b) {
  if (b > 0 && a < kMin + b) return kMin;
  if (b < 0 && a > kMax + b) return kMax;
  return a - b;
}
std::int64_t Plus(std::int64_t a, std::int64_t b) {
  if (b > 0 && a > kMax - b) return kMax;
  if (b < 0 && a < kMin - b) return kMin;
  return a + b;
}

// A time value of the host's interface (A_Time.value is 32-bit), saturated.
std::int64_t ToLong(std::int64_t time) {
  return std::clamp<std::int64_t>(time, std::numeric_limits<A_long>::min(),
                                  std::numeric_limits<A_long>::max());
}

}  // namespace

std::int64_t Composition::LayerTime(const Layer& layer, std::int64_t compValue,
                                    std::uint32_t scale) const {
  return ToLong(Minus(compValue, InScale(layer.timing.start, scale, timeScale)));
}

std::int64_t Composition::CompTime(const Layer& layer, std::int64_t layerValue,
                                   std::uint32_t scale) const {
  return ToLong(Plus(layerValue, InScale(layer.timing.start, scale, timeScale)));
}

bool Composition::Active(const Layer& layer, std::int64_t compValue, std::uint32_t scale) const {
  const LayerTiming& t = layer.timing;
  if (scale == timeScale || scale == 0 || timeScale == 0) {
    const std::int64_t v = scale == 0 ? 0 : compValue;
    return t.inPoint <= v && v < t.outPoint;
  }
  // In another scale: compared as seconds.
  const double seconds = static_cast<double>(compValue) / scale;
  const double units = static_cast<double>(timeScale);
  return static_cast<double>(t.inPoint) / units <= seconds &&
         seconds < static_cast<double>(t.outPoint) / units;
}

}  // namespace quillstreak::host
