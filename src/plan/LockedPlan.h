// A trail plan's handle held locked while a command works on the plan.
#pragma once

#include "frame/HostServices.h"
#include "frame/SuiteCache.h"
#include "plan/TrailPlan.h"

namespace quillstreak {

/// Holds a plan's handle locked until Release() or scope end, also when an exception passes.
/// Smart render is the plan's last user: its lock destroys the plan's sample list before the
/// handle is unlocked; smart pre-render's leaves the plan whole for the render.
class LockedPlan {
 public:
  enum class OnRelease { KeepSamples, DestroySamples };

  LockedPlan(SuiteCache& suites, PF_Handle handle, TrailPlan& plan, OnRelease onRelease)
      : suites_(suites), handle_(handle), plan_(plan), onRelease_(onRelease) {}
  ~LockedPlan() {
    try {
      Release();
    } catch (...) {
    }
  }
  LockedPlan(const LockedPlan&) = delete;
  LockedPlan& operator=(const LockedPlan&) = delete;

  TrailPlan& plan() { return plan_; }

  void Release() {
    if (handle_ == nullptr) return;
    const PF_Handle handle = handle_;
    handle_ = nullptr;
    if (onRelease_ == OnRelease::DestroySamples) DestroySampleTimes(plan_);
    UnlockHandle(suites_, handle);
  }

 private:
  SuiteCache& suites_;
  PF_Handle handle_;
  TrailPlan& plan_;
  OnRelease onRelease_;
};

}  // namespace quillstreak
