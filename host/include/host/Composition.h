// The composition the substitute host renders: layers with keyframed transform streams.
#pragma once

#include <array>
#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "host/FrameSource.h"
#include "host/pixels/LayerSource.h"
#include "hostapi/HostApi.h"

namespace quillstreak::host {

/// A stream's value: up to four components, unused ones zero.
using StreamValue = std::array<double, 4>;

/// How a keyframe's value moves towards the next keyframe.
enum class Interp {
  Linear,  // straight line
  Hold,    // keeps this keyframe's value until the next keyframe's time
  Eased    // smooth-step: u * u * (3 - 2u)
};

/// One keyframe: a time in the composition's time scale and up to four components (transform
/// streams use x, y, z; colours use alpha, red, green, blue).
struct Keyframe {
  std::int32_t time = 0;
  StreamValue value{};
  Interp interp = Interp::Linear;  // interpolation from this keyframe to the next
};

/// A value that may vary over time. Without keyframes it is constant. With keyframes it holds the
/// first keyframe's value before the first one and the last one's after the last.
class Stream {
 public:
  Stream() = default;
  explicit Stream(StreamValue constant) : constant_(constant) {}
  /// One-component constant (x).
  static Stream Scalar(double v) { return Stream({v, 0.0, 0.0, 0.0}); }

  void SetConstant(StreamValue value) {
    constant_ = value;
    keys_.clear();
  }
  /// Adds (or replaces, at an equal time) a keyframe; keyframes stay sorted by time.
  void AddKeyframe(std::int32_t time, StreamValue value, Interp interp = Interp::Linear);
  void AddKeyframe(const Keyframe& key) { AddKeyframe(key.time, key.value, key.interp); }
  const std::vector<Keyframe>& keyframes() const { return keys_; }
  bool animated() const { return !keys_.empty(); }

  /// The value at time value/scale, where keyframe times count units of keyScale. The position
  /// between keyframes is found exactly (64-bit cross-multiplied rationals); the value is
  /// interpolated in double. A scale or keyScale of 0 evaluates at time 0.
  StreamValue Evaluate(std::int64_t value, std::uint32_t scale, std::uint32_t keyScale) const;

 private:
  StreamValue constant_{};
  std::vector<Keyframe> keys_;
};

/// The transform streams of a layer (the host's anchor point, position, scale and rotations).
struct TransformStreams {
  Stream anchor;                             // source pixels
  Stream position;                           // composition pixels
  Stream scale{{100.0, 100.0, 100.0, 0.0}};  // percent
  Stream rotateZ, rotateY, rotateX;          // degrees, component x
  /// All six evaluated at value/scale (keyframe times in keyScale units).
  TransformValues Evaluate(std::int64_t value, std::uint32_t scale, std::uint32_t keyScale) const;
  /// The stream a layer stream of the host interface reads, and the type it is read as
  /// (ThreeD_SPATIAL for anchor point and position, ThreeD for scale, OneD for the rotations);
  /// null for a stream the host does not keep.
  const Stream* ForLayerStream(AEGP_LayerStream which, AEGP_StreamType& type) const;
};

/// Where a layer lies in the composition's time, in composition time units. The layer's own
/// time (in which its keyframes, its changing source and every time the host gives an effect
/// on it are counted) is the composition's time minus `start`. It draws from `inPoint` up to,
/// not including, `outPoint`: at other times it draws nothing, and no effect on it runs.
struct LayerTiming {
  std::int64_t start = 0;
  std::int64_t inPoint = std::numeric_limits<std::int64_t>::min();
  std::int64_t outPoint = std::numeric_limits<std::int64_t>::max();
};

struct Layer {
  std::int32_t id = 0;  // unique within the composition, non-zero
  std::string name;
  /// The source; for a layer that changes over time, kind Image with the frames' size and no
  /// pixels (each time's frame comes from `frames`).
  LayerSource source;
  /// The frames of a source that changes over time (null for a still source), shared by the
  /// copies of the composition.
  std::shared_ptr<FrameSource> frames;
  bool loop = false;  // after its last frame a changing source starts again (else holds it)
  TransformStreams transform;
  LayerTiming timing;

  /// The frame of a changing source at the layer's own time value/scale (FrameIndexAt); 0 for
  /// a still source.
  std::int64_t FrameAt(std::int64_t value, std::uint32_t scale) const;
};

struct Composition {
  A_long width = 640;
  A_long height = 360;
  A_u_long timeScale = 2400;          // units per second
  A_long frameDuration = 100;         // one frame in timeScale units
  A_long duration = 24000;            // total length in timeScale units
  PF_Pixel background{255, 0, 0, 0};  // opaque ARGB
  std::vector<Layer> layers;          // bottom to top: later layers are drawn in front

  Layer* FindLayer(std::int32_t id);
  const Layer* FindLayer(std::int32_t id) const;
  /// Adds a layer and returns it (the reference is valid until the next AddLayer).
  Layer& AddLayer(Layer layer);
  /// Bytes of the layers' source images.
  std::uint64_t SourceImageBytes() const;

  // ---- layer time (LayerTiming): every time below is value / scale, in the scale given; the
  // times converted are kept within the range of A_long (as the host's A_Time values are) ----
  /// The layer's own time at composition time `compValue`.
  std::int64_t LayerTime(const Layer& layer, std::int64_t compValue, std::uint32_t scale) const;
  /// The composition time at the layer's own time `layerValue`.
  std::int64_t CompTime(const Layer& layer, std::int64_t layerValue, std::uint32_t scale) const;
  /// Whether the layer draws at composition time `compValue` (from its in point up to, not
  /// including, its out point).
  bool Active(const Layer& layer, std::int64_t compValue, std::uint32_t scale) const;
};

}  // namespace quillstreak::host
