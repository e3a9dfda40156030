#include "CallbackContext.h"

#include "Stubs.h"
#include "host/Faults.h"
#include "host/HostRecords.h"

namespace quillstreak::host {

namespace {

thread_local CallbackContext* t_current = nullptr;

}  // namespace

CallbackContext* CallbackContext::Current() { return t_current; }

CallbackContext::CurrentScope::CurrentScope(CallbackContext* context) : previous_(t_current) {
  t_current = context;
}

CallbackContext::CurrentScope::~CurrentScope() { t_current = previous_; }

bool CallbackContext::BadRef(PF_ProgPtr ref) const { return ref != records_.effectRef(); }

A_long CallbackContext::Call(Op op, CallArgs args, bool canFail) {
  const A_long code = faults_.Consult(op, canFail);
  journal_.Add(op, std::move(args), code);
  return code;
}

void CallbackContext::Stub(std::string_view member, std::int64_t code) {
  if (Enter<Op::Stub>({member}) == 0) Result(code);
}

namespace detail {

std::int64_t RecordStub(const char* name, std::int64_t code) {
  if (CallbackContext* c = CallbackContext::Current()) c->Stub(name, code);
  return code;
}

namespace {
PF_Err ReservedSlot() {
  return static_cast<PF_Err>(RecordStub("reserved", PF_Err_INVALID_CALLBACK));
}
}  // namespace

void* ReservedStubAddress() { return reinterpret_cast<void*>(&ReservedSlot); }

}  // namespace detail

}  // namespace quillstreak::host
