// SuiteCache against a scripted basic suite; the dispatcher's guard; identity constants.
#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "frame/Dispatch.h"
#include "frame/Identity.h"
#include "frame/StringTable.h"
#include "frame/SuiteCache.h"

namespace quillstreak {
namespace {

/// A basic suite that hands out a dummy table for every suite except one it refuses (and one it
/// reports acquired without a table), and records acquire and release calls.
struct FakeBasic {
  static inline std::vector<std::string> calls;
  static inline std::string refused;
  static inline std::string tableless;
  static inline int table[64];

  static std::string Key(const char* name, std::int32_t version) {
    return std::string(name) + "/" + std::to_string(version);
  }
  static SPErr Acquire(const char* name, std::int32_t version, const void** suite) {
    calls.push_back("acquire " + Key(name, version));
    if (Key(name, version) == refused) {
      *suite = nullptr;
      return kSPSuiteNotFoundError;
    }
    if (Key(name, version) == tableless) {
      *suite = nullptr;
      return kSPNoError;
    }
    *suite = table;
    return kSPNoError;
  }
  static SPErr Release(const char* name, std::int32_t version) {
    calls.push_back("release " + Key(name, version));
    return kSPNoError;
  }
  static SPBasicSuite Suite() {
    SPBasicSuite basic{};
    basic.AcquireSuite = Acquire;
    basic.ReleaseSuite = Release;
    return basic;
  }
  FakeBasic() {
    calls.clear();
    refused.clear();
    tableless.clear();
  }
};

TEST(SuiteCache, NoBasicSuiteThrows516) {
  try {
    SuiteCache cache(nullptr);
    FAIL() << "no throw";
  } catch (PF_Err err) {
    EXPECT_EQ(err, PF_Err_BAD_CALLBACK_PARAM);
  }
}

TEST(SuiteCache, AcquiresOnFirstUseAndReleasesOncePerSlot) {
  FakeBasic fake;
  const SPBasicSuite basic = FakeBasic::Suite();
  {
    SuiteCache cache(&basic);
    EXPECT_TRUE(FakeBasic::calls.empty());
    cache.HandleSuite1();
    cache.HandleSuite1();
    cache.StreamSuite4();
    cache.StreamSuite2();
    cache.HandleSuite1();
  }
  EXPECT_EQ(FakeBasic::calls, (std::vector<std::string>{
                                  "acquire PF Handle Suite/2", "acquire AEGP Stream Suite/9",
                                  "acquire AEGP Stream Suite/7", "release PF Handle Suite/2",
                                  "release AEGP Stream Suite/7", "release AEGP Stream Suite/9"}));
}

TEST(SuiteCache, RefusedSuiteThrows516AndReleasesWhatWasAcquired) {
  // Refused with an error, or reported acquired without a table: neither is kept.
  for (std::string* how : {&FakeBasic::refused, &FakeBasic::tableless}) {
    FakeBasic fake;
    *how = "AEGP Layer Suite/13";
    const SPBasicSuite basic = FakeBasic::Suite();
    try {
      SuiteCache cache(&basic);
      cache.LayerSuite5();
      cache.LayerSuite7();
      FAIL() << "no throw";
    } catch (PF_Err err) {
      EXPECT_EQ(err, PF_Err_BAD_CALLBACK_PARAM);
    }
    EXPECT_EQ(FakeBasic::calls, (std::vector<std::string>{"acquire AEGP Layer Suite/11",
                                                          "acquire AEGP Layer Suite/13",
                                                          "release AEGP Layer Suite/11"}));
  }
}

TEST(SuiteCache, ReleasesWhenAnotherExceptionPasses) {
  FakeBasic fake;
  const SPBasicSuite basic = FakeBasic::Suite();
  EXPECT_THROW(
      {
        SuiteCache cache(&basic);
        cache.Iterate8Suite1();
        throw std::runtime_error("boom");
      },
      std::runtime_error);
  EXPECT_EQ(FakeBasic::calls.back(), "release PF Iterate8 Suite/1");
}

TEST(SuiteCache, EverySuiteHasItsNameAndVersion) {
  const std::pair<Suite, std::string> expected[] = {
      {Suite::HandleSuite1, "PF Handle Suite/2"},
      {Suite::Iterate8Suite1, "PF Iterate8 Suite/1"},
      {Suite::WorldTransformSuite1, "PF World Transform Suite/1"},
      {Suite::ANSICallbacksSuite1, "PF ANSI Suite/1"},
      {Suite::PFInterfaceSuite1, "AEGP PF Interface Suite/1"},
      {Suite::StreamSuite2, "AEGP Stream Suite/7"},
      {Suite::StreamSuite4, "AEGP Stream Suite/9"},
      {Suite::DynamicStreamSuite2, "AEGP Dynamic Stream Suite/2"},
      {Suite::EffectSuite2, "AEGP Effect Suite/2"},
      {Suite::LayerSuite5, "AEGP Layer Suite/11"},
      {Suite::LayerSuite7, "AEGP Layer Suite/13"},
  };
  for (const auto& [suite, key] : expected) {
    const SuiteName id = NameOf(suite);
    EXPECT_EQ(FakeBasic::Key(id.name, id.version), key);
  }
}

TEST(Dispatch, ThrownIntegersBecomeTheResultAndAnythingElse512) {
  const CommandArgs none{};
  EXPECT_EQ(RunGuarded([](const CommandArgs&) -> PF_Err { throw PF_Err{516}; }, none), 516);
  EXPECT_EQ(RunGuarded([](const CommandArgs&) -> PF_Err { throw PF_Err{7}; }, none), 7);
  EXPECT_EQ(RunGuarded([](const CommandArgs&) -> PF_Err { throw std::bad_alloc(); }, none), 512);
  EXPECT_EQ(RunGuarded([](const CommandArgs&) -> PF_Err { throw "text"; }, none), 512);
  EXPECT_EQ(RunGuarded([](const CommandArgs&) -> PF_Err { return 33; }, none), 33);
}

TEST(Dispatch, OnlyTheEightCommandsHaveHandlers) {
  const PF_Cmd handled[] = {0, 1, 3, 4, 13, 14, 23, 24};
  for (PF_Cmd cmd = -3; cmd < 40; ++cmd) {
    const bool expected =
        std::find(std::begin(handled), std::end(handled), cmd) != std::end(handled);
    EXPECT_EQ(FindHandler(cmd) != nullptr, expected) << cmd;
  }
  EXPECT_EQ(FindHandler(PF_Cmd_RENDER), nullptr);
  EXPECT_EQ(Dispatch(PF_Cmd_RENDER, CommandArgs{}), PF_Err_NONE);
  EXPECT_EQ(Dispatch(-2147483647 - 1, CommandArgs{}), PF_Err_NONE);
}

TEST(Dispatch, CommandsWithoutTheirRecordsAreRefused) {
  const PF_Cmd needing[] = {0, 1, 4, 13, 14, 23, 24};
  for (const PF_Cmd cmd : needing) {
    EXPECT_EQ(Dispatch(cmd, CommandArgs{}), PF_Err_BAD_CALLBACK_PARAM) << cmd;
  }
  EXPECT_EQ(Dispatch(PF_Cmd_GLOBAL_SETDOWN, CommandArgs{}), PF_Err_NONE);
}

TEST(Identity, VersionWordPacksLikeTheHost) {
  EXPECT_EQ(PackVersion(1, 0, 0, 0, 1), 0x00080001u);
  EXPECT_EQ(PackVersion(1, 0, 0, 3, 0), 0x00080600u);
  EXPECT_EQ(PackVersion(2, 3, 4, 2, 5), 0x0011A405u);
  EXPECT_EQ(PackVersion(8, 0, 0, 0, 0), 0x04000000u);
  EXPECT_EQ(kVersionWord, 0x000A9001u);
}

TEST(StringTable, RecordsAreFoundByIdAndNameTheParameters) {
  const auto& table = StringTable();
  ASSERT_EQ(table.size(), 26u);
  for (std::size_t i = 0; i < table.size(); ++i) {
    EXPECT_EQ(table[i].id, static_cast<A_long>(i));
    EXPECT_EQ(table[i].text[255], '\0');
  }
  EXPECT_STREQ(GetString(STR_NAME), "Quillstreak");
  EXPECT_STREQ(GetString(STR_NAME), kEffectName);
  EXPECT_STREQ(GetString(STR_DESCRIPTION), "Description.");
  EXPECT_STREQ(GetString(STR_MOTION_THRESHOLD), "Motion Threshold (px)");
  EXPECT_STREQ(GetString(STR_TIME_THRESHOLD), "Time Threshold (steps)");
  EXPECT_STREQ(GetString(STR_SWAP_COLORS_NAME), "");
  EXPECT_STREQ(GetString(STR_SWAP_COLORS_BUTTON), "Swap Colors");
  EXPECT_STREQ(GetString(STR_SOLID_FILL_LABEL), "");
  EXPECT_STREQ(GetString(STR_BOTTOM), "Bottom");
  EXPECT_STREQ(GetString(26), "");
  EXPECT_STREQ(GetString(-1), "");
}

}  // namespace
}  // namespace quillstreak
