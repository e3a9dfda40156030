// Stand-ins for host callbacks and suite members that the substitute host does not implement.
// Each one records its call in the current host's journal and returns an error (null for
// pointer results, NaN for floating results, nothing for void), so no table slot is ever null
// and an effect that calls something unexpected is seen in the journal.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <type_traits>

#include "hostapi/HostApi.h"

namespace quillstreak::host::detail {

/// What a stub returns in a PF callback table, an AEGP suite and the basic suite.
inline constexpr std::int64_t kPfStubError = PF_Err_INVALID_CALLBACK;
inline constexpr std::int64_t kAegpStubError = A_Err_GENERIC;
inline constexpr std::int64_t kSpStubError = kSPUnimplementedError;

/// A string usable as a template argument: the stub's name.
template <std::size_t N>
struct StubName {
  char text[N];
  constexpr StubName(const char (&s)[N]) {  // NOLINT: implicit on purpose
    for (std::size_t i = 0; i < N; ++i) text[i] = s[i];
  }
};

/// Journals a stub call on the current host (if any) and returns the code to hand back.
std::int64_t RecordStub(const char* name, std::int64_t code);

template <typename R, std::int64_t Code>
R StubResult(const char* name) {
  if constexpr (std::is_void_v<R>) {
    RecordStub(name, 0);
  } else if constexpr (std::is_pointer_v<R>) {
    RecordStub(name, 0);
    return nullptr;
  } else if constexpr (std::is_floating_point_v<R>) {
    RecordStub(name, 0);
    return std::numeric_limits<R>::quiet_NaN();
  } else {
    return static_cast<R>(RecordStub(name, Code));
  }
}

template <StubName Name, std::int64_t Code, typename F>
struct Stub;

template <StubName Name, std::int64_t Code, typename R, typename... Args>
struct Stub<Name, Code, R (*)(Args...)> {
  static R Call(Args...) { return StubResult<R, Code>(Name.text); }
};

template <StubName Name, std::int64_t Code, typename R, typename... Args>
struct Stub<Name, Code, R (*)(Args..., ...)> {
  static R Call(Args..., ...) { return StubResult<R, Code>(Name.text); }
};

/// A function address for untyped (void*) reserved slots.
void* ReservedStubAddress();

}  // namespace quillstreak::host::detail

/// Fills table.member with a stub that journals under the member's name and returns code.
#define QS_STUB(table, member, code) \
  (table).member =                   \
      ::quillstreak::host::detail::Stub<#member, (code), decltype((table).member)>::Call
