// Global setup, about and dispatch, through the built module and the substitute host.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "frame/GlobalCommands.h"
#include "support/EffectHarness.h"

namespace {

using quillstreak::test::NewHost;
using quillstreak::test::Op;

TEST(GlobalSetup, WritesTheThreeWordsWhateverWasThere) {
  for (const A_u_long before : {0u, 0xFFFFFFFFu, 0x12345678u}) {
    auto host = NewHost(false);
    host->records().out_data().my_version = before;
    host->records().out_data().out_flags = static_cast<A_long>(before);
    host->records().out_data().out_flags2 = static_cast<A_long>(before);
    ASSERT_EQ(host->GlobalSetup(), PF_Err_NONE);
    EXPECT_EQ(host->records().out_data().my_version, 0x000A9001u);
    EXPECT_EQ(host->records().out_data().out_flags, 0x00000006);
    EXPECT_EQ(host->records().out_data().out_flags2, 0x00020408);
    EXPECT_TRUE(host->accounts().Clear()) << host->accounts().Describe();
  }
}

TEST(GlobalSetup, WithoutABasicSuiteReturns516AndWritesNothing) {
  auto host = NewHost(false);
  host->records().out_data().my_version = 77;
  host->records().out_data().out_flags = 78;
  host->records().out_data().out_flags2 = 79;
  host->faults().SetNoBasicSuite();
  EXPECT_EQ(host->GlobalSetup(), PF_Err_BAD_CALLBACK_PARAM);
  EXPECT_EQ(host->records().out_data().my_version, 77u);
  EXPECT_EQ(host->records().out_data().out_flags, 78);
  EXPECT_EQ(host->records().out_data().out_flags2, 79);
  EXPECT_TRUE(host->accounts().Clear()) << host->accounts().Describe();
}

TEST(About, WritesNameVersionAndDescriptionThroughTheAnsiSuite) {
  auto host = NewHost(false);
  std::memset(host->records().out_data().return_msg, 'x',
              sizeof(host->records().out_data().return_msg));
  ASSERT_EQ(host->About(), PF_Err_NONE);
  const std::string message(host->records().out_data().return_msg);
  EXPECT_EQ(message, std::string("Quillstreak, v1.5\r") + quillstreak::kAboutDescription);
  EXPECT_EQ(message.size(), quillstreak::AboutMessageLength());  // what the fit is checked on
  EXPECT_LE(message.size(), 255u);
  EXPECT_EQ(host->journal().Count(Op::ansi_sprintf), 0u);  // the suite's, not the utils callback
  EXPECT_EQ(host->journal().Count(Op::AcquireSuite), 1u);
  EXPECT_TRUE(host->accounts().Clear()) << host->accounts().Describe();

  // The description: one sentence, a blank and a line feed, then two notice lines.
  const std::string description = quillstreak::kAboutDescription;
  const auto firstBreak = description.find('\n');
  ASSERT_NE(firstBreak, std::string::npos);
  EXPECT_EQ(description[firstBreak - 1], ' ');
  EXPECT_EQ(description.find('\n', firstBreak + 1) != std::string::npos, true);
}

TEST(About, UnderThePrMrHostWritesNothing) {
  auto host = NewHost(false);
  host->records().in_data().appl_id = 0x50724D72;  // "PrMr"
  std::strcpy(host->records().out_data().return_msg, "left alone");
  EXPECT_EQ(host->commands().Send(PF_Cmd_ABOUT, nullptr, nullptr, nullptr), PF_Err_NONE);
  EXPECT_STREQ(host->records().out_data().return_msg, "left alone");
  EXPECT_TRUE(host->journal().empty()) << host->journal().Text();
}

TEST(About, RefusedAnsiSuiteGives516) {
  auto host = NewHost(false);
  host->faults().RefuseSuite("PF ANSI Suite", 1);
  EXPECT_EQ(host->About(), PF_Err_BAD_CALLBACK_PARAM);
  EXPECT_TRUE(host->accounts().Clear()) << host->accounts().Describe();
}

TEST(Dispatch, UnhandledCommandsReturn0AndCallNothing) {
  auto host = NewHost();
  for (const PF_Cmd cmd : {2,  5,  6,  7,  8,  9,  10, 11, 12,   15, 16,         17,
                           18, 19, 20, 21, 22, 25, 30, 34, 1000, -1, -2147483647}) {
    PF_LayerDef output{};
    output.width = 123;
    EXPECT_EQ(host->commands().Send(cmd, nullptr, &output, nullptr), PF_Err_NONE) << cmd;
    EXPECT_EQ(output.width, 123);
  }
  EXPECT_TRUE(host->journal().empty()) << host->journal().Text();
  EXPECT_EQ(host->commands().Send(PF_Cmd_GLOBAL_SETDOWN, nullptr, nullptr, nullptr), PF_Err_NONE);
  EXPECT_TRUE(host->journal().empty());
}

TEST(Dispatch, MissingRecordsAreRefusedWith516) {
  const PF_FilterProc entry = quillstreak::test::EffectModule().entry();
  PF_OutData out{};
  for (const PF_Cmd cmd : {0, 1, 4, 14, 23, 24}) {
    EXPECT_EQ(entry(cmd, nullptr, &out, nullptr, nullptr, nullptr), PF_Err_BAD_CALLBACK_PARAM)
        << cmd;
  }
  auto host = NewHost(false);
  for (const PF_Cmd cmd : {0, 1, 4}) {
    EXPECT_EQ(entry(cmd, &host->records().in_data(), nullptr, nullptr, nullptr, nullptr),
              PF_Err_BAD_CALLBACK_PARAM)
        << cmd;
  }
  EXPECT_EQ(
      entry(PF_Cmd_USER_CHANGED_PARAM, &host->records().in_data(), &out, nullptr, nullptr, nullptr),
      PF_Err_BAD_CALLBACK_PARAM);
  EXPECT_EQ(
      entry(PF_Cmd_SMART_PRE_RENDER, &host->records().in_data(), &out, nullptr, nullptr, nullptr),
      PF_Err_BAD_CALLBACK_PARAM);
  EXPECT_EQ(entry(PF_Cmd_SMART_RENDER, &host->records().in_data(), &out, nullptr, nullptr, nullptr),
            PF_Err_BAD_CALLBACK_PARAM);
}

}  // namespace
