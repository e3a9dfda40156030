// The ANSI functions. The same functions serve the utility table's ANSI block (journaled as
// "ansi.<name>") and the "PF ANSI Suite" (journaled as "<name>"), so tests can tell which one the
// effect used. sprintf writes at most kSprintfLimit bytes (255 characters and the NUL), the size
// of the largest text buffer the host hands out (out_data's return_msg); longer output is cut
// there.
#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "CallbackContext.h"
#include "Callbacks.h"

namespace quillstreak::host::callbacks {

namespace {

/// sprintf writes at most this many bytes (255 characters and the NUL): the size of out_data's
/// return_msg, the largest text buffer the host hands to the effect.
constexpr std::size_t kSprintfLimit = 256;

constexpr Op AnsiOp(bool suite, Op name, Op utilsName) { return suite ? name : utilsName; }

template <bool Suite>
int ansi_sprintf(A_char* dst, const A_char* format, ...) {
  CallbackContext* c = CallbackContext::Current();
  if (c != nullptr) {
    if (A_long f = c->Enter<AnsiOp(Suite, Op::sprintf, Op::ansi_sprintf)>(
            {format != nullptr ? format : ""})) {
      c->Result(f);
      return -1;
    }
  }
  if (dst == nullptr || format == nullptr) {
    if (c != nullptr) c->Result(-1);
    return -1;
  }
  va_list args;
  va_start(args, format);
  const int n = std::vsnprintf(dst, kSprintfLimit, format, args);
  va_end(args);
  const int written = n < 0 ? -1 : std::min(n, static_cast<int>(kSprintfLimit) - 1);
  if (c != nullptr) c->Result(written);
  return written;
}

template <bool Suite>
A_char* ansi_strcpy(A_char* dst, const A_char* src) {
  CallbackContext* c = CallbackContext::Current();
  if (c != nullptr &&
      c->Enter<AnsiOp(Suite, Op::strcpy, Op::ansi_strcpy)>({src != nullptr ? src : ""}))
    return c->Done(static_cast<A_char*>(nullptr));
  if (dst == nullptr || src == nullptr) return nullptr;
  return std::strcpy(dst, src);
}

#define QS_MATH1(name, fn)                                     \
  template <bool Suite>                                        \
  A_FpLong ansi_##name(A_FpLong x) {                           \
    if (CallbackContext* c = CallbackContext::Current())       \
      c->Record<AnsiOp(Suite, Op::name, Op::ansi_##name)>({}); \
    return fn(x);                                              \
  }
#define QS_MATH2(name, fn)                                     \
  template <bool Suite>                                        \
  A_FpLong ansi_##name(A_FpLong x, A_FpLong y) {               \
    if (CallbackContext* c = CallbackContext::Current())       \
      c->Record<AnsiOp(Suite, Op::name, Op::ansi_##name)>({}); \
    return fn(x, y);                                           \
  }
QS_MATH1(atan, std::atan)
QS_MATH2(atan2, std::atan2)
QS_MATH1(ceil, std::ceil)
QS_MATH1(cos, std::cos)
QS_MATH1(exp, std::exp)
QS_MATH1(fabs, std::fabs)
QS_MATH1(floor, std::floor)
QS_MATH2(fmod, std::fmod)
QS_MATH2(hypot, std::hypot)
QS_MATH1(log, std::log)
QS_MATH1(log10, std::log10)
QS_MATH2(pow, std::pow)
QS_MATH1(sin, std::sin)
QS_MATH1(sqrt, std::sqrt)
QS_MATH1(tan, std::tan)
QS_MATH1(asin, std::asin)
QS_MATH1(acos, std::acos)
#undef QS_MATH1
#undef QS_MATH2

template <bool Suite, typename Table>
void FillAnsi(Table& t) {
  t.atan = ansi_atan<Suite>;
  t.atan2 = ansi_atan2<Suite>;
  t.ceil = ansi_ceil<Suite>;
  t.cos = ansi_cos<Suite>;
  t.exp = ansi_exp<Suite>;
  t.fabs = ansi_fabs<Suite>;
  t.floor = ansi_floor<Suite>;
  t.fmod = ansi_fmod<Suite>;
  t.hypot = ansi_hypot<Suite>;
  t.log = ansi_log<Suite>;
  t.log10 = ansi_log10<Suite>;
  t.pow = ansi_pow<Suite>;
  t.sin = ansi_sin<Suite>;
  t.sqrt = ansi_sqrt<Suite>;
  t.tan = ansi_tan<Suite>;
  t.sprintf = ansi_sprintf<Suite>;
  t.strcpy = ansi_strcpy<Suite>;
  t.asin = ansi_asin<Suite>;
  t.acos = ansi_acos<Suite>;
}

}  // namespace

void FillAnsiCallbacks(PF_ANSICallbacks& ansi) {
  FillAnsi<false>(ansi);
  ansi.ansi_procs[0] = 0;
}

void FillAnsiSuite(PF_ANSICallbacksSuite1& suite) { FillAnsi<true>(suite); }

}  // namespace quillstreak::host::callbacks
