// The operations the effect can reach through the host's callback tables and suites: one table,
// each operation one entry (its enumerator, the name it is journaled under, and its argument
// record in JournalArgs.h), from which the enum, the names and the argument types are made.
#pragma once

#include <cstdint>
#include <string_view>

namespace quillstreak::host {

// X(enumerator, journaled name, argument record). Named as the host interface names them. The
// ANSI functions come twice: from the utility table's ANSI block (journaled "ansi.<name>",
// enumerators ansi_<name>) and from the "PF ANSI Suite" (journaled "<name>"), so that tests can
// tell which one the effect used. Slots the host does not implement are all Stub; their entries
// name the member.
#define QS_HOST_OPERATIONS(X)                                                       \
  /* interaction callbacks (in_data->inter) */                                      \
  X(checkout_param, "checkout_param", CheckoutParam)                                \
  X(checkin_param, "checkin_param", CheckinParam)                                   \
  X(add_param, "add_param", AddParam)                                               \
  X(abort, "abort", None)                                                           \
  X(progress, "progress", Progress)                                                 \
  /* utility callbacks, "PF Iterate8 Suite", "PF World Transform Suite" */          \
  X(fill, "fill", Fill)                                                             \
  X(iterate, "iterate", Iterate)                                                    \
  X(iterate_generic, "iterate_generic", IterateGeneric)                             \
  X(transfer_rect, "transfer_rect", TransferRect)                                   \
  /* utility callbacks, "PF Handle Suite" */                                        \
  X(host_new_handle, "host_new_handle", NewHandle)                                  \
  X(host_lock_handle, "host_lock_handle", Handle)                                   \
  X(host_unlock_handle, "host_unlock_handle", Handle)                               \
  X(host_dispose_handle, "host_dispose_handle", Handle)                             \
  X(host_get_handle_size, "host_get_handle_size", Handle)                           \
  X(host_resize_handle, "host_resize_handle", ResizeHandle)                         \
  /* the utility table's ANSI block */                                              \
  X(ansi_atan, "ansi.atan", None)                                                   \
  X(ansi_atan2, "ansi.atan2", None)                                                 \
  X(ansi_ceil, "ansi.ceil", None)                                                   \
  X(ansi_cos, "ansi.cos", None)                                                     \
  X(ansi_exp, "ansi.exp", None)                                                     \
  X(ansi_fabs, "ansi.fabs", None)                                                   \
  X(ansi_floor, "ansi.floor", None)                                                 \
  X(ansi_fmod, "ansi.fmod", None)                                                   \
  X(ansi_hypot, "ansi.hypot", None)                                                 \
  X(ansi_log, "ansi.log", None)                                                     \
  X(ansi_log10, "ansi.log10", None)                                                 \
  X(ansi_pow, "ansi.pow", None)                                                     \
  X(ansi_sin, "ansi.sin", None)                                                     \
  X(ansi_sqrt, "ansi.sqrt", None)                                                   \
  X(ansi_tan, "ansi.tan", None)                                                     \
  X(ansi_sprintf, "ansi.sprintf", Text)                                             \
  X(ansi_strcpy, "ansi.strcpy", Text)                                               \
  X(ansi_asin, "ansi.asin", None)                                                   \
  X(ansi_acos, "ansi.acos", None)                                                   \
  /* "PF ANSI Suite" */                                                             \
  X(atan, "atan", None)                                                             \
  X(atan2, "atan2", None)                                                           \
  X(ceil, "ceil", None)                                                             \
  X(cos, "cos", None)                                                               \
  X(exp, "exp", None)                                                               \
  X(fabs, "fabs", None)                                                             \
  X(floor, "floor", None)                                                           \
  X(fmod, "fmod", None)                                                             \
  X(hypot, "hypot", None)                                                           \
  X(log, "log", None)                                                               \
  X(log10, "log10", None)                                                           \
  X(pow, "pow", None)                                                               \
  X(sin, "sin", None)                                                               \
  X(sqrt, "sqrt", None)                                                             \
  X(tan, "tan", None)                                                               \
  X(sprintf, "sprintf", Text)                                                       \
  X(strcpy, "strcpy", Text)                                                         \
  X(asin, "asin", None)                                                             \
  X(acos, "acos", None)                                                             \
  /* basic suite */                                                                 \
  X(AcquireSuite, "AcquireSuite", Suite)                                            \
  X(ReleaseSuite, "ReleaseSuite", Suite)                                            \
  /* AEGP suites */                                                                 \
  X(AEGP_GetEffectLayer, "AEGP_GetEffectLayer", None)                               \
  X(AEGP_GetNewEffectForEffect, "AEGP_GetNewEffectForEffect", Plugin)               \
  X(AEGP_GetNewEffectStreamByIndex, "AEGP_GetNewEffectStreamByIndex", EffectStream) \
  X(AEGP_GetNewStreamValue, "AEGP_GetNewStreamValue", StreamValue)                  \
  X(AEGP_DisposeStreamValue, "AEGP_DisposeStreamValue", Stream)                     \
  X(AEGP_DisposeStream, "AEGP_DisposeStream", Stream)                               \
  X(AEGP_DisposeEffect, "AEGP_DisposeEffect", None)                                 \
  X(AEGP_GetLayerStreamValue, "AEGP_GetLayerStreamValue", LayerStreamValue)         \
  X(AEGP_GetLayerParentComp, "AEGP_GetLayerParentComp", Layer)                      \
  X(AEGP_GetLayerFromLayerID, "AEGP_GetLayerFromLayerID", Layer)                    \
  X(AEGP_GetLayerID, "AEGP_GetLayerID", None)                                       \
  X(AEGP_SetDynamicStreamFlag, "AEGP_SetDynamicStreamFlag", DynamicFlag)            \
  /* pre-render and smart-render callbacks */                                       \
  X(checkout_layer, "checkout_layer", CheckoutLayer)                                \
  X(checkout_layer_pixels, "checkout_layer_pixels", CheckoutId)                     \
  X(checkin_layer_pixels, "checkin_layer_pixels", CheckoutId)                       \
  X(checkout_output, "checkout_output", None)                                       \
  /* a slot the host does not implement */                                          \
  X(Stub, "stub", Stub)

/// Every operation the effect can reach, in table order.
enum class Op : std::uint8_t {
#define QS_OP_ENUMERATOR(op, name, record) op,
  QS_HOST_OPERATIONS(QS_OP_ENUMERATOR)
#undef QS_OP_ENUMERATOR
};

/// The name an operation is journaled under: "checkout_param", "ansi.sprintf", "sprintf",
/// "AEGP_GetLayerStreamValue", ...; "stub" for Stub (whose entries carry the member's name).
std::string_view NameOf(Op op);

}  // namespace quillstreak::host
