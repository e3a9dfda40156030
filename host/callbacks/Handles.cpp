// The handle functions, served by the utility table and the "PF Handle Suite" alike. Handles are
// journaled by serial number (see args::Handle).
#include "CallbackContext.h"
#include "Callbacks.h"
#include "host/Accounts.h"

namespace quillstreak::host::callbacks {

PF_Handle host_new_handle(A_HandleSize size) {
  return WithContext<PF_Handle>(nullptr, [&](CallbackContext& c) -> PF_Handle {
    if (c.Enter<Op::host_new_handle>({size})) return c.Done(PF_Handle{});
    return c.Done(c.accounts().NewHandle(size));
  });
}

void* host_lock_handle(PF_Handle handle) {
  return WithContext<void*>(nullptr, [&](CallbackContext& c) -> void* {
    Accounts& r = c.accounts();
    if (c.Enter<Op::host_lock_handle>({r.HandleSerial(handle)}))
      return c.Done(static_cast<void*>(nullptr));
    return c.Done(r.LockHandle(handle));
  });
}

void host_unlock_handle(PF_Handle handle) {
  WithContext([&](CallbackContext& c) {
    Accounts& r = c.accounts();
    c.Record<Op::host_unlock_handle>({r.HandleSerial(handle)});
    if (!r.UnlockHandle(handle)) c.Result(PF_Err_BAD_CALLBACK_PARAM);
  });
}

void host_dispose_handle(PF_Handle handle) {
  WithContext([&](CallbackContext& c) {
    Accounts& r = c.accounts();
    c.Record<Op::host_dispose_handle>({r.HandleSerial(handle)});
    if (!r.DisposeHandle(handle)) c.Result(PF_Err_BAD_CALLBACK_PARAM);
  });
}

A_HandleSize host_get_handle_size(PF_Handle handle) {
  return WithContext<A_HandleSize>(0, [&](CallbackContext& c) -> A_HandleSize {
    Accounts& r = c.accounts();
    if (c.Enter<Op::host_get_handle_size>({r.HandleSerial(handle)})) return c.Done(A_HandleSize{0});
    return c.Done(r.HandleSize(handle));
  });
}

PF_Err host_resize_handle(A_HandleSize new_size, PF_Handle* handleP) {
  return WithContext<PF_Err>(PF_Err_BAD_CALLBACK_PARAM, [&](CallbackContext& c) -> PF_Err {
    Accounts& r = c.accounts();
    if (A_long f = c.Enter<Op::host_resize_handle>(
            {new_size, handleP != nullptr ? r.HandleSerial(*handleP) : -1}))
      return c.Done(f);
    if (handleP == nullptr) return c.Done(PF_Err_BAD_CALLBACK_PARAM);
    return c.Done(r.ResizeHandle(*handleP, new_size));
  });
}

void FillHandleSuite(PF_HandleSuite1& suite) {
  suite.host_new_handle = host_new_handle;
  suite.host_lock_handle = host_lock_handle;
  suite.host_unlock_handle = host_unlock_handle;
  suite.host_dispose_handle = host_dispose_handle;
  suite.host_get_handle_size = host_get_handle_size;
  suite.host_resize_handle = host_resize_handle;
}

}  // namespace quillstreak::host::callbacks
