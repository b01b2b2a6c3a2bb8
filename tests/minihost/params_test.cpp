#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "minihost/host_error.h"
#include "test_support.h"

namespace minihost {
namespace {

using testing::FakeEffectTest;
using testing::OneProblemMentioning;

TEST_F(FakeEffectTest, TheRegistryStartsWithTheLayerAndKeepsWhatTheEffectSent) {
  const ParamSet& registered = effect.registeredParams();
  ASSERT_EQ(registered.size(), 4u);
  EXPECT_EQ(registered[0].param_type, PF_Param_LAYER);
  EXPECT_EQ(registered[0].uu.id, 0);
  EXPECT_EQ(registered[0].u.ld.dephault, PF_LayerDefault_MYSELF);
  EXPECT_STREQ(registered[0].name, "");

  EXPECT_EQ(registered[1].param_type, PF_Param_POPUP);
  EXPECT_STREQ(registered[1].name, "Channel");
  EXPECT_EQ(registered[1].u.pd.value, 2);
  EXPECT_EQ(registered[1].u.pd.dephault, 2);
  // The effect overwrote its buffer of choices after add_param returned.
  EXPECT_EQ(registered.popupChoices(1), (std::vector<std::string>{"Red", "Green", "Blue"}));

  EXPECT_EQ(registered[2].param_type, PF_Param_FLOAT_SLIDER);
  EXPECT_STREQ(registered[2].name, "Amount");
  EXPECT_EQ(registered[2].u.fs_d.valid_max, 10.0f);
  EXPECT_EQ(registered[2].u.fs_d.curve_tolerance, 0.25f);

  EXPECT_EQ(registered[3].param_type, PF_Param_FIX_SLIDER);
  EXPECT_STREQ(registered[3].name, "Zoom");
  EXPECT_EQ(registered[3].flags, PF_ParamFlag_COLLAPSE_TWIRLY);
  EXPECT_EQ(registered[3].u.fd.value, 0x20000);
  EXPECT_EQ(registered[3].u.fd.valid_max, 0x40000);

  EXPECT_EQ(effect.optionsButtonName(), "Load Things");
  EXPECT_FALSE(effect.paramsSetupMessage().has_value());
  EXPECT_EQ(host.releaseCount(kPFEffectUISuite), 1);

  // Every instance starts from the registration, and what one changes stays its own.
  Instance first(effect);
  Instance second(effect);
  first.params().setPopup(1, "Blue");
  EXPECT_EQ(first.params()[1].u.pd.value, 3);
  EXPECT_EQ(second.params()[1].u.pd.value, 2);
  EXPECT_EQ(effect.registeredParams()[1].u.pd.value, 2);
  EXPECT_NE(first.params()[1].u.pd.u.namesptr, registered[1].u.pd.u.namesptr);
  EXPECT_TRUE(host.problems().empty());
}

std::string ParamsSetupError(A_long applId) {
  Host host;
  host.setApplId(applId);
  try {
    Effect effect(host, testing::kFakeEffectPath);
  } catch (const HostError& error) {
    return error.what();
  }
  return "";
}

TEST(ParamsTest, AFailedParameterSetUpIsReported) {
  const std::string failed = ParamsSetupError(fake::kParamsFailApplId);
  EXPECT_NE(failed.find("parameter set-up of " + std::string(testing::kFakeEffectPath)), std::string::npos)
      << failed;
  EXPECT_NE(failed.find("failed with error 4: no room for the controls"), std::string::npos) << failed;

  const std::string miscounted = ParamsSetupError(fake::kParamsMiscountApplId);
  EXPECT_NE(miscounted.find("reported num_params 3, but the input layer and the registered controls are 4"),
            std::string::npos)
      << miscounted;
}

// The command line and the frei0r plug-in both name choices this way; the number flag is what lets the
// command line tell "outside 1 to N" from an unknown label.
TEST(ParamsTest, PopupChoicesMatchByLabelOrNumber) {
  const std::vector<std::string> choices = {"Custom", "1-bit Gray", "Floyd Steinberg"};
  EXPECT_EQ(MatchPopupChoice("FLOYD_steinberg", choices).choice, 3);
  EXPECT_EQ(MatchPopupChoice("1-BIT gray", choices).choice, 2);
  EXPECT_FALSE(MatchPopupChoice("1-BIT gray", choices).number);
  EXPECT_EQ(MatchPopupChoice("3", choices).choice, 3);
  EXPECT_TRUE(MatchPopupChoice("3", choices).number);
  for (const char* outside : {"0", "4", "-1"}) {
    EXPECT_EQ(MatchPopupChoice(outside, choices).choice, 0) << outside;
    EXPECT_TRUE(MatchPopupChoice(outside, choices).number) << outside;
  }
  for (const char* unknown : {"", "2x", "1.5", "custom palette"}) {
    EXPECT_EQ(MatchPopupChoice(unknown, choices).choice, 0) << unknown;
    EXPECT_FALSE(MatchPopupChoice(unknown, choices).number) << unknown;
  }
}

TEST_F(FakeEffectTest, ValuesStayWithinWhatTheControlsAllow) {
  ParamSet params = effect.registeredParams();
  EXPECT_THROW(params.setPopup(1, 0), std::out_of_range);
  EXPECT_THROW(params.setPopup(1, 4), std::out_of_range);
  EXPECT_THROW(params.setPopup(4, 1), std::out_of_range);
  EXPECT_THROW(params.setPopup(2, 1), std::invalid_argument);
  params.setPopup(1, 3);
  EXPECT_EQ(params[1].u.pd.value, 3);
  params.setPopup(1, "Red");
  EXPECT_EQ(params[1].u.pd.value, 1);
  // Labels match exactly: no case folding, no prefixes.
  EXPECT_THROW(params.setPopup(1, "red"), std::invalid_argument);
  EXPECT_THROW(params.setPopup(1, "Gree"), std::invalid_argument);
  EXPECT_EQ(params[1].u.pd.value, 1);

  params.setFloat(2, 7.5);
  EXPECT_EQ(params[2].u.fs_d.value, 7.5);
  params.setFloat(2, 250.0);
  EXPECT_EQ(params[2].u.fs_d.value, 10.0);
  params.setFloat(2, -0.5);
  EXPECT_EQ(params[2].u.fs_d.value, 0.0);
  params.setFixed(3, 5 << 16);
  EXPECT_EQ(params[3].u.fd.value, 4 << 16);
  params.setFixed(3, 0x8000);
  EXPECT_EQ(params[3].u.fd.value, 1 << 16);
  EXPECT_THROW(params.setFixed(2, 65536), std::invalid_argument);
  EXPECT_THROW(params.setFloat(3, 1.0), std::invalid_argument);

  EXPECT_EQ(params.find("Amount", PF_Param_FLOAT_SLIDER), 2u);
  EXPECT_EQ(params.find("Zoom", PF_Param_FIX_SLIDER), 3u);
  EXPECT_FALSE(params.find("Amount", PF_Param_POPUP).has_value());
  EXPECT_FALSE(params.find("Amoun", PF_Param_FLOAT_SLIDER).has_value());
}

TEST_F(FakeEffectTest, CopiesAndMovesOwnTheirStringsAndTheArrayEndsWithNull) {
  auto original = std::make_unique<ParamSet>(effect.registeredParams());
  ParamSet copy(*original);
  EXPECT_NE(copy[1].u.pd.u.namesptr, (*original)[1].u.pd.u.namesptr);
  ParamSet moved(std::move(*original));
  original.reset();
  EXPECT_EQ(copy.popupChoices(1)[2], "Blue");
  EXPECT_EQ(moved.popupChoices(1)[0], "Red");
  ParamSet assigned;
  assigned = std::move(moved);
  EXPECT_EQ(assigned.popupChoices(1)[1], "Green");

  PF_ParamDef** array = copy.array();
  for (std::size_t i = 0; i < 4; ++i) EXPECT_EQ(array[i], &copy[i]);
  EXPECT_EQ(array[4], nullptr);
}

TEST_F(FakeEffectTest, ParametersAreOnlyAppendedAndOnlyDuringParameterSetUp) {
  ParamSet registry;
  PF_ParamDef layer{};
  layer.param_type = PF_Param_LAYER;
  registry.add(layer);
  PF_InData in = host.makeInData(&registry);
  PF_OutData out{};
  ASSERT_EQ(host.call(effect.entryPoint(), PF_Cmd_PARAMS_SETUP, in, out, nullptr, nullptr, nullptr),
            PF_Err_NONE);
  ASSERT_EQ(registry.size(), 4u);
  {
    Host::Scope scope(host);
    EXPECT_EQ(in.inter.add_param(in.effect_ref, 7, &registry[2]), PF_Err_INVALID_INDEX);
    EXPECT_EQ(in.inter.add_param(in.effect_ref, 4, &registry[2]), PF_Err_NONE);
  }
  fake::Script late{fake::Action::AddParamLate};
  run(late, &registry);
  EXPECT_EQ(late.err, PF_Err_INVALID_CALLBACK);
  EXPECT_EQ(registry.size(), 5u);
  EXPECT_TRUE(OneProblemMentioning(host, "add_param during command 17"));
}

TEST_F(FakeEffectTest, UIUpdatesChangeTheLooksOfAControlButNeverItsValue) {
  Instance instance(effect);
  const double value = instance.params()[2].u.fs_d.value;
  ASSERT_EQ(instance.refreshUI(), PF_Err_NONE);
  ASSERT_EQ(instance.params().uiUpdates.size(), 1u);
  EXPECT_EQ(instance.params().uiUpdates[0].index, 2);
  EXPECT_STREQ(instance.params().uiUpdates[0].def.name, "Renamed");
  EXPECT_STREQ(instance.params()[2].name, "Renamed");
  EXPECT_EQ(instance.params()[2].ui_flags, PF_PUI_DISABLED);
  EXPECT_EQ(instance.params()[2].u.fs_d.value, value);
  EXPECT_EQ(host.suitesHeld(), 0);
  EXPECT_TRUE(host.problems().empty());
}

}  // namespace
}  // namespace minihost
