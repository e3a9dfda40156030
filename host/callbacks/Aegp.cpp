// The AEGP suites: the effect's own layer and effect reference ("AEGP PF Interface Suite"),
// parameter streams and their values ("AEGP Stream Suite" 7 and 9), stream flags ("AEGP Dynamic
// Stream Suite"), disposing the effect reference ("AEGP Effect Suite"), and layers and their
// transform streams ("AEGP Layer Suite" 11 and 13). AEGP objects are opaque handles from the
// accounts; a stale one is recognised and refused, never dereferenced.
#include <algorithm>
#include <cstring>
#include <limits>

#include "CallbackContext.h"
#include "Callbacks.h"
#include "Stubs.h"
#include "host/Accounts.h"
#include "host/ParamStore.h"
#include "host/Scene.h"

namespace quillstreak::host::callbacks {

namespace {

using detail::kAegpStubError;
using Kind = Accounts::AegpKind;

// A time within the range of A_long.
A_long ToLong(std::int64_t time) {
  return static_cast<A_long>(std::clamp<std::int64_t>(time, std::numeric_limits<A_long>::min(),
                                                      std::numeric_limits<A_long>::max()));
}

// The value of an AEGP object for the journal: -1 for a handle the host does not know.
std::int32_t Journaled(const std::optional<std::int32_t>& value) { return value.value_or(-1); }

A_Err AEGP_GetEffectLayer(PF_ProgPtr ref, AEGP_LayerH* layerPH) {
  return WithContext<A_Err>(A_Err_GENERIC, [&](CallbackContext& c) -> A_Err {
    if (layerPH != nullptr) *layerPH = nullptr;
    if (A_long f = c.Enter<Op::AEGP_GetEffectLayer>({})) return c.Done(f);
    if (c.BadRef(ref) || layerPH == nullptr) return c.Done(A_Err_PARAMETER);
    const std::int32_t layerId = c.scene().effectLayer();
    if (c.scene().comp().FindLayer(layerId) == nullptr) return c.Done(A_Err_GENERIC);
    *layerPH = static_cast<AEGP_LayerH>(c.accounts().LayerHandle(layerId));
    return c.Done(A_Err_NONE);
  });
}

A_Err AEGP_GetNewEffectForEffect(AEGP_PluginID plugin, PF_ProgPtr ref, AEGP_EffectRefH* effectPH) {
  return WithContext<A_Err>(A_Err_GENERIC, [&](CallbackContext& c) -> A_Err {
    if (effectPH != nullptr) *effectPH = nullptr;
    if (A_long f = c.Enter<Op::AEGP_GetNewEffectForEffect>({plugin})) return c.Done(f);
    if (c.BadRef(ref) || effectPH == nullptr) return c.Done(A_Err_PARAMETER);
    *effectPH = static_cast<AEGP_EffectRefH>(c.accounts().NewAegp(Kind::EffectRef, 0));
    return c.Done(A_Err_NONE);
  });
}

A_Err AEGP_GetNewEffectStreamByIndex(AEGP_PluginID plugin, AEGP_EffectRefH effectH,
                                     PF_ParamIndex index, AEGP_StreamRefH* streamPH) {
  return WithContext<A_Err>(A_Err_GENERIC, [&](CallbackContext& c) -> A_Err {
    if (streamPH != nullptr) *streamPH = nullptr;
    if (A_long f = c.Enter<Op::AEGP_GetNewEffectStreamByIndex>({plugin, index})) return c.Done(f);
    Accounts& r = c.accounts();
    if (streamPH == nullptr || !r.FindLive(effectH, Kind::EffectRef))
      return c.Done(A_Err_PARAMETER);
    if (index < 0 || index >= c.params().count()) return c.Done(A_Err_PARAMETER);
    *streamPH = static_cast<AEGP_StreamRefH>(r.NewAegp(Kind::Stream, index));
    return c.Done(A_Err_NONE);
  });
}

template <typename ValueT>
A_Err GetNewStreamValue(AEGP_PluginID plugin, AEGP_StreamRefH streamH, AEGP_LTimeMode mode,
                        const A_Time* timeP, A_Boolean pre, ValueT* valueP) {
  return WithContext<A_Err>(A_Err_GENERIC, [&](CallbackContext& c) -> A_Err {
    const std::optional<std::int32_t> stream = c.accounts().FindLive(streamH, Kind::Stream);
    if (A_long f = c.Enter<Op::AEGP_GetNewStreamValue>({plugin, Journaled(stream), mode,
                                                        timeP != nullptr ? timeP->value : 0,
                                                        timeP != nullptr ? timeP->scale : 0, pre}))
      return c.Done(f);
    if (!stream || timeP == nullptr || valueP == nullptr) return c.Done(A_Err_PARAMETER);
    const int index = *stream;
    ParamStore& params = c.params();
    if (index >= params.count()) return c.Done(A_Err_PARAMETER);  // parameters set up anew
    std::memset(static_cast<void*>(valueP), 0, sizeof(ValueT));
    valueP->streamH = streamH;
    // The effect's streams are in its layer's time; a composition time is converted.
    const Scene& scene = c.scene();
    const Layer* layer = scene.comp().FindLayer(scene.effectLayer());
    const std::int64_t time = mode == AEGP_LTimeMode_CompTime && layer != nullptr
                                  ? scene.comp().LayerTime(*layer, timeP->value, timeP->scale)
                                  : timeP->value;
    params.StreamValueAt(index, ToLong(time), timeP->scale, valueP->val);
    c.accounts().AddStreamValue(streamH);
    return c.Done(A_Err_NONE);
  });
}

template <typename ValueT>
A_Err DisposeStreamValue(ValueT* valueP) {
  return WithContext<A_Err>(A_Err_GENERIC, [&](CallbackContext& c) -> A_Err {
    Accounts& r = c.accounts();
    const std::optional<std::int32_t> stream =
        valueP != nullptr ? r.Find(valueP->streamH, Kind::Stream) : std::nullopt;
    // A disposal made to fail still disposes: the effect gave the value back.
    const A_long f = c.Enter<Op::AEGP_DisposeStreamValue>({Journaled(stream)});
    if (valueP == nullptr) return c.Done(f != 0 ? f : A_Err_PARAMETER);
    if (!r.DisposeStreamValue(valueP->streamH)) return c.Done(f != 0 ? f : A_Err_PARAMETER);
    return c.Done(f != 0 ? f : A_Err_NONE);
  });
}

A_Err AEGP_DisposeStream(AEGP_StreamRefH streamH) {
  return WithContext<A_Err>(A_Err_GENERIC, [&](CallbackContext& c) -> A_Err {
    Accounts& r = c.accounts();
    const A_long f = c.Enter<Op::AEGP_DisposeStream>({Journaled(r.Find(streamH, Kind::Stream))});
    if (!r.Dispose(streamH, Kind::Stream)) return c.Done(f != 0 ? f : A_Err_PARAMETER);
    return c.Done(f != 0 ? f : A_Err_NONE);
  });
}

A_Err AEGP_DisposeEffect(AEGP_EffectRefH effectH) {
  return WithContext<A_Err>(A_Err_GENERIC, [&](CallbackContext& c) -> A_Err {
    const A_long f = c.Enter<Op::AEGP_DisposeEffect>({});
    if (!c.accounts().Dispose(effectH, Kind::EffectRef))
      return c.Done(f != 0 ? f : A_Err_PARAMETER);
    return c.Done(f != 0 ? f : A_Err_NONE);
  });
}

template <typename ValT>
A_Err GetLayerStreamValue(AEGP_LayerH layerH, AEGP_LayerStream which, AEGP_LTimeMode mode,
                          const A_Time* timeP, A_Boolean pre, ValT* valP, AEGP_StreamType* typeP0) {
  return WithContext<A_Err>(A_Err_GENERIC, [&](CallbackContext& c) -> A_Err {
    if (A_long f =
            c.Enter<Op::AEGP_GetLayerStreamValue>({which, timeP != nullptr ? timeP->value : 0,
                                                   timeP != nullptr ? timeP->scale : 0, mode, pre}))
      return c.Done(f);
    const Scene& scene = c.scene();
    const std::optional<std::int32_t> layerId = c.accounts().Find(layerH, Kind::Layer);
    const Layer* layer = layerId ? scene.comp().FindLayer(*layerId) : nullptr;
    if (layer == nullptr || timeP == nullptr || valP == nullptr || timeP->scale == 0 ||
        (mode != AEGP_LTimeMode_LayerTime && mode != AEGP_LTimeMode_CompTime))
      return c.Done(A_Err_PARAMETER);
    AEGP_StreamType type = AEGP_StreamType_NO_DATA;
    const Stream* stream = layer->transform.ForLayerStream(which, type);
    if (stream == nullptr) return c.Done(A_Err_PARAMETER);
    // In layer time the time is this layer's own (whatever the effect's layer is); a
    // composition time is converted.
    const std::int64_t time = mode == AEGP_LTimeMode_CompTime
                                  ? scene.comp().LayerTime(*layer, timeP->value, timeP->scale)
                                  : timeP->value;
    const StreamValue v = stream->Evaluate(time, timeP->scale, scene.comp().timeScale);
    std::memset(static_cast<void*>(valP), 0, sizeof(ValT));
    if (type == AEGP_StreamType_OneD) {
      valP->one_d = v[0];
    } else {
      valP->three_d.x = v[0];
      valP->three_d.y = v[1];
      valP->three_d.z = v[2];
    }
    if (typeP0 != nullptr) *typeP0 = type;
    return c.Done(A_Err_NONE);
  });
}

A_Err AEGP_GetLayerParentComp(AEGP_LayerH layerH, AEGP_CompH* compPH) {
  return WithContext<A_Err>(A_Err_GENERIC, [&](CallbackContext& c) -> A_Err {
    if (compPH != nullptr) *compPH = nullptr;
    Accounts& r = c.accounts();
    const std::optional<std::int32_t> layerId = r.Find(layerH, Kind::Layer);
    if (A_long f = c.Enter<Op::AEGP_GetLayerParentComp>({Journaled(layerId)})) return c.Done(f);
    if (!layerId || compPH == nullptr || c.scene().comp().FindLayer(*layerId) == nullptr)
      return c.Done(A_Err_PARAMETER);
    *compPH = static_cast<AEGP_CompH>(r.CompHandle());
    return c.Done(A_Err_NONE);
  });
}

A_Err AEGP_GetLayerFromLayerID(AEGP_CompH compH, AEGP_LayerIDVal id, AEGP_LayerH* layerPH) {
  return WithContext<A_Err>(A_Err_GENERIC, [&](CallbackContext& c) -> A_Err {
    if (layerPH != nullptr) *layerPH = nullptr;
    if (A_long f = c.Enter<Op::AEGP_GetLayerFromLayerID>({id})) return c.Done(f);
    Accounts& r = c.accounts();
    if (layerPH == nullptr || !r.Find(compH, Kind::Comp) ||
        c.scene().comp().FindLayer(id) == nullptr)
      return c.Done(A_Err_PARAMETER);
    *layerPH = static_cast<AEGP_LayerH>(r.LayerHandle(id));
    return c.Done(A_Err_NONE);
  });
}

A_Err AEGP_GetLayerID(AEGP_LayerH layerH, AEGP_LayerIDVal* idP) {
  return WithContext<A_Err>(A_Err_GENERIC, [&](CallbackContext& c) -> A_Err {
    if (A_long f = c.Enter<Op::AEGP_GetLayerID>({})) return c.Done(f);
    const std::optional<std::int32_t> layerId = c.accounts().Find(layerH, Kind::Layer);
    if (!layerId || idP == nullptr) return c.Done(A_Err_PARAMETER);
    *idP = *layerId;
    return c.Done(A_Err_NONE);
  });
}

A_Err AEGP_SetDynamicStreamFlag(AEGP_StreamRefH streamH, AEGP_DynStreamFlags flag,
                                A_Boolean undoable, A_Boolean set) {
  return WithContext<A_Err>(A_Err_GENERIC, [&](CallbackContext& c) -> A_Err {
    const std::optional<std::int32_t> stream = c.accounts().FindLive(streamH, Kind::Stream);
    if (A_long f = c.Enter<Op::AEGP_SetDynamicStreamFlag>({Journaled(stream), flag, undoable, set}))
      return c.Done(f);
    if (!stream) return c.Done(A_Err_PARAMETER);
    c.params().SetDynamicFlag(*stream, flag, set != 0);
    return c.Done(A_Err_NONE);
  });
}

// The members both versions of a suite have in common.
template <typename T>
void FillStreamCommon(T& s) {
  QS_STUB(s, AEGP_IsStreamLegal, kAegpStubError);
  QS_STUB(s, AEGP_CanVaryOverTime, kAegpStubError);
  QS_STUB(s, AEGP_GetValidInterpolations, kAegpStubError);
  QS_STUB(s, AEGP_GetNewLayerStream, kAegpStubError);
  QS_STUB(s, AEGP_GetEffectNumParamStreams, kAegpStubError);
  s.AEGP_GetNewEffectStreamByIndex = AEGP_GetNewEffectStreamByIndex;
  QS_STUB(s, AEGP_GetNewMaskStream, kAegpStubError);
  s.AEGP_DisposeStream = AEGP_DisposeStream;
  QS_STUB(s, AEGP_GetStreamName, kAegpStubError);
  QS_STUB(s, AEGP_GetStreamUnitsText, kAegpStubError);
  QS_STUB(s, AEGP_GetStreamProperties, kAegpStubError);
  QS_STUB(s, AEGP_IsStreamTimevarying, kAegpStubError);
  QS_STUB(s, AEGP_GetStreamType, kAegpStubError);
  QS_STUB(s, AEGP_SetStreamValue, kAegpStubError);
  QS_STUB(s, AEGP_GetExpressionState, kAegpStubError);
  QS_STUB(s, AEGP_SetExpressionState, kAegpStubError);
  QS_STUB(s, AEGP_GetExpression, kAegpStubError);
  QS_STUB(s, AEGP_SetExpression, kAegpStubError);
  QS_STUB(s, AEGP_DuplicateStreamRef, kAegpStubError);
  s.AEGP_GetNewStreamValue = GetNewStreamValue;
  s.AEGP_DisposeStreamValue = DisposeStreamValue;
  s.AEGP_GetLayerStreamValue = GetLayerStreamValue;
}

template <typename T>
void FillLayerCommon(T& s) {
  QS_STUB(s, AEGP_GetCompNumLayers, kAegpStubError);
  QS_STUB(s, AEGP_GetCompLayerByIndex, kAegpStubError);
  QS_STUB(s, AEGP_GetActiveLayer, kAegpStubError);
  QS_STUB(s, AEGP_GetLayerIndex, kAegpStubError);
  QS_STUB(s, AEGP_GetLayerSourceItem, kAegpStubError);
  QS_STUB(s, AEGP_GetLayerSourceItemID, kAegpStubError);
  s.AEGP_GetLayerParentComp = AEGP_GetLayerParentComp;
  QS_STUB(s, AEGP_GetLayerName, kAegpStubError);
  QS_STUB(s, AEGP_GetLayerQuality, kAegpStubError);
  QS_STUB(s, AEGP_SetLayerQuality, kAegpStubError);
  QS_STUB(s, AEGP_GetLayerFlags, kAegpStubError);
  QS_STUB(s, AEGP_SetLayerFlag, kAegpStubError);
  QS_STUB(s, AEGP_IsLayerVideoReallyOn, kAegpStubError);
  QS_STUB(s, AEGP_IsLayerAudioReallyOn, kAegpStubError);
  QS_STUB(s, AEGP_GetLayerCurrentTime, kAegpStubError);
  QS_STUB(s, AEGP_GetLayerInPoint, kAegpStubError);
  QS_STUB(s, AEGP_GetLayerDuration, kAegpStubError);
  QS_STUB(s, AEGP_SetLayerInPointAndDuration, kAegpStubError);
  QS_STUB(s, AEGP_GetLayerOffset, kAegpStubError);
  QS_STUB(s, AEGP_SetLayerOffset, kAegpStubError);
  QS_STUB(s, AEGP_GetLayerStretch, kAegpStubError);
  QS_STUB(s, AEGP_SetLayerStretch, kAegpStubError);
  QS_STUB(s, AEGP_GetLayerTransferMode, kAegpStubError);
  QS_STUB(s, AEGP_SetLayerTransferMode, kAegpStubError);
  QS_STUB(s, AEGP_IsAddLayerValid, kAegpStubError);
  QS_STUB(s, AEGP_AddLayer, kAegpStubError);
  QS_STUB(s, AEGP_ReorderLayer, kAegpStubError);
  QS_STUB(s, AEGP_GetLayerMaskedBounds, kAegpStubError);
  QS_STUB(s, AEGP_GetLayerObjectType, kAegpStubError);
  QS_STUB(s, AEGP_IsLayer3D, kAegpStubError);
  QS_STUB(s, AEGP_IsLayer2D, kAegpStubError);
  QS_STUB(s, AEGP_IsVideoActive, kAegpStubError);
  QS_STUB(s, AEGP_IsLayerUsedAsTrackMatte, kAegpStubError);
  QS_STUB(s, AEGP_DoesLayerHaveTrackMatte, kAegpStubError);
  QS_STUB(s, AEGP_ConvertCompToLayerTime, kAegpStubError);
  QS_STUB(s, AEGP_ConvertLayerToCompTime, kAegpStubError);
  QS_STUB(s, AEGP_GetLayerDancingRandValue, kAegpStubError);
  s.AEGP_GetLayerID = AEGP_GetLayerID;
  QS_STUB(s, AEGP_GetLayerToWorldXform, kAegpStubError);
  QS_STUB(s, AEGP_GetLayerToWorldXformFromView, kAegpStubError);
  QS_STUB(s, AEGP_SetLayerName, kAegpStubError);
  QS_STUB(s, AEGP_GetLayerParent, kAegpStubError);
  QS_STUB(s, AEGP_SetLayerParent, kAegpStubError);
  QS_STUB(s, AEGP_DeleteLayer, kAegpStubError);
  QS_STUB(s, AEGP_DuplicateLayer, kAegpStubError);
  s.AEGP_GetLayerFromLayerID = AEGP_GetLayerFromLayerID;
}

}  // namespace

void FillPFInterfaceSuite(AEGP_PFInterfaceSuite1& suite) {
  suite.AEGP_GetEffectLayer = AEGP_GetEffectLayer;
  suite.AEGP_GetNewEffectForEffect = AEGP_GetNewEffectForEffect;
  QS_STUB(suite, AEGP_ConvertEffectToCompTime, kAegpStubError);
  QS_STUB(suite, AEGP_GetEffectCamera, kAegpStubError);
  QS_STUB(suite, AEGP_GetEffectCameraMatrix, kAegpStubError);
}

void FillStreamSuite(AEGP_StreamSuite2& suite) { FillStreamCommon(suite); }
void FillStreamSuite(AEGP_StreamSuite4& suite) { FillStreamCommon(suite); }

void FillDynamicStreamSuite(AEGP_DynamicStreamSuite2& suite) {
  QS_STUB(suite, AEGP_GetNewStreamRefForLayer, kAegpStubError);
  QS_STUB(suite, AEGP_GetStreamDepth, kAegpStubError);
  QS_STUB(suite, AEGP_GetStreamGroupingType, kAegpStubError);
  QS_STUB(suite, AEGP_GetNumStreamsInGroup, kAegpStubError);
  QS_STUB(suite, AEGP_GetDynamicStreamFlags, kAegpStubError);
  suite.AEGP_SetDynamicStreamFlag = AEGP_SetDynamicStreamFlag;
  QS_STUB(suite, AEGP_GetNewStreamRefByIndex, kAegpStubError);
  QS_STUB(suite, AEGP_GetNewStreamRefByMatchname, kAegpStubError);
  QS_STUB(suite, AEGP_DeleteStream, kAegpStubError);
  QS_STUB(suite, AEGP_ReorderStream, kAegpStubError);
  QS_STUB(suite, AEGP_DuplicateStream, kAegpStubError);
  QS_STUB(suite, AEGP_SetStreamName, kAegpStubError);
  QS_STUB(suite, AEGP_CanAddStream, kAegpStubError);
  QS_STUB(suite, AEGP_AddStream, kAegpStubError);
  QS_STUB(suite, AEGP_GetMatchName, kAegpStubError);
  QS_STUB(suite, AEGP_GetNewParentStreamRef, kAegpStubError);
  QS_STUB(suite, AEGP_GetStreamIsModified, kAegpStubError);
}

void FillEffectSuite(AEGP_EffectSuite2& suite) {
  QS_STUB(suite, AEGP_GetLayerNumEffects, kAegpStubError);
  QS_STUB(suite, AEGP_GetLayerEffectByIndex, kAegpStubError);
  QS_STUB(suite, AEGP_GetInstalledKeyFromLayerEffect, kAegpStubError);
  QS_STUB(suite, AEGP_GetEffectParamUnionByIndex, kAegpStubError);
  QS_STUB(suite, AEGP_GetEffectFlags, kAegpStubError);
  QS_STUB(suite, AEGP_SetEffectFlags, kAegpStubError);
  QS_STUB(suite, AEGP_ReorderEffect, kAegpStubError);
  QS_STUB(suite, AEGP_EffectCallGeneric, kAegpStubError);
  suite.AEGP_DisposeEffect = AEGP_DisposeEffect;
  QS_STUB(suite, AEGP_ApplyEffect, kAegpStubError);
  QS_STUB(suite, AEGP_DeleteLayerEffect, kAegpStubError);
  QS_STUB(suite, AEGP_GetNumInstalledEffects, kAegpStubError);
  QS_STUB(suite, AEGP_GetNextInstalledEffect, kAegpStubError);
  QS_STUB(suite, AEGP_GetEffectName, kAegpStubError);
  QS_STUB(suite, AEGP_GetEffectMatchName, kAegpStubError);
  QS_STUB(suite, AEGP_GetEffectCategory, kAegpStubError);
  QS_STUB(suite, AEGP_DuplicateEffect, kAegpStubError);
}

void FillLayerSuite(AEGP_LayerSuite5& suite) { FillLayerCommon(suite); }

void FillLayerSuite(AEGP_LayerSuite7& suite) {
  FillLayerCommon(suite);
  QS_STUB(suite, AEGP_GetLayerLabel, kAegpStubError);
  QS_STUB(suite, AEGP_SetLayerLabel, kAegpStubError);
}

}  // namespace quillstreak::host::callbacks
