// Every host call of every command, made to fail in turn; every suite withheld in turn; no basic
// suite. Each time the command must return the code the failure calls for, make nothing but
// clean-up calls after the failure, and leave nothing behind.
#include <gtest/gtest.h>

#include <functional>
#include <iostream>
#include <string>
#include <vector>

#include "robustness/Robustness.h"

namespace quillstreak::test {
namespace {

constexpr A_long kFaultBase = 0x7A00;

struct Baseline {
  PF_Err result = PF_Err_NONE;
  std::vector<JournalEntry> journal;
};

Baseline RunBaseline(const Scenario& s) {
  auto host = Prepare(s);
  Baseline b;
  b.result = RunCommand(*host, s.command);
  b.journal = host->journal().entries();
  if (s.trail) {
    // The sweep is only as good as its frame: it must draw a trail of several samples.
    std::size_t samples = 0;
    for (const JournalEntry& e : b.journal) {
      samples += e.op == Op::checkout_layer || e.op == Op::checkout_layer_pixels ? 1 : 0;
    }
    EXPECT_GE(samples, 4u) << s.name << ": no trail to sweep";
  }
  EndFrame(*host);
  EXPECT_TRUE(host->accounts().Clear()) << s.name << ": " << host->accounts().Describe();
  return b;
}

std::string Context(const Scenario& s, std::size_t k, const JournalEntry& e, const Host& host) {
  return s.name + ": call " + std::to_string(k) + " (" +
         quillstreak::host::FormatCall(e.op, e.args) + ") failing\n" + host.journal().Text();
}

/// Fails each call of the scenario's command in turn; `points` counts the fault points tried.
void Sweep(const Scenario& s, std::size_t& points) {
  const Baseline baseline = RunBaseline(s);
  points = baseline.journal.size();
  EXPECT_EQ(baseline.result, PF_Err_NONE) << s.name;

  for (std::size_t k = 1; k <= baseline.journal.size(); ++k) {
    const JournalEntry& target = baseline.journal[k - 1];
    const A_long code = kFaultBase + static_cast<A_long>(k);
    auto host = Prepare(s);
    host->faults().FailCallNumber(static_cast<std::int64_t>(k), code);
    const PF_Err err = RunCommand(*host, s.command);
    const std::vector<JournalEntry>& journal = host->journal().entries();

    // Up to the failing call the command runs as it did without the fault.
    ASSERT_GE(journal.size(), k) << Context(s, k, target, *host);
    for (std::size_t i = 0; i + 1 < k; ++i) {
      ASSERT_EQ(journal[i].op, baseline.journal[i].op) << Context(s, k, target, *host);
    }
    const JournalEntry& hit = journal[k - 1];
    ASSERT_EQ(hit.op, target.op) << Context(s, k, target, *host);

    if (!hit.failed) {
      // A call without a result cannot fail: the command goes on as before.
      EXPECT_EQ(err, baseline.result) << Context(s, k, target, *host);
    } else {
      EXPECT_EQ(err, ExpectedResult(hit, code, baseline.result)) << Context(s, k, target, *host);
      if (!FailureIgnored(hit.op)) {
        for (std::size_t i = k; i < journal.size(); ++i) {
          EXPECT_TRUE(CleanupCall(journal[i])) << "after the failure: " << i + 1 << " "
                                               << quillstreak::host::Format(journal[i]) << "\n"
                                               << Context(s, k, target, *host);
        }
      }
    }

    // Nothing but the plan's handle may outlive a command, and only a frame's. (The host counts
    // a release it refused as done, so a refused release leaves nothing either.)
    quillstreak::host::Accounts::Summary afterCommand = host->accounts();
    if (s.command == Command::PreRender &&
        host->frames().preRenderOutput().pre_render_data != nullptr) {
      EXPECT_EQ(afterCommand.handles, 1) << Context(s, k, target, *host);
      afterCommand.handles = 0;
    }
    if (s.command == Command::Render) {
      EXPECT_EQ(afterCommand.handles, 1) << Context(s, k, target, *host);
      afterCommand.handles = 0;
    }
    EXPECT_TRUE(afterCommand.Clear()) << "after the command: " << afterCommand.Describe() << "\n"
                                      << Context(s, k, target, *host);

    EndFrame(*host);
    EXPECT_TRUE(host->accounts().Clear())
        << "after the frame: " << host->accounts().Describe() << "\n"
        << Context(s, k, target, *host);
    if (::testing::Test::HasFatalFailure()) break;
  }
}

void SweepCommand(Command command) {
  for (const Scenario& s : AllScenarios()) {
    if (s.command != command) continue;
    std::size_t points = 0;
    Sweep(s, points);
    std::cout << "[ fault sweep ] " << s.name << ": " << points << " fault points\n";
    ::testing::Test::RecordProperty(s.name, static_cast<int>(points));
  }
}

TEST(FaultSweep, GlobalSetup) { SweepCommand(Command::GlobalSetup); }
TEST(FaultSweep, About) { SweepCommand(Command::About); }
TEST(FaultSweep, ParamsSetup) { SweepCommand(Command::ParamsSetup); }
TEST(FaultSweep, UpdateParamsUI) { SweepCommand(Command::UpdateParamsUI); }
TEST(FaultSweep, SmartPreRender) { SweepCommand(Command::PreRender); }
TEST(FaultSweep, SmartRender) { SweepCommand(Command::Render); }

TEST(FaultSweep, SwapColorsCallsTheHostForNothing) {
  // Its only inputs are the parameter array and the extra, so there is no call to fail.
  for (const Scenario& s : AllScenarios()) {
    if (s.command != Command::SwapColors) continue;
    std::size_t points = 0;
    Sweep(s, points);
    EXPECT_EQ(points, 0u);
  }
}

TEST(FaultSweep, AFailingCleanupNeverHidesTheFirstError) {
  struct Fault {
    Op op;
    int n;
  };
  struct Case {
    const char* name;
    Command command;
    std::function<void(Host&)> scene;
    Fault first, cleanup;
  };
  const Case cases[] = {
      {"parameter checkout, then a check-in",
       Command::PreRender,
       SlidingLayer,
       {Op::checkout_param, 6},
       {Op::checkin_param, 1}},
      {"layer checkout, then a check-in",
       Command::PreRender,
       SlidingLayer,
       {Op::checkout_layer, 2},
       {Op::checkin_param, 24}},
      {"stream read, then a check-in",
       Command::PreRender,
       SlidingLayer,
       {Op::AEGP_GetLayerStreamValue, 9},
       {Op::checkin_param, 12}},
      {"Motion Source value, then the stream's disposal",
       Command::PreRender,
       MotionSourceLayer,
       {Op::AEGP_GetNewStreamValue, 1},
       {Op::AEGP_DisposeStream, 1}},
      {"Motion Source layer, then the effect's disposal",
       Command::PreRender,
       MotionSourceLayer,
       {Op::AEGP_GetLayerFromLayerID, 1},
       {Op::AEGP_DisposeEffect, 1}},
      {"stream of Top, then the effect's disposal",
       Command::UpdateParamsUI,
       StillScene,
       {Op::AEGP_GetNewEffectStreamByIndex, 2},
       {Op::AEGP_DisposeEffect, 1}},
      {"hiding Right, then a stream's disposal",
       Command::UpdateParamsUI,
       StillScene,
       {Op::AEGP_SetDynamicStreamFlag, 3},
       {Op::AEGP_DisposeStream, 4}},
  };
  constexpr A_long kFirst = 0x7D01;
  constexpr A_long kCleanup = 0x7D02;
  for (const Case& c : cases) {
    auto host = Prepare(Scenario{c.name, c.command, c.scene});
    host->faults().FailCall(c.first.op, c.first.n, kFirst);
    host->faults().FailCall(c.cleanup.op, c.cleanup.n, kCleanup);
    EXPECT_EQ(RunCommand(*host, c.command), kFirst) << c.name << "\n" << host->journal().Text();
    bool cleanupFailed = false;
    for (const JournalEntry& e : host->journal()) cleanupFailed |= e.failed && e.result == kCleanup;
    EXPECT_TRUE(cleanupFailed) << c.name << ": the clean-up call was never made\n"
                               << host->journal().Text();
    EndFrame(*host);
    EXPECT_TRUE(host->accounts().Clear()) << c.name << ": " << host->accounts().Describe();
  }
}

struct WithheldSuite {
  const char* name;
  std::int32_t version;
};

constexpr WithheldSuite kSuites[] = {
    {"PF Handle Suite", 2},   {"PF Iterate8 Suite", 1},         {"PF World Transform Suite", 1},
    {"PF ANSI Suite", 1},     {"AEGP PF Interface Suite", 1},   {"AEGP Stream Suite", 7},
    {"AEGP Stream Suite", 9}, {"AEGP Dynamic Stream Suite", 2}, {"AEGP Effect Suite", 2},
    {"AEGP Layer Suite", 11}, {"AEGP Layer Suite", 13},
};

bool Acquires(const std::vector<JournalEntry>& journal, const WithheldSuite& suite) {
  for (const JournalEntry& e : journal) {
    if (e.op != Op::AcquireSuite) continue;
    const auto& acquired = e.Args<Op::AcquireSuite>();
    if (acquired.name == suite.name && acquired.version == suite.version) return true;
  }
  return false;
}

TEST(SuiteWithheld, EveryCommandWithEverySuite) {
  for (const Scenario& s : AllScenarios()) {
    const Baseline baseline = RunBaseline(s);
    int refused = 0;
    for (const WithheldSuite& suite : kSuites) {
      const std::string context =
          s.name + " without " + suite.name + " " + std::to_string(suite.version);
      auto host = Prepare(s);
      host->faults().RefuseSuite(suite.name, suite.version);
      const PF_Err err = RunCommand(*host, s.command);
      const bool needed = Acquires(baseline.journal, suite);
      refused += needed ? 1 : 0;
      EXPECT_EQ(err, needed ? PF_Err_BAD_CALLBACK_PARAM : baseline.result)
          << context << "\n"
          << host->journal().Text();
      EXPECT_EQ(host->accounts().params, 0) << context;
      EXPECT_EQ(host->accounts().streams, 0) << context;
      EXPECT_EQ(host->accounts().effectRefs, 0) << context;
      EXPECT_EQ(host->accounts().streamValues, 0) << context;
      EndFrame(*host);
      EXPECT_TRUE(host->accounts().Clear()) << context << ": " << host->accounts().Describe();
    }
    std::cout << "[ suites withheld ] " << s.name << ": " << refused << " of " << std::size(kSuites)
              << " suites needed\n";
  }
}

TEST(SuiteWithheld, NoBasicSuite) {
  for (const Scenario& s : AllScenarios()) {
    // Commands that acquire suites, or build a suite cache, cannot run without the basic suite;
    // parameter setup and Swap Colors need none.
    const bool needsSuites = s.command != Command::ParamsSetup && s.command != Command::SwapColors;
    auto host = Prepare(s);
    const PF_OutData before = host->records().out_data();
    host->faults().SetNoBasicSuite(true);
    const PF_Err err = RunCommand(*host, s.command);
    EXPECT_EQ(err, needsSuites ? PF_Err_BAD_CALLBACK_PARAM : PF_Err_NONE) << s.name << "\n"
                                                                          << host->journal().Text();
    if (s.command == Command::GlobalSetup) {
      EXPECT_EQ(host->records().out_data().my_version, before.my_version);
      EXPECT_EQ(host->records().out_data().out_flags, before.out_flags);
      EXPECT_EQ(host->records().out_data().out_flags2, before.out_flags2);
    }
    EndFrame(*host);
    EXPECT_TRUE(host->accounts().Clear()) << s.name << ": " << host->accounts().Describe();
  }
}

}  // namespace
}  // namespace quillstreak::test
