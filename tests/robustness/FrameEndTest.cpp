// The end of a frame: the host calls the plan's deleter, after a render or (when the frame was
// dropped) without one. Each host call the deleter makes is failed in turn; whatever fails, the
// plan's sample list must not be lost. (A lost list shows as a leak under the sanitizer run,
// which is why this suite is a program of its own.)
#include <gtest/gtest.h>

#include <iostream>
#include <string>

#include "robustness/Robustness.h"

namespace quillstreak::test {
namespace {

constexpr A_long kFaultBase = 0x7C00;

std::unique_ptr<Host> PendingFrame(bool rendered) {
  auto host = quillstreak::test::NewHost();
  SamplesWithRampFill(*host);
  host->settings().SetTime(kNow);
  EXPECT_EQ(host->frames().SmartPreRender(), PF_Err_NONE);
  if (rendered) {
    EXPECT_EQ(host->frames().SmartRender(), PF_Err_NONE);
  }
  host->journal().Clear();
  return host;
}

void SweepFrameEnd(bool rendered) {
  const std::string name = rendered ? "frame end after a render" : "frame end of a dropped frame";
  std::vector<JournalEntry> baseline;
  {
    auto host = PendingFrame(rendered);
    host->frames().EndFrame();
    baseline = host->journal().entries();
    EXPECT_TRUE(host->accounts().Clear()) << name << ": " << host->accounts().Describe();
  }
  ASSERT_FALSE(baseline.empty()) << name << ": the frame's end calls nothing";

  for (std::size_t k = 1; k <= baseline.size(); ++k) {
    auto host = PendingFrame(rendered);
    host->faults().FailCallNumber(static_cast<std::int64_t>(k),
                                  kFaultBase + static_cast<A_long>(k));
    host->frames().EndFrame();
    const std::string context = name + ": call " + std::to_string(k) + " (" +
                                quillstreak::host::Format(baseline[k - 1]) + ") failing\n" +
                                host->journal().Text();
    quillstreak::host::Accounts::Summary left = host->accounts();
    // Without the handle suite the handle cannot be given back; that one is the host's doing.
    if (baseline[k - 1].op == Op::AcquireSuite) {
      EXPECT_LE(left.handles, 1) << context;
      left.handles = 0;
    }
    EXPECT_TRUE(left.Clear()) << left.Describe() << "\n" << context;
  }
  std::cout << "[ fault sweep ] " << name << ": " << baseline.size() << " fault points\n";
}

TEST(FrameEndFaultSweep, AfterARender) { SweepFrameEnd(true); }
TEST(FrameEndFaultSweep, DroppedFrame) { SweepFrameEnd(false); }

}  // namespace
}  // namespace quillstreak::test
