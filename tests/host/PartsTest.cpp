// The host's parts on their own, without a module: the parameter store, the accounts and the
// composition's layer times.
#include <gtest/gtest.h>

#include <stdexcept>

#include "host/Accounts.h"
#include "host/Composition.h"
#include "host/ParamStore.h"
#include "host/Scene.h"

namespace {

using quillstreak::host::Accounts;
using quillstreak::host::ParamStore;
using Kind = Accounts::AegpKind;

PF_ParamDef Declared(PF_ParamType type) {
  PF_ParamDef def{};
  def.param_type = type;
  return def;
}

TEST(ParamStore, DeclaresInOrderWithinItsLimit) {
  quillstreak::host::Scene scene;
  ParamStore params(scene);
  EXPECT_EQ(params.count(), 24);  // before parameter setup
  EXPECT_EQ(params.Declare(-1, Declared(PF_Param_FLOAT_SLIDER)), PF_Err_NONE);
  EXPECT_EQ(params.Declare(2, Declared(PF_Param_CHECKBOX)), PF_Err_NONE);
  EXPECT_EQ(params.Declare(4, Declared(PF_Param_CHECKBOX)), PF_Err_INVALID_INDEX);
  EXPECT_EQ(params.count(), 3);
  EXPECT_EQ(params.TypeAt(0), PF_Param_LAYER);
  EXPECT_EQ(params.TypeAt(2), PF_Param_CHECKBOX);
  EXPECT_THROW(params.At(3, 0, 2400), std::out_of_range);
  while (params.declared().size() < static_cast<std::size_t>(ParamStore::kMaxParams))
    ASSERT_EQ(params.Declare(-1, Declared(PF_Param_CHECKBOX)), PF_Err_NONE);
  EXPECT_EQ(params.Declare(-1, Declared(PF_Param_CHECKBOX)), PF_Err_OUT_OF_MEMORY);
  params.ClearDeclared();
  EXPECT_EQ(params.count(), 24);
}

TEST(ParamStore, ValuesFollowTheirKindUntilReset) {
  quillstreak::host::Scene scene;
  scene.SetEffectLayer(5);
  ParamStore params(scene);
  PF_ParamDef layer = Declared(PF_Param_LAYER);
  layer.u.ld.dephault = PF_LayerDefault_MYSELF;
  ASSERT_EQ(params.Declare(-1, layer), PF_Err_NONE);
  ASSERT_EQ(params.Declare(-1, Declared(PF_Param_FLOAT_SLIDER)), PF_Err_NONE);
  EXPECT_EQ(params.LayerAt(0), 5);
  EXPECT_EQ(params.LayerAt(1), 5);  // defaults to the effect's own layer
  params.SetLayer(1, 0);
  EXPECT_EQ(params.LayerAt(1), 0);
  EXPECT_EQ(params.At(1, 0, 2400).u.ld.data, nullptr);
  params.Reset(1);
  EXPECT_NE(params.At(1, 0, 2400).u.ld.data, nullptr);
  // Keyframes replace a constant; a constant replaces keyframes.
  params.SetFloat(2, 7.0);
  params.KeyFloat(2, 0, 0.0);
  params.KeyFloat(2, 2400, 100.0);
  EXPECT_DOUBLE_EQ(params.FloatAt(2, 600), 25.0);
  params.SetFloat(2, 3.0);
  EXPECT_DOUBLE_EQ(params.FloatAt(2, 600), 3.0);
  EXPECT_THROW(params.SetFloat(ParamStore::kMaxParams, 1.0), std::out_of_range);
  params.SetDynamicFlag(2, AEGP_DynStreamFlag_HIDDEN, true);
  params.SetDynamicFlag(2, 4, true);
  params.SetDynamicFlag(2, AEGP_DynStreamFlag_HIDDEN, false);
  EXPECT_EQ(params.DynamicFlags(2), 4u);
  EXPECT_EQ(params.DynamicFlags(3), 0u);
}

TEST(Accounts, DisposedAegpObjectsAreFreedAndTheirHandlesNeverMistaken) {
  Accounts r;
  void* effect = r.NewAegp(Kind::EffectRef, 0);
  void* stream = r.NewAegp(Kind::Stream, 6);
  EXPECT_EQ(r.FindLive(stream, Kind::Stream), 6);
  EXPECT_FALSE(r.FindLive(stream, Kind::EffectRef));  // the kind must match
  EXPECT_EQ(r.Summarise().streams, 1);
  ASSERT_TRUE(r.Dispose(stream, Kind::Stream));
  // Disposed: still known as that stream until its slot is reused, never live again.
  EXPECT_EQ(r.Find(stream, Kind::Stream), 6);
  EXPECT_FALSE(r.FindLive(stream, Kind::Stream));
  EXPECT_FALSE(r.Dispose(stream, Kind::Stream));
  EXPECT_EQ(r.Summarise().streams, 0);
  // Reusing the slot makes the old handle unknown, and the new one a different handle.
  void* reused = r.NewAegp(Kind::Stream, 9);
  EXPECT_NE(reused, stream);
  EXPECT_FALSE(r.Find(stream, Kind::Stream));
  EXPECT_EQ(r.FindLive(reused, Kind::Stream), 9);
  // Objects made and disposed in turn reuse slots; none of their handles is live afterwards,
  // and the live one is untouched.
  void* first = nullptr;
  for (int i = 0; i < 10000; ++i) {
    void* made = r.NewAegp(Kind::Stream, i);
    if (i == 0) first = made;
    ASSERT_TRUE(r.Dispose(made, Kind::Stream));
  }
  EXPECT_FALSE(r.FindLive(first, Kind::Stream));
  EXPECT_EQ(r.FindLive(reused, Kind::Stream), 9);
  int local = 0;
  EXPECT_FALSE(r.Find(&local, Kind::Stream));
  EXPECT_FALSE(r.Find(nullptr, Kind::Stream));
  EXPECT_TRUE(r.Dispose(effect, Kind::EffectRef));
  EXPECT_TRUE(r.Dispose(reused, Kind::Stream));
  EXPECT_TRUE(r.Summarise().Clear()) << r.Summarise().Describe();
  // Layer and composition handles stay the same for the host's whole life.
  EXPECT_EQ(r.LayerHandle(3), r.LayerHandle(3));
  EXPECT_NE(r.LayerHandle(3), r.LayerHandle(4));
  EXPECT_EQ(r.Find(r.LayerHandle(3), Kind::Layer), 3);
  EXPECT_EQ(r.CompHandle(), r.CompHandle());
}

TEST(Accounts, SummariseWhatIsHeld) {
  Accounts r;
  PF_Handle h = r.NewHandle(8);
  EXPECT_EQ(r.HandleSerial(h), 1);
  EXPECT_EQ(r.HandleSerial(nullptr), 0);
  PF_ParamDef slot{};
  r.AddCheckout(&slot, 4);
  r.AcquireSuite("PF ANSI Suite", 1);
  r.AddStreamValue(&slot);
  EXPECT_EQ(r.Summarise().Describe(),
            "handles=1 params=1 streams=0 streamValues=1 effectRefs=0 suites={PF ANSI Suite/1:1}");
  EXPECT_EQ(r.CheckoutIndex(&slot), 4);
  EXPECT_TRUE(r.Checkin(&slot));
  EXPECT_EQ(r.CheckoutIndex(&slot), -1);
  EXPECT_TRUE(r.ReleaseSuite("PF ANSI Suite", 1));
  EXPECT_FALSE(r.ReleaseSuite("PF ANSI Suite", 1));  // released more often than acquired
  EXPECT_TRUE(r.DisposeStreamValue(&slot));
  EXPECT_TRUE(r.DisposeHandle(h));
  EXPECT_EQ(r.HandleSerial(h), -1);
  EXPECT_TRUE(r.Summarise().Clear()) << r.Summarise().Describe();
}

TEST(Composition, LayerTimesConvertTheStartBetweenScales) {
  // A layer starting `start` composition units in, read at `value` / `scale`: its own time,
  // the composition time of that own time, and whether it draws (in point at its start, out
  // point one composition second later).
  struct Case {
    A_u_long compScale;
    std::int64_t start, value;
    std::uint32_t scale;
    std::int64_t layerTime, compTime;
    bool active;
  };
  const Case cases[] = {
      {2400, 1200, 1300, 2400, 100, 2500, true},    // the composition's own scale
      {2400, 1200, 3600, 2400, 2400, 4800, false},  // out point
      {2400, 1200, 60, 100, 10, 110, true},         // another scale: start 1200 / 2400 = 50 / 100
      {2400, 1200, 49, 100, -1, 99, false},         // just before the in point
      {1, 2, 25, 10, 5, 45, true},                  // whole seconds: start 2 = 20 / 10, out at 3 s
      {1, 2, 30, 10, 10, 50, false},
      {3, 1, 5, 2, 4, 6, false},      // 1 / 3 s = 0.67 / 2, rounded to 1
      {0, 2, 25, 10, 25, 25, false},  // no composition scale: no start, no drawing
  };
  for (const Case& c : cases) {
    quillstreak::host::Composition comp;
    comp.timeScale = c.compScale;
    quillstreak::host::Layer layer;
    layer.timing.start = c.start;
    layer.timing.inPoint = c.start;
    layer.timing.outPoint = c.start + c.compScale;
    EXPECT_EQ(comp.LayerTime(layer, c.value, c.scale), c.layerTime)
        << c.compScale << " " << c.value;
    EXPECT_EQ(comp.CompTime(layer, c.value, c.scale), c.compTime) << c.compScale << " " << c.value;
    EXPECT_EQ(comp.Active(layer, c.value, c.scale), c.active) << c.compScale << " " << c.value;
  }
}

}  // namespace
