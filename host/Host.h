// The substitute host: drives an effect module through its entry point the way the real host
// does, over a small composition, and records every host call the effect makes.
//
// Typical use:
//   qshost::Module module(qshost::DefaultModulePath());
//   qshost::Host host(module);
//   host.comp().AddLayer(...);            // optional: a default 100x100 layer exists
//   host.GlobalSetup(); host.ParamsSetup();
//   host.SetFloat(2, 0.5);                // parameter values by index
//   auto frame = host.RenderFrame(1000);  // pre-render + render + composite + frame end
//   EXPECT_TRUE(host.AccountsClear()) << host.AccountsText();
//
// Threading: one command at a time per Host. Callbacks without a context argument (handle suite,
// AcquireSuite, ...) find the Host through a per-thread "current host" pointer that is set while
// a command (or the frame-end deleter) runs on that thread.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/Composition.h"
#include "host/Faults.h"
#include "host/Journal.h"
#include "host/LayerCache.h"
#include "host/Module.h"
#include "host/pixels/Pixels.h"
#include "hostapi/HostApi.h"

namespace qshost {

/// ansi.sprintf writes at most this many bytes (255 characters and the NUL): the size of
/// out_data's return_msg, the largest text buffer the host hands to the effect.
inline constexpr std::size_t kSprintfLimit = 256;

/// Handles are classic handles: *handle is the data block and host_lock_handle returns it. New
/// handle memory is filled with 0xA5 bytes, so a field read before it is written shows up.
/// Host resources the effect holds. All zero between commands for a well-behaved effect (handles
/// may live from pre-render until the frame ends).
struct Accounts {
  std::int64_t handles = 0;                    // allocated, not disposed
  std::int64_t params = 0;                     // checked out, not checked in
  std::int64_t streams = 0;                    // AEGP stream references not disposed
  std::int64_t streamValues = 0;               // AEGP stream values not disposed
  std::int64_t effectRefs = 0;                 // AEGP effect references not disposed
  std::map<std::string, std::int64_t> suites;  // "name/version" -> acquired minus released
  bool Clear() const;
  std::string Describe() const;
};

/// One checkout_layer call of the current frame (arguments and the result the host gave).
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
  World frame;               // composition-sized at the downsample, opaque
};

/// Parameter value kinds the host keeps per index.
enum class ParamKind { Unset, Float, Color, Checkbox, Layer };

class Host {
 public:
  /// Any entry point (tests may pass a function of their own).
  explicit Host(PF_FilterProc entry);
  explicit Host(const Module& module) : Host(module.entry()) {}
  ~Host();  // ends a pending frame (calls the pre-render deleter)
  Host(const Host&) = delete;
  Host& operator=(const Host&) = delete;

  // ---- scene --------------------------------------------------------------------------------
  /// The composition; edit between commands. Starts with one layer (id 1, "Layer 1", a 100x100
  /// white rectangle centred in a 640x360 composition at 2400 units/s, frames of 100).
  Composition& comp() { return comp_; }
  const Composition& comp() const { return comp_; }
  /// Writes current_time (time()), time_step and local_time_step (SetTimeSteps, else
  /// comp().frameDuration), total_time, time_scale, and width, height and extent_hint (the
  /// composition at in_data's downsample) into in_data. Done by the constructor and by every
  /// command helper; Send leaves in_data alone, and no helper touches the other fields (quality,
  /// field, appl_id, downsample, ...).
  void SyncInData();
  /// The layer the effect is applied to (default: the first layer's id).
  void SetEffectLayer(std::int32_t layerId) { effectLayer_ = layerId; }
  std::int32_t effectLayer() const;
  /// current_time (composition time = layer time) for the next commands.
  void SetTime(A_long time) { time_ = time; }
  /// time_step and local_time_step for the next commands (default: comp().frameDuration).
  void SetTimeSteps(A_long timeStep, A_long localTimeStep) {
    timeStep_ = timeStep;
    localTimeStep_ = localTimeStep;
  }
  void ClearTimeSteps() {
    timeStep_.reset();
    localTimeStep_.reset();
  }
  A_long time() const { return time_; }
  void SetDownsample(PF_RationalScale x, PF_RationalScale y);
  /// Worker threads for iterate/transfer/render (0 = hardware concurrency).
  void SetThreads(unsigned threads) { threads_ = threads; }
  /// Keeps rendered layer checkouts between frames (on by default) and hands out copies of them
  /// when a later render checks out the same layer at the same time, transform, source and
  /// downsample. The pixels are the same either way. Turning it off empties it. Its size is
  /// bounded by half the world budget (SetWorldBudget); cached worlds are not counted as live.
  void SetLayerCache(bool on);
  const LayerCache& layerCache() const { return layerCache_; }

  // ---- parameter values (index 0..23) ---------------------------------------------------------
  // Settable before or after parameter setup. Keyframe times are in comp().timeScale units.
  void SetFloat(int index, double value);
  void KeyFloat(int index, std::int32_t time, double value, Interp interp = Interp::Linear);
  void SetColor(int index, PF_Pixel color);
  void KeyColor(int index, std::int32_t time, PF_Pixel color, Interp interp = Interp::Linear);
  void SetCheckbox(int index, bool on);
  void KeyCheckbox(int index, std::int32_t time, bool on);  // always held
  /// Layer parameter (Motion Source): a layer id, 0 = none.
  void SetLayerParam(int index, std::int32_t layerId);
  /// Forgets the value set for an index (back to the declared default).
  void ResetParam(int index);
  /// The definitions received by add_param, in call order (the first is index 1).
  const std::vector<PF_ParamDef>& declaredParams() const { return declared_; }
  /// The definition checkout_param gives for an index at time/scale, without journaling.
  /// Throws std::out_of_range for an index outside 0..num_params-1.
  PF_ParamDef ParamAt(int index, A_long time, A_u_long scale) const;
  double FloatAt(int index, A_long time) const;  // in comp time units
  PF_Pixel ColorAt(int index, A_long time) const;
  bool CheckboxAt(int index, A_long time) const;
  std::int32_t LayerParam(int index) const;
  /// Flags set by AEGP_SetDynamicStreamFlag on parameter streams (index -> flags, set flags or'ed
  /// in, cleared flags removed).
  AEGP_DynStreamFlags DynamicFlags(int index) const;

  // ---- commands -----------------------------------------------------------------------------
  /// Raw command with the host's in_data/out_data; no SyncInData.
  PF_Err Send(PF_Cmd cmd, PF_ParamDef** params, PF_LayerDef* output, void* extra);
  PF_Err GlobalSetup();
  PF_Err GlobalSetdown();
  PF_Err About();
  PF_Err ParamsSetup();
  /// Sends the parameter array at the current time and a PF_UserChangedParamExtra; stores values
  /// flagged PF_ChangeFlag_CHANGED_VALUE as new constant values.
  PF_Err UserChangedParam(int index);
  PF_Err UpdateParamsUI();
  /// Ends a pending frame first, then pre-renders the frame at time().
  PF_Err SmartPreRender();
  /// Renders the frame pre-rendered last (its pre_render_data).
  PF_Err SmartRender();
  /// Calls delete_pre_render_data_func(pre_render_data) when set and forgets the frame.
  void EndFrame();
  /// SetTime(time), pre-render, render (only when pre-render succeeded), composite the layers
  /// over the background (the effect layer through its output world), EndFrame. The layers go
  /// bottom to top onto a transparent canvas with TransferInFront, and the canvas over the
  /// background colour with CompositeOverBackground: straight-alpha "over" throughout.
  FrameResult RenderFrame(A_long time);

  // ---- frame inspection ---------------------------------------------------------------------
  /// Replaces the output_request of the next pre-renders (default: the whole composition at the
  /// downsample, field FRAME, channel mask ARGB).
  void SetOutputRequest(const PF_RenderRequest& request) { requestOverride_ = request; }
  void ClearOutputRequest() { requestOverride_.reset(); }
  /// Output rectangles placed in PF_PreRenderOutput before the effect runs (default empty).
  void SetPreRenderEntryRects(PF_LRect result, PF_LRect maxResult);
  PF_RenderRequest DefaultOutputRequest() const;
  const PF_PreRenderOutput& preRenderOutput() const { return preOut_; }
  const PF_PreRenderInput& preRenderInput() const { return preIn_; }
  const std::vector<LayerCheckout>& layerCheckouts() const { return checkouts_; }
  /// The output world of the last smart render (kept until the next pre-render or smart render).
  const World* outputWorld() const { return lastOutput_.get(); }

  // ---- journal and fault injection ---------------------------------------------------------
  /// Every host call the effect made (Journal::Clear empties it).
  Journal& journal() { return journal_; }
  const Journal& journal() const { return journal_; }
  /// Host calls made to fail, suites refused, the basic suite withheld.
  Faults& faults() { return faults_; }

  // ---- accounts -----------------------------------------------------------------------------
  const Accounts& accounts() const { return accounts_; }
  bool AccountsClear() const { return accounts_.Clear(); }
  std::string AccountsText() const { return accounts_.Describe(); }

  // ---- worlds -------------------------------------------------------------------------------
  /// Bytes of worlds that may be live at once (default 2 GiB); past it a checkout returns
  /// PF_Err_OUT_OF_MEMORY.
  void SetWorldBudget(std::uint64_t bytes) { worldBudget_ = bytes; }
  std::uint64_t worldBytesInUse() const { return worldBytes_; }

  // ---- raw records --------------------------------------------------------------------------
  PF_InData& in_data() { return in_; }
  PF_OutData& out_data() { return out_; }
  PF_UtilCallbacks& utils() { return utils_; }
  PF_ProgPtr effectRef() const { return in_.effect_ref; }
  PF_FilterProc entry() const { return entry_; }

  /// The host a callback on this thread belongs to (null outside commands).
  static Host* Current();

  struct Impl;  // the callback implementations (HostCallbacks.cpp)

  /// Journals a call of an unimplemented slot (used by the stubs).
  void RecordStubCall(std::string_view member, std::int64_t code);

 private:
  struct ParamTrack {
    ParamKind kind = ParamKind::Unset;
    Stream stream;  // Float: x; Color: alpha, red, green, blue; Checkbox: x (held); Layer: x
  };
  struct HandleBlock {
    void* master = nullptr;  // *handle: the data block
    std::unique_ptr<unsigned char[]> storage;
    A_HandleSize size = 0;
    std::int64_t serial = 0;
    int locks = 0;
  };
  enum class AegpKind { Layer, Comp, EffectRef, Stream };
  struct AegpObject {
    void* self = nullptr;  // the handle points here (a handle is a pointer to a pointer)
    AegpKind kind = AegpKind::Layer;
    std::int32_t value = 0;  // layer id or parameter index
    bool live = true;
  };
  class CommandScope;
  static constexpr std::size_t kMaxParams = 256;

  // Journals a call and consults fault injection: returns the injected code (0 when none).
  A_long Enter(Op op, CallArgs args);
  // Journals a call that cannot fail (void results).
  void Record(Op op, CallArgs args);
  void SetLastResult(std::int64_t result) { journal_.SetResult(result); }
  int NumParams() const;
  PF_ParamDef BaseDefinition(int index) const;
  ParamTrack& Track(int index);

  PF_Handle NewHandle(A_HandleSize size);
  HandleBlock* FindHandle(PF_Handle handle);
  std::int64_t HandleId(PF_Handle handle) const;
  bool DisposeHandle(PF_Handle handle);
  bool ResizeHandle(HandleBlock& block, A_HandleSize size);

  AegpObject* NewAegp(AegpKind kind, std::int32_t value);
  AegpObject* FindAegp(const void* handle, AegpKind kind) const;
  AegpObject* LiveAegp(const void* handle, AegpKind kind) const;
  void* LayerHandle(std::int32_t layerId);
  void* CompHandle();

  PF_Err NewWorld(std::int64_t width, std::int64_t height, A_long originX, A_long originY,
                  World*& world);
  void ReleaseCommandWorlds();
  void FinishFrame();
  const Layer* LayerForCheckout(int index) const;
  TransformValues LayerTransformAt(const Layer& layer, std::int64_t value,
                                   std::uint32_t scale) const;
  double dsx() const;
  double dsy() const;
  std::vector<PF_ParamDef> CurrentParams() const;

  PF_FilterProc entry_ = nullptr;
  Composition comp_;
  std::int32_t effectLayer_ = 0;
  A_long time_ = 0;
  std::optional<A_long> timeStep_;
  std::optional<A_long> localTimeStep_;
  unsigned threads_ = 0;
  std::unique_ptr<char[]> effectRefCell_;

  PF_InData in_{};
  PF_OutData out_{};
  PF_UtilCallbacks utils_{};
  SPBasicSuite basic_{};
  PF_PreRenderCallbacks preCb_{};
  PF_SmartRenderCallbacks renderCb_{};
  bool busy_ = false;
  bool inPreRender_ = false;
  bool inRender_ = false;

  std::vector<PF_ParamDef> declared_;
  std::map<int, ParamTrack> tracks_;
  std::map<int, AEGP_DynStreamFlags> dynFlags_;
  std::vector<std::pair<const PF_ParamDef*, int>> checkedOut_;
  PF_Pixel layerMarker_[4] = {};  // what a chosen layer parameter's data points at

  std::map<const void*, std::unique_ptr<HandleBlock>> handles_;
  std::int64_t handleSerial_ = 0;
  std::map<const void*, std::unique_ptr<AegpObject>> aegp_;
  std::map<std::int32_t, AegpObject*> layerHandles_;
  AegpObject* compHandle_ = nullptr;
  std::vector<const void*> liveValues_;

  Journal journal_;
  Faults faults_{in_, basic_};
  Accounts accounts_;

  std::uint64_t worldBudget_ = std::uint64_t{2} << 30;
  std::uint64_t worldBytes_ = 0;
  std::vector<std::unique_ptr<World>> commandWorlds_;
  std::map<A_long, World*> pixelWorlds_;
  World* outputWorld_ = nullptr;
  std::unique_ptr<World> lastOutput_;

  // frame state
  std::optional<PF_RenderRequest> requestOverride_;
  PF_LRect entryResult_{};
  PF_LRect entryMax_{};
  bool framePending_ = false;
  PF_PreRenderInput preIn_{};
  PF_PreRenderOutput preOut_{};
  PF_SmartRenderInput renderIn_{};
  std::vector<LayerCheckout> checkouts_;

  // Rendered layer checkouts kept between frames (HostLayerCache.cpp).
  void RenderCheckoutPixels(const Layer& layer, const LayerCheckout& checkout, World& world);
  LayerCache layerCache_;
  bool layerCacheOn_ = true;
  std::map<std::int32_t, std::uint64_t> sourceFingerprints_;  // per layer, for one render
};

}  // namespace qshost
