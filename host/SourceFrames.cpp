#include "host/SourceFrames.h"

#include <algorithm>
#include <iterator>

#include "hostapi/HostApi.h"

namespace quillstreak::host {

namespace {

std::uint64_t BytesOf(const LayerSource& frame) { return frame.pixels.size() * sizeof(PF_Pixel); }

}  // namespace

std::shared_ptr<const LayerSource> SourceFrames::Find(std::uint64_t serial, std::int64_t index) {
  const auto it = std::find_if(entries_.begin(), entries_.end(), [&](const Entry& e) {
    return e.serial == serial && e.index == index;
  });
  if (it == entries_.end()) return nullptr;
  entries_.splice(entries_.begin(), entries_, it);
  return entries_.front().frame;
}

void SourceFrames::Keep(std::uint64_t serial, std::int64_t index,
                        std::shared_ptr<const LayerSource> frame) {
  for (auto it = entries_.begin(); it != entries_.end(); ++it) {
    if (it->serial == serial && it->index == index) {
      Erase(it);
      break;
    }
  }
  const std::uint64_t size = BytesOf(*frame);
  entries_.push_front(Entry{serial, index, std::move(frame)});
  bytes_ += size;
  Trim(serial);
}

void SourceFrames::Erase(List::iterator it) {
  bytes_ -= BytesOf(*it->frame);
  entries_.erase(it);
}

// Drops the source's least recently used frames beyond the limit.
void SourceFrames::Trim(std::uint64_t serial) {
  std::size_t kept = 0;
  for (auto it = entries_.begin(); it != entries_.end();) {
    const auto next = std::next(it);
    if (it->serial == serial && ++kept > kLimit) Erase(it);
    it = next;
  }
}

bool SourceFrames::DropOldest() {
  if (entries_.empty()) return false;
  Erase(std::prev(entries_.end()));
  return true;
}

}  // namespace quillstreak::host
