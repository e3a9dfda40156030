// The basic suite and the suites served: exact names and versions, refusal, stubs that record
// and fail, no empty slot anywhere, suite accounting and fault injection on AcquireSuite.
#include <gtest/gtest.h>

#include <cstring>

#include "FakeEffect.h"
#include "host/ServedSuites.h"

namespace {

using quillstreak::test::Acquire;
using quillstreak::test::Call;
using quillstreak::test::FakeHost;
using quillstreak::test::Op;
using quillstreak::test::Trace;

// Every pointer-sized slot of a table is set.
void ExpectNoNullSlot(const void* table, std::size_t bytes, const std::string& what) {
  ASSERT_EQ(bytes % sizeof(void*), 0u) << what;
  for (std::size_t i = 0; i < bytes / sizeof(void*); ++i) {
    void* slot = nullptr;
    std::memcpy(&slot, static_cast<const char*>(table) + i * sizeof(void*), sizeof slot);
    EXPECT_NE(slot, nullptr) << what << " slot " << i;
  }
}

TEST(Suites, EveryServedSuiteIsAcquiredAndReleasedWithNoEmptySlot) {
  FakeHost f;
  for (const quillstreak::host::ServedSuite& served : quillstreak::host::ServedSuites()) {
    const std::string name = served.name;
    const std::int32_t version = served.version;
    SCOPED_TRACE(name + " " + std::to_string(version));
    ASSERT_EQ(f.Run([&](PF_InData& in) {
      const void* suite = nullptr;
      EXPECT_EQ(in.pica_basicP->AcquireSuite(name.c_str(), version, &suite), kSPNoError);
      EXPECT_NE(suite, nullptr);
      EXPECT_EQ(suite, served.table);
      if (suite != nullptr) ExpectNoNullSlot(suite, served.size, name);
      EXPECT_FALSE(f.host.accounts().Clear());
      return in.pica_basicP->ReleaseSuite(name.c_str(), version);
    }),
              kSPNoError);
    EXPECT_TRUE(f.host.accounts().Clear()) << f.host.accounts().Describe();
  }
}

TEST(Suites, CallbackTablesHaveNoEmptySlot) {
  FakeHost f;
  PF_InData& in = f.host.records().in_data();
  ExpectNoNullSlot(&in.inter, sizeof in.inter, "inter");
  ExpectNoNullSlot(in.pica_basicP, sizeof *in.pica_basicP, "basic suite");
  // The utility table ends in the non-pointer word reserved[1]; the ANSI table inside it holds
  // the word ansi_procs[1].
  const PF_UtilCallbacks& u = *in.utils;
  ExpectNoNullSlot(&u, offsetof(PF_UtilCallbacks, ansi), "utils before ansi");
  ExpectNoNullSlot(&u.ansi, offsetof(PF_ANSICallbacks, ansi_procs), "utils.ansi");
  ExpectNoNullSlot(&u.colorCB,
                   offsetof(PF_UtilCallbacks, reserved) - offsetof(PF_UtilCallbacks, colorCB),
                   "utils after ansi");
}

struct RefusalCase {
  const char* name;
  std::int32_t version;
};

class UnknownSuite : public testing::TestWithParam<RefusalCase> {};

TEST_P(UnknownSuite, IsRefusedWithNoSuite) {
  FakeHost f;
  f.Run([&](PF_InData& in) {
    const void* suite = &in;  // must be overwritten with null
    EXPECT_EQ(in.pica_basicP->AcquireSuite(GetParam().name, GetParam().version, &suite),
              kSPSuiteNotFoundError);
    EXPECT_EQ(suite, nullptr);
    return PF_Err_NONE;
  });
  EXPECT_TRUE(f.host.accounts().Clear()) << f.host.accounts().Describe();
}

INSTANTIATE_TEST_SUITE_P(Cases, UnknownSuite,
                         testing::Values(RefusalCase{"PF Handle Suite", 1},
                                         RefusalCase{"PF Handle Suite", 3},
                                         RefusalCase{"pf handle suite", 2},
                                         RefusalCase{"PF Handle Suite ", 2},
                                         RefusalCase{"AEGP Stream Suite", 8},
                                         RefusalCase{"AEGP Layer Suite", 12}, RefusalCase{"", 1}));

TEST(Suites, RefusedSuitesAndMissingBasicSuite) {
  FakeHost f;
  f.host.faults().RefuseSuite(kPFIterate8Suite);
  f.host.faults().RefuseSuite(kAEGPLayerSuite, 13);
  f.Run([&](PF_InData& in) {
    EXPECT_EQ(Acquire<PF_Iterate8Suite1>(in, kPFIterate8Suite, 1), nullptr);
    EXPECT_EQ(Acquire<AEGP_LayerSuite7>(in, kAEGPLayerSuite, 13), nullptr);
    const auto* layer11 = Acquire<AEGP_LayerSuite5>(in, kAEGPLayerSuite, 11);
    EXPECT_NE(layer11, nullptr);
    return in.pica_basicP->ReleaseSuite(kAEGPLayerSuite, 11);
  });
  f.host.faults().RefuseAllSuites();
  f.Run([&](PF_InData& in) {
    EXPECT_EQ(Acquire<PF_HandleSuite1>(in, kPFHandleSuite, 2), nullptr);
    return PF_Err_NONE;
  });
  // Withheld from the commands that follow, and given back.
  f.host.faults().SetNoBasicSuite();
  f.Run([](PF_InData& in) {
    EXPECT_EQ(in.pica_basicP, nullptr);
    return PF_Err_NONE;
  });
  f.host.faults().SetNoBasicSuite(false);
  f.Run([&](PF_InData& in) {
    EXPECT_EQ(in.pica_basicP, &f.host.records().basicSuite());
    return PF_Err_NONE;
  });
  EXPECT_TRUE(f.host.accounts().Clear()) << f.host.accounts().Describe();
}

TEST(Suites, UnbalancedReleaseIsAnErrorAndLeftoverAcquireIsAccounted) {
  FakeHost f;
  f.Run([&](PF_InData& in) {
    EXPECT_EQ(in.pica_basicP->ReleaseSuite(kPFANSISuite, 1), kSPBadParameterError);
    EXPECT_NE(Acquire<PF_ANSICallbacksSuite1>(in, kPFANSISuite, 1), nullptr);
    return PF_Err_NONE;
  });
  EXPECT_FALSE(f.host.accounts().Clear());
  EXPECT_NE(f.host.accounts().Describe().find("PF ANSI Suite/1:1"), std::string::npos)
      << f.host.accounts().Describe();
}

TEST(Suites, StubsRecordTheCallAndFail) {
  FakeHost f;
  f.Run([&](PF_InData& in) {
    EXPECT_EQ(in.utils->premultiply(in.effect_ref, 1, nullptr), PF_Err_INVALID_CALLBACK);
    EXPECT_EQ(in.utils->app(in.effect_ref, 3, 1, 2.0, "x"), PF_Err_INVALID_CALLBACK);
    const auto* stream = Acquire<AEGP_StreamSuite4>(in, kAEGPStreamSuite, 9);
    A_Boolean legal = 1;
    EXPECT_EQ(stream->AEGP_IsStreamLegal(nullptr, 0, &legal), A_Err_GENERIC);
    EXPECT_EQ(in.pica_basicP->AllocateBlock(16, nullptr), kSPUnimplementedError);
    return in.pica_basicP->ReleaseSuite(kAEGPStreamSuite, 9);
  });
  const std::vector<std::string> expected{
      Call<Op::Stub>({"premultiply"}),
      Call<Op::Stub>({"app"}),
      Call<Op::AcquireSuite>({.name = kAEGPStreamSuite, .version = 9}),
      Call<Op::Stub>({"AEGP_IsStreamLegal"}),
      Call<Op::Stub>({"AllocateBlock"}),
      Call<Op::ReleaseSuite>({.name = kAEGPStreamSuite, .version = 9})};
  EXPECT_EQ(Trace(f.host.journal()), expected);
  EXPECT_TRUE(f.host.journal()[0].stub());
  EXPECT_EQ(f.host.journal()[0].result, PF_Err_INVALID_CALLBACK);
  EXPECT_EQ(f.host.journal()[4].result, kSPUnimplementedError);
  EXPECT_FALSE(f.host.journal()[2].stub());
}

TEST(Suites, InjectedAcquireFailureGivesNoSuiteAndNoAccount) {
  FakeHost f;
  f.host.faults().FailCall(Op::AcquireSuite, 2, kSPSuiteNotFoundError);
  f.Run([&](PF_InData& in) {
    EXPECT_NE(Acquire<PF_HandleSuite1>(in, kPFHandleSuite, 2), nullptr);
    EXPECT_EQ(Acquire<PF_HandleSuite1>(in, kPFHandleSuite, 2), nullptr);
    EXPECT_NE(Acquire<PF_HandleSuite1>(in, kPFHandleSuite, 2), nullptr);
    in.pica_basicP->ReleaseSuite(kPFHandleSuite, 2);
    in.pica_basicP->ReleaseSuite(kPFHandleSuite, 2);
    return PF_Err_NONE;
  });
  EXPECT_TRUE(f.host.accounts().Clear()) << f.host.accounts().Describe();
  const auto calls = f.host.journal().Calls(Op::AcquireSuite);
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_FALSE(calls[0].failed);
  EXPECT_TRUE(calls[1].failed);
  EXPECT_EQ(calls[1].result, kSPSuiteNotFoundError);
}

TEST(Suites, CallbacksOutsideACommandDoNothing) {
  FakeHost f;
  PF_InData& in = f.host.records().in_data();
  const void* suite = &in;
  EXPECT_NE(in.pica_basicP->AcquireSuite(kPFHandleSuite, 2, &suite), kSPNoError);
  EXPECT_EQ(suite, nullptr);
  EXPECT_EQ(in.utils->host_new_handle(8), nullptr);
  EXPECT_TRUE(f.host.journal().empty());
}

}  // namespace
