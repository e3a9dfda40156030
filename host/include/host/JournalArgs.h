// The argument records of journaled calls, one kind per shape of call, each listing its fields
// once (Fields) for the journal's text; which operation takes which record is the table in
// Op.h, from which ArgsOf and CallArgs are made.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>

#include "host/Op.h"
#include "hostapi/HostApi.h"

namespace quillstreak::host {

/// Argument records. Pointers the host only tests for null appear as flags; ids of host objects
/// are the host's own serial numbers. Fields(put) hands every field to put(name, value), in
/// order.
namespace args {

struct None {
  template <typename Put>
  void Fields(Put&) const {}
};
struct CheckoutParam {
  PF_ParamIndex index = 0;
  A_long what_time = 0;
  A_long time_step = 0;
  A_u_long time_scale = 0;
  template <typename Put>
  void Fields(Put& put) const {
    put("index", index)("what_time", what_time)("time_step", time_step)("time_scale", time_scale);
  }
};
struct CheckinParam {
  PF_ParamIndex index = -1;  // the index checked out into that slot; -1: the slot holds none
  template <typename Put>
  void Fields(Put& put) const {
    put("index", index);
  }
};
struct AddParam {
  PF_ParamIndex index = 0;
  PF_ParamType param_type = -1;  // -1: no definition given
  A_long id = -1;                // the definition's uu.id; -1: no definition given
  template <typename Put>
  void Fields(Put& put) const {
    put("index", index)("param_type", param_type)("id", id);
  }
};
struct Progress {
  A_long current = 0;
  A_long total = 0;
  template <typename Put>
  void Fields(Put& put) const {
    put("current", current)("total", total);
  }
};
struct Fill {
  bool color = false;           // a colour was given (null: transparent black)
  std::optional<PF_Rect> rect;  // none: the whole world
  template <typename Put>
  void Fields(Put& put) const {
    put("color", color)("rect", rect);
  }
};
struct Iterate {
  A_long progress_base = 0;
  A_long progress_final = 0;
  bool src = false;             // a source world was given
  std::optional<PF_Rect> area;  // none: the whole destination
  bool in_place = false;        // source and destination are the same world
  template <typename Put>
  void Fields(Put& put) const {
    put("progress_base", progress_base)("progress_final", progress_final)("src", src)("area", area)(
        "in_place", in_place);
  }
};
struct IterateGeneric {
  A_long iterations = 0;
  template <typename Put>
  void Fields(Put& put) const {
    put("iterations", iterations);
  }
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
  bool rgb_only = false;      // the composite mode's (the host composites all four channels)
  template <typename Put>
  void Fields(Put& put) const {
    put("quality", quality)("m_flags", m_flags)("field", field)("src_rect", src_rect)(
        "dest_x", dest_x)("dest_y", dest_y)("xfer", xfer)("opacity", opacity)("mask", mask)(
        "rgb_only", rgb_only);
  }
};
struct NewHandle {
  A_HandleSize size = 0;
  template <typename Put>
  void Fields(Put& put) const {
    put("size", size);
  }
};
/// A handle by serial: 1 = this host's first handle, 0 = null, -1 = not a handle of this host.
struct Handle {
  std::int64_t handle = 0;
  template <typename Put>
  void Fields(Put& put) const {
    put("handle", handle);
  }
};
struct ResizeHandle {
  A_HandleSize size = 0;
  std::int64_t handle = 0;  // -1 also when no handle pointer was given
  template <typename Put>
  void Fields(Put& put) const {
    put("size", size)("handle", handle);
  }
};
struct Text {
  std::string text;  // sprintf: the format; strcpy: the source
  template <typename Put>
  void Fields(Put& put) const {
    put("text", text);
  }
};
struct Suite {
  std::string name;
  std::int32_t version = 0;
  template <typename Put>
  void Fields(Put& put) const {
    put("name", name)("version", version);
  }
};
struct Plugin {
  AEGP_PluginID plugin = 0;
  template <typename Put>
  void Fields(Put& put) const {
    put("plugin", plugin);
  }
};
struct EffectStream {
  AEGP_PluginID plugin = 0;
  PF_ParamIndex index = 0;
  template <typename Put>
  void Fields(Put& put) const {
    put("plugin", plugin)("index", index);
  }
};
/// A parameter stream by the index of its parameter; -1 for a handle the host does not know.
struct Stream {
  std::int32_t param = -1;
  template <typename Put>
  void Fields(Put& put) const {
    put("param", param);
  }
};
struct StreamValue {
  AEGP_PluginID plugin = 0;
  std::int32_t param = -1;  // the stream's parameter; -1 for a handle the host does not know
  AEGP_LTimeMode time_mode = 0;
  A_long time = 0;  // 0 and 0 when no time was given
  A_u_long scale = 0;
  A_Boolean pre_expression = 0;
  template <typename Put>
  void Fields(Put& put) const {
    put("plugin", plugin)("param", param)("time_mode", time_mode)("time", time)("scale", scale)(
        "pre_expression", pre_expression);
  }
};
struct LayerStreamValue {
  AEGP_LayerStream stream = 0;
  A_long time = 0;  // 0 and 0 when no time was given
  A_u_long scale = 0;
  AEGP_LTimeMode time_mode = 0;
  A_Boolean pre_expression = 0;
  template <typename Put>
  void Fields(Put& put) const {
    put("stream", stream)("time", time)("scale", scale)("time_mode", time_mode)("pre_expression",
                                                                                pre_expression);
  }
};
struct Layer {
  AEGP_LayerIDVal layer_id = 0;  // -1 for a layer handle the host does not know
  template <typename Put>
  void Fields(Put& put) const {
    put("layer_id", layer_id);
  }
};
struct DynamicFlag {
  std::int32_t param = -1;  // the stream's parameter; -1 for a handle the host does not know
  AEGP_DynStreamFlags flag = 0;
  A_Boolean undoable = 0;
  A_Boolean set = 0;
  template <typename Put>
  void Fields(Put& put) const {
    put("param", param)("flag", flag)("undoable", undoable)("set", set);
  }
};
struct CheckoutLayer {
  PF_ParamIndex index = 0;
  A_long checkout_id = 0;
  A_long what_time = 0;
  A_long time_step = 0;
  A_u_long time_scale = 0;
  template <typename Put>
  void Fields(Put& put) const {
    put("index", index)("checkout_id", checkout_id)("what_time", what_time)("time_step", time_step)(
        "time_scale", time_scale);
  }
};
struct CheckoutId {
  A_long checkout_id = 0;
  template <typename Put>
  void Fields(Put& put) const {
    put("checkout_id", checkout_id);
  }
};
/// Formatted as the member's name in place of the operation's, without fields.
struct Stub {
  std::string_view member;  // the member's name (a string with static storage)
  template <typename Put>
  void Fields(Put&) const {}
};

}  // namespace args

namespace detail {

template <Op O>
struct OpRecord;
#define QS_OP_RECORD(op, name, record, fuzz) \
  template <>                                \
  struct OpRecord<Op::op> {                  \
    using type = args::record;               \
  };
QS_HOST_OPERATIONS(QS_OP_RECORD)
#undef QS_OP_RECORD

// std::variant of the distinct types among Ts, in order of first appearance, after Variant's.
template <typename Variant, typename... Ts>
struct DistinctVariant {
  using type = Variant;
};
template <typename... Vs, typename T, typename... Ts>
struct DistinctVariant<std::variant<Vs...>, T, Ts...>
    : DistinctVariant<std::conditional_t<(std::is_same_v<T, Vs> || ...), std::variant<Vs...>,
                                         std::variant<Vs..., T>>,
                      Ts...> {};

}  // namespace detail

/// The argument record operation O is journaled with.
template <Op O>
using ArgsOf = typename detail::OpRecord<O>::type;

/// The arguments of one call: one of the records above, the one its operation takes.
#define QS_OP_RECORD_TYPE(op, name, record, fuzz) , args::record
using CallArgs = typename detail::DistinctVariant<std::variant<args::None> QS_HOST_OPERATIONS(
    QS_OP_RECORD_TYPE)>::type;
#undef QS_OP_RECORD_TYPE

/// One call as text, without its result: "transfer_rect(quality=1, m_flags=0, ...)"; a stub
/// shows its member's name. Every field appears, so equal texts mean equal calls.
std::string FormatCall(Op op, const CallArgs& args);

}  // namespace quillstreak::host
