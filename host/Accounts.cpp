#include "host/Accounts.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>
#include <sstream>

namespace quillstreak::host {

namespace {

// Fresh handle memory is filled with this byte so that an effect reading a field it never wrote
// sees a recognisable, non-zero value instead of a lucky zero.
constexpr unsigned char kHandleFill = 0xA5;
// Largest handle the host hands out; bigger requests get null, as when memory runs out.
constexpr A_HandleSize kMaxHandleSize = A_HandleSize{1} << 32;

// An AEGP handle's value: the slot index + 1 in the low bits (never 0, so never null), the slot's
// generation above them.
constexpr unsigned kIndexBits = 20;
constexpr std::uintptr_t kIndexMask = (std::uintptr_t{1} << kIndexBits) - 1;
constexpr std::uintptr_t kGenerationMask = std::numeric_limits<std::uintptr_t>::max() >> kIndexBits;

void* EncodeAegp(std::size_t index, std::uint32_t generation) {
  const std::uintptr_t value =
      ((static_cast<std::uintptr_t>(generation) & kGenerationMask) << kIndexBits) |
      static_cast<std::uintptr_t>(index + 1);
  return reinterpret_cast<void*>(value);
}

std::unique_ptr<unsigned char[]> FilledBlock(A_HandleSize size) {
  const std::size_t bytes = static_cast<std::size_t>(std::max<A_HandleSize>(size, 1));
  std::unique_ptr<unsigned char[]> block(new (std::nothrow) unsigned char[bytes]);
  if (block) std::memset(block.get(), kHandleFill, bytes);
  return block;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// The summary
// ---------------------------------------------------------------------------------------------
bool Accounts::Summary::Clear() const {
  if (handles != 0 || params != 0 || streams != 0 || streamValues != 0 || effectRefs != 0)
    return false;
  for (const auto& [name, count] : suites)
    if (count != 0) return false;
  return true;
}

std::string Accounts::Summary::Describe() const {
  std::ostringstream os;
  os << "handles=" << handles << " params=" << params << " streams=" << streams
     << " streamValues=" << streamValues << " effectRefs=" << effectRefs << " suites={";
  bool first = true;
  for (const auto& [name, count] : suites) {
    if (count == 0) continue;
    os << (first ? "" : ", ") << name << ":" << count;
    first = false;
  }
  os << "}";
  return os.str();
}

Accounts::Summary Accounts::Summarise() const {
  Summary a;
  a.handles = static_cast<std::int64_t>(handles_.size());
  a.params = static_cast<std::int64_t>(checkouts_.size());
  a.streams = liveStreams_;
  a.streamValues = static_cast<std::int64_t>(streamValues_.size());
  a.effectRefs = liveEffectRefs_;
  a.suites = suites_;
  return a;
}

// ---------------------------------------------------------------------------------------------
// Handles
// ---------------------------------------------------------------------------------------------
PF_Handle Accounts::NewHandle(A_HandleSize size) {
  if (size > kMaxHandleSize) return nullptr;
  auto block = std::make_unique<HandleBlock>();
  block->storage = FilledBlock(size);
  if (!block->storage) return nullptr;
  block->master = block->storage.get();
  block->size = size;
  block->serial = ++handleSerial_;
  PF_Handle handle = &block->master;
  handles_[handle] = std::move(block);
  return handle;
}

Accounts::HandleBlock* Accounts::FindHandle(PF_Handle handle) const {
  auto it = handles_.find(handle);
  return it != handles_.end() ? it->second.get() : nullptr;
}

void* Accounts::LockHandle(PF_Handle handle) {
  HandleBlock* block = FindHandle(handle);
  if (block == nullptr) return nullptr;
  ++block->locks;
  return block->master;
}

bool Accounts::UnlockHandle(PF_Handle handle) {
  HandleBlock* block = FindHandle(handle);
  if (block == nullptr) return false;
  if (block->locks > 0) --block->locks;
  return true;
}

bool Accounts::DisposeHandle(PF_Handle handle) { return handles_.erase(handle) != 0; }

A_HandleSize Accounts::HandleSize(PF_Handle handle) const {
  const HandleBlock* block = FindHandle(handle);
  return block != nullptr ? block->size : A_HandleSize{0};
}

PF_Err Accounts::ResizeHandle(PF_Handle handle, A_HandleSize size) {
  HandleBlock* block = FindHandle(handle);
  if (block == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
  if (size > kMaxHandleSize) return PF_Err_OUT_OF_MEMORY;
  std::unique_ptr<unsigned char[]> storage = FilledBlock(size);
  if (!storage) return PF_Err_OUT_OF_MEMORY;
  const std::size_t keep = static_cast<std::size_t>(std::min(size, block->size));
  if (keep > 0) std::memcpy(storage.get(), block->storage.get(), keep);
  block->storage = std::move(storage);
  block->master = block->storage.get();
  block->size = size;
  return PF_Err_NONE;
}

std::int64_t Accounts::HandleSerial(PF_Handle handle) const {
  if (handle == nullptr) return 0;
  const HandleBlock* block = FindHandle(handle);
  return block != nullptr ? block->serial : -1;
}

// ---------------------------------------------------------------------------------------------
// AEGP objects
// ---------------------------------------------------------------------------------------------
void* Accounts::NewAegp(AegpKind kind, std::int32_t value) {
  std::size_t index;
  if (!freeAegp_.empty()) {
    index = freeAegp_.front();
    freeAegp_.pop_front();
  } else {
    index = aegp_.size();
    aegp_.emplace_back();
  }
  AegpSlot& slot = aegp_[index];
  ++slot.generation;
  slot.kind = kind;
  slot.value = value;
  slot.live = true;
  if (kind == AegpKind::Stream) ++liveStreams_;
  if (kind == AegpKind::EffectRef) ++liveEffectRefs_;
  return EncodeAegp(index, slot.generation);
}

void* Accounts::LayerHandle(std::int32_t layerId) {
  void*& handle = layerHandles_[layerId];
  if (handle == nullptr) handle = NewAegp(AegpKind::Layer, layerId);
  return handle;
}

void* Accounts::CompHandle() {
  if (compHandle_ == nullptr) compHandle_ = NewAegp(AegpKind::Comp, 0);
  return compHandle_;
}

const Accounts::AegpSlot* Accounts::Slot(const void* handle) const {
  const auto value = reinterpret_cast<std::uintptr_t>(handle);
  const std::uintptr_t index = value & kIndexMask;
  if (index == 0 || index > aegp_.size()) return nullptr;
  const AegpSlot& slot = aegp_[index - 1];
  if ((static_cast<std::uintptr_t>(slot.generation) & kGenerationMask) != (value >> kIndexBits))
    return nullptr;  // a handle of an earlier object in this slot, or no handle of ours
  return &slot;
}

std::optional<std::int32_t> Accounts::Find(const void* handle, AegpKind kind) const {
  const AegpSlot* slot = Slot(handle);
  if (slot == nullptr || slot->kind != kind) return std::nullopt;
  return slot->value;
}

std::optional<std::int32_t> Accounts::FindLive(const void* handle, AegpKind kind) const {
  const AegpSlot* slot = Slot(handle);
  if (slot == nullptr || slot->kind != kind || !slot->live) return std::nullopt;
  return slot->value;
}

bool Accounts::Dispose(const void* handle, AegpKind kind) {
  const AegpSlot* found = Slot(handle);
  if (found == nullptr || found->kind != kind || !found->live) return false;
  const auto index = static_cast<std::size_t>(found - aegp_.data());
  aegp_[index].live = false;
  freeAegp_.push_back(static_cast<std::uint32_t>(index));
  if (kind == AegpKind::Stream) --liveStreams_;
  if (kind == AegpKind::EffectRef) --liveEffectRefs_;
  return true;
}

// ---------------------------------------------------------------------------------------------
// Stream values, parameter checkouts, suites
// ---------------------------------------------------------------------------------------------
void Accounts::AddStreamValue(const void* stream) { streamValues_.push_back(stream); }

bool Accounts::DisposeStreamValue(const void* stream) {
  auto it = std::find(streamValues_.begin(), streamValues_.end(), stream);
  if (it == streamValues_.end()) return false;
  streamValues_.erase(it);
  return true;
}

void Accounts::AddCheckout(const PF_ParamDef* slot, PF_ParamIndex index) {
  checkouts_.emplace_back(slot, index);
}

PF_ParamIndex Accounts::CheckoutIndex(const PF_ParamDef* slot) const {
  auto it = std::find_if(checkouts_.begin(), checkouts_.end(),
                         [slot](const auto& c) { return c.first == slot; });
  return it != checkouts_.end() ? it->second : -1;
}

bool Accounts::Checkin(const PF_ParamDef* slot) {
  auto it = std::find_if(checkouts_.begin(), checkouts_.end(),
                         [slot](const auto& c) { return c.first == slot; });
  if (it == checkouts_.end()) return false;
  checkouts_.erase(it);
  return true;
}

std::string Accounts::SuiteKey(std::string_view name, std::int32_t version) {
  return std::string(name) + "/" + std::to_string(version);
}

void Accounts::AcquireSuite(std::string_view name, std::int32_t version) {
  ++suites_[SuiteKey(name, version)];
}

bool Accounts::ReleaseSuite(std::string_view name, std::int32_t version) {
  auto it = suites_.find(SuiteKey(name, version));
  if (it == suites_.end() || it->second <= 0) return false;
  if (--it->second == 0) suites_.erase(it);
  return true;
}

}  // namespace quillstreak::host
