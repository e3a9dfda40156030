#include "renderer/FrameWriter.h"

#include <algorithm>
#include <exception>
#include <string>
#include <system_error>
#include <utility>

#include "platform/Interrupts.h"
#include "render/Outputs.h"
#include "renderer/FrameImage.h"
#include "renderer/InputError.h"

namespace quillstreak::renderer {

namespace fs = std::filesystem;

struct FrameWriter::Job {
  explicit Job(fs::path path) : partial(std::move(path)) {}
  PartialFile partial;  // removed unless placed
  quillstreak::host::World frame;
  bool alpha = false;
  bool replace = false;
  PF_Pixel background{};
  bool done = false;  // guarded by mutex_, as is error
  std::string error;
};

FrameWriter::FrameWriter(unsigned threads, std::shared_ptr<const FrameFormat> format,
                         std::string record)
    : format_(std::move(format)), record_(std::move(record)) {
  threads = std::clamp(threads, 1u, kMaxThreads);
  depth_ = threads + 2;
  threads_.reserve(threads);
  try {
    for (unsigned i = 0; i < threads; ++i) threads_.emplace_back([this] { Work(); });
  } catch (...) {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    wake_.notify_all();
    for (auto& t : threads_) t.join();
    throw;
  }
}

FrameWriter::~FrameWriter() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  for (auto& t : threads_) t.join();
}

void FrameWriter::Work() {
  const std::unique_ptr<FrameEncoder> encoder = format_->NewEncoder();  // for every frame
  std::unique_lock lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
    if (stopping_) return;
    const std::shared_ptr<Job> job = std::move(queue_.front());
    queue_.pop_front();
    lock.unlock();

    std::string error;
    try {
      const quillstreak::host::World& frame = job->frame;
      const bool alpha = job->alpha;
      const PF_Pixel background = job->background;
      encoder->Encode(
          frame.width(), frame.height(), alpha,
          [&](int y, std::uint8_t* out) {
            if (alpha)
              FrameRowToRgba(frame.row(y), frame.width(), out);
            else
              FrameRowToRgb(frame.row(y), frame.width(), background, out);
          },
          record_);
      const FileCreation creating;
      if (!creating) throw RenderError("stopped");  // the program is ending at once
      encoder->Write(job->partial.path().string());
    } catch (const std::exception& e) {
      error = e.what();
      if (error.empty()) error = "write failed";
      std::error_code ec;
      fs::remove(job->partial.path(), ec);
    }
    job->frame = quillstreak::host::World();

    lock.lock();
    job->done = true;
    job->error = std::move(error);
    finished_.notify_all();
  }
}

bool FrameWriter::FrontReady() {
  if (pending_.empty()) return false;
  const Entry& front = pending_.front();
  if (!front.job) return true;
  std::lock_guard lock(mutex_);
  return front.job->done;
}

void FrameWriter::PlaceFront() {
  Entry entry = std::move(pending_.front());
  pending_.pop_front();
  if (entry.job) {
    --jobsPending_;
    Job& job = *entry.job;
    {
      std::unique_lock lock(mutex_);
      finished_.wait(lock, [&job] { return job.done; });
    }
    try {
      if (!job.error.empty()) throw RenderError(job.partial.target().string() + ": " + job.error);
      job.partial.Place(job.replace);
    } catch (...) {
      failed_ = true;
      throw;
    }
  }
  if (entry.then) entry.then();
}

void FrameWriter::Write(fs::path path, quillstreak::host::World frame, bool alpha,
                        PF_Pixel background, bool replace) {
  while (FrontReady()) PlaceFront();
  while (jobsPending_ >= depth_) PlaceFront();
  auto job = std::make_shared<Job>(std::move(path));
  job->frame = std::move(frame);
  job->alpha = alpha;
  job->replace = replace;
  job->background = background;
  pending_.push_back({job, nullptr});
  ++jobsPending_;
  {
    std::lock_guard lock(mutex_);
    queue_.push_back(std::move(job));
  }
  wake_.notify_one();
}

void FrameWriter::Then(std::function<void()> then) {
  if (pending_.empty()) {
    then();
    return;
  }
  pending_.push_back({nullptr, std::move(then)});
  while (FrontReady()) PlaceFront();
}

void FrameWriter::Finish() {
  if (failed_) return;
  while (!pending_.empty()) PlaceFront();
}

}  // namespace quillstreak::renderer
