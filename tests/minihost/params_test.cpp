#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>

#include "test_support.h"

namespace minihost {
namespace {

using testing::FakeEffectTest;
using testing::OneProblemMentioning;

TEST(ParamsTest, DefaultParametersAreTheEffectsEighteen) {
  const ParamSet params = DefaultEffectParams();
  ASSERT_EQ(params.size(), 18u);
  struct Expected {
    PF_ParamType type;
    const char* name;
    PF_ParamFlags flags;
  };
  const Expected expected[18] = {
      {PF_Param_LAYER, "", 0},
      {PF_Param_GROUP_START, "Pattern", 0},
      {PF_Param_POPUP, "Pattern", 0x40},
      {PF_Param_GROUP_START, "Properties", 0x20},
      {PF_Param_FLOAT_SLIDER, "Offset X", 0x20},
      {PF_Param_FLOAT_SLIDER, "Offset Y", 0x20},
      {PF_Param_FIX_SLIDER, "Scale", 0x20},
      {PF_Param_FLOAT_SLIDER, "Threshold Red", 0x20},
      {PF_Param_FLOAT_SLIDER, "Threshold Green", 0x20},
      {PF_Param_FLOAT_SLIDER, "Threshold Blue", 0x20},
      {PF_Param_GROUP_END, "", 0},
      {PF_Param_GROUP_END, "", 0},
      {PF_Param_GROUP_START, "Palette", 0},
      {PF_Param_POPUP, "Swatch", 0x40},
      {PF_Param_GROUP_START, "Custom Palette", 0},
      {PF_Param_BUTTON, "---", 0x60},
      {PF_Param_GROUP_END, "", 0},
      {PF_Param_GROUP_END, "", 0},
  };
  for (std::size_t i = 0; i < 18; ++i) {
    EXPECT_EQ(params[i].param_type, expected[i].type) << i;
    EXPECT_STREQ(params[i].name, expected[i].name) << i;
    EXPECT_EQ(params[i].flags, expected[i].flags) << i;
    EXPECT_EQ(params[i].uu.id, static_cast<A_long>(i));
    EXPECT_EQ(params[i].ui_flags, PF_PUI_NONE) << i;
  }
  EXPECT_EQ(params[0].u.ld.dephault, PF_LayerDefault_MYSELF);

  EXPECT_EQ(params[2].u.pd.num_choices, 26);
  EXPECT_EQ(params[2].u.pd.value, 17);
  EXPECT_EQ(params[2].u.pd.dephault, 17);
  const std::vector<std::string> patterns = params.popupChoices(2);
  ASSERT_EQ(patterns.size(), 26u);
  EXPECT_EQ(patterns[0], "Threshold");
  EXPECT_EQ(patterns[6], "Jarvis, Judice & Ninke");
  EXPECT_EQ(patterns[16], "Bayer 8x8");
  EXPECT_EQ(patterns[25], "Diagonal 5x5");
  const std::vector<std::string> swatches = params.popupChoices(13);
  ASSERT_EQ(swatches.size(), 22u);
  EXPECT_EQ(params[13].u.pd.value, 6);
  EXPECT_EQ(swatches[5], "6-bit RGB");
  EXPECT_EQ(swatches[21], "Web Safe");

  for (std::size_t i : {4, 5, 7, 8, 9}) {
    const PF_FloatSliderDef& slider = params[i].u.fs_d;
    EXPECT_EQ(slider.value, 0.0);
    EXPECT_EQ(slider.valid_min, -1000.0f);
    EXPECT_EQ(slider.valid_max, 1000.0f);
    EXPECT_EQ(slider.slider_min, -100.0f);
    EXPECT_EQ(slider.slider_max, 100.0f);
    EXPECT_EQ(slider.curve_tolerance, 0.05f);
    EXPECT_EQ(slider.precision, i < 7 ? 0 : 2) << i;
    EXPECT_EQ(slider.display_flags, i < 7 ? 0 : PF_ValueDisplayFlag_PERCENT) << i;
  }
  const PF_FixedSliderDef& scale = params[6].u.fd;
  EXPECT_EQ(scale.value, 65536);
  EXPECT_EQ(scale.dephault, 65536);
  EXPECT_EQ(scale.valid_min, 65536);
  EXPECT_EQ(scale.valid_max, 6553600);
  EXPECT_EQ(scale.slider_max, 655360);
  EXPECT_STREQ(params[15].u.button_d.u.namesptr, "Reset palette");
}

TEST(ParamsTest, ValuesStayWithinWhatTheControlsAllow) {
  ParamSet params = DefaultEffectParams();
  EXPECT_THROW(params.setPopup(2, 0), std::out_of_range);
  EXPECT_THROW(params.setPopup(2, 27), std::out_of_range);
  EXPECT_THROW(params.setPopup(18, 1), std::out_of_range);
  EXPECT_THROW(params.setPopup(4, 1), std::invalid_argument);
  params.setPopup(2, 26);
  EXPECT_EQ(params[2].u.pd.value, 26);

  params.setFloat(4, 250.0);
  EXPECT_EQ(params[4].u.fs_d.value, 250.0);
  params.setFloat(7, -2500.0);
  EXPECT_EQ(params[7].u.fs_d.value, -1000.0);
  params.setFixed(6, 200 * 65536);
  EXPECT_EQ(params[6].u.fd.value, 100 * 65536);
  EXPECT_THROW(params.setFixed(4, 65536), std::invalid_argument);
  EXPECT_THROW(params.setFloat(6, 1.0), std::invalid_argument);
}

TEST(ParamsTest, CopiesOwnTheirStringsAndTheArrayEndsWithNull) {
  auto original = std::make_unique<ParamSet>(DefaultEffectParams());
  ParamSet copy(*original);
  EXPECT_NE(copy[2].u.pd.u.namesptr, (*original)[2].u.pd.u.namesptr);
  original.reset();
  EXPECT_EQ(copy.popupChoices(13)[7], "PICO-8");
  EXPECT_STREQ(copy[15].u.button_d.u.namesptr, "Reset palette");

  PF_ParamDef** array = copy.array();
  for (std::size_t i = 0; i < 18; ++i) EXPECT_EQ(array[i], &copy[i]);
  EXPECT_EQ(array[18], nullptr);
}

TEST_F(FakeEffectTest, ParameterSetUpFillsTheRegistry) {
  ParamSet registry;
  PF_ParamDef layer{};
  layer.param_type = PF_Param_LAYER;
  registry.add(layer);
  PF_InData in = host.makeInData(&registry);
  PF_OutData out{};
  ASSERT_EQ(host.call(effect.entryPoint(), PF_Cmd_PARAMS_SETUP, in, out, nullptr, nullptr, nullptr),
            PF_Err_NONE);
  EXPECT_EQ(out.num_params, 3);
  ASSERT_EQ(registry.size(), 3u);
  EXPECT_STREQ(registry[1].name, "Channel");
  EXPECT_EQ(registry.popupChoices(1), (std::vector<std::string>{"Red", "Green", "Blue"}));
  EXPECT_EQ(registry[2].param_type, PF_Param_FLOAT_SLIDER);
  EXPECT_EQ(registry.optionsButtonName, "Load Things");
  EXPECT_EQ(host.releaseCount(kPFEffectUISuite), 1);
  EXPECT_TRUE(host.problems().empty());

  // Only appending is allowed, and only during parameter set-up.
  {
    Host::Scope scope(host);
    EXPECT_EQ(in.inter.add_param(in.effect_ref, 7, &registry[2]), PF_Err_INVALID_INDEX);
    EXPECT_EQ(in.inter.add_param(in.effect_ref, 3, &registry[2]), PF_Err_NONE);
  }
  fake::Script late{fake::Action::AddParamLate};
  run(late, &registry);
  EXPECT_EQ(late.err, PF_Err_INVALID_CALLBACK);
  EXPECT_EQ(registry.size(), 4u);
  EXPECT_TRUE(OneProblemMentioning(host, "add_param during command 17"));
}

TEST_F(FakeEffectTest, UIUpdatesAreRecordedWithoutChangingTheParameter) {
  Instance instance(effect);
  ASSERT_EQ(instance.command(PF_Cmd_UPDATE_PARAMS_UI), PF_Err_NONE);
  ASSERT_EQ(instance.params().uiUpdates.size(), 1u);
  EXPECT_EQ(instance.params().uiUpdates[0].index, 2);
  EXPECT_STREQ(instance.params().uiUpdates[0].def.name, "Renamed");
  EXPECT_STREQ(instance.params()[2].name, "Pattern");
  EXPECT_EQ(host.suitesHeld(), 0);
  EXPECT_TRUE(host.problems().empty());
}

}  // namespace
}  // namespace minihost
