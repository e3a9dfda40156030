// The host side of every callback table and suite the effect can reach: interaction and utility
// callbacks, the basic suite, the PF and AEGP suites, and the pre-render and smart-render
// callbacks. Each call is journaled; fault injection is applied before the call does anything.
#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <new>
#include <stdexcept>
#include <type_traits>

#include "host/Host.h"
#include "host/HostDetail.h"
#include "host/Stubs.h"

namespace qshost {

namespace {

constexpr std::int64_t kPfStubError = PF_Err_INVALID_CALLBACK;
constexpr std::int64_t kAegpStubError = A_Err_GENERIC;
constexpr std::int64_t kSpStubError = kSPUnimplementedError;

bool ValidWorld(const PF_EffectWorld* w) {
  if (w == nullptr) return false;
  if (w->width < 0 || w->height < 0) return false;
  if (w->width == 0 || w->height == 0) return true;
  if (w->data == nullptr) return false;
  return static_cast<std::int64_t>(w->rowbytes) >= static_cast<std::int64_t>(w->width) * 4;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// The implementations. Host::Impl is a nested class of Host, so it reaches the Host's state.
// ---------------------------------------------------------------------------------------------
struct Host::Impl {
  template <typename R>
  static R Done(Host& h, R result) {
    if constexpr (std::is_pointer_v<R>)
      h.SetLastResult(result != nullptr ? 0 : -1);  // journaled as -1 when null
    else
      h.SetLastResult(static_cast<std::int64_t>(result));
    return result;
  }

  static bool BadRef(const Host& h, PF_ProgPtr ref) { return ref != h.in_.effect_ref; }

  // ---- interaction callbacks ----------------------------------------------------------------
  static PF_Err checkout_param(PF_ProgPtr ref, PF_ParamIndex index, A_long what_time,
                               A_long time_step, A_u_long time_scale, PF_ParamDef* param) {
    Host* h = Host::Current();
    if (h == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    if (A_long f = h->Enter(Op::checkout_param,
                            args::CheckoutParam{index, what_time, time_step, time_scale}))
      return Done(*h, f);
    if (BadRef(*h, ref) || param == nullptr) return Done(*h, PF_Err_BAD_CALLBACK_PARAM);
    if (index < 0 || index >= h->NumParams()) return Done(*h, PF_Err_INVALID_INDEX);
    *param = h->ParamAt(index, what_time, time_scale);
    h->checkedOut_.push_back({param, index});
    ++h->accounts_.params;
    return Done(*h, PF_Err_NONE);
  }

  static PF_Err checkin_param(PF_ProgPtr ref, PF_ParamDef* param) {
    Host* h = Host::Current();
    if (h == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    // The index is found from the slot's address (the slot the definition was checked out
    // into); -1 for a slot that holds no checkout (checking in such a slot is accepted).
    std::int64_t index = -1;
    auto it = std::find_if(h->checkedOut_.begin(), h->checkedOut_.end(),
                           [param](const auto& c) { return c.first == param; });
    if (it != h->checkedOut_.end()) index = it->second;
    // A release that is made to fail still releases: the effect gave the definition back.
    const A_long f =
        h->Enter(Op::checkin_param, args::CheckinParam{static_cast<PF_ParamIndex>(index)});
    if (it != h->checkedOut_.end()) {
      h->checkedOut_.erase(it);
      --h->accounts_.params;
    }
    if (f != 0) return Done(*h, f);
    if (BadRef(*h, ref) || param == nullptr) return Done(*h, PF_Err_BAD_CALLBACK_PARAM);
    return Done(*h, PF_Err_NONE);
  }

  static PF_Err add_param(PF_ProgPtr ref, PF_ParamIndex index, PF_ParamDefPtr def) {
    Host* h = Host::Current();
    if (h == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    if (A_long f =
            h->Enter(Op::add_param, args::AddParam{index, def != nullptr ? def->param_type : -1,
                                                   def != nullptr ? def->uu.id : -1}))
      return Done(*h, f);
    if (BadRef(*h, ref) || def == nullptr) return Done(*h, PF_Err_BAD_CALLBACK_PARAM);
    const auto next = static_cast<PF_ParamIndex>(h->declared_.size() + 1);
    if (index != -1 && index != next) return Done(*h, PF_Err_INVALID_INDEX);
    if (h->declared_.size() >= kMaxParams) return Done(*h, PF_Err_OUT_OF_MEMORY);
    h->declared_.push_back(*def);
    return Done(*h, PF_Err_NONE);
  }

  static PF_Err abort_cb(PF_ProgPtr) {
    Host* h = Host::Current();
    if (h == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    if (A_long f = h->Enter(Op::abort, args::None{})) return Done(*h, f);
    return Done(*h, PF_Err_NONE);
  }

  static PF_Err progress(PF_ProgPtr, A_long current, A_long total) {
    Host* h = Host::Current();
    if (h == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    if (A_long f = h->Enter(Op::progress, args::Progress{current, total})) return Done(*h, f);
    return Done(*h, PF_Err_NONE);
  }

  // ---- utility callbacks --------------------------------------------------------------------
  static PF_Err fill(PF_ProgPtr ref, const PF_Pixel* color, const PF_Rect* rect,
                     PF_EffectWorld* world) {
    Host* h = Host::Current();
    if (h == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    args::Fill call{color != nullptr, {}};
    if (rect != nullptr) call.rect = *rect;
    if (A_long f = h->Enter(Op::fill, call)) return Done(*h, f);
    if (BadRef(*h, ref) || !ValidWorld(world)) return Done(*h, PF_Err_BAD_CALLBACK_PARAM);
    FillWorld(*world, color, rect);
    return Done(*h, PF_Err_NONE);
  }

  static PF_Err iterate(PF_InData* in_data, A_long progress_base, A_long progress_final,
                        PF_EffectWorld* src, const PF_Rect* area, void* refcon,
                        PF_IteratePixel8Func pix_fn, PF_EffectWorld* dst) {
    Host* h = Host::Current();
    if (h == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    args::Iterate call{
        progress_base, progress_final, src != nullptr, {}, src != nullptr && src == dst};
    if (area != nullptr) call.area = *area;
    if (A_long f = h->Enter(Op::iterate, call)) return Done(*h, f);
    if (in_data == nullptr || pix_fn == nullptr || !ValidWorld(dst) ||
        (src != nullptr && !ValidWorld(src)))
      return Done(*h, PF_Err_BAD_CALLBACK_PARAM);
    return Done(*h, Iterate8(src, dst, area, refcon, pix_fn, h->threads_));
  }

  static PF_Err iterate_generic(A_long iterations, void* refcon, PF_IterateGenericFunc fn) {
    Host* h = Host::Current();
    if (h == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    if (A_long f = h->Enter(Op::iterate_generic, args::IterateGeneric{iterations}))
      return Done(*h, f);
    if (fn == nullptr || iterations < 0) return Done(*h, PF_Err_BAD_CALLBACK_PARAM);
    for (A_long i = 0; i < iterations; ++i)
      if (PF_Err err = fn(refcon, 0, i, iterations)) return Done(*h, err);
    return Done(*h, PF_Err_NONE);
  }

  static PF_Err transfer_rect(PF_ProgPtr ref, PF_Quality quality, PF_ModeFlags m_flags,
                              PF_Field field, const PF_Rect* src_rec,
                              const PF_EffectWorld* src_world, const PF_CompositeMode* comp_mode,
                              const PF_MaskWorld* mask_world0, A_long dest_x, A_long dest_y,
                              PF_EffectWorld* dst_world) {
    Host* h = Host::Current();
    if (h == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    args::TransferRect call;
    call.quality = quality;
    call.m_flags = m_flags;
    call.field = field;
    if (src_rec != nullptr) call.src_rect = *src_rec;
    call.dest_x = dest_x;
    call.dest_y = dest_y;
    if (comp_mode != nullptr) {
      call.xfer = comp_mode->xfer;
      call.opacity = comp_mode->opacity;
    }
    call.mask = mask_world0 != nullptr;
    if (A_long f = h->Enter(Op::transfer_rect, call)) return Done(*h, f);
    if (BadRef(*h, ref) || comp_mode == nullptr || !ValidWorld(src_world) || !ValidWorld(dst_world))
      return Done(*h, PF_Err_BAD_CALLBACK_PARAM);
    // Only what the effect needs: the source in front of the destination, no mask. The host's
    // 8-bit worlds hold straight ARGB whichever alpha mode the caller names, so both modes give
    // the same straight-alpha composite; the flag is only journaled.
    if (comp_mode->xfer != PF_Xfer_IN_FRONT ||
        (m_flags != PF_MF_Alpha_PREMUL && m_flags != PF_MF_Alpha_STRAIGHT) ||
        mask_world0 != nullptr)
      return Done(*h, PF_Err_BAD_CALLBACK_PARAM);
    const PF_Rect whole{0, 0, src_world->width, src_world->height};
    TransferInFront(*src_world, src_rec != nullptr ? *src_rec : whole, dest_x, dest_y,
                    comp_mode->opacity, *dst_world, h->threads_);
    return Done(*h, PF_Err_NONE);
  }

  // ---- handles ------------------------------------------------------------------------------
  static PF_Handle host_new_handle(A_HandleSize size) {
    Host* h = Host::Current();
    if (h == nullptr) return nullptr;
    if (h->Enter(Op::host_new_handle, args::NewHandle{size})) return Done(*h, PF_Handle{});
    return Done(*h, h->NewHandle(size));
  }

  static void* host_lock_handle(PF_Handle handle) {
    Host* h = Host::Current();
    if (h == nullptr) return nullptr;
    if (h->Enter(Op::host_lock_handle, args::Handle{h->HandleId(handle)}))
      return Done(*h, static_cast<void*>(nullptr));
    HandleBlock* block = h->FindHandle(handle);
    if (block == nullptr) return Done(*h, static_cast<void*>(nullptr));
    ++block->locks;
    return Done(*h, block->master);
  }

  static void host_unlock_handle(PF_Handle handle) {
    Host* h = Host::Current();
    if (h == nullptr) return;
    h->Record(Op::host_unlock_handle, args::Handle{h->HandleId(handle)});
    HandleBlock* block = h->FindHandle(handle);
    if (block == nullptr) {
      h->SetLastResult(PF_Err_BAD_CALLBACK_PARAM);
      return;
    }
    if (block->locks > 0) --block->locks;
  }

  static void host_dispose_handle(PF_Handle handle) {
    Host* h = Host::Current();
    if (h == nullptr) return;
    h->Record(Op::host_dispose_handle, args::Handle{h->HandleId(handle)});
    if (!h->DisposeHandle(handle)) h->SetLastResult(PF_Err_BAD_CALLBACK_PARAM);
  }

  static A_HandleSize host_get_handle_size(PF_Handle handle) {
    Host* h = Host::Current();
    if (h == nullptr) return 0;
    if (h->Enter(Op::host_get_handle_size, args::Handle{h->HandleId(handle)}))
      return Done(*h, A_HandleSize{0});
    HandleBlock* block = h->FindHandle(handle);
    return Done(*h, block != nullptr ? block->size : A_HandleSize{0});
  }

  static PF_Err host_resize_handle(A_HandleSize new_size, PF_Handle* handleP) {
    Host* h = Host::Current();
    if (h == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    if (A_long f =
            h->Enter(Op::host_resize_handle,
                     args::ResizeHandle{new_size, handleP != nullptr ? h->HandleId(*handleP) : -1}))
      return Done(*h, f);
    if (handleP == nullptr) return Done(*h, PF_Err_BAD_CALLBACK_PARAM);
    HandleBlock* block = h->FindHandle(*handleP);
    if (block == nullptr) return Done(*h, PF_Err_BAD_CALLBACK_PARAM);
    if (!h->ResizeHandle(*block, new_size)) return Done(*h, PF_Err_OUT_OF_MEMORY);
    return Done(*h, PF_Err_NONE);
  }

  // ---- ANSI ---------------------------------------------------------------------------------
  // The same functions serve the utility table's ANSI block (journaled as "ansi.<name>") and
  // the "PF ANSI Suite" (journaled as "<name>"), so tests can tell which one the effect used.
  // sprintf writes at most kSprintfLimit bytes (255 characters and the NUL), the size of the
  // largest text buffer the host hands out (out_data's return_msg); longer output is cut there.
  static constexpr Op AnsiOp(bool suite, Op name, Op utilsName) { return suite ? name : utilsName; }

  template <bool Suite>
  static int ansi_sprintf(A_char* dst, const A_char* format, ...) {
    Host* h = Host::Current();
    if (h != nullptr) {
      if (A_long f = h->Enter(AnsiOp(Suite, Op::sprintf, Op::ansi_sprintf),
                              args::Text{format != nullptr ? format : ""})) {
        h->SetLastResult(f);
        return -1;
      }
    }
    if (dst == nullptr || format == nullptr) {
      if (h != nullptr) h->SetLastResult(-1);
      return -1;
    }
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(dst, kSprintfLimit, format, args);
    va_end(args);
    const int written = n < 0 ? -1 : std::min(n, static_cast<int>(kSprintfLimit) - 1);
    if (h != nullptr) h->SetLastResult(written);
    return written;
  }

  template <bool Suite>
  static A_char* ansi_strcpy(A_char* dst, const A_char* src) {
    Host* h = Host::Current();
    if (h != nullptr &&
        h->Enter(AnsiOp(Suite, Op::strcpy, Op::ansi_strcpy), args::Text{src != nullptr ? src : ""}))
      return Done(*h, static_cast<A_char*>(nullptr));
    if (dst == nullptr || src == nullptr) return nullptr;
    return std::strcpy(dst, src);
  }

#define QS_MATH1(name, fn)                                               \
  template <bool Suite>                                                  \
  static A_FpLong ansi_##name(A_FpLong x) {                              \
    if (Host* h = Host::Current())                                       \
      h->Record(AnsiOp(Suite, Op::name, Op::ansi_##name), args::None{}); \
    return fn(x);                                                        \
  }
#define QS_MATH2(name, fn)                                               \
  template <bool Suite>                                                  \
  static A_FpLong ansi_##name(A_FpLong x, A_FpLong y) {                  \
    if (Host* h = Host::Current())                                       \
      h->Record(AnsiOp(Suite, Op::name, Op::ansi_##name), args::None{}); \
    return fn(x, y);                                                     \
  }
  QS_MATH1(atan, std::atan)
  QS_MATH2(atan2, std::atan2)
  QS_MATH1(ceil, std::ceil)
  QS_MATH1(cos, std::cos)
  QS_MATH1(exp, std::exp)
  QS_MATH1(fabs, std::fabs)
  QS_MATH1(floor, std::floor)
  QS_MATH2(fmod, std::fmod)
  QS_MATH2(hypot, std::hypot)
  QS_MATH1(log, std::log)
  QS_MATH1(log10, std::log10)
  QS_MATH2(pow, std::pow)
  QS_MATH1(sin, std::sin)
  QS_MATH1(sqrt, std::sqrt)
  QS_MATH1(tan, std::tan)
  QS_MATH1(asin, std::asin)
  QS_MATH1(acos, std::acos)
#undef QS_MATH1
#undef QS_MATH2

  template <bool Suite, typename Table>
  static void FillAnsi(Table& t) {
    t.atan = ansi_atan<Suite>;
    t.atan2 = ansi_atan2<Suite>;
    t.ceil = ansi_ceil<Suite>;
    t.cos = ansi_cos<Suite>;
    t.exp = ansi_exp<Suite>;
    t.fabs = ansi_fabs<Suite>;
    t.floor = ansi_floor<Suite>;
    t.fmod = ansi_fmod<Suite>;
    t.hypot = ansi_hypot<Suite>;
    t.log = ansi_log<Suite>;
    t.log10 = ansi_log10<Suite>;
    t.pow = ansi_pow<Suite>;
    t.sin = ansi_sin<Suite>;
    t.sqrt = ansi_sqrt<Suite>;
    t.tan = ansi_tan<Suite>;
    t.sprintf = ansi_sprintf<Suite>;
    t.strcpy = ansi_strcpy<Suite>;
    t.asin = ansi_asin<Suite>;
    t.acos = ansi_acos<Suite>;
  }

  // ---- basic suite --------------------------------------------------------------------------
  static SPErr AcquireSuite(const char* name, std::int32_t version, const void** suite) {
    Host* h = Host::Current();
    if (h == nullptr) {
      if (suite != nullptr) *suite = nullptr;
      return kSPBadParameterError;
    }
    const std::string nameText = name != nullptr ? name : "";
    if (A_long f = h->Enter(Op::AcquireSuite, args::Suite{nameText, version})) {
      if (suite != nullptr) *suite = nullptr;
      return Done(*h, static_cast<SPErr>(f));
    }
    if (suite == nullptr || name == nullptr) {
      if (suite != nullptr) *suite = nullptr;
      return Done(*h, static_cast<SPErr>(kSPBadParameterError));
    }
    *suite = nullptr;
    if (h->faults_.SuiteRefused(nameText, version))
      return Done(*h, static_cast<SPErr>(kSPSuiteNotFoundError));
    const void* table = detail::FindSuite(nameText, version);
    if (table == nullptr) return Done(*h, static_cast<SPErr>(kSPSuiteNotFoundError));
    *suite = table;
    ++h->accounts_.suites[nameText + "/" + std::to_string(version)];
    return Done(*h, static_cast<SPErr>(kSPNoError));
  }

  static SPErr ReleaseSuite(const char* name, std::int32_t version) {
    Host* h = Host::Current();
    if (h == nullptr) return kSPBadParameterError;
    const std::string nameText = name != nullptr ? name : "";
    // A release that is made to fail still releases: the effect gave the suite back.
    const A_long f = h->Enter(Op::ReleaseSuite, args::Suite{nameText, version});
    SPErr result = kSPNoError;
    auto it = h->accounts_.suites.find(nameText + "/" + std::to_string(version));
    if (name == nullptr)
      result = kSPBadParameterError;
    else if (detail::FindSuite(nameText, version) == nullptr)
      result = kSPSuiteNotFoundError;
    else if (it == h->accounts_.suites.end() || it->second <= 0)
      result = kSPBadParameterError;  // released more than acquired
    else if (--it->second == 0)
      h->accounts_.suites.erase(it);
    return Done(*h, static_cast<SPErr>(f != 0 ? f : result));
  }

  // ---- AEGP ---------------------------------------------------------------------------------
  static A_Err AEGP_GetEffectLayer(PF_ProgPtr ref, AEGP_LayerH* layerPH) {
    Host* h = Host::Current();
    if (h == nullptr) return A_Err_GENERIC;
    if (layerPH != nullptr) *layerPH = nullptr;
    if (A_long f = h->Enter(Op::AEGP_GetEffectLayer, args::None{})) return Done(*h, f);
    if (BadRef(*h, ref) || layerPH == nullptr) return Done(*h, A_Err_PARAMETER);
    if (h->comp_.FindLayer(h->effectLayer()) == nullptr) return Done(*h, A_Err_GENERIC);
    *layerPH = reinterpret_cast<AEGP_LayerH>(h->LayerHandle(h->effectLayer()));
    return Done(*h, A_Err_NONE);
  }

  static A_Err AEGP_GetNewEffectForEffect(AEGP_PluginID plugin, PF_ProgPtr ref,
                                          AEGP_EffectRefH* effectPH) {
    Host* h = Host::Current();
    if (h == nullptr) return A_Err_GENERIC;
    if (effectPH != nullptr) *effectPH = nullptr;
    if (A_long f = h->Enter(Op::AEGP_GetNewEffectForEffect, args::Plugin{plugin}))
      return Done(*h, f);
    if (BadRef(*h, ref) || effectPH == nullptr) return Done(*h, A_Err_PARAMETER);
    *effectPH = reinterpret_cast<AEGP_EffectRefH>(h->NewAegp(AegpKind::EffectRef, 0));
    ++h->accounts_.effectRefs;
    return Done(*h, A_Err_NONE);
  }

  static A_Err AEGP_GetNewEffectStreamByIndex(AEGP_PluginID plugin, AEGP_EffectRefH effectH,
                                              PF_ParamIndex index, AEGP_StreamRefH* streamPH) {
    Host* h = Host::Current();
    if (h == nullptr) return A_Err_GENERIC;
    if (streamPH != nullptr) *streamPH = nullptr;
    if (A_long f = h->Enter(Op::AEGP_GetNewEffectStreamByIndex, args::EffectStream{plugin, index}))
      return Done(*h, f);
    if (streamPH == nullptr || h->LiveAegp(effectH, AegpKind::EffectRef) == nullptr)
      return Done(*h, A_Err_PARAMETER);
    if (index < 0 || index >= h->NumParams()) return Done(*h, A_Err_PARAMETER);
    *streamPH = reinterpret_cast<AEGP_StreamRefH>(h->NewAegp(AegpKind::Stream, index));
    ++h->accounts_.streams;
    return Done(*h, A_Err_NONE);
  }

  template <typename ValueT>
  static A_Err GetNewStreamValue(AEGP_PluginID plugin, AEGP_StreamRefH streamH, AEGP_LTimeMode mode,
                                 const A_Time* timeP, A_Boolean pre, ValueT* valueP) {
    Host* h = Host::Current();
    if (h == nullptr) return A_Err_GENERIC;
    const AegpObject* stream = h->LiveAegp(streamH, AegpKind::Stream);
    if (A_long f = h->Enter(Op::AEGP_GetNewStreamValue,
                            args::StreamValue{plugin, stream != nullptr ? stream->value : -1, mode,
                                              timeP != nullptr ? timeP->value : 0,
                                              timeP != nullptr ? timeP->scale : 0, pre}))
      return Done(*h, f);
    if (stream == nullptr || timeP == nullptr || valueP == nullptr)
      return Done(*h, A_Err_PARAMETER);
    const int index = stream->value;
    if (index >= h->NumParams()) return Done(*h, A_Err_PARAMETER);  // parameters set up anew
    std::memset(static_cast<void*>(valueP), 0, sizeof(ValueT));
    valueP->streamH = streamH;
    const PF_ParamDef def = h->ParamAt(index, timeP->value, timeP->scale);
    switch (def.param_type) {
      case PF_Param_LAYER:
        valueP->val.layer_id = index == 0 ? h->effectLayer() : h->LayerParam(index);
        break;
      case PF_Param_FLOAT_SLIDER:
        valueP->val.one_d = def.u.fs_d.value;
        break;
      case PF_Param_CHECKBOX:
        valueP->val.one_d = def.u.bd.value;
        break;
      case PF_Param_COLOR:
        valueP->val.color.alphaF = def.u.cd.value.alpha / 255.0;
        valueP->val.color.redF = def.u.cd.value.red / 255.0;
        valueP->val.color.greenF = def.u.cd.value.green / 255.0;
        valueP->val.color.blueF = def.u.cd.value.blue / 255.0;
        break;
      default:
        break;
    }
    h->liveValues_.push_back(reinterpret_cast<const void*>(streamH));
    ++h->accounts_.streamValues;
    return Done(*h, A_Err_NONE);
  }

  template <typename ValueT>
  static A_Err DisposeStreamValue(ValueT* valueP) {
    Host* h = Host::Current();
    if (h == nullptr) return A_Err_GENERIC;
    const AegpObject* stream =
        valueP != nullptr ? h->FindAegp(valueP->streamH, AegpKind::Stream) : nullptr;
    const A_long f =
        h->Enter(Op::AEGP_DisposeStreamValue, args::Stream{stream != nullptr ? stream->value : -1});
    if (valueP == nullptr) return Done(*h, f != 0 ? f : A_Err_PARAMETER);
    auto it = std::find(h->liveValues_.begin(), h->liveValues_.end(),
                        reinterpret_cast<const void*>(valueP->streamH));
    if (it == h->liveValues_.end()) return Done(*h, f != 0 ? f : A_Err_PARAMETER);
    h->liveValues_.erase(it);
    --h->accounts_.streamValues;
    return Done(*h, f != 0 ? f : A_Err_NONE);
  }

  static A_Err AEGP_DisposeStream(AEGP_StreamRefH streamH) {
    Host* h = Host::Current();
    if (h == nullptr) return A_Err_GENERIC;
    AegpObject* stream = h->FindAegp(streamH, AegpKind::Stream);
    const A_long f =
        h->Enter(Op::AEGP_DisposeStream, args::Stream{stream != nullptr ? stream->value : -1});
    if (stream == nullptr || !stream->live) return Done(*h, f != 0 ? f : A_Err_PARAMETER);
    stream->live = false;
    --h->accounts_.streams;
    return Done(*h, f != 0 ? f : A_Err_NONE);
  }

  static A_Err AEGP_DisposeEffect(AEGP_EffectRefH effectH) {
    Host* h = Host::Current();
    if (h == nullptr) return A_Err_GENERIC;
    const A_long f = h->Enter(Op::AEGP_DisposeEffect, args::None{});
    AegpObject* effect = h->FindAegp(effectH, AegpKind::EffectRef);
    if (effect == nullptr || !effect->live) return Done(*h, f != 0 ? f : A_Err_PARAMETER);
    effect->live = false;
    --h->accounts_.effectRefs;
    return Done(*h, f != 0 ? f : A_Err_NONE);
  }

  template <typename ValT>
  static A_Err GetLayerStreamValue(AEGP_LayerH layerH, AEGP_LayerStream which, AEGP_LTimeMode mode,
                                   const A_Time* timeP, A_Boolean pre, ValT* valP,
                                   AEGP_StreamType* typeP0) {
    Host* h = Host::Current();
    if (h == nullptr) return A_Err_GENERIC;
    if (A_long f = h->Enter(Op::AEGP_GetLayerStreamValue,
                            args::LayerStreamValue{which, timeP != nullptr ? timeP->value : 0,
                                                   timeP != nullptr ? timeP->scale : 0, mode, pre}))
      return Done(*h, f);
    const AegpObject* layerObj = h->FindAegp(layerH, AegpKind::Layer);
    const Layer* layer = layerObj != nullptr ? h->comp_.FindLayer(layerObj->value) : nullptr;
    if (layer == nullptr || timeP == nullptr || valP == nullptr || timeP->scale == 0 ||
        (mode != AEGP_LTimeMode_LayerTime && mode != AEGP_LTimeMode_CompTime))
      return Done(*h, A_Err_PARAMETER);
    const TransformStreams& xf = layer->transform;
    const Stream* stream = nullptr;
    bool threeD = true;
    AEGP_StreamType type = AEGP_StreamType_ThreeD_SPATIAL;
    switch (which) {
      case AEGP_LayerStream_ANCHORPOINT:
        stream = &xf.anchor;
        break;
      case AEGP_LayerStream_POSITION:
        stream = &xf.position;
        break;
      case AEGP_LayerStream_SCALE:
        stream = &xf.scale;
        type = AEGP_StreamType_ThreeD;
        break;
      case AEGP_LayerStream_ROTATION:
        stream = &xf.rotateZ;
        threeD = false;
        break;
      case AEGP_LayerStream_ROTATE_X:
        stream = &xf.rotateX;
        threeD = false;
        break;
      case AEGP_LayerStream_ROTATE_Y:
        stream = &xf.rotateY;
        threeD = false;
        break;
      default:
        return Done(*h, A_Err_PARAMETER);
    }
    // Layer time and composition time coincide: layers have no time offset or stretch.
    const StreamValue v = stream->Evaluate(timeP->value, timeP->scale, h->comp_.timeScale);
    std::memset(static_cast<void*>(valP), 0, sizeof(ValT));
    if (threeD) {
      valP->three_d.x = v[0];
      valP->three_d.y = v[1];
      valP->three_d.z = v[2];
    } else {
      valP->one_d = v[0];
      type = AEGP_StreamType_OneD;
    }
    if (typeP0 != nullptr) *typeP0 = type;
    return Done(*h, A_Err_NONE);
  }

  static A_Err AEGP_GetLayerParentComp(AEGP_LayerH layerH, AEGP_CompH* compPH) {
    Host* h = Host::Current();
    if (h == nullptr) return A_Err_GENERIC;
    if (compPH != nullptr) *compPH = nullptr;
    const AegpObject* layerObj = h->FindAegp(layerH, AegpKind::Layer);
    if (A_long f = h->Enter(Op::AEGP_GetLayerParentComp,
                            args::Layer{layerObj != nullptr ? layerObj->value : -1}))
      return Done(*h, f);
    if (layerObj == nullptr || compPH == nullptr || h->comp_.FindLayer(layerObj->value) == nullptr)
      return Done(*h, A_Err_PARAMETER);
    *compPH = reinterpret_cast<AEGP_CompH>(h->CompHandle());
    return Done(*h, A_Err_NONE);
  }

  static A_Err AEGP_GetLayerFromLayerID(AEGP_CompH compH, AEGP_LayerIDVal id,
                                        AEGP_LayerH* layerPH) {
    Host* h = Host::Current();
    if (h == nullptr) return A_Err_GENERIC;
    if (layerPH != nullptr) *layerPH = nullptr;
    if (A_long f = h->Enter(Op::AEGP_GetLayerFromLayerID, args::Layer{id})) return Done(*h, f);
    if (layerPH == nullptr || h->FindAegp(compH, AegpKind::Comp) == nullptr ||
        h->comp_.FindLayer(id) == nullptr)
      return Done(*h, A_Err_PARAMETER);
    *layerPH = reinterpret_cast<AEGP_LayerH>(h->LayerHandle(id));
    return Done(*h, A_Err_NONE);
  }

  static A_Err AEGP_GetLayerID(AEGP_LayerH layerH, AEGP_LayerIDVal* idP) {
    Host* h = Host::Current();
    if (h == nullptr) return A_Err_GENERIC;
    if (A_long f = h->Enter(Op::AEGP_GetLayerID, args::None{})) return Done(*h, f);
    const AegpObject* layerObj = h->FindAegp(layerH, AegpKind::Layer);
    if (layerObj == nullptr || idP == nullptr) return Done(*h, A_Err_PARAMETER);
    *idP = layerObj->value;
    return Done(*h, A_Err_NONE);
  }

  static A_Err AEGP_SetDynamicStreamFlag(AEGP_StreamRefH streamH, AEGP_DynStreamFlags flag,
                                         A_Boolean undoable, A_Boolean set) {
    Host* h = Host::Current();
    if (h == nullptr) return A_Err_GENERIC;
    const AegpObject* stream = h->LiveAegp(streamH, AegpKind::Stream);
    if (A_long f = h->Enter(
            Op::AEGP_SetDynamicStreamFlag,
            args::DynamicFlag{stream != nullptr ? stream->value : -1, flag, undoable, set}))
      return Done(*h, f);
    if (stream == nullptr) return Done(*h, A_Err_PARAMETER);
    AEGP_DynStreamFlags& flags = h->dynFlags_[stream->value];
    flags = set ? (flags | flag) : (flags & ~flag);
    return Done(*h, A_Err_NONE);
  }

  // ---- pre-render and smart render ----------------------------------------------------------
  static PF_Err checkout_layer(PF_ProgPtr ref, PF_ParamIndex index, A_long id,
                               const PF_RenderRequest* req, A_long what_time, A_long time_step,
                               A_u_long time_scale, PF_CheckoutResult* result) {
    Host* h = Host::Current();
    if (h == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    if (A_long f = h->Enter(Op::checkout_layer,
                            args::CheckoutLayer{index, id, what_time, time_step, time_scale}))
      return Done(*h, f);
    if (BadRef(*h, ref) || req == nullptr || result == nullptr || time_scale == 0 || id < 0 ||
        !h->inPreRender_)
      return Done(*h, PF_Err_BAD_CALLBACK_PARAM);
    for (const LayerCheckout& c : h->checkouts_)
      if (c.id == id) return Done(*h, PF_Err_BAD_CALLBACK_PARAM);
    // Index 0 is the input layer; any other index must be a layer parameter.
    if (index < 0 || index >= h->NumParams() ||
        (index != 0 && h->BaseDefinition(index).param_type != PF_Param_LAYER))
      return Done(*h, PF_Err_INVALID_INDEX);
    const Layer* layer = h->LayerForCheckout(index);
    PF_LRect box{0, 0, 0, 0};
    if (layer != nullptr)
      box = LayerBounds(layer->source, h->LayerTransformAt(*layer, what_time, time_scale), h->dsx(),
                        h->dsy());
    *result = PF_CheckoutResult{};
    result->result_rect = box;
    result->max_result_rect = box;
    result->par = PF_RationalScale{1, 1};
    result->ref_width = layer != nullptr ? layer->source.width : 0;
    result->ref_height = layer != nullptr ? layer->source.height : 0;
    LayerCheckout record;
    record.index = index;
    record.id = id;
    record.time = what_time;
    record.timeStep = time_step;
    record.timeScale = time_scale;
    record.request = *req;
    record.resultRect = box;
    record.maxResultRect = box;
    record.layerId = layer != nullptr ? layer->id : 0;
    h->checkouts_.push_back(record);
    return Done(*h, PF_Err_NONE);
  }

  static PF_Err checkout_layer_pixels(PF_ProgPtr ref, A_long id, PF_EffectWorld** pixels) {
    Host* h = Host::Current();
    if (h == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    if (pixels != nullptr) *pixels = nullptr;
    if (A_long f = h->Enter(Op::checkout_layer_pixels, args::CheckoutId{id})) return Done(*h, f);
    if (BadRef(*h, ref) || pixels == nullptr || !h->inRender_)
      return Done(*h, PF_Err_BAD_CALLBACK_PARAM);
    auto it = std::find_if(h->checkouts_.begin(), h->checkouts_.end(),
                           [id](const LayerCheckout& c) { return c.id == id; });
    if (it == h->checkouts_.end()) return Done(*h, PF_Err_BAD_CALLBACK_PARAM);
    const PF_LRect& box = it->resultRect;
    if (box.left >= box.right || box.top >= box.bottom) return Done(*h, PF_Err_NONE);
    if (auto cached = h->pixelWorlds_.find(id); cached != h->pixelWorlds_.end()) {
      *pixels = &cached->second->def();
      return Done(*h, PF_Err_NONE);
    }
    World* world = nullptr;
    if (PF_Err err =
            h->NewWorld(static_cast<std::int64_t>(box.right) - box.left,
                        static_cast<std::int64_t>(box.bottom) - box.top, box.left, box.top, world))
      return Done(*h, err);
    if (const Layer* layer = h->comp_.FindLayer(it->layerId))
      h->RenderCheckoutPixels(*layer, *it, *world);
    h->pixelWorlds_[id] = world;
    *pixels = &world->def();
    return Done(*h, PF_Err_NONE);
  }

  static PF_Err checkin_layer_pixels(PF_ProgPtr ref, A_long id) {
    Host* h = Host::Current();
    if (h == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    if (A_long f = h->Enter(Op::checkin_layer_pixels, args::CheckoutId{id})) return Done(*h, f);
    if (BadRef(*h, ref)) return Done(*h, PF_Err_BAD_CALLBACK_PARAM);
    return Done(*h, PF_Err_NONE);
  }

  static PF_Err checkout_output(PF_ProgPtr ref, PF_EffectWorld** output) {
    Host* h = Host::Current();
    if (h == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    if (output != nullptr) *output = nullptr;
    if (A_long f = h->Enter(Op::checkout_output, args::None{})) return Done(*h, f);
    if (BadRef(*h, ref) || output == nullptr || !h->inRender_)
      return Done(*h, PF_Err_BAD_CALLBACK_PARAM);
    if (h->outputWorld_ == nullptr) {
      const PF_LRect& r = h->preOut_.result_rect;
      const bool empty = r.left >= r.right || r.top >= r.bottom;
      World* world = nullptr;
      if (PF_Err err = h->NewWorld(empty ? 0 : static_cast<std::int64_t>(r.right) - r.left,
                                   empty ? 0 : static_cast<std::int64_t>(r.bottom) - r.top, r.left,
                                   r.top, world))
        return Done(*h, err);
      h->outputWorld_ = world;
    }
    *output = &h->outputWorld_->def();
    return Done(*h, PF_Err_NONE);
  }
};

// ---------------------------------------------------------------------------------------------
// Stubs and tables
// ---------------------------------------------------------------------------------------------
namespace detail {

std::int64_t RecordStub(const char* name, std::int64_t code) {
  Host* h = Host::Current();
  if (h != nullptr) h->RecordStubCall(name, code);
  return code;
}

namespace {
PF_Err ReservedSlot() { return static_cast<PF_Err>(RecordStub("reserved", kPfStubError)); }
}  // namespace

void* ReservedStubAddress() { return reinterpret_cast<void*>(&ReservedSlot); }

namespace {

using I = Host::Impl;

struct SuiteTables {
  PF_HandleSuite1 handle{};
  PF_Iterate8Suite1 iterate8{};
  PF_WorldTransformSuite1 transform{};
  PF_ANSICallbacksSuite1 ansi{};
  AEGP_PFInterfaceSuite1 pfInterface{};
  AEGP_StreamSuite2 stream7{};
  AEGP_StreamSuite4 stream9{};
  AEGP_DynamicStreamSuite2 dynamic{};
  AEGP_EffectSuite2 effect{};
  AEGP_LayerSuite5 layer11{};
  AEGP_LayerSuite7 layer13{};

  SuiteTables() {
    handle.host_new_handle = I::host_new_handle;
    handle.host_lock_handle = I::host_lock_handle;
    handle.host_unlock_handle = I::host_unlock_handle;
    handle.host_dispose_handle = I::host_dispose_handle;
    handle.host_get_handle_size = I::host_get_handle_size;
    handle.host_resize_handle = I::host_resize_handle;

    iterate8.iterate = I::iterate;
    QS_STUB(iterate8, iterate_origin, kPfStubError);
    QS_STUB(iterate8, iterate_lut, kPfStubError);
    QS_STUB(iterate8, iterate_origin_non_clip_src, kPfStubError);
    QS_STUB(iterate8, iterate_generic, kPfStubError);

    QS_STUB(transform, composite_rect, kPfStubError);
    QS_STUB(transform, blend, kPfStubError);
    QS_STUB(transform, convolve, kPfStubError);
    QS_STUB(transform, copy, kPfStubError);
    QS_STUB(transform, copy_hq, kPfStubError);
    transform.transfer_rect = I::transfer_rect;
    QS_STUB(transform, transform_world, kPfStubError);

    I::FillAnsi<true>(ansi);

    pfInterface.AEGP_GetEffectLayer = I::AEGP_GetEffectLayer;
    pfInterface.AEGP_GetNewEffectForEffect = I::AEGP_GetNewEffectForEffect;
    QS_STUB(pfInterface, AEGP_ConvertEffectToCompTime, kAegpStubError);
    QS_STUB(pfInterface, AEGP_GetEffectCamera, kAegpStubError);
    QS_STUB(pfInterface, AEGP_GetEffectCameraMatrix, kAegpStubError);

    FillStream(stream7);
    FillStream(stream9);
    stream7.AEGP_GetNewStreamValue = [](AEGP_PluginID p, AEGP_StreamRefH s, AEGP_LTimeMode m,
                                        const A_Time* t, A_Boolean pre, AEGP_StreamValue* v) {
      return I::GetNewStreamValue(p, s, m, t, pre, v);
    };
    stream9.AEGP_GetNewStreamValue = [](AEGP_PluginID p, AEGP_StreamRefH s, AEGP_LTimeMode m,
                                        const A_Time* t, A_Boolean pre, AEGP_StreamValue2* v) {
      return I::GetNewStreamValue(p, s, m, t, pre, v);
    };
    stream7.AEGP_DisposeStreamValue = [](AEGP_StreamValue* v) { return I::DisposeStreamValue(v); };
    stream9.AEGP_DisposeStreamValue = [](AEGP_StreamValue2* v) { return I::DisposeStreamValue(v); };
    stream7.AEGP_GetLayerStreamValue = [](AEGP_LayerH l, AEGP_LayerStream w, AEGP_LTimeMode m,
                                          const A_Time* t, A_Boolean pre, AEGP_StreamVal* v,
                                          AEGP_StreamType* ty) {
      return I::GetLayerStreamValue(l, w, m, t, pre, v, ty);
    };
    stream9.AEGP_GetLayerStreamValue = [](AEGP_LayerH l, AEGP_LayerStream w, AEGP_LTimeMode m,
                                          const A_Time* t, A_Boolean pre, AEGP_StreamVal2* v,
                                          AEGP_StreamType* ty) {
      return I::GetLayerStreamValue(l, w, m, t, pre, v, ty);
    };

    QS_STUB(dynamic, AEGP_GetNewStreamRefForLayer, kAegpStubError);
    QS_STUB(dynamic, AEGP_GetStreamDepth, kAegpStubError);
    QS_STUB(dynamic, AEGP_GetStreamGroupingType, kAegpStubError);
    QS_STUB(dynamic, AEGP_GetNumStreamsInGroup, kAegpStubError);
    QS_STUB(dynamic, AEGP_GetDynamicStreamFlags, kAegpStubError);
    dynamic.AEGP_SetDynamicStreamFlag = I::AEGP_SetDynamicStreamFlag;
    QS_STUB(dynamic, AEGP_GetNewStreamRefByIndex, kAegpStubError);
    QS_STUB(dynamic, AEGP_GetNewStreamRefByMatchname, kAegpStubError);
    QS_STUB(dynamic, AEGP_DeleteStream, kAegpStubError);
    QS_STUB(dynamic, AEGP_ReorderStream, kAegpStubError);
    QS_STUB(dynamic, AEGP_DuplicateStream, kAegpStubError);
    QS_STUB(dynamic, AEGP_SetStreamName, kAegpStubError);
    QS_STUB(dynamic, AEGP_CanAddStream, kAegpStubError);
    QS_STUB(dynamic, AEGP_AddStream, kAegpStubError);
    QS_STUB(dynamic, AEGP_GetMatchName, kAegpStubError);
    QS_STUB(dynamic, AEGP_GetNewParentStreamRef, kAegpStubError);
    QS_STUB(dynamic, AEGP_GetStreamIsModified, kAegpStubError);

    QS_STUB(effect, AEGP_GetLayerNumEffects, kAegpStubError);
    QS_STUB(effect, AEGP_GetLayerEffectByIndex, kAegpStubError);
    QS_STUB(effect, AEGP_GetInstalledKeyFromLayerEffect, kAegpStubError);
    QS_STUB(effect, AEGP_GetEffectParamUnionByIndex, kAegpStubError);
    QS_STUB(effect, AEGP_GetEffectFlags, kAegpStubError);
    QS_STUB(effect, AEGP_SetEffectFlags, kAegpStubError);
    QS_STUB(effect, AEGP_ReorderEffect, kAegpStubError);
    QS_STUB(effect, AEGP_EffectCallGeneric, kAegpStubError);
    effect.AEGP_DisposeEffect = I::AEGP_DisposeEffect;
    QS_STUB(effect, AEGP_ApplyEffect, kAegpStubError);
    QS_STUB(effect, AEGP_DeleteLayerEffect, kAegpStubError);
    QS_STUB(effect, AEGP_GetNumInstalledEffects, kAegpStubError);
    QS_STUB(effect, AEGP_GetNextInstalledEffect, kAegpStubError);
    QS_STUB(effect, AEGP_GetEffectName, kAegpStubError);
    QS_STUB(effect, AEGP_GetEffectMatchName, kAegpStubError);
    QS_STUB(effect, AEGP_GetEffectCategory, kAegpStubError);
    QS_STUB(effect, AEGP_DuplicateEffect, kAegpStubError);

    FillLayer(layer11);
    FillLayer(layer13);
    QS_STUB(layer13, AEGP_GetLayerLabel, kAegpStubError);
    QS_STUB(layer13, AEGP_SetLayerLabel, kAegpStubError);
  }

  template <typename T>
  static void FillStream(T& s) {
    QS_STUB(s, AEGP_IsStreamLegal, kAegpStubError);
    QS_STUB(s, AEGP_CanVaryOverTime, kAegpStubError);
    QS_STUB(s, AEGP_GetValidInterpolations, kAegpStubError);
    QS_STUB(s, AEGP_GetNewLayerStream, kAegpStubError);
    QS_STUB(s, AEGP_GetEffectNumParamStreams, kAegpStubError);
    s.AEGP_GetNewEffectStreamByIndex = I::AEGP_GetNewEffectStreamByIndex;
    QS_STUB(s, AEGP_GetNewMaskStream, kAegpStubError);
    s.AEGP_DisposeStream = I::AEGP_DisposeStream;
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
  }

  template <typename T>
  static void FillLayer(T& s) {
    QS_STUB(s, AEGP_GetCompNumLayers, kAegpStubError);
    QS_STUB(s, AEGP_GetCompLayerByIndex, kAegpStubError);
    QS_STUB(s, AEGP_GetActiveLayer, kAegpStubError);
    QS_STUB(s, AEGP_GetLayerIndex, kAegpStubError);
    QS_STUB(s, AEGP_GetLayerSourceItem, kAegpStubError);
    QS_STUB(s, AEGP_GetLayerSourceItemID, kAegpStubError);
    s.AEGP_GetLayerParentComp = I::AEGP_GetLayerParentComp;
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
    s.AEGP_GetLayerID = I::AEGP_GetLayerID;
    QS_STUB(s, AEGP_GetLayerToWorldXform, kAegpStubError);
    QS_STUB(s, AEGP_GetLayerToWorldXformFromView, kAegpStubError);
    QS_STUB(s, AEGP_SetLayerName, kAegpStubError);
    QS_STUB(s, AEGP_GetLayerParent, kAegpStubError);
    QS_STUB(s, AEGP_SetLayerParent, kAegpStubError);
    QS_STUB(s, AEGP_DeleteLayer, kAegpStubError);
    QS_STUB(s, AEGP_DuplicateLayer, kAegpStubError);
    s.AEGP_GetLayerFromLayerID = I::AEGP_GetLayerFromLayerID;
  }
};

const SuiteTables& Tables() {
  static const SuiteTables tables;
  return tables;
}

}  // namespace

const void* FindSuite(const std::string& name, std::int32_t version) {
  const SuiteTables& t = Tables();
  if (name == kPFHandleSuite && version == kPFHandleSuiteVersion1) return &t.handle;
  if (name == kPFIterate8Suite && version == kPFIterate8SuiteVersion1) return &t.iterate8;
  if (name == kPFWorldTransformSuite && version == kPFWorldTransformSuiteVersion1)
    return &t.transform;
  if (name == kPFANSISuite && version == kPFANSISuiteVersion1) return &t.ansi;
  if (name == kAEGPPFInterfaceSuite && version == kAEGPPFInterfaceSuiteVersion1)
    return &t.pfInterface;
  if (name == kAEGPStreamSuite && version == kAEGPStreamSuiteVersion2) return &t.stream7;
  if (name == kAEGPStreamSuite && version == kAEGPStreamSuiteVersion4) return &t.stream9;
  if (name == kAEGPDynamicStreamSuite && version == kAEGPDynamicStreamSuiteVersion2)
    return &t.dynamic;
  if (name == kAEGPEffectSuite && version == kAEGPEffectSuiteVersion2) return &t.effect;
  if (name == kAEGPLayerSuite && version == kAEGPLayerSuiteVersion5) return &t.layer11;
  if (name == kAEGPLayerSuite && version == kAEGPLayerSuiteVersion7) return &t.layer13;
  return nullptr;
}

std::size_t SuiteSize(const std::string& name, std::int32_t version) {
  const SuiteTables& t = Tables();
  const void* p = FindSuite(name, version);
  if (p == &t.handle) return sizeof t.handle;
  if (p == &t.iterate8) return sizeof t.iterate8;
  if (p == &t.transform) return sizeof t.transform;
  if (p == &t.ansi) return sizeof t.ansi;
  if (p == &t.pfInterface) return sizeof t.pfInterface;
  if (p == &t.stream7) return sizeof t.stream7;
  if (p == &t.stream9) return sizeof t.stream9;
  if (p == &t.dynamic) return sizeof t.dynamic;
  if (p == &t.effect) return sizeof t.effect;
  if (p == &t.layer11) return sizeof t.layer11;
  if (p == &t.layer13) return sizeof t.layer13;
  return 0;
}

const std::vector<std::pair<std::string, std::int32_t>>& ServedSuites() {
  static const std::vector<std::pair<std::string, std::int32_t>> served{
      {kPFHandleSuite, kPFHandleSuiteVersion1},
      {kPFIterate8Suite, kPFIterate8SuiteVersion1},
      {kPFWorldTransformSuite, kPFWorldTransformSuiteVersion1},
      {kPFANSISuite, kPFANSISuiteVersion1},
      {kAEGPPFInterfaceSuite, kAEGPPFInterfaceSuiteVersion1},
      {kAEGPStreamSuite, kAEGPStreamSuiteVersion2},
      {kAEGPStreamSuite, kAEGPStreamSuiteVersion4},
      {kAEGPDynamicStreamSuite, kAEGPDynamicStreamSuiteVersion2},
      {kAEGPEffectSuite, kAEGPEffectSuiteVersion2},
      {kAEGPLayerSuite, kAEGPLayerSuiteVersion5},
      {kAEGPLayerSuite, kAEGPLayerSuiteVersion7}};
  return served;
}

void InstallCallbacks(PF_InteractCallbacks& inter, PF_UtilCallbacks& u, SPBasicSuite& basic,
                      PF_PreRenderCallbacks& pre, PF_SmartRenderCallbacks& smart) {
  inter.checkout_param = I::checkout_param;
  inter.checkin_param = I::checkin_param;
  inter.add_param = I::add_param;
  inter.abort = I::abort_cb;
  inter.progress = I::progress;
  QS_STUB(inter, register_ui, kPfStubError);
  QS_STUB(inter, checkout_layer_audio, kPfStubError);
  QS_STUB(inter, checkin_layer_audio, kPfStubError);
  QS_STUB(inter, get_audio_data, kPfStubError);
  for (void*& slot : inter.reserved_str) slot = ReservedStubAddress();
  for (void*& slot : inter.reserved) slot = ReservedStubAddress();

  QS_STUB(u, begin_sampling, kPfStubError);
  QS_STUB(u, subpixel_sample, kPfStubError);
  QS_STUB(u, area_sample, kPfStubError);
  u.get_batch_func_is_deprecated = ReservedStubAddress();
  QS_STUB(u, end_sampling, kPfStubError);
  QS_STUB(u, composite_rect, kPfStubError);
  QS_STUB(u, blend, kPfStubError);
  QS_STUB(u, convolve, kPfStubError);
  QS_STUB(u, copy, kPfStubError);
  u.fill = I::fill;
  QS_STUB(u, gaussian_kernel, kPfStubError);
  u.iterate = I::iterate;
  QS_STUB(u, premultiply, kPfStubError);
  QS_STUB(u, premultiply_color, kPfStubError);
  QS_STUB(u, new_world, kPfStubError);
  QS_STUB(u, dispose_world, kPfStubError);
  QS_STUB(u, iterate_origin, kPfStubError);
  QS_STUB(u, iterate_lut, kPfStubError);
  u.transfer_rect = I::transfer_rect;
  QS_STUB(u, transform_world, kPfStubError);
  u.host_new_handle = I::host_new_handle;
  u.host_lock_handle = I::host_lock_handle;
  u.host_unlock_handle = I::host_unlock_handle;
  u.host_dispose_handle = I::host_dispose_handle;
  QS_STUB(u, get_callback_addr, kPfStubError);
  QS_STUB(u, app, kPfStubError);
  I::FillAnsi<false>(u.ansi);
  u.ansi.ansi_procs[0] = 0;
  QS_STUB(u.colorCB, RGBtoHLS, kPfStubError);
  QS_STUB(u.colorCB, HLStoRGB, kPfStubError);
  QS_STUB(u.colorCB, RGBtoYIQ, kPfStubError);
  QS_STUB(u.colorCB, YIQtoRGB, kPfStubError);
  QS_STUB(u.colorCB, Luminance, kPfStubError);
  QS_STUB(u.colorCB, Hue, kPfStubError);
  QS_STUB(u.colorCB, Lightness, kPfStubError);
  QS_STUB(u.colorCB, Saturation, kPfStubError);
  QS_STUB(u, get_platform_data, kPfStubError);
  u.host_get_handle_size = I::host_get_handle_size;
  QS_STUB(u, iterate_origin_non_clip_src, kPfStubError);
  u.iterate_generic = I::iterate_generic;
  u.host_resize_handle = I::host_resize_handle;
  QS_STUB(u, subpixel_sample16, kPfStubError);
  QS_STUB(u, area_sample16, kPfStubError);
  QS_STUB(u, fill16, kPfStubError);
  QS_STUB(u, premultiply_color16, kPfStubError);
  QS_STUB(u, iterate16, kPfStubError);
  QS_STUB(u, iterate_origin16, kPfStubError);
  QS_STUB(u, iterate_origin_non_clip_src16, kPfStubError);
  QS_STUB(u, get_pixel_data8, kPfStubError);
  QS_STUB(u, get_pixel_data16, kPfStubError);
  u.reserved[0] = 0;

  basic.AcquireSuite = I::AcquireSuite;
  basic.ReleaseSuite = I::ReleaseSuite;
  QS_STUB(basic, IsEqual, kSpStubError);
  QS_STUB(basic, AllocateBlock, kSpStubError);
  QS_STUB(basic, FreeBlock, kSpStubError);
  QS_STUB(basic, ReallocateBlock, kSpStubError);
  QS_STUB(basic, Undefined, kSpStubError);

  pre.checkout_layer = I::checkout_layer;
  QS_STUB(pre, GuidMixInPtr, kPfStubError);
  smart.checkout_layer_pixels = I::checkout_layer_pixels;
  smart.checkin_layer_pixels = I::checkin_layer_pixels;
  smart.checkout_output = I::checkout_output;
}

}  // namespace detail

}  // namespace qshost
