// The operations the effect can reach through the host's callback tables and suites: one table,
// each operation one entry (its enumerator, the name it is journaled under, and its argument
// record in JournalArgs.h), from which the enum, the names and the argument types are made.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace quillstreak::host {

// X(enumerator, journaled name, argument record, fuzz). Named as the host interface names them.
// `fuzz` is Fail for the calls the effect makes and must survive failing (the protocol fuzzer
// fails them by operation), Keep for the rest (calls the effect does not make, and calls that
// cannot fail). A new callback the effect uses gets Fail unless it cannot fail. The
// ANSI functions come twice: from the utility table's ANSI block (journaled "ansi.<name>",
// enumerators ansi_<name>) and from the "PF ANSI Suite" (journaled "<name>"), so that tests can
// tell which one the effect used. Slots the host does not implement are all Stub; their entries
// name the member.
#define QS_HOST_OPERATIONS(X)                                                             \
  /* interaction callbacks (in_data->inter) */                                            \
  X(checkout_param, "checkout_param", CheckoutParam, Fail)                                \
  X(checkin_param, "checkin_param", CheckinParam, Fail)                                   \
  X(add_param, "add_param", AddParam, Fail)                                               \
  X(abort, "abort", None, Keep)                                                           \
  X(progress, "progress", Progress, Keep)                                                 \
  /* utility callbacks, "PF Iterate8 Suite", "PF World Transform Suite" */                \
  X(fill, "fill", Fill, Fail)                                                             \
  X(iterate, "iterate", Iterate, Fail)                                                    \
  X(iterate_generic, "iterate_generic", IterateGeneric, Keep)                             \
  X(transfer_rect, "transfer_rect", TransferRect, Fail)                                   \
  /* utility callbacks, "PF Handle Suite" */                                              \
  X(host_new_handle, "host_new_handle", NewHandle, Fail)                                  \
  X(host_lock_handle, "host_lock_handle", Handle, Fail)                                   \
  X(host_unlock_handle, "host_unlock_handle", Handle, Fail)                               \
  X(host_dispose_handle, "host_dispose_handle", Handle, Keep)                             \
  X(host_get_handle_size, "host_get_handle_size", Handle, Keep)                           \
  X(host_resize_handle, "host_resize_handle", ResizeHandle, Keep)                         \
  /* the utility table's ANSI block */                                                    \
  X(ansi_atan, "ansi.atan", None, Keep)                                                   \
  X(ansi_atan2, "ansi.atan2", None, Keep)                                                 \
  X(ansi_ceil, "ansi.ceil", None, Keep)                                                   \
  X(ansi_cos, "ansi.cos", None, Keep)                                                     \
  X(ansi_exp, "ansi.exp", None, Keep)                                                     \
  X(ansi_fabs, "ansi.fabs", None, Keep)                                                   \
  X(ansi_floor, "ansi.floor", None, Keep)                                                 \
  X(ansi_fmod, "ansi.fmod", None, Keep)                                                   \
  X(ansi_hypot, "ansi.hypot", None, Keep)                                                 \
  X(ansi_log, "ansi.log", None, Keep)                                                     \
  X(ansi_log10, "ansi.log10", None, Keep)                                                 \
  X(ansi_pow, "ansi.pow", None, Keep)                                                     \
  X(ansi_sin, "ansi.sin", None, Keep)                                                     \
  X(ansi_sqrt, "ansi.sqrt", None, Keep)                                                   \
  X(ansi_tan, "ansi.tan", None, Keep)                                                     \
  X(ansi_sprintf, "ansi.sprintf", Text, Keep)                                             \
  X(ansi_strcpy, "ansi.strcpy", Text, Fail)                                               \
  X(ansi_asin, "ansi.asin", None, Keep)                                                   \
  X(ansi_acos, "ansi.acos", None, Keep)                                                   \
  /* "PF ANSI Suite" */                                                                   \
  X(atan, "atan", None, Keep)                                                             \
  X(atan2, "atan2", None, Keep)                                                           \
  X(ceil, "ceil", None, Keep)                                                             \
  X(cos, "cos", None, Keep)                                                               \
  X(exp, "exp", None, Keep)                                                               \
  X(fabs, "fabs", None, Keep)                                                             \
  X(floor, "floor", None, Keep)                                                           \
  X(fmod, "fmod", None, Keep)                                                             \
  X(hypot, "hypot", None, Keep)                                                           \
  X(log, "log", None, Keep)                                                               \
  X(log10, "log10", None, Keep)                                                           \
  X(pow, "pow", None, Keep)                                                               \
  X(sin, "sin", None, Keep)                                                               \
  X(sqrt, "sqrt", None, Keep)                                                             \
  X(tan, "tan", None, Keep)                                                               \
  X(sprintf, "sprintf", Text, Fail)                                                       \
  X(strcpy, "strcpy", Text, Keep)                                                         \
  X(asin, "asin", None, Keep)                                                             \
  X(acos, "acos", None, Keep)                                                             \
  /* basic suite */                                                                       \
  X(AcquireSuite, "AcquireSuite", Suite, Fail)                                            \
  X(ReleaseSuite, "ReleaseSuite", Suite, Fail)                                            \
  /* AEGP suites */                                                                       \
  X(AEGP_GetEffectLayer, "AEGP_GetEffectLayer", None, Fail)                               \
  X(AEGP_GetNewEffectForEffect, "AEGP_GetNewEffectForEffect", Plugin, Fail)               \
  X(AEGP_GetNewEffectStreamByIndex, "AEGP_GetNewEffectStreamByIndex", EffectStream, Fail) \
  X(AEGP_GetNewStreamValue, "AEGP_GetNewStreamValue", StreamValue, Fail)                  \
  X(AEGP_DisposeStreamValue, "AEGP_DisposeStreamValue", Stream, Fail)                     \
  X(AEGP_DisposeStream, "AEGP_DisposeStream", Stream, Fail)                               \
  X(AEGP_DisposeEffect, "AEGP_DisposeEffect", None, Fail)                                 \
  X(AEGP_GetLayerStreamValue, "AEGP_GetLayerStreamValue", LayerStreamValue, Fail)         \
  X(AEGP_GetLayerParentComp, "AEGP_GetLayerParentComp", Layer, Fail)                      \
  X(AEGP_GetLayerFromLayerID, "AEGP_GetLayerFromLayerID", Layer, Fail)                    \
  X(AEGP_GetLayerID, "AEGP_GetLayerID", None, Keep)                                       \
  X(AEGP_SetDynamicStreamFlag, "AEGP_SetDynamicStreamFlag", DynamicFlag, Fail)            \
  /* pre-render and smart-render callbacks */                                             \
  X(checkout_layer, "checkout_layer", CheckoutLayer, Fail)                                \
  X(checkout_layer_pixels, "checkout_layer_pixels", CheckoutId, Fail)                     \
  X(checkin_layer_pixels, "checkin_layer_pixels", CheckoutId, Keep)                       \
  X(checkout_output, "checkout_output", None, Fail)                                       \
  /* a slot the host does not implement */                                                \
  X(Stub, "stub", Stub, Keep)

/// Every operation the effect can reach, in table order.
enum class Op : std::uint8_t {
#define QS_OP_ENUMERATOR(op, name, record, fuzz) op,
  QS_HOST_OPERATIONS(QS_OP_ENUMERATOR)
#undef QS_OP_ENUMERATOR
};

/// Whether the protocol fuzzer fails `op` (the table's `fuzz` column).
constexpr bool FuzzerFails(Op op) {
  constexpr bool Fail = true, Keep = false;
  constexpr bool kFails[] = {
#define QS_OP_FUZZ(op, name, record, fuzz) fuzz,
      QS_HOST_OPERATIONS(QS_OP_FUZZ)
#undef QS_OP_FUZZ
  };
  return kFails[static_cast<std::size_t>(op)];
}

/// The name an operation is journaled under: "checkout_param", "ansi.sprintf", "sprintf",
/// "AEGP_GetLayerStreamValue", ...; "stub" for Stub (whose entries carry the member's name).
std::string_view NameOf(Op op);

}  // namespace quillstreak::host
