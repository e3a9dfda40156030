// The basic suite: AcquireSuite and ReleaseSuite over the served suites (ServedSuites.h), with
// refusals from fault injection and every acquisition accounted until it is released.
#include <string>

#include "CallbackContext.h"
#include "Callbacks.h"
#include "Stubs.h"
#include "host/Accounts.h"
#include "host/Faults.h"
#include "host/ServedSuites.h"

namespace quillstreak::host::callbacks {

namespace {

using detail::kSpStubError;

SPErr AcquireSuite(const char* name, std::int32_t version, const void** suite) {
  if (suite != nullptr) *suite = nullptr;
  return WithContext<SPErr>(kSPBadParameterError, [&](CallbackContext& c) -> SPErr {
    const std::string nameText = name != nullptr ? name : "";
    if (A_long f = c.Enter<Op::AcquireSuite>({nameText, version}))
      return c.Done(static_cast<SPErr>(f));
    if (suite == nullptr || name == nullptr)
      return c.Done(static_cast<SPErr>(kSPBadParameterError));
    if (c.faults().SuiteRefused(nameText, version))
      return c.Done(static_cast<SPErr>(kSPSuiteNotFoundError));
    const ServedSuite* served = FindServedSuite(nameText, version);
    if (served == nullptr) return c.Done(static_cast<SPErr>(kSPSuiteNotFoundError));
    *suite = served->table;
    c.accounts().AcquireSuite(nameText, version);
    return c.Done(static_cast<SPErr>(kSPNoError));
  });
}

SPErr ReleaseSuite(const char* name, std::int32_t version) {
  return WithContext<SPErr>(kSPBadParameterError, [&](CallbackContext& c) -> SPErr {
    const std::string nameText = name != nullptr ? name : "";
    // A release that is made to fail still releases: the effect gave the suite back.
    const A_long f = c.Enter<Op::ReleaseSuite>({nameText, version});
    SPErr result = kSPNoError;
    if (name == nullptr)
      result = kSPBadParameterError;
    else if (FindServedSuite(nameText, version) == nullptr)
      result = kSPSuiteNotFoundError;
    else if (!c.accounts().ReleaseSuite(nameText, version))
      result = kSPBadParameterError;  // released more often than acquired
    return c.Done(static_cast<SPErr>(f != 0 ? f : result));
  });
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
