#include "host/Journal.h"

#include <algorithm>
#include <array>
#include <sstream>
#include <stdexcept>

namespace quillstreak::host {

namespace {

constexpr std::array<std::string_view, static_cast<std::size_t>(Op::Stub) + 1> kNames = {
    "checkout_param",
    "checkin_param",
    "add_param",
    "abort",
    "progress",
    "fill",
    "iterate",
    "iterate_generic",
    "transfer_rect",
    "host_new_handle",
    "host_lock_handle",
    "host_unlock_handle",
    "host_dispose_handle",
    "host_get_handle_size",
    "host_resize_handle",
    "ansi.atan",
    "ansi.atan2",
    "ansi.ceil",
    "ansi.cos",
    "ansi.exp",
    "ansi.fabs",
    "ansi.floor",
    "ansi.fmod",
    "ansi.hypot",
    "ansi.log",
    "ansi.log10",
    "ansi.pow",
    "ansi.sin",
    "ansi.sqrt",
    "ansi.tan",
    "ansi.sprintf",
    "ansi.strcpy",
    "ansi.asin",
    "ansi.acos",
    "atan",
    "atan2",
    "ceil",
    "cos",
    "exp",
    "fabs",
    "floor",
    "fmod",
    "hypot",
    "log",
    "log10",
    "pow",
    "sin",
    "sqrt",
    "tan",
    "sprintf",
    "strcpy",
    "asin",
    "acos",
    "AcquireSuite",
    "ReleaseSuite",
    "AEGP_GetEffectLayer",
    "AEGP_GetNewEffectForEffect",
    "AEGP_GetNewEffectStreamByIndex",
    "AEGP_GetNewStreamValue",
    "AEGP_DisposeStreamValue",
    "AEGP_DisposeStream",
    "AEGP_DisposeEffect",
    "AEGP_GetLayerStreamValue",
    "AEGP_GetLayerParentComp",
    "AEGP_GetLayerFromLayerID",
    "AEGP_GetLayerID",
    "AEGP_SetDynamicStreamFlag",
    "checkout_layer",
    "checkout_layer_pixels",
    "checkin_layer_pixels",
    "checkout_output",
    "stub",
};

// Writes "name=value" fields separated by ", ".
class Fields {
 public:
  explicit Fields(std::ostringstream& os) : os_(os) {}
  template <typename T>
  Fields& operator()(const char* name, const T& value) {
    os_ << (first_ ? "" : ", ") << name << "=";
    Put(value);
    first_ = false;
    return *this;
  }

 private:
  template <typename T>
  void Put(const T& v) {
    if constexpr (std::is_same_v<T, bool>)
      os_ << (v ? "yes" : "no");
    else if constexpr (std::is_same_v<T, A_Boolean>)
      os_ << static_cast<int>(v);
    else
      os_ << v;
  }
  void Put(const PF_Rect& r) {
    os_ << "(" << r.left << "," << r.top << "," << r.right << "," << r.bottom << ")";
  }
  void Put(const std::optional<PF_Rect>& r) {
    if (r)
      Put(*r);
    else
      os_ << "none";
  }
  void Put(const std::string& s) { os_ << '"' << s << '"'; }

  std::ostringstream& os_;
  bool first_ = true;
};

void Put(Fields&, const args::None&) {}
void Put(Fields& f, const args::CheckoutParam& a) {
  f("index", a.index)("what_time", a.what_time)("time_step", a.time_step)("time_scale",
                                                                          a.time_scale);
}
void Put(Fields& f, const args::CheckinParam& a) { f("index", a.index); }
void Put(Fields& f, const args::AddParam& a) {
  f("index", a.index)("param_type", a.param_type)("id", a.id);
}
void Put(Fields& f, const args::Progress& a) { f("current", a.current)("total", a.total); }
void Put(Fields& f, const args::Fill& a) { f("color", a.color)("rect", a.rect); }
void Put(Fields& f, const args::Iterate& a) {
  f("progress_base", a.progress_base)("progress_final", a.progress_final)("src", a.src)(
      "area", a.area)("in_place", a.in_place);
}
void Put(Fields& f, const args::IterateGeneric& a) { f("iterations", a.iterations); }
void Put(Fields& f, const args::TransferRect& a) {
  f("quality", a.quality)("m_flags", a.m_flags)("field", a.field)("src_rect", a.src_rect)(
      "dest_x", a.dest_x)("dest_y", a.dest_y)("xfer", a.xfer)("opacity", a.opacity)("mask", a.mask);
}
void Put(Fields& f, const args::NewHandle& a) { f("size", a.size); }
void Put(Fields& f, const args::Handle& a) { f("handle", a.handle); }
void Put(Fields& f, const args::ResizeHandle& a) { f("size", a.size)("handle", a.handle); }
void Put(Fields& f, const args::Text& a) { f("text", a.text); }
void Put(Fields& f, const args::Suite& a) { f("name", a.name)("version", a.version); }
void Put(Fields& f, const args::Plugin& a) { f("plugin", a.plugin); }
void Put(Fields& f, const args::EffectStream& a) { f("plugin", a.plugin)("index", a.index); }
void Put(Fields& f, const args::Stream& a) { f("param", a.param); }
void Put(Fields& f, const args::StreamValue& a) {
  f("plugin", a.plugin)("param", a.param)("time_mode", a.time_mode)("time", a.time)(
      "scale", a.scale)("pre_expression", a.pre_expression);
}
void Put(Fields& f, const args::LayerStreamValue& a) {
  f("stream", a.stream)("time", a.time)("scale", a.scale)("time_mode", a.time_mode)(
      "pre_expression", a.pre_expression);
}
void Put(Fields& f, const args::Layer& a) { f("layer_id", a.layer_id); }
void Put(Fields& f, const args::DynamicFlag& a) {
  f("param", a.param)("flag", a.flag)("undoable", a.undoable)("set", a.set);
}
void Put(Fields& f, const args::CheckoutLayer& a) {
  f("index", a.index)("checkout_id", a.checkout_id)("what_time", a.what_time)(
      "time_step", a.time_step)("time_scale", a.time_scale);
}
void Put(Fields& f, const args::CheckoutId& a) { f("checkout_id", a.checkout_id); }
void Put(Fields&, const args::Stub&) {}

}  // namespace

std::string_view NameOf(Op op) {
  const auto i = static_cast<std::size_t>(op);
  return i < kNames.size() ? kNames[i] : std::string_view("?");
}

void JournalEntry::ThrowWrongOp(Op asked) const {
  throw std::logic_error("journal entry of " + std::string(NameOf(op)) + " read as " +
                         std::string(NameOf(asked)));
}

std::string FormatCall(Op op, const CallArgs& args) {
  std::ostringstream os;
  if (const auto* stub = std::get_if<args::Stub>(&args))
    os << stub->member;
  else
    os << NameOf(op);
  os << "(";
  Fields fields(os);
  std::visit([&fields](const auto& a) { Put(fields, a); }, args);
  os << ")";
  return os.str();
}

std::string Format(const JournalEntry& entry) {
  std::string text = FormatCall(entry.op, entry.args) + " -> " + std::to_string(entry.result);
  if (entry.failed) text += " [injected]";
  if (entry.stub()) text += " [stub]";
  return text;
}

std::size_t Journal::Count(Op op) const {
  return static_cast<std::size_t>(std::count_if(
      entries_.begin(), entries_.end(), [op](const JournalEntry& e) { return e.op == op; }));
}

std::vector<JournalEntry> Journal::Calls(Op op) const {
  std::vector<JournalEntry> out;
  for (const JournalEntry& e : entries_)
    if (e.op == op) out.push_back(e);
  return out;
}

std::vector<Op> Journal::Ops() const {
  std::vector<Op> ops;
  ops.reserve(entries_.size());
  for (const JournalEntry& e : entries_) ops.push_back(e.op);
  return ops;
}

std::string Journal::Text() const {
  std::string text;
  for (std::size_t i = 0; i < entries_.size(); ++i)
    text += std::to_string(i + 1) + ": " + Format(entries_[i]) + "\n";
  return text;
}

void Journal::Add(Op op, CallArgs args, std::int64_t injected) {
  lastStored_ = enabled_;
  if (!enabled_) return;
  JournalEntry& entry = entries_.emplace_back();
  entry.op = op;
  entry.args = std::move(args);
  entry.result = injected;
  entry.failed = injected != 0;
}

void Journal::SetResult(std::int64_t result) {
  if (lastStored_ && !entries_.empty() && !entries_.back().failed) entries_.back().result = result;
}

}  // namespace quillstreak::host
