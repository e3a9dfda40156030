// The frame protocol: smart pre-render and smart render with their input and output records,
// the layer checkouts of a frame and their pixels, the output world, and the frame's end (the
// pre-render deleter).
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "host/CommandRunner.h"
#include "host/pixels/World.h"
#include "hostapi/HostApi.h"

namespace quillstreak::host {

class HostRecords;
struct Layer;
class ParamStore;
class RenderSettings;
class Scene;
class WorldPool;

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
  /// `time` (in the effect layer's time) as the rendered layer's own time: the same for the
  /// input layer, shifted by the difference of their starts for another layer.
  std::int64_t layerTime = 0;
};

class FrameProtocol : private CommandHooks {
 public:
  /// Registers itself with the runner for the frame's bookkeeping around every command.
  FrameProtocol(CommandRunner& runner, HostRecords& records, const Scene& scene,
                const ParamStore& params, const RenderSettings& settings, WorldPool& worlds);
  FrameProtocol(const FrameProtocol&) = delete;
  FrameProtocol& operator=(const FrameProtocol&) = delete;

  /// The whole frame (the composition at the downsample), field as in_data, channel mask ARGB:
  /// the output_request of a pre-render unless RenderSettings::SetOutputRequest replaces it.
  PF_RenderRequest DefaultOutputRequest() const;

  // ---- commands ------------------------------------------------------------------------------
  /// Ends a pending frame, then pre-renders the frame at the settings' time.
  PF_Err SmartPreRender();
  /// Renders the frame pre-rendered last (its pre_render_data).
  PF_Err SmartRender();
  /// Calls delete_pre_render_data_func(pre_render_data) when set and forgets the frame (both
  /// fields of preRenderOutput() are null afterwards). Throws std::logic_error during a command.
  void EndFrame();
  /// A frame at which the effect layer draws nothing, so no effect runs: ends a pending frame
  /// and forgets its checkouts and the last output.
  void SkipFrame();
  /// Why a changing source's frame could not be had for a checkout of the last smart render
  /// (empty when nothing failed); the checkout gave PF_Err_INTERNAL_STRUCT_DAMAGED.
  const std::string& sourceError() const { return sourceError_; }

  // ---- the frame -----------------------------------------------------------------------------
  const PF_PreRenderInput& preRenderInput() const { return preIn_; }
  const PF_PreRenderOutput& preRenderOutput() const { return preOut_; }
  const std::vector<LayerCheckout>& layerCheckouts() const { return checkouts_; }
  /// The output world of the last smart render (kept until the next pre-render or smart render).
  const World* outputWorld() const;

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
  void BeforeCommand(PF_Cmd cmd) override;
  void AfterCommand(PF_Cmd cmd, void* extra) override;
  void FinishFrame();
  const Layer* LayerForCheckout(int index) const;
  void RenderCheckout(const Layer& layer, const LayerCheckout& checkout, World& world);

  CommandRunner& runner_;
  HostRecords& records_;
  const Scene& scene_;
  const ParamStore& params_;
  const RenderSettings& settings_;
  WorldPool& worlds_;

  bool inPreRender_ = false;
  bool inRender_ = false;
  bool framePending_ = false;
  PF_PreRenderInput preIn_{};
  PF_PreRenderOutput preOut_{};
  PF_SmartRenderInput renderIn_{};
  std::vector<LayerCheckout> checkouts_;
  std::map<A_long, World*> pixelWorlds_;  // checkout id -> its world, for the running command
  std::map<std::int32_t, std::uint64_t> sourceFingerprints_;  // per layer, for one render
  std::string sourceError_;
};

}  // namespace quillstreak::host
