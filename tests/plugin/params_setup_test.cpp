// Registration of the controls, where it can go wrong: the host refusing a definition or the UI suite.
#include <gtest/gtest.h>

#include <string>

#include "support/effect_under_test.h"

namespace {

// Passes add_param on to the host until the call numbered `failAt`, which fails.
struct FailingAddParam {
  static inline int calls = 0;
  static inline int failAt = 0;
  static inline PF_Err (*host)(PF_ProgPtr, PF_ParamIndex, PF_ParamDefPtr) = nullptr;
  static PF_Err Call(PF_ProgPtr ref, PF_ParamIndex index, PF_ParamDefPtr def) {
    return ++calls == failAt ? PF_Err_OUT_OF_MEMORY : host(ref, index, def);
  }
};

}  // namespace

TEST(ParamsSetup, TheFirstRefusedDefinitionEndsRegistration) {
  LoadedEffect loaded;
  for (int failAt : {1, 5, 17}) {
    minihost::ParamSet registry;
    PF_InData in = loaded.host.makeInData(&registry);
    FailingAddParam::calls = 0;
    FailingAddParam::failAt = failAt;
    FailingAddParam::host = in.inter.add_param;
    in.inter.add_param = FailingAddParam::Call;
    PF_OutData out{};
    out.num_params = 77;
    EXPECT_EQ(
        loaded.host.call(loaded.effect.entryPoint(), PF_Cmd_PARAMS_SETUP, in, out, nullptr, nullptr, nullptr),
        PF_Err_OUT_OF_MEMORY);
    EXPECT_EQ(FailingAddParam::calls, failAt) << "nothing is sent after the refusal";
    EXPECT_EQ(registry.size(), static_cast<std::size_t>(failAt - 1)) << "what came before stays";
    EXPECT_EQ(out.num_params, 77);
  }
  EXPECT_EQ(loaded.host.suitesHeld(), 0);
}

TEST(ParamsSetup, WithoutTheEffectUISuiteTheUserIsToldAndRegistrationGoesOn) {
  LoadedEffect loaded;
  const int released = loaded.host.releaseCount("PF Effect UI Suite");
  loaded.host.refuseSuite("PF Effect UI Suite");
  minihost::ParamSet registry;
  PF_InData in = loaded.host.makeInData(&registry);
  PF_OutData out{};
  EXPECT_EQ(
      loaded.host.call(loaded.effect.entryPoint(), PF_Cmd_PARAMS_SETUP, in, out, nullptr, nullptr, nullptr),
      PF_Err_NONE);
  EXPECT_EQ(out.num_params, 18);
  EXPECT_EQ(registry.size(), 17u);
  EXPECT_TRUE(out.out_flags & PF_OutFlag_DISPLAY_ERROR_MESSAGE);
  EXPECT_STREQ(out.return_msg, "Not able to acquire AEFX Suite.");
  EXPECT_EQ(registry.optionsButtonName, "");
  // No release is sent for a suite that was never had.
  EXPECT_EQ(loaded.host.releaseCount("PF Effect UI Suite"), released);
  EXPECT_TRUE(loaded.host.problems().empty());
}

TEST(ParamsSetup, TheOptionsButtonReadsLoadPaletteExceptUnderPremiere) {
  for (A_long appl : {PF_ApplID_AfterEffects, PF_ApplID_PremierePro}) {
    LoadedEffect loaded;
    const int acquired = loaded.host.acquireCount("PF Effect UI Suite");
    loaded.host.setApplId(appl);
    minihost::ParamSet registry;
    PF_InData in = loaded.host.makeInData(&registry);
    PF_OutData out{};
    ASSERT_EQ(
        loaded.host.call(loaded.effect.entryPoint(), PF_Cmd_PARAMS_SETUP, in, out, nullptr, nullptr, nullptr),
        PF_Err_NONE);
    EXPECT_EQ(registry.optionsButtonName, appl == PF_ApplID_PremierePro ? "" : "Load Palette");
    EXPECT_EQ(loaded.host.acquireCount("PF Effect UI Suite") - acquired,
              appl == PF_ApplID_PremierePro ? 0 : 1);
    EXPECT_EQ(loaded.host.suitesHeld(), 0);
  }
}
