// Two hosts rendering two different scenes on two threads at once, both sharing the one loaded
// module and the host's pool of row workers, must draw exactly the frames each draws alone.
// Under ThreadSanitizer this is also where a race between the two renders would be reported.
#include <gtest/gtest.h>

#include <condition_variable>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "robustness/Robustness.h"

namespace quillstreak::test {
namespace {

constexpr int kFrames = 12;
constexpr int kRounds = 2;

struct Scene {
  const char* name;
  std::function<void(Host&)> build;
};

/// A sliding layer with a ramp-filled trail at full size, and a Motion Source layer with both
/// fills at half the vertical resolution: different plans, worlds and row splits.
const Scene kScenes[2] = {
    {"ramp-filled slide", SamplesWithRampFill},
    {"motion source at half height",
     [](Host& host) {
       MotionSourceLayer(host);
       host.settings().SetDownsample({1, 1}, {1, 2});
     }},
};

/// Lets both threads start rendering together. Not std::latch: the Windows build's standard
/// library (without a native wait) can miss the wake-up of a latch's waiter and hang.
class StartGate {
 public:
  void ArriveAndWait() {
    std::unique_lock<std::mutex> lock(mutex_);
    if (++arrived_ == 2) {
      opened_.notify_all();
      return;
    }
    opened_.wait(lock, [this] { return arrived_ == 2; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable opened_;
  int arrived_ = 0;
};

struct Rendered {
  std::vector<host::World> frames;
  std::vector<PF_Err> errors;
  std::string failure;  // the first host account left open, if any
};

/// Renders the scene's frames with a fresh host; several row chunks per call, so that both
/// hosts hand work to the shared pool.
Rendered RenderScene(const Scene& scene, StartGate* start) {
  auto host = NewHost();
  scene.build(*host);
  host->settings().SetThreads(3);
  host->journal().SetEnabled(false);
  Rendered out;
  if (start != nullptr) start->ArriveAndWait();
  for (int i = 0; i < kFrames; ++i) {
    host::FrameResult result = host->RenderFrame(i * 150);
    out.errors.push_back(result.err);
    out.frames.push_back(std::move(result.frame));
    if (out.failure.empty() && !host->accounts().Clear()) {
      out.failure = "frame " + std::to_string(i) + ": " + host->accounts().Describe();
    }
  }
  return out;
}

bool SamePixels(const host::World& a, const host::World& b) {
  if (a.width() != b.width() || a.height() != b.height()) return false;
  const std::size_t rowBytes = static_cast<std::size_t>(a.width()) * sizeof(PF_Pixel);
  for (A_long y = 0; y < a.height(); ++y) {
    if (std::memcmp(a.row(y), b.row(y), rowBytes) != 0) return false;
  }
  return true;
}

TEST(ConcurrentHosts, TwoScenesOnTwoThreadsDrawWhatEachDrawsAlone) {
  Rendered alone[2];
  for (int s = 0; s < 2; ++s) {
    alone[s] = RenderScene(kScenes[s], nullptr);
    ASSERT_TRUE(alone[s].failure.empty()) << kScenes[s].name << ": " << alone[s].failure;
    for (int i = 0; i < kFrames; ++i) {
      ASSERT_EQ(alone[s].errors[i], PF_Err_NONE) << kScenes[s].name << ", frame " << i;
    }
  }

  for (int round = 0; round < kRounds; ++round) {
    Rendered together[2];
    StartGate start;
    std::thread other([&] { together[1] = RenderScene(kScenes[1], &start); });
    together[0] = RenderScene(kScenes[0], &start);
    other.join();

    for (int s = 0; s < 2; ++s) {
      const std::string where = std::string(kScenes[s].name) + ", round " + std::to_string(round);
      EXPECT_TRUE(together[s].failure.empty()) << where << ": " << together[s].failure;
      for (int i = 0; i < kFrames; ++i) {
        EXPECT_EQ(together[s].errors[i], PF_Err_NONE) << where << ", frame " << i;
        EXPECT_TRUE(SamePixels(together[s].frames[i], alone[s].frames[i]))
            << where << ", frame " << i << " differs from the frame rendered alone";
      }
    }
  }
}

}  // namespace
}  // namespace quillstreak::test
