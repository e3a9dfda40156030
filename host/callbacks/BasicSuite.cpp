// The basic suite: AcquireSuite and ReleaseSuite over the served suites (ServedSuites.h), with
// refusals from fault injection and every acquisition accounted until it is released.
#include <string>

#include "CallbackContext.h"
#include "Callbacks.h"
#include "Stubs.h"
#include "host/Faults.h"
#include "host/Registries.h"
#include "host/ServedSuites.h"

namespace quillstreak::host::callbacks {

namespace {

using detail::kSpStubError;

SPErr AcquireSuite(const char* name, std::int32_t version, const void** suite) {
  CallbackContext* c = CallbackContext::Current();
  if (c == nullptr) {
    if (suite != nullptr) *suite = nullptr;
    return kSPBadParameterError;
  }
  const std::string nameText = name != nullptr ? name : "";
  if (A_long f = c->Enter<Op::AcquireSuite>({nameText, version})) {
    if (suite != nullptr) *suite = nullptr;
    return c->Done(static_cast<SPErr>(f));
  }
  if (suite == nullptr || name == nullptr) {
    if (suite != nullptr) *suite = nullptr;
    return c->Done(static_cast<SPErr>(kSPBadParameterError));
  }
  *suite = nullptr;
  if (c->faults().SuiteRefused(nameText, version))
    return c->Done(static_cast<SPErr>(kSPSuiteNotFoundError));
  const ServedSuite* served = FindServedSuite(nameText, version);
  if (served == nullptr) return c->Done(static_cast<SPErr>(kSPSuiteNotFoundError));
  *suite = served->table;
  c->registries().AcquireSuite(nameText, version);
  return c->Done(static_cast<SPErr>(kSPNoError));
}

SPErr ReleaseSuite(const char* name, std::int32_t version) {
  CallbackContext* c = CallbackContext::Current();
  if (c == nullptr) return kSPBadParameterError;
  const std::string nameText = name != nullptr ? name : "";
  // A release that is made to fail still releases: the effect gave the suite back.
  const A_long f = c->Enter<Op::ReleaseSuite>({nameText, version});
  SPErr result = kSPNoError;
  if (name == nullptr)
    result = kSPBadParameterError;
  else if (FindServedSuite(nameText, version) == nullptr)
    result = kSPSuiteNotFoundError;
  else if (!c->registries().ReleaseSuite(nameText, version))
    result = kSPBadParameterError;  // released more often than acquired
  return c->Done(static_cast<SPErr>(f != 0 ? f : result));
}

}  // namespace

void InstallBasicSuite(SPBasicSuite& basic) {
  basic.AcquireSuite = AcquireSuite;
  basic.ReleaseSuite = ReleaseSuite;
  QS_STUB(basic, IsEqual, kSpStubError);
  QS_STUB(basic, AllocateBlock, kSpStubError);
  QS_STUB(basic, FreeBlock, kSpStubError);
  QS_STUB(basic, ReallocateBlock, kSpStubError);
  QS_STUB(basic, Undefined, kSpStubError);
}

}  // namespace quillstreak::host::callbacks
