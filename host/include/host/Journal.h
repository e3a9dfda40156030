// The journal: every host call the effect makes, in call order, each with the operation it
// called, that operation's arguments as named fields, and the result the host gave.
//
// Queries name operations by Op (Op.h), so an operation that does not exist cannot be asked for;
// the typed query Args<Op::...>() gives the argument records (JournalArgs.h) of one operation.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "host/JournalArgs.h"
#include "host/Op.h"

namespace quillstreak::host {

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
