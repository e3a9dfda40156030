// The accounts of what the host has handed to the effect and not got back: handles, AEGP objects
// (effect references, streams, stream values), parameter checkouts and acquired suites, and a
// summary of them.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "hostapi/HostApi.h"

namespace quillstreak::host {

class Accounts {
 public:
  /// What the effect holds at one moment. All zero between commands for a well-behaved effect
  /// (handles may live from pre-render until the frame ends).
  struct Summary {
    std::int64_t handles = 0;                    // allocated, not disposed
    std::int64_t params = 0;                     // checked out, not checked in
    std::int64_t streams = 0;                    // AEGP stream references not disposed
    std::int64_t streamValues = 0;               // AEGP stream values not disposed
    std::int64_t effectRefs = 0;                 // AEGP effect references not disposed
    std::map<std::string, std::int64_t> suites;  // "name/version" -> acquired minus released
    bool Clear() const;
    std::string Describe() const;
  };

  Accounts() = default;
  Accounts(const Accounts&) = delete;
  Accounts& operator=(const Accounts&) = delete;

  /// What is held now.
  Summary Summarise() const;

  // ---- handles: classic handles, a pointer to the host's pointer to the data block. New memory
  // is filled with 0xA5 bytes, so a field read before it is written shows up.
  /// Null when the size is beyond 4 GiB or memory runs out.
  PF_Handle NewHandle(A_HandleSize size);
  /// The data block of a locked handle (null for a handle this host did not make).
  void* LockHandle(PF_Handle handle);
  /// False for a handle this host did not make.
  bool UnlockHandle(PF_Handle handle);
  bool DisposeHandle(PF_Handle handle);
  /// 0 for a handle this host did not make.
  A_HandleSize HandleSize(PF_Handle handle) const;
  /// PF_Err_BAD_CALLBACK_PARAM for a handle this host did not make, PF_Err_OUT_OF_MEMORY when
  /// the new size cannot be had (the handle keeps its block). The content is kept up to the
  /// smaller size.
  PF_Err ResizeHandle(PF_Handle handle, A_HandleSize size);
  /// The handle's serial number: 1 for this host's first handle, 0 for null, -1 for a handle
  /// this host did not make.
  std::int64_t HandleSerial(PF_Handle handle) const;

  // ---- AEGP objects: opaque values that name a slot of a table and the slot's generation.
  // A disposed object frees its slot; its handle stays recognised as disposed until the slot
  // is reused, and is unknown after that: never dereferenced either way.
  enum class AegpKind { Layer, Comp, EffectRef, Stream };
  /// A new effect reference (value 0) or parameter stream (value = the parameter index).
  void* NewAegp(AegpKind kind, std::int32_t value);
  /// The handle of a layer, the same for every call with that id (never disposed).
  void* LayerHandle(std::int32_t layerId);
  /// The handle of the composition (never disposed).
  void* CompHandle();
  /// The value of an object of that kind, disposed or not; none for an unknown handle.
  std::optional<std::int32_t> Find(const void* handle, AegpKind kind) const;
  /// The value of a live object of that kind; none when unknown or disposed.
  std::optional<std::int32_t> FindLive(const void* handle, AegpKind kind) const;
  /// Disposes a live object of that kind; false when unknown or already disposed.
  bool Dispose(const void* handle, AegpKind kind);

  // ---- stream values: one per AEGP_GetNewStreamValue, by the stream they were read from.
  void AddStreamValue(const void* stream);
  /// False when no value of that stream is held.
  bool DisposeStreamValue(const void* stream);

  // ---- parameter checkouts, by the slot the definition was checked out into.
  void AddCheckout(const PF_ParamDef* slot, PF_ParamIndex index);
  /// The index checked out into that slot; -1 when it holds none.
  PF_ParamIndex CheckoutIndex(const PF_ParamDef* slot) const;
  /// Checks the slot's definition in; false when it holds none.
  bool Checkin(const PF_ParamDef* slot);

  // ---- suites acquired and released.
  void AcquireSuite(std::string_view name, std::int32_t version);
  /// False when the suite is released more often than it was acquired.
  bool ReleaseSuite(std::string_view name, std::int32_t version);

 private:
  struct HandleBlock {
    void* master = nullptr;  // *handle: the data block
    std::unique_ptr<unsigned char[]> storage;
    A_HandleSize size = 0;
    std::int64_t serial = 0;
    int locks = 0;
  };
  struct AegpSlot {
    AegpKind kind = AegpKind::Layer;
    std::int32_t value = 0;
    std::uint32_t generation = 0;
    bool live = false;
  };
  HandleBlock* FindHandle(PF_Handle handle) const;
  const AegpSlot* Slot(const void* handle) const;
  static std::string SuiteKey(std::string_view name, std::int32_t version);

  std::map<const void*, std::unique_ptr<HandleBlock>> handles_;
  std::int64_t handleSerial_ = 0;
  std::vector<AegpSlot> aegp_;
  std::deque<std::uint32_t> freeAegp_;  // reused oldest first, so stale handles stay known longest
  std::int64_t liveStreams_ = 0;
  std::int64_t liveEffectRefs_ = 0;
  std::map<std::int32_t, void*> layerHandles_;
  void* compHandle_ = nullptr;
  std::vector<const void*> streamValues_;
  std::vector<std::pair<const PF_ParamDef*, PF_ParamIndex>> checkouts_;
  std::map<std::string, std::int64_t> suites_;
};

}  // namespace quillstreak::host
