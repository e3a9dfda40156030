// The journal and fault injection on their own: what is stored, how results and injected
// failures land, the typed queries and the text, and which call a fault hits.
#include <gtest/gtest.h>

#include <stdexcept>

#include "host/Faults.h"
#include "host/Journal.h"

namespace {

using quillstreak::host::Faults;
using quillstreak::host::Journal;
using quillstreak::host::Op;
namespace args = quillstreak::host::args;

TEST(Journal, StoresCallsWithTheirResultsAndInjectedFailures) {
  Journal j;
  j.Add(Op::host_new_handle, args::NewHandle{8}, 0);
  j.SetResult(-1);
  j.Add(Op::checkout_param, args::CheckoutParam{3, 100, 100, 2400}, 77);
  j.SetResult(0);  // an injected failure keeps its code
  j.SetEnabled(false);
  j.Add(Op::host_new_handle, args::NewHandle{16}, 0);
  j.SetResult(5);  // not stored: nothing to complete
  ASSERT_EQ(j.size(), 2u);
  EXPECT_EQ(j[0].result, -1);
  EXPECT_FALSE(j[0].failed);
  EXPECT_EQ(j[1].result, 77);
  EXPECT_TRUE(j[1].failed);
  EXPECT_EQ(j.Count(Op::host_new_handle), 1u);
  EXPECT_EQ(j.Count(Op::host_lock_handle), 0u);
  EXPECT_EQ(j.Args<Op::host_new_handle>()[0].size, 8u);
  EXPECT_EQ(j[1].Args<Op::checkout_param>().time_scale, 2400u);
  EXPECT_THROW(j[1].Args<Op::checkout_layer>(), std::logic_error);
  EXPECT_EQ(j.Ops(), (std::vector<Op>{Op::host_new_handle, Op::checkout_param}));
}

TEST(Journal, FormatsEveryFieldByName) {
  Journal j;
  j.Add(Op::transfer_rect,
        args::TransferRect{1, 0, 0, PF_Rect{0, 0, 4, 4}, 2, 3, PF_Xfer_IN_FRONT, 255, false, false},
        0);
  j.Add(Op::AcquireSuite, args::Suite{"PF ANSI Suite", 1}, 9);
  j.Add(Op::Stub, args::Stub{"premultiply"}, 0);
  j.SetResult(PF_Err_INVALID_CALLBACK);
  j.Add(Op::ansi_sprintf, args::Text{"%d"}, 0);
  j.SetResult(2);
  EXPECT_EQ(j.Text(),
            "1: transfer_rect(quality=1, m_flags=0, field=0, src_rect=(0,0,4,4), dest_x=2, "
            "dest_y=3, xfer=2, opacity=255, mask=no, rgb_only=no) -> 0\n"
            "2: AcquireSuite(name=\"PF ANSI Suite\", version=1) -> 9 [injected]\n"
            "3: premultiply() -> 515 [stub]\n"
            "4: ansi.sprintf(text=\"%d\") -> 2\n");
}

// Each case arms faults, then makes calls; the codes returned must be the expected ones.
TEST(Faults, HitTheArmedCallAndCountEveryCall) {
  struct CallMade {
    Op op;
    bool canFail;
    A_long expected;
  };
  struct Case {
    const char* name;
    void (*arm)(Faults&);
    std::vector<CallMade> calls;
  };
  const Case cases[] = {
      {"second call of an operation",
       [](Faults& f) { f.FailCall(Op::host_new_handle, 2, 7); },
       {{Op::host_new_handle, true, 0},
        {Op::host_lock_handle, true, 0},
        {Op::host_new_handle, true, 7},
        {Op::host_new_handle, true, 0}}},
      {"a call without a result is counted but does not fail",
       [](Faults& f) { f.FailCall(Op::host_dispose_handle, 1, 7); },
       {{Op::host_dispose_handle, false, 0}, {Op::host_dispose_handle, true, 0}}},
      {"third call overall, whatever its operation",
       [](Faults& f) { f.FailCallNumber(3, 9); },
       {{Op::abort, true, 0}, {Op::fill, false, 0}, {Op::progress, true, 9}, {Op::abort, true, 0}}},
      {"the call number wins over the operation's fault",
       [](Faults& f) {
         f.FailCall(Op::abort, 1, 4);
         f.FailCallNumber(1, 5);
       },
       {{Op::abort, true, 5}}},
      {"cleared faults fail nothing",
       [](Faults& f) {
         f.FailCall(Op::abort, 1, 4);
         f.FailCallNumber(1, 5);
         f.Clear();
       },
       {{Op::abort, true, 0}}},
  };
  for (const Case& c : cases) {
    Faults faults;
    c.arm(faults);
    for (std::size_t i = 0; i < c.calls.size(); ++i) {
      EXPECT_EQ(faults.Consult(c.calls[i].op, c.calls[i].canFail), c.calls[i].expected)
          << c.name << ", call " << i + 1;
    }
  }
}

TEST(Faults, RefusedSuitesAndTheBasicSuite) {
  Faults faults;
  faults.RefuseSuite("AEGP Layer Suite", 13);
  faults.RefuseSuite("PF Iterate8 Suite");
  EXPECT_TRUE(faults.SuiteRefused("AEGP Layer Suite", 13));
  EXPECT_FALSE(faults.SuiteRefused("AEGP Layer Suite", 11));
  EXPECT_TRUE(faults.SuiteRefused("PF Iterate8 Suite", 1));
  EXPECT_FALSE(faults.SuiteRefused("PF Handle Suite", 2));
  faults.RefuseAllSuites();
  EXPECT_TRUE(faults.SuiteRefused("PF Handle Suite", 2));
  faults.Clear();
  EXPECT_FALSE(faults.SuiteRefused("AEGP Layer Suite", 13));
  faults.SetNoBasicSuite();
  EXPECT_TRUE(faults.basicSuiteWithheld());
  faults.SetNoBasicSuite(false);
  EXPECT_FALSE(faults.basicSuiteWithheld());
}

}  // namespace
