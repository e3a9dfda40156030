#include "host/Journal.h"

#include <algorithm>
#include <iterator>
#include <sstream>
#include <stdexcept>

namespace quillstreak::host {

namespace {

constexpr std::string_view kNames[] = {
#define QS_OP_NAME(op, name, record, fuzz) name,
    QS_HOST_OPERATIONS(QS_OP_NAME)
#undef QS_OP_NAME
};
static_assert(std::size(kNames) == static_cast<std::size_t>(Op::Stub) + 1);

// Writes "name=value" fields separated by ", ".
class FieldWriter {
 public:
  explicit FieldWriter(std::ostringstream& os) : os_(os) {}
  template <typename T>
  FieldWriter& operator()(const char* name, const T& value) {
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

}  // namespace

std::string_view NameOf(Op op) {
  const auto i = static_cast<std::size_t>(op);
  return i < std::size(kNames) ? kNames[i] : std::string_view("?");
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
  FieldWriter put(os);
  std::visit([&put](const auto& a) { a.Fields(put); }, args);
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
