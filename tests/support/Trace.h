// Reading the host's journal in tests. Expected calls are written with the operation's named
// argument fields and compared as the journal formats them, so a mismatch prints every field of
// both calls:
//
//   EXPECT_EQ(Trace(host.journal(), {Op::transfer_rect}),
//             Lines({Call<Op::transfer_rect>({.quality = PF_Quality_HI, ..., .dest_x = 2})}));
#pragma once

#include <initializer_list>
#include <string>
#include <vector>

#include "host/Journal.h"

namespace quillstreak::test {

using quillstreak::host::Op;

/// One call as the journal formats it (FormatCall), from its operation and named fields.
template <Op O>
std::string Call(const quillstreak::host::ArgsOf<O>& args = {}) {
  return quillstreak::host::FormatCall(O, args);
}

/// Every call of the journal, in order, each formatted by FormatCall.
inline std::vector<std::string> Trace(const quillstreak::host::Journal& journal) {
  std::vector<std::string> out;
  for (const quillstreak::host::JournalEntry& e : journal)
    out.push_back(quillstreak::host::FormatCall(e.op, e.args));
  return out;
}

/// The calls of the given operations, in journal order, each formatted by FormatCall.
inline std::vector<std::string> Trace(const quillstreak::host::Journal& journal,
                                      std::initializer_list<Op> ops) {
  std::vector<std::string> out;
  for (const quillstreak::host::JournalEntry& e : journal) {
    for (const Op op : ops) {
      if (e.op == op) {
        out.push_back(quillstreak::host::FormatCall(e.op, e.args));
        break;
      }
    }
  }
  return out;
}

}  // namespace quillstreak::test
