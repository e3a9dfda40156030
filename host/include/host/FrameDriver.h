// The frame protocol: commands sent to the effect (with the frame's bookkeeping around smart
// pre-render and smart render), the layer checkouts and worlds of a frame, the frame's end (the
// pre-render deleter) and the composite of the frame.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <vector>

#include "host/pixels/Pixels.h"
#include "hostapi/HostApi.h"

namespace quillstreak::host {

class HostRecords;
struct Layer;
class ParamStore;
class Scene;
class WorldPool;
struct LayerRenderKey;

/// One checkout_layer call of the current frame (its arguments and the result the host gave).
struct LayerCheckout {
  A_long index = 0;
  A_long id = 0;
  A_long time = 0;
  A_long timeStep = 0;
  A_u_long timeScale = 0;
  PF_RenderRequest request{};
  PF_LRect resultRect{};
  PF_LRect maxResultRect{};
  std::int32_t layerId = 0;  // the layer rendered for it (0 = none)
};

/// What RenderFrame produced.
struct FrameResult {
  PF_Err preRenderErr = PF_Err_NONE;
  PF_Err renderErr = PF_Err_NONE;
  PF_Err err = PF_Err_NONE;  // the first non-zero of the two, else PF_Err_OUT_OF_MEMORY when
                             // the frame does not fit the world budget (frame left empty)
  World frame;               // composition-sized at the downsample, opaque; empty when it has
                             // no pixels
};

class FrameDriver {
 public:
  FrameDriver(HostRecords& records, Scene& scene, const ParamStore& params, WorldPool& worlds)
      : records_(records), scene_(scene), params_(params), worlds_(worlds) {}
  FrameDriver(const FrameDriver&) = delete;
  FrameDriver& operator=(const FrameDriver&) = delete;

  // ---- settings ------------------------------------------------------------------------------
  /// Worker threads for iterate, transfer and layer rendering (0 = hardware concurrency).
  void SetThreads(unsigned threads) { threads_ = threads; }
  unsigned threads() const { return threads_; }
  /// Replaces the output_request of the next pre-renders (default: DefaultOutputRequest()).
  void SetOutputRequest(const PF_RenderRequest& request) { requestOverride_ = request; }
  void ClearOutputRequest() { requestOverride_.reset(); }
  /// The whole composition at the downsample, field as in_data, channel mask ARGB.
  PF_RenderRequest DefaultOutputRequest() const;
  /// Output rectangles placed in PF_PreRenderOutput before the effect runs (default empty).
  void SetPreRenderEntryRects(PF_LRect result, PF_LRect maxResult);

  // ---- commands ------------------------------------------------------------------------------
  /// Sends a command with the host's in_data and out_data as they stand. A smart pre-render
  /// ends the pending frame first; smart pre-render and smart render drop the last output.
  /// The command's worlds are released when it returns. Throws std::logic_error when a command
  /// is already running.
  PF_Err Send(PF_Cmd cmd, PF_ParamDef** params, PF_LayerDef* output, void* extra);
  /// Ends a pending frame, then pre-renders the frame at the scene's time.
  PF_Err SmartPreRender();
  /// Renders the frame pre-rendered last (its pre_render_data).
  PF_Err SmartRender();
  /// Calls delete_pre_render_data_func(pre_render_data) when set and forgets the frame (both
  /// fields of preRenderOutput() are null afterwards). Throws std::logic_error during a command.
  void EndFrame();
  /// Sets the scene's time, pre-renders, renders (only when pre-render succeeded), composites
  /// the layers over the background (the effect layer through its output world) and ends the
  /// frame. The layers go bottom to top onto a transparent canvas with TransferInFront, and the
  /// canvas over the background colour with CompositeOverBackground: straight-alpha "over"
  /// throughout.
  FrameResult RenderFrame(A_long time);

  // ---- the frame -----------------------------------------------------------------------------
  const PF_PreRenderInput& preRenderInput() const { return preIn_; }
  const PF_PreRenderOutput& preRenderOutput() const { return preOut_; }
  const std::vector<LayerCheckout>& layerCheckouts() const { return checkouts_; }
  /// The output world of the last smart render (kept until the next pre-render or smart render).
  const World* outputWorld() const;
  /// The last output placed on a transparent world the size of the frame (the composition at
  /// the downsample): the effect layer alone, as it goes into the frame.
  World EffectLayerFrame() const;

  // ---- the callbacks of a frame (the host's pre-render and smart-render callbacks) -----------
  /// checkout_layer during smart pre-render: records the checkout and reports the layer's box.
  PF_Err CheckoutLayer(PF_ParamIndex index, A_long id, const PF_RenderRequest& request, A_long time,
                       A_long timeStep, A_u_long timeScale, PF_CheckoutResult& result);
  /// checkout_layer_pixels during smart render: the layer rendered for a checkout (null for an
  /// empty box), the same world for every call with that id within the command.
  PF_Err CheckoutLayerPixels(A_long id, PF_EffectWorld*& pixels);
  /// checkout_output during smart render: a world the size of the pre-render's result_rect.
  PF_Err CheckoutOutput(PF_EffectWorld*& output);
  bool inPreRender() const { return inPreRender_; }
  bool inRender() const { return inRender_; }

 private:
  void FinishFrame();
  const Layer* LayerForCheckout(int index) const;
  void RenderCheckout(const Layer& layer, const LayerCheckout& checkout, World& world);
  A_long FrameWidth() const;
  A_long FrameHeight() const;

  HostRecords& records_;
  Scene& scene_;
  const ParamStore& params_;
  WorldPool& worlds_;
  unsigned threads_ = 0;

  std::optional<PF_RenderRequest> requestOverride_;
  PF_LRect entryResult_{};
  PF_LRect entryMax_{};
  bool inPreRender_ = false;
  bool inRender_ = false;
  bool framePending_ = false;
  PF_PreRenderInput preIn_{};
  PF_PreRenderOutput preOut_{};
  PF_SmartRenderInput renderIn_{};
  std::vector<LayerCheckout> checkouts_;
  std::map<A_long, World*> pixelWorlds_;  // checkout id -> its world, for the running command
  std::map<std::int32_t, std::uint64_t> sourceFingerprints_;  // per layer, for one render
};

}  // namespace quillstreak::host
