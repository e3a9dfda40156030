#include "host/Faults.h"

namespace quillstreak::host {

void Faults::FailCall(Op op, int n, A_long code) { byOp_.push_back(ByOp{op, n, code, 0}); }

void Faults::FailCallNumber(std::int64_t k, A_long code) {
  callNumberTarget_ = k;
  callNumberCode_ = code;
  callsSinceArmed_ = 0;
}

void Faults::RefuseSuite(std::string name, std::int32_t version) {
  refused_.emplace_back(std::move(name), version);
}

void Faults::Clear() {
  byOp_.clear();
  callNumberTarget_ = 0;
  callNumberCode_ = 0;
  refused_.clear();
  refuseAll_ = false;
}

bool Faults::SuiteRefused(std::string_view name, std::int32_t version) const {
  if (refuseAll_) return true;
  for (const auto& [n, v] : refused_)
    if (n == name && (v < 0 || v == version)) return true;
  return false;
}

A_long Faults::Consult(Op op, bool canFail) {
  ++callsSinceArmed_;
  A_long code = 0;
  for (ByOp& f : byOp_)
    if (f.op == op && ++f.seen == f.n && canFail) code = f.code;
  if (canFail && callNumberTarget_ > 0 && callsSinceArmed_ == callNumberTarget_)
    code = callNumberCode_;
  return code;
}

}  // namespace quillstreak::host
