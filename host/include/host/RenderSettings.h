// Every setting of a render, in one place: the time of the next commands and their time steps,
// the downsample, the worker threads, the pre-render's output request and entry rectangles, and
// the memory the host may hold for pixels (the world budget and the layer cache).
#pragma once

#include <cstdint>
#include <optional>

#include "host/Composition.h"
#include "hostapi/HostApi.h"

namespace quillstreak::host {

class WorldPool;

/// A composition size at one axis' downsample, rounded up (the size itself for a downsample
/// that is not a positive fraction; the A_long maximum for a size beyond it).
A_long ScaledSize(A_long size, const PF_RationalScale& downsample);

class RenderSettings {
 public:
  /// The world budget and the layer cache are the world pool's: their setters apply there at
  /// once. Every other setting is kept here and read by the parts when they need it.
  explicit RenderSettings(WorldPool& worlds) : worlds_(worlds) {}
  RenderSettings(const RenderSettings&) = delete;
  RenderSettings& operator=(const RenderSettings&) = delete;

  // ---- time: in_data's current_time, time_step and local_time_step of the next commands ------
  /// The composition time of the next commands (RenderFrame sets it to the frame's time);
  /// in_data's current_time is the effect layer's own time there (Scene::EffectLayerTime).
  void SetTime(A_long time) { time_ = time; }
  A_long time() const { return time_; }
  /// time_step and local_time_step (default: the composition's frameDuration).
  void SetTimeSteps(A_long timeStep, A_long localTimeStep);
  void ClearTimeSteps();
  A_long timeStep(const Composition& comp) const { return timeStep_.value_or(comp.frameDuration); }
  A_long localTimeStep(const Composition& comp) const {
    return localTimeStep_.value_or(comp.frameDuration);
  }

  // ---- downsample: in_data's downsample_x and downsample_y (default 1/1) -------------------
  void SetDownsample(PF_RationalScale x, PF_RationalScale y);
  const PF_RationalScale& downsampleX() const { return downsampleX_; }
  const PF_RationalScale& downsampleY() const { return downsampleY_; }
  /// The downsample factors as numbers (1 where a denominator is 0).
  double dsx() const;
  double dsy() const;
  /// The frame: the composition at the downsample.
  A_long FrameWidth(const Composition& comp) const { return ScaledSize(comp.width, downsampleX_); }
  A_long FrameHeight(const Composition& comp) const {
    return ScaledSize(comp.height, downsampleY_);
  }

  // ---- threads ------------------------------------------------------------------------------
  /// Worker threads for iterate, transfer, layer rendering and the frame composite (0 =
  /// hardware concurrency).
  void SetThreads(unsigned threads) { threads_ = threads; }
  unsigned threads() const { return threads_; }

  // ---- smart pre-render ---------------------------------------------------------------------
  /// Replaces the output_request of the next pre-renders (default: the frame's,
  /// FrameProtocol::DefaultOutputRequest()).
  void SetOutputRequest(const PF_RenderRequest& request) { outputRequest_ = request; }
  void ClearOutputRequest() { outputRequest_.reset(); }
  const std::optional<PF_RenderRequest>& outputRequest() const { return outputRequest_; }
  /// Output rectangles placed in PF_PreRenderOutput before the effect runs (default empty).
  void SetPreRenderEntryRects(PF_LRect result, PF_LRect maxResult);
  const PF_LRect& entryResultRect() const { return entryResult_; }
  const PF_LRect& entryMaxResultRect() const { return entryMax_; }

  // ---- memory (the world pool's) ------------------------------------------------------------
  /// Bytes the host may hold for pixels at once (default 2 GiB; see WorldPool::SetBudget).
  void SetWorldBudget(std::uint64_t bytes);
  /// Keeps rendered layer checkouts between frames (on by default; see WorldPool::SetLayerCache).
  void SetLayerCache(bool on);

 private:
  WorldPool& worlds_;
  A_long time_ = 0;
  std::optional<A_long> timeStep_;
  std::optional<A_long> localTimeStep_;
  PF_RationalScale downsampleX_{1, 1};
  PF_RationalScale downsampleY_{1, 1};
  unsigned threads_ = 0;
  std::optional<PF_RenderRequest> outputRequest_;
  PF_LRect entryResult_{};
  PF_LRect entryMax_{};
};

}  // namespace quillstreak::host
