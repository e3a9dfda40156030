// The journal: every host call the effect makes, in call order, each with the operation it
// called, that operation's arguments as named fields, and the result the host gave.
//
// Queries name operations by Op, so an operation that does not exist cannot be asked for; the
// typed query Args<Op::...>() gives the argument records of one operation.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>
#include <vector>

#include "hostapi/HostApi.h"

namespace quillstreak::host {

/// Every operation the effect can reach through the host's callback tables and suites, named as
/// the host interface names them. The ANSI functions come twice: from the utility table's ANSI
/// block (journaled "ansi.<name>", enumerators ansi_<name>) and from the "PF ANSI Suite"
/// (journaled "<name>"), so that tests can tell which one the effect used. Slots the host does
/// not implement are all Stub; their entries name the member.
enum class Op : std::uint8_t {
  // interaction callbacks (in_data->inter)
  checkout_param,
  checkin_param,
  add_param,
  abort,
  progress,
  // utility callbacks, "PF Iterate8 Suite", "PF World Transform Suite"
  fill,
  iterate,
  iterate_generic,
  transfer_rect,
  // utility callbacks, "PF Handle Suite"
  host_new_handle,
  host_lock_handle,
  host_unlock_handle,
  host_dispose_handle,
  host_get_handle_size,
  host_resize_handle,
  // the utility table's ANSI block
  ansi_atan,
  ansi_atan2,
  ansi_ceil,
  ansi_cos,
  ansi_exp,
  ansi_fabs,
  ansi_floor,
  ansi_fmod,
  ansi_hypot,
  ansi_log,
  ansi_log10,
  ansi_pow,
  ansi_sin,
  ansi_sqrt,
  ansi_tan,
  ansi_sprintf,
  ansi_strcpy,
  ansi_asin,
  ansi_acos,
  // "PF ANSI Suite"
  atan,
  atan2,
  ceil,
  cos,
  exp,
  fabs,
  floor,
  fmod,
  hypot,
  log,
  log10,
  pow,
  sin,
  sqrt,
  tan,
  sprintf,
  strcpy,
  asin,
  acos,
  // basic suite
  AcquireSuite,
  ReleaseSuite,
  // AEGP suites
  AEGP_GetEffectLayer,
  AEGP_GetNewEffectForEffect,
  AEGP_GetNewEffectStreamByIndex,
  AEGP_GetNewStreamValue,
  AEGP_DisposeStreamValue,
  AEGP_DisposeStream,
  AEGP_DisposeEffect,
  AEGP_GetLayerStreamValue,
  AEGP_GetLayerParentComp,
  AEGP_GetLayerFromLayerID,
  AEGP_GetLayerID,
  AEGP_SetDynamicStreamFlag,
  // pre-render and smart-render callbacks
  checkout_layer,
  checkout_layer_pixels,
  checkin_layer_pixels,
  checkout_output,
  // a slot the host does not implement
  Stub,
};

/// The name an operation is journaled under: "checkout_param", "ansi.sprintf", "sprintf",
/// "AEGP_GetLayerStreamValue", ...; "stub" for Stub (whose entries carry the member's name).
std::string_view NameOf(Op op);

/// Argument records, one kind per shape of call. Pointers the host only tests for null appear
/// as flags; ids of host objects are the host's own serial numbers.
namespace args {

struct None {};
struct CheckoutParam {
  PF_ParamIndex index = 0;
  A_long what_time = 0;
  A_long time_step = 0;
  A_u_long time_scale = 0;
};
struct CheckinParam {
  PF_ParamIndex index = -1;  // the index checked out into that slot; -1: the slot holds none
};
struct AddParam {
  PF_ParamIndex index = 0;
  PF_ParamType param_type = -1;  // -1: no definition given
  A_long id = -1;                // the definition's uu.id; -1: no definition given
};
struct Progress {
  A_long current = 0;
  A_long total = 0;
};
struct Fill {
  bool color = false;           // a colour was given (null: transparent black)
  std::optional<PF_Rect> rect;  // none: the whole world
};
struct Iterate {
  A_long progress_base = 0;
  A_long progress_final = 0;
  bool src = false;             // a source world was given
  std::optional<PF_Rect> area;  // none: the whole destination
  bool in_place = false;        // source and destination are the same world
};
struct IterateGeneric {
  A_long iterations = 0;
};
struct TransferRect {
  PF_Quality quality = 0;
  PF_ModeFlags m_flags = 0;  // as given: either alpha mode composites straight ARGB
  PF_Field field = 0;
  PF_Rect src_rect{};  // all zero when none was given
  A_long dest_x = 0;
  A_long dest_y = 0;
  PF_TransferMode xfer = -1;  // the composite mode's; -1: no composite mode given
  A_long opacity = -1;        // the composite mode's; -1: no composite mode given
  bool mask = false;          // a mask world was given
};
struct NewHandle {
  A_HandleSize size = 0;
};
/// A handle by serial: 1 = this host's first handle, 0 = null, -1 = not a handle of this host.
struct Handle {
  std::int64_t handle = 0;
};
struct ResizeHandle {
  A_HandleSize size = 0;
  std::int64_t handle = 0;  // -1 also when no handle pointer was given
};
struct Text {
  std::string text;  // sprintf: the format; strcpy: the source
};
struct Suite {
  std::string name;
  std::int32_t version = 0;
};
struct Plugin {
  AEGP_PluginID plugin = 0;
};
struct EffectStream {
  AEGP_PluginID plugin = 0;
  PF_ParamIndex index = 0;
};
/// A parameter stream by the index of its parameter; -1 for a handle the host does not know.
struct Stream {
  std::int32_t param = -1;
};
struct StreamValue {
  AEGP_PluginID plugin = 0;
  std::int32_t param = -1;  // the stream's parameter; -1 for a handle the host does not know
  AEGP_LTimeMode time_mode = 0;
  A_long time = 0;  // 0 and 0 when no time was given
  A_u_long scale = 0;
  A_Boolean pre_expression = 0;
};
struct LayerStreamValue {
  AEGP_LayerStream stream = 0;
  A_long time = 0;  // 0 and 0 when no time was given
  A_u_long scale = 0;
  AEGP_LTimeMode time_mode = 0;
  A_Boolean pre_expression = 0;
};
struct Layer {
  AEGP_LayerIDVal layer_id = 0;  // -1 for a layer handle the host does not know
};
struct DynamicFlag {
  std::int32_t param = -1;  // the stream's parameter; -1 for a handle the host does not know
  AEGP_DynStreamFlags flag = 0;
  A_Boolean undoable = 0;
  A_Boolean set = 0;
};
struct CheckoutLayer {
  PF_ParamIndex index = 0;
  A_long checkout_id = 0;
  A_long what_time = 0;
  A_long time_step = 0;
  A_u_long time_scale = 0;
};
struct CheckoutId {
  A_long checkout_id = 0;
};
struct Stub {
  std::string_view member;  // the member's name (a string with static storage)
};

}  // namespace args

/// The arguments of one call: one of the records above, the one its operation takes.
using CallArgs = std::variant<args::None, args::CheckoutParam, args::CheckinParam, args::AddParam,
                              args::Progress, args::Fill, args::Iterate, args::IterateGeneric,
                              args::TransferRect, args::NewHandle, args::Handle, args::ResizeHandle,
                              args::Text, args::Suite, args::Plugin, args::EffectStream,
                              args::Stream, args::StreamValue, args::LayerStreamValue, args::Layer,
                              args::DynamicFlag, args::CheckoutLayer, args::CheckoutId, args::Stub>;

namespace detail {
template <Op O>
constexpr auto ArgsTag() {
  using enum Op;
  if constexpr (O == checkout_param)
    return args::CheckoutParam{};
  else if constexpr (O == checkin_param)
    return args::CheckinParam{};
  else if constexpr (O == add_param)
    return args::AddParam{};
  else if constexpr (O == progress)
    return args::Progress{};
  else if constexpr (O == fill)
    return args::Fill{};
  else if constexpr (O == iterate)
    return args::Iterate{};
  else if constexpr (O == iterate_generic)
    return args::IterateGeneric{};
  else if constexpr (O == transfer_rect)
    return args::TransferRect{};
  else if constexpr (O == host_new_handle)
    return args::NewHandle{};
  else if constexpr (O == host_lock_handle || O == host_unlock_handle || O == host_dispose_handle ||
                     O == host_get_handle_size)
    return args::Handle{};
  else if constexpr (O == host_resize_handle)
    return args::ResizeHandle{};
  else if constexpr (O == ansi_sprintf || O == ansi_strcpy || O == sprintf || O == strcpy)
    return args::Text{};
  else if constexpr (O == AcquireSuite || O == ReleaseSuite)
    return args::Suite{};
  else if constexpr (O == AEGP_GetNewEffectForEffect)
    return args::Plugin{};
  else if constexpr (O == AEGP_GetNewEffectStreamByIndex)
    return args::EffectStream{};
  else if constexpr (O == AEGP_GetNewStreamValue)
    return args::StreamValue{};
  else if constexpr (O == AEGP_DisposeStreamValue || O == AEGP_DisposeStream)
    return args::Stream{};
  else if constexpr (O == AEGP_GetLayerStreamValue)
    return args::LayerStreamValue{};
  else if constexpr (O == AEGP_GetLayerParentComp || O == AEGP_GetLayerFromLayerID)
    return args::Layer{};
  else if constexpr (O == AEGP_SetDynamicStreamFlag)
    return args::DynamicFlag{};
  else if constexpr (O == checkout_layer)
    return args::CheckoutLayer{};
  else if constexpr (O == checkout_layer_pixels || O == checkin_layer_pixels)
    return args::CheckoutId{};
  else if constexpr (O == Stub)
    return args::Stub{};
  else
    return args::None{};
}
}  // namespace detail

/// The argument record operation O is journaled with.
template <Op O>
using ArgsOf = decltype(detail::ArgsTag<O>());

/// One host call made by the effect.
struct JournalEntry {
  Op op = Op::Stub;
  CallArgs args;
  std::int64_t result = 0;  // the code returned (0 for success and for void results; -1 for a
                            // null pointer result; sprintf: the count written)
  bool failed = false;      // made to fail by fault injection (result is the injected code)

  /// A slot the host does not implement (Args<Op::Stub>().member names it).
  bool stub() const { return op == Op::Stub; }
  /// The call's arguments as the record its operation takes. Throws std::logic_error when the
  /// entry is of another operation.
  template <Op O>
  const ArgsOf<O>& Args() const {
    if (op != O) ThrowWrongOp(O);
    return std::get<ArgsOf<O>>(args);
  }

 private:
  [[noreturn]] void ThrowWrongOp(Op asked) const;
};

/// One call as text, without its result: "transfer_rect(quality=1, m_flags=0, ...)"; a stub
/// shows its member's name. Every field appears, so equal texts mean equal calls.
std::string FormatCall(Op op, const CallArgs& args);
/// One entry as text for failure messages: the call, " -> " and its result, then " [injected]"
/// for an injected failure and " [stub]" for a stub.
std::string Format(const JournalEntry& entry);

/// The host calls the effect made, in order.
class Journal {
 public:
  const std::vector<JournalEntry>& entries() const { return entries_; }
  std::size_t size() const { return entries_.size(); }
  bool empty() const { return entries_.empty(); }
  const JournalEntry& operator[](std::size_t i) const { return entries_[i]; }
  auto begin() const { return entries_.begin(); }
  auto end() const { return entries_.end(); }

  /// How many calls of op were made.
  std::size_t Count(Op op) const;
  /// The calls of op, in order.
  std::vector<JournalEntry> Calls(Op op) const;
  /// The arguments of every call of O, in order.
  template <Op O>
  std::vector<ArgsOf<O>> Args() const {
    std::vector<ArgsOf<O>> out;
    for (const JournalEntry& e : entries_)
      if (e.op == O) out.push_back(std::get<ArgsOf<O>>(e.args));
    return out;
  }
  /// The operation of every call, in order.
  std::vector<Op> Ops() const;
  /// Every entry formatted, one numbered line each: for failure messages.
  std::string Text() const;

  void Clear() { entries_.clear(); }
  /// Off: calls are still counted for fault injection but not stored (long renders).
  void SetEnabled(bool on) { enabled_ = on; }
  bool enabled() const { return enabled_; }

  // ---- recording (the host's callbacks) -------------------------------------------------
  /// Stores a call when the journal is on; injected = the code fault injection made it fail
  /// with (0: none). The latest call is the one SetResult completes.
  void Add(Op op, CallArgs args, std::int64_t injected);
  /// The result of the latest call, unless it was not stored or was made to fail.
  void SetResult(std::int64_t result);

 private:
  std::vector<JournalEntry> entries_;
  bool enabled_ = true;
  bool lastStored_ = false;  // whether the latest call has an entry
};

}  // namespace quillstreak::host
