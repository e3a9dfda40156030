#include "CallbackContext.h"

#include "Stubs.h"
#include "host/Faults.h"
#include "host/FrameDriver.h"

namespace quillstreak::host {

A_long CallbackContext::Call(Op op, CallArgs args, bool canFail) {
  const A_long code = faults_.Consult(op, canFail);
  journal_.Add(op, std::move(args), code);
  return code;
}

void CallbackContext::Stub(std::string_view member, std::int64_t code) {
  if (Enter<Op::Stub>({member}) == 0) Result(code);
}

unsigned CallbackContext::threads() const { return frames_.threads(); }

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
