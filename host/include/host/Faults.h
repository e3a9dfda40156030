// Fault injection: host calls made to fail by operation and count or by call number, suites
// refused, and the basic suite withheld.
//
// Counting starts when a fault is armed. A failed call is journaled (failed, with the injected
// code as its result) and has no other effect: out-pointers are nulled or zeroed, nothing is
// accounted. Calls that return a pointer (host_new_handle, host_lock_handle) fail by returning
// null; calls without a result cannot fail, but are counted. Releasing calls (checkin_param,
// ReleaseSuite, AEGP_DisposeEffect, AEGP_DisposeStream, AEGP_DisposeStreamValue) still release
// when made to fail: the effect has given the resource back, so the failure shows in the result
// without looking like a leak.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "host/Op.h"
#include "hostapi/HostApi.h"

namespace quillstreak::host {

class Faults {
 public:
  Faults() = default;
  Faults(const Faults&) = delete;
  Faults& operator=(const Faults&) = delete;

  /// The n-th call (1-based) of op from now returns code. Stubs count as one operation.
  void FailCall(Op op, int n, A_long code);
  /// The k-th host call (1-based) from now returns code; a call without a result there fails
  /// nothing.
  void FailCallNumber(std::int64_t k, A_long code);
  /// AcquireSuite of that name and version (all versions when version < 0) is refused.
  void RefuseSuite(std::string name, std::int32_t version = -1);
  void RefuseAllSuites(bool refuse = true) { refuseAll_ = refuse; }
  /// Lifts every fault and refusal (not SetNoBasicSuite).
  void Clear();
  /// in_data.pica_basicP is null in the next commands (or back to the host's basic suite).
  void SetNoBasicSuite(bool none = true) { noBasicSuite_ = none; }
  bool basicSuiteWithheld() const { return noBasicSuite_; }

  bool SuiteRefused(std::string_view name, std::int32_t version) const;
  /// Counts one host call of op and returns the code it must fail with (0: none); a call that
  /// cannot fail is counted and never fails. Called once per host call.
  A_long Consult(Op op, bool canFail);

 private:
  struct ByOp {
    Op op;
    int n = 0;
    A_long code = 0;
    int seen = 0;
  };
  std::vector<ByOp> byOp_;
  std::int64_t callNumberTarget_ = 0;
  A_long callNumberCode_ = 0;
  std::int64_t callsSinceArmed_ = 0;
  std::vector<std::pair<std::string, std::int32_t>> refused_;
  bool refuseAll_ = false;
  bool noBasicSuite_ = false;
};

}  // namespace quillstreak::host
