// Interaction, utility and AEGP callbacks: handles, parameter values and checkouts, ANSI text,
// AEGP references and their accounting, the worlds the pixel callbacks accept, and fault
// injection.
#include <gtest/gtest.h>

#include <cstring>

#include "FakeEffect.h"
#include "host/pixels/World.h"
#include "params/ParamIndex.h"

namespace {

using namespace quillstreak;  // the effect's parameter indices
using quillstreak::test::Acquire;
using quillstreak::test::Call;
using quillstreak::test::FakeHost;
using quillstreak::test::Op;
using quillstreak::test::Trace;

TEST(Handles, AreClassicHandlesAndAccounted) {
  FakeHost f;
  f.Run([&](PF_InData& in) {
    const auto* hs = Acquire<PF_HandleSuite1>(in, kPFHandleSuite, 2);
    PF_Handle h = hs->host_new_handle(40);
    EXPECT_NE(h, nullptr);
    EXPECT_EQ(f.host.accounts().handles, 1);
    void* data = hs->host_lock_handle(h);
    EXPECT_EQ(data, *h);  // code reading *handle directly sees the same block
    std::memcpy(data, "quillstreak", 12);
    EXPECT_EQ(hs->host_get_handle_size(h), 40u);
    EXPECT_EQ(hs->host_resize_handle(4000, &h), PF_Err_NONE);
    EXPECT_STREQ(static_cast<const char*>(*h), "quillstreak");  // content kept
    hs->host_unlock_handle(h);
    hs->host_dispose_handle(h);
    EXPECT_EQ(f.host.accounts().handles, 0);
    // The utility table's handle callbacks are the same service.
    PF_Handle u = in.utils->host_new_handle(1);
    EXPECT_EQ(in.utils->host_lock_handle(u), *u);
    in.utils->host_dispose_handle(u);
    return in.pica_basicP->ReleaseSuite(kPFHandleSuite, 2);
  });
  EXPECT_TRUE(f.host.accounts().Clear()) << f.host.accounts().Describe();
}

TEST(Handles, UnknownOrHugeHandlesAreRefusedSafely) {
  FakeHost f;
  f.Run([&](PF_InData& in) {
    void* bogus[1] = {nullptr};
    EXPECT_EQ(in.utils->host_lock_handle(bogus), nullptr);
    EXPECT_EQ(in.utils->host_lock_handle(nullptr), nullptr);
    in.utils->host_unlock_handle(bogus);
    in.utils->host_dispose_handle(bogus);
    EXPECT_EQ(in.utils->host_new_handle(~A_u_longlong{0}), nullptr);
    PF_Handle h = in.utils->host_new_handle(8);
    in.utils->host_dispose_handle(h);
    in.utils->host_dispose_handle(h);  // twice: recorded, nothing freed twice
    return PF_Err_NONE;
  });
  EXPECT_TRUE(f.host.accounts().Clear()) << f.host.accounts().Describe();
  EXPECT_EQ(f.host.journal().Count(Op::host_dispose_handle), 3u);
}

TEST(Handles, FailedCallsReturnNullAndAreJournaled) {
  FakeHost f;
  f.host.faults().FailCall(Op::host_new_handle, 2, PF_Err_OUT_OF_MEMORY);
  f.host.faults().FailCall(Op::host_lock_handle, 1, PF_Err_OUT_OF_MEMORY);
  f.Run([&](PF_InData& in) {
    PF_Handle a = in.utils->host_new_handle(8);
    EXPECT_EQ(in.utils->host_new_handle(8), nullptr);
    EXPECT_EQ(in.utils->host_lock_handle(a), nullptr);
    EXPECT_EQ(in.utils->host_lock_handle(a), *a);
    in.utils->host_dispose_handle(a);
    return PF_Err_NONE;
  });
  EXPECT_TRUE(f.host.accounts().Clear()) << f.host.accounts().Describe();
  const auto news = f.host.journal().Calls(Op::host_new_handle);
  ASSERT_EQ(news.size(), 2u);
  EXPECT_FALSE(news[0].failed);
  EXPECT_TRUE(news[1].failed);
  EXPECT_EQ(news[1].Args<Op::host_new_handle>().size, 8u);
}

TEST(Faults, TheKthCallOverallFails) {
  FakeHost f;
  f.host.faults().FailCallNumber(3, PF_Err_INTERNAL_STRUCT_DAMAGED);
  f.Run([&](PF_InData& in) {
    PF_ParamDef def{};
    EXPECT_EQ(in.inter.checkout_param(in.effect_ref, 2, 0, 100, 2400, &def), PF_Err_NONE);
    EXPECT_EQ(in.inter.checkin_param(in.effect_ref, &def), PF_Err_NONE);
    EXPECT_EQ(in.inter.checkout_param(in.effect_ref, 2, 0, 100, 2400, &def),
              PF_Err_INTERNAL_STRUCT_DAMAGED);
    EXPECT_EQ(in.inter.checkout_param(in.effect_ref, 2, 0, 100, 2400, &def), PF_Err_NONE);
    return in.inter.checkin_param(in.effect_ref, &def);
  });
  EXPECT_TRUE(f.host.accounts().Clear()) << f.host.accounts().Describe();
  ASSERT_EQ(f.host.journal().size(), 5u);
  EXPECT_TRUE(f.host.journal()[2].failed);
}

TEST(Faults, CountingGoesOnWithTheJournalOff) {
  FakeHost f;
  f.host.journal().SetEnabled(false);
  f.host.faults().FailCall(Op::host_new_handle, 2, PF_Err_OUT_OF_MEMORY);
  f.Run([&](PF_InData& in) {
    PF_Handle a = in.utils->host_new_handle(8);
    EXPECT_EQ(in.utils->host_new_handle(8), nullptr);
    in.utils->host_dispose_handle(a);
    return PF_Err_NONE;
  });
  EXPECT_TRUE(f.host.journal().empty());
  EXPECT_TRUE(f.host.accounts().Clear()) << f.host.accounts().Describe();
}

TEST(Params, ValuesAtTimeFollowKindAndKeyframes) {
  FakeHost f;
  quillstreak::host::Host& h = f.host;
  h.params().SetFloat(PARAM_MOTION_THRESHOLD, 0.75);
  h.params().KeyFloat(PARAM_SHUTTER_ANGLE, 0, 0.0);
  h.params().KeyFloat(PARAM_SHUTTER_ANGLE, 200, 360.0);
  h.params().KeyColor(PARAM_SOLID_COLOR, 0, PF_Pixel{255, 0, 0, 0});
  h.params().KeyColor(PARAM_SOLID_COLOR, 100, PF_Pixel{255, 1, 255, 10});
  h.params().KeyCheckbox(PARAM_SOLID_FILL_ENABLE, 0, false);
  h.params().KeyCheckbox(PARAM_SOLID_FILL_ENABLE, 100, true);
  h.params().SetLayer(PARAM_MOTION_SOURCE, 7);
  f.Run([&](PF_InData& in) {
    PF_ParamDef def{};
    EXPECT_EQ(in.inter.checkout_param(in.effect_ref, PARAM_MOTION_THRESHOLD, 0, 100, 2400, &def),
              PF_Err_NONE);
    EXPECT_EQ(def.param_type, PF_Param_FLOAT_SLIDER);
    EXPECT_DOUBLE_EQ(def.u.fs_d.value, 0.75);
    in.inter.checkin_param(in.effect_ref, &def);
    // 1/48 s at 2400 units/s = 50 units: a quarter of the way from 0 to 360.
    in.inter.checkout_param(in.effect_ref, PARAM_SHUTTER_ANGLE, 1, 1, 48, &def);
    EXPECT_DOUBLE_EQ(def.u.fs_d.value, 90.0);
    in.inter.checkin_param(in.effect_ref, &def);
    // Half-way: 0.5, 127.5, 5 rounded to the nearest channel value.
    in.inter.checkout_param(in.effect_ref, PARAM_SOLID_COLOR, 50, 100, 2400, &def);
    EXPECT_EQ(def.u.cd.value.red, 1);
    EXPECT_EQ(def.u.cd.value.green, 128);
    EXPECT_EQ(def.u.cd.value.blue, 5);
    in.inter.checkin_param(in.effect_ref, &def);
    in.inter.checkout_param(in.effect_ref, PARAM_SOLID_FILL_ENABLE, 99, 100, 2400, &def);
    EXPECT_EQ(def.u.bd.value, 0);
    in.inter.checkin_param(in.effect_ref, &def);
    in.inter.checkout_param(in.effect_ref, PARAM_SOLID_FILL_ENABLE, 100, 100, 2400, &def);
    EXPECT_EQ(def.u.bd.value, 1);
    in.inter.checkin_param(in.effect_ref, &def);
    in.inter.checkout_param(in.effect_ref, PARAM_MOTION_SOURCE, 0, 100, 2400, &def);
    EXPECT_NE(def.u.ld.data, nullptr);
    in.inter.checkin_param(in.effect_ref, &def);
    in.inter.checkout_param(in.effect_ref, PARAM_INPUT, 0, 100, 2400, &def);
    EXPECT_EQ(def.param_type, PF_Param_LAYER);
    EXPECT_NE(def.u.ld.data, nullptr);
    EXPECT_EQ(f.host.accounts().params, 1);
    return in.inter.checkin_param(in.effect_ref, &def);
  });
  EXPECT_TRUE(h.accounts().Clear()) << h.accounts().Describe();
  h.params().SetLayer(PARAM_MOTION_SOURCE, 0);
  EXPECT_EQ(h.params().At(PARAM_MOTION_SOURCE, 0, 2400).u.ld.data, nullptr);
  EXPECT_EQ(Trace(h.journal(), {Op::checkout_param})[1],
            Call<Op::checkout_param>(
                {.index = PARAM_SHUTTER_ANGLE, .what_time = 1, .time_step = 1, .time_scale = 48}));
}

TEST(Params, BadCheckoutsAreErrorsAndUnknownCheckinsAreAccepted) {
  FakeHost f;
  f.Run([&](PF_InData& in) {
    PF_ParamDef def{};
    EXPECT_EQ(in.inter.checkout_param(in.effect_ref, 24, 0, 100, 2400, &def), PF_Err_INVALID_INDEX);
    EXPECT_EQ(in.inter.checkout_param(in.effect_ref, -1, 0, 100, 2400, &def), PF_Err_INVALID_INDEX);
    EXPECT_EQ(in.inter.checkout_param(in.effect_ref, 2, 0, 100, 2400, nullptr),
              PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(in.inter.checkout_param(nullptr, 2, 0, 100, 2400, &def), PF_Err_BAD_CALLBACK_PARAM);
    PF_ParamDef never{};  // a zero-filled slot that was never checked out
    EXPECT_EQ(in.inter.checkin_param(in.effect_ref, &never), PF_Err_NONE);
    EXPECT_EQ(in.inter.checkin_param(in.effect_ref, nullptr), PF_Err_BAD_CALLBACK_PARAM);
    return PF_Err_NONE;
  });
  EXPECT_TRUE(f.host.accounts().Clear()) << f.host.accounts().Describe();
}

TEST(Params, AddParamAppendsInOrder) {
  FakeHost f;
  f.Run([&](PF_InData& in) {
    PF_ParamDef def{};
    def.param_type = PF_Param_FLOAT_SLIDER;
    def.uu.id = 5;
    def.u.fs_d.value = 3.0;
    EXPECT_EQ(in.inter.add_param(in.effect_ref, -1, &def), PF_Err_NONE);
    def.param_type = PF_Param_CHECKBOX;
    def.uu.id = 6;
    EXPECT_EQ(in.inter.add_param(in.effect_ref, 2, &def), PF_Err_NONE);
    EXPECT_EQ(in.inter.add_param(in.effect_ref, 7, &def), PF_Err_INVALID_INDEX);
    EXPECT_EQ(in.inter.add_param(in.effect_ref, -1, nullptr), PF_Err_BAD_CALLBACK_PARAM);
    return PF_Err_NONE;
  });
  ASSERT_EQ(f.host.params().declared().size(), 2u);
  EXPECT_EQ(f.host.params().declared()[1].uu.id, 6);
  EXPECT_DOUBLE_EQ(f.host.params().FloatAt(1, 0), 3.0);  // the declared value until one is set
  f.host.params().SetFloat(1, 4.0);
  EXPECT_DOUBLE_EQ(f.host.params().FloatAt(1, 0), 4.0);
  EXPECT_THROW(f.host.params().At(3, 0, 2400), std::out_of_range);
}

TEST(Params, AFailedSetupLeavesNoneDeclared) {
  // Otherwise the host would send later commands an array of only the parameters declared before
  // the failure, and an effect reading its parameters by index would read past it.
  FakeHost f;
  quillstreak::test::Body() = [](PF_Cmd cmd, PF_InData* in, PF_OutData* out, PF_ParamDef**,
                                 PF_LayerDef*, void*) -> PF_Err {
    if (cmd != PF_Cmd_PARAMS_SETUP) return PF_Err_NONE;
    PF_ParamDef def{};
    def.param_type = PF_Param_CHECKBOX;
    for (int i = 0; i < 3; ++i)
      if (PF_Err err = in->inter.add_param(in->effect_ref, -1, &def)) return err;
    out->num_params = 4;
    return PF_Err_NONE;
  };
  f.host.faults().FailCall(Op::add_param, 3, 777);
  EXPECT_EQ(f.host.ParamsSetup(), 777);
  EXPECT_TRUE(f.host.params().declared().empty());
  EXPECT_EQ(f.host.params().count(), 24);
  EXPECT_EQ(f.host.records().in_data().num_params, 1);
  f.host.faults().Clear();
  EXPECT_EQ(f.host.ParamsSetup(), PF_Err_NONE);
  EXPECT_EQ(f.host.params().declared().size(), 3u);
  EXPECT_EQ(f.host.records().in_data().num_params, 4);
}

TEST(Ansi, SprintfIsBoundedAndStrcpyCopies) {
  FakeHost f;
  f.Run([&](PF_InData& in) {
    const auto* ansi = Acquire<PF_ANSICallbacksSuite1>(in, kPFANSISuite, 1);
    char buffer[400];
    std::memset(buffer, 'z', sizeof buffer);
    EXPECT_EQ(ansi->sprintf(buffer, "%s, v%d.%d", "Name", 1, 5), 10);
    EXPECT_STREQ(buffer, "Name, v1.5");
    const std::string longText(300, 'a');
    EXPECT_EQ(ansi->sprintf(buffer, "%s", longText.c_str()), 255);
    EXPECT_EQ(std::strlen(buffer), 255u);
    EXPECT_EQ(buffer[256], 'z');  // nothing past the limit
    char name[32];
    EXPECT_EQ(in.utils->ansi.strcpy(name, "Opacity"), name);
    EXPECT_STREQ(name, "Opacity");
    // Either pointer missing: refused, nothing written.
    EXPECT_EQ(in.utils->ansi.strcpy(nullptr, "Opacity"), nullptr);
    EXPECT_EQ(ansi->strcpy(name, nullptr), nullptr);
    EXPECT_STREQ(name, "Opacity");
    EXPECT_EQ(ansi->sprintf(nullptr, "%d", 1), -1);
    EXPECT_EQ(ansi->sprintf(name, nullptr), -1);
    EXPECT_DOUBLE_EQ(ansi->hypot(3.0, 4.0), 5.0);
    return in.pica_basicP->ReleaseSuite(kPFANSISuite, 1);
  });
  // The suite's functions and the utility table's are journaled under different names.
  ASSERT_EQ(f.host.journal().Count(Op::sprintf), 4u);
  EXPECT_EQ(f.host.journal().Args<Op::sprintf>()[0].text, "%s, v%d.%d");
  EXPECT_EQ(f.host.journal().Count(Op::ansi_sprintf), 0u);
  ASSERT_EQ(f.host.journal().Count(Op::ansi_strcpy), 2u);
  EXPECT_EQ(f.host.journal().Args<Op::ansi_strcpy>()[0].text, "Opacity");
  EXPECT_EQ(f.host.journal().Count(Op::hypot), 1u);
}

PF_Err KeepPixel(void*, A_long, A_long, PF_Pixel* in, PF_Pixel* out) {
  *out = *in;
  return PF_Err_NONE;
}

TEST(PixelCallbacks, RefuseEachKindOfUnusableWorld) {
  // Each flaw alone, in every world a pixel callback takes; a world without pixels (and so
  // without storage) is accepted and left alone.
  struct Case {
    const char* name;
    void (*spoil)(PF_EffectWorld&);
    bool accepted;
  };
  const Case cases[] = {
      {"usable", [](PF_EffectWorld&) {}, true},
      {"rows exactly as wide as the width", [](PF_EffectWorld& w) { w.rowbytes = 16; }, true},
      {"no columns, no storage", [](PF_EffectWorld& w) { w.width = 0, w.data = nullptr; }, true},
      {"no rows, no storage", [](PF_EffectWorld& w) { w.height = 0, w.data = nullptr; }, true},
      {"no storage", [](PF_EffectWorld& w) { w.data = nullptr; }, false},
      {"negative width", [](PF_EffectWorld& w) { w.width = -1; }, false},
      {"negative height", [](PF_EffectWorld& w) { w.height = -1; }, false},
      {"rows narrower than the width", [](PF_EffectWorld& w) { w.rowbytes = 12; }, false},
  };
  FakeHost f;
  quillstreak::host::World good(4, 2), other(4, 2);
  f.Run([&](PF_InData& in) {
    const auto* it8 = Acquire<PF_Iterate8Suite1>(in, kPFIterate8Suite, 1);
    const auto* xf = Acquire<PF_WorldTransformSuite1>(in, kPFWorldTransformSuite, 1);
    const PF_CompositeMode mode{PF_Xfer_IN_FRONT, 0, 255, 0, 0};
    const PF_Pixel red{255, 255, 0, 0};
    auto transfer = [&](PF_EffectWorld* src, PF_EffectWorld* dst) {
      return xf->transfer_rect(in.effect_ref, PF_Quality_HI, PF_MF_Alpha_STRAIGHT, PF_Field_FRAME,
                               nullptr, src, &mode, nullptr, 0, 0, dst);
    };
    for (const Case& c : cases) {
      PF_EffectWorld w = good.def();
      c.spoil(w);
      const PF_Err want = c.accepted ? PF_Err_NONE : PF_Err_BAD_CALLBACK_PARAM;
      EXPECT_EQ(in.utils->fill(in.effect_ref, &red, nullptr, &w), want) << c.name;
      EXPECT_EQ(it8->iterate(&in, 0, 1, nullptr, nullptr, nullptr, KeepPixel, &w), want) << c.name;
      EXPECT_EQ(it8->iterate(&in, 0, 1, &w, nullptr, nullptr, KeepPixel, &other.def()), want)
          << c.name;
      EXPECT_EQ(transfer(&w, &other.def()), want) << c.name;
      EXPECT_EQ(transfer(&other.def(), &w), want) << c.name;
    }
    EXPECT_EQ(in.utils->fill(in.effect_ref, &red, nullptr, nullptr), PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(transfer(nullptr, &other.def()), PF_Err_BAD_CALLBACK_PARAM);
    in.pica_basicP->ReleaseSuite(kPFIterate8Suite, 1);
    return in.pica_basicP->ReleaseSuite(kPFWorldTransformSuite, 1);
  });
  EXPECT_TRUE(f.host.accounts().Clear()) << f.host.accounts().Describe();
}

TEST(Aegp, ReferencesStreamsAndValuesAreAccountedUntilDisposed) {
  FakeHost f;
  f.host.params().SetLayer(PARAM_MOTION_SOURCE, 1);
  f.Run([&](PF_InData& in) {
    const auto* pfi = Acquire<AEGP_PFInterfaceSuite1>(in, kAEGPPFInterfaceSuite, 1);
    const auto* s7 = Acquire<AEGP_StreamSuite2>(in, kAEGPStreamSuite, 7);
    const auto* dyn = Acquire<AEGP_DynamicStreamSuite2>(in, kAEGPDynamicStreamSuite, 2);
    const auto* eff = Acquire<AEGP_EffectSuite2>(in, kAEGPEffectSuite, 2);
    AEGP_EffectRefH ref = nullptr;
    EXPECT_EQ(pfi->AEGP_GetNewEffectForEffect(0, in.effect_ref, &ref), A_Err_NONE);
    AEGP_StreamRefH stream = nullptr;
    EXPECT_EQ(s7->AEGP_GetNewEffectStreamByIndex(0, ref, PARAM_MOTION_SOURCE, &stream), A_Err_NONE);
    AEGP_StreamRefH bottom = nullptr;
    EXPECT_EQ(s7->AEGP_GetNewEffectStreamByIndex(0, ref, PARAM_BOTTOM, &bottom), A_Err_NONE);
    AEGP_StreamRefH bad = bottom;
    EXPECT_EQ(s7->AEGP_GetNewEffectStreamByIndex(0, ref, PARAM_COUNT, &bad), A_Err_PARAMETER);
    EXPECT_EQ(bad, nullptr);
    AEGP_StreamValue value{};
    const A_Time zero{0, 1};
    EXPECT_EQ(s7->AEGP_GetNewStreamValue(0, stream, AEGP_LTimeMode_LayerTime, &zero, 1, &value),
              A_Err_NONE);
    EXPECT_EQ(value.val.layer_id, 1);
    AEGP_StreamValue untimed{};
    EXPECT_EQ(s7->AEGP_GetNewStreamValue(0, stream, AEGP_LTimeMode_LayerTime, nullptr, 1, &untimed),
              A_Err_PARAMETER);
    EXPECT_EQ(dyn->AEGP_SetDynamicStreamFlag(bottom, AEGP_DynStreamFlag_HIDDEN, 0, 1), A_Err_NONE);
    EXPECT_EQ(f.host.accounts().effectRefs, 1);
    EXPECT_EQ(f.host.accounts().streams, 2);
    EXPECT_EQ(f.host.accounts().streamValues, 1);
    EXPECT_EQ(s7->AEGP_DisposeStreamValue(&value), A_Err_NONE);
    EXPECT_EQ(s7->AEGP_DisposeStreamValue(&value), A_Err_PARAMETER);
    EXPECT_EQ(eff->AEGP_DisposeEffect(ref), A_Err_NONE);  // streams outlive the reference
    EXPECT_EQ(eff->AEGP_DisposeEffect(ref), A_Err_PARAMETER);
    EXPECT_EQ(s7->AEGP_DisposeStream(stream), A_Err_NONE);
    EXPECT_EQ(s7->AEGP_DisposeStream(bottom), A_Err_NONE);
    EXPECT_EQ(s7->AEGP_DisposeStream(bottom), A_Err_PARAMETER);
    for (const char* name : {kAEGPPFInterfaceSuite, kAEGPEffectSuite})
      in.pica_basicP->ReleaseSuite(name, name == std::string(kAEGPEffectSuite) ? 2 : 1);
    in.pica_basicP->ReleaseSuite(kAEGPStreamSuite, 7);
    return in.pica_basicP->ReleaseSuite(kAEGPDynamicStreamSuite, 2);
  });
  EXPECT_TRUE(f.host.accounts().Clear()) << f.host.accounts().Describe();
  EXPECT_EQ(f.host.params().DynamicFlags(PARAM_BOTTOM), AEGP_DynStreamFlag_HIDDEN);
  // A read without a time is journaled with time 0 and scale 0.
  const auto reads = f.host.journal().Args<Op::AEGP_GetNewStreamValue>();
  ASSERT_EQ(reads.size(), 2u);
  EXPECT_EQ(reads[1].time, 0);
  EXPECT_EQ(reads[1].scale, 0u);
  EXPECT_EQ(f.host.params().DynamicFlags(PARAM_RIGHT), 0u);
  EXPECT_EQ(
      Trace(f.host.journal(), {Op::AEGP_SetDynamicStreamFlag, Op::AEGP_GetNewEffectStreamByIndex}),
      (std::vector<std::string>{
          Call<Op::AEGP_GetNewEffectStreamByIndex>({.plugin = 0, .index = 6}),
          Call<Op::AEGP_GetNewEffectStreamByIndex>({.plugin = 0, .index = 23}),
          Call<Op::AEGP_GetNewEffectStreamByIndex>({.plugin = 0, .index = 24}),
          Call<Op::AEGP_SetDynamicStreamFlag>(
              {.param = 23, .flag = AEGP_DynStreamFlag_HIDDEN, .undoable = 0, .set = 1})}));
}

TEST(Aegp, LayersAndTransformStreams) {
  FakeHost f;
  quillstreak::host::Layer second;
  second.id = 42;
  second.transform.position.AddKeyframe(0, {0.0, 0.0, 0.0, 0.0});
  second.transform.position.AddKeyframe(100, {10.0, 20.0, 30.0, 0.0});
  second.transform.rotateX.SetConstant({12.5, 0, 0, 0});
  f.host.scene().comp().AddLayer(second);
  f.Run([&](PF_InData& in) {
    const auto* pfi = Acquire<AEGP_PFInterfaceSuite1>(in, kAEGPPFInterfaceSuite, 1);
    const auto* l11 = Acquire<AEGP_LayerSuite5>(in, kAEGPLayerSuite, 11);
    const auto* l13 = Acquire<AEGP_LayerSuite7>(in, kAEGPLayerSuite, 13);
    const auto* s9 = Acquire<AEGP_StreamSuite4>(in, kAEGPStreamSuite, 9);
    AEGP_LayerH own = nullptr;
    EXPECT_EQ(pfi->AEGP_GetEffectLayer(in.effect_ref, &own), A_Err_NONE);
    AEGP_CompH comp = nullptr;
    EXPECT_EQ(l11->AEGP_GetLayerParentComp(own, &comp), A_Err_NONE);
    AEGP_LayerH other = nullptr;
    EXPECT_EQ(l13->AEGP_GetLayerFromLayerID(comp, 99, &other), A_Err_PARAMETER);
    EXPECT_EQ(other, nullptr);
    EXPECT_EQ(l13->AEGP_GetLayerFromLayerID(comp, 42, &other), A_Err_NONE);
    AEGP_StreamVal2 v{};
    const A_Time half{50, 2400};
    AEGP_StreamType type = AEGP_StreamType_NO_DATA;
    EXPECT_EQ(s9->AEGP_GetLayerStreamValue(other, AEGP_LayerStream_POSITION,
                                           AEGP_LTimeMode_LayerTime, &half, 0, &v, &type),
              A_Err_NONE);
    EXPECT_DOUBLE_EQ(v.three_d.x, 5.0);
    EXPECT_DOUBLE_EQ(v.three_d.y, 10.0);
    EXPECT_DOUBLE_EQ(v.three_d.z, 15.0);
    EXPECT_EQ(s9->AEGP_GetLayerStreamValue(other, AEGP_LayerStream_ROTATE_X,
                                           AEGP_LTimeMode_LayerTime, &half, 0, &v, nullptr),
              A_Err_NONE);
    EXPECT_DOUBLE_EQ(v.one_d, 12.5);
    EXPECT_EQ(s9->AEGP_GetLayerStreamValue(own, AEGP_LayerStream_SCALE, AEGP_LTimeMode_LayerTime,
                                           &half, 0, &v, nullptr),
              A_Err_NONE);
    EXPECT_DOUBLE_EQ(v.three_d.x, 100.0);
    EXPECT_EQ(s9->AEGP_GetLayerStreamValue(own, AEGP_LayerStream_OPACITY, AEGP_LTimeMode_LayerTime,
                                           &half, 0, &v, nullptr),
              A_Err_PARAMETER);
    EXPECT_EQ(s9->AEGP_GetLayerStreamValue(own, AEGP_LayerStream_POSITION, AEGP_LTimeMode_LayerTime,
                                           nullptr, 0, &v, nullptr),
              A_Err_PARAMETER);
    in.pica_basicP->ReleaseSuite(kAEGPPFInterfaceSuite, 1);
    in.pica_basicP->ReleaseSuite(kAEGPLayerSuite, 11);
    in.pica_basicP->ReleaseSuite(kAEGPLayerSuite, 13);
    return in.pica_basicP->ReleaseSuite(kAEGPStreamSuite, 9);
  });
  EXPECT_TRUE(f.host.accounts().Clear()) << f.host.accounts().Describe();
  const auto reads = Trace(f.host.journal(), {Op::AEGP_GetLayerStreamValue});
  ASSERT_EQ(reads.size(), 5u);
  EXPECT_EQ(reads[0], Call<Op::AEGP_GetLayerStreamValue>({.stream = AEGP_LayerStream_POSITION,
                                                          .time = 50,
                                                          .scale = 2400,
                                                          .time_mode = AEGP_LTimeMode_LayerTime,
                                                          .pre_expression = 0}));
  // The read without a time: time 0 and scale 0.
  EXPECT_EQ(reads[4], Call<Op::AEGP_GetLayerStreamValue>({.stream = AEGP_LayerStream_POSITION,
                                                          .time_mode = AEGP_LTimeMode_LayerTime}));
}

}  // namespace
