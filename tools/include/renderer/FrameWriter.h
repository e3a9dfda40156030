// Frame files written on worker threads while the next frames render.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "host/pixels/Pixels.h"
#include "renderer/FrameFormat.h"

namespace quillstreak::renderer {

/// Encodes frames to files of a frame format on worker threads. Each file is written under a
/// temporary name (a PartialFile) and renamed into place by the calling thread in the order the
/// frames were given, so the files, and what runs after each, are those of writing the frames one
/// after the other; once a frame has failed no later one is put in place. Used from one thread.
class FrameWriter {
 public:
  static constexpr unsigned kMaxThreads = 8;

  /// `threads` writers (1 to kMaxThreads), encoding in `format`, each file with `record` as its
  /// record; besides the frames being written, at most two wait.
  FrameWriter(unsigned threads, std::shared_ptr<const FrameFormat> format, std::string record = {});
  /// Stops the writers; frames not yet in place are dropped, their temporary files removed.
  ~FrameWriter();
  FrameWriter(const FrameWriter&) = delete;
  FrameWriter& operator=(const FrameWriter&) = delete;

  /// Queues `frame` (straight ARGB) for `path`: RGB over `background`, or with `alpha` straight
  /// RGBA; a file already at `path` is replaced only with `replace` (PartialFile::Place). Blocks
  /// while the queue is full, putting finished frames in place meanwhile. Throws RenderError
  /// naming the file of a frame that could not be written.
  void Write(std::filesystem::path path, quillstreak::host::World frame, bool alpha,
             PF_Pixel background, bool replace);
  /// Runs `then` on this thread once every frame queued before it is in place.
  void Then(std::function<void()> then);
  /// Puts every queued frame in place and runs what follows them. Throws as Write does; does
  /// nothing after a failure.
  void Finish();

 private:
  struct Job;
  struct Entry {
    std::shared_ptr<Job> job;
    std::function<void()> then;
  };

  void Work();
  bool FrontReady();
  void PlaceFront();

  std::shared_ptr<const FrameFormat> format_;
  std::string record_;
  std::size_t depth_ = 0;
  std::mutex mutex_;
  std::condition_variable wake_;            // a job was queued, or the writers are to stop
  std::condition_variable finished_;        // a job was written (or failed)
  std::deque<std::shared_ptr<Job>> queue_;  // jobs no writer has taken yet
  bool stopping_ = false;
  std::deque<Entry> pending_;  // the calling thread's: in order, not yet placed
  std::size_t jobsPending_ = 0;
  bool failed_ = false;
  std::vector<std::thread> threads_;
};

}  // namespace quillstreak::renderer
