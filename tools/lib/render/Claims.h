// Claims on the files a render writes, so that two renders never write the same file at once,
// while renders of different frames share a folder (the chunks of a render farm). A claim is an
// advisory lock on bytes of a lock file in the output's folder (".quillstreak-claims"), one byte
// per file, the frames of one name pattern side by side; the system releases it when the render
// ends, however it ends, so a killed render never blocks the next one.
#pragma once

#include <memory>
#include <vector>

namespace quillstreak::renderer {

struct Plan;

/// Throws InputError naming the first output of `plan` that a running render has claimed, and
/// that render's process id. Writes nothing.
void CheckNotClaimed(const Plan& plan);

/// The claims of one render on every output of its plan (frames, contact sheet, video), held
/// until it is destroyed; the last render to let go of a lock file removes it.
class Claims {
 public:
  /// Claims the outputs; their folders must exist. Throws InputError as CheckNotClaimed does.
  explicit Claims(const Plan& plan);
  ~Claims();
  Claims(const Claims&) = delete;
  Claims& operator=(const Claims&) = delete;

 private:
  struct Folder;
  std::vector<std::unique_ptr<Folder>> folders_;
};

}  // namespace quillstreak::renderer
