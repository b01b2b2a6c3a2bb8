// The effect as minihost runs it through an instance's life: the controls a new instance shows, the
// options button, the custom palette through save, load and duplicate, and nothing left at the end.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "minihost/saved_state.h"
#include "plugin/param_indices.h"
#include "support/effect_under_test.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Colour components as the flat form stores them, typed as little-endian IEEE-754 floats.
const Bytes kZero = {0x00, 0x00, 0x00, 0x00};
const Bytes kOne = {0x00, 0x00, 0x80, 0x3F};
const Bytes kHalf = {0x00, 0x00, 0x00, 0x3F};
const Bytes kQuarter = {0x00, 0x00, 0x80, 0x3E};
const Bytes kThreeQuarters = {0x00, 0x00, 0x40, 0x3F};

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}

// Red (1, 0, 0), azure (0, 0.5, 1) and sage (0.25, 0.75, 0.5), in that order.
const Bytes kThreeColours = Concat({kOne, kZero, kZero, kZero, kHalf, kOne, kQuarter, kThreeQuarters, kHalf});

// A saved state of the effect on "Threshold" and "Custom", holding `flat` as its palette.
Bytes CustomState(minihost::Effect& effect, const Bytes& flat) {
  minihost::ParamSet params = effect.registeredParams();
  params.setPopup(kParamPattern, "Threshold");
  params.setPopup(kParamSwatch, "Custom");
  return minihost::EncodeSavedState(params, flat);
}

struct Rgb {
  A_u_char red, green, blue;
  bool operator==(const Rgb&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Rgb& rgb) {
  return out << '(' << int{rgb.red} << ", " << int{rgb.green} << ", " << int{rgb.blue} << ')';
}

// Renders one row of 8-bit pixels and gives back what came out; alpha must pass through.
std::vector<Rgb> RenderRow(minihost::Instance& instance, const std::vector<Rgb>& row) {
  const auto width = static_cast<A_long>(row.size());
  minihost::World input(width, 1, minihost::Depth::Eight);
  minihost::World output(width, 1, minihost::Depth::Eight);
  for (A_long x = 0; x < width; ++x) {
    const Rgb& in = row[static_cast<std::size_t>(x)];
    input.pixel8(x, 0) = PF_Pixel8{static_cast<A_u_char>(200 + x), in.red, in.green, in.blue};
  }
  EXPECT_EQ(instance.render(input, output), PF_Err_NONE);
  std::vector<Rgb> out;
  for (A_long x = 0; x < width; ++x) {
    const PF_Pixel8& pixel = output.pixel8(x, 0);
    EXPECT_EQ(pixel.alpha, 200 + x);
    out.push_back(Rgb{pixel.red, pixel.green, pixel.blue});
  }
  return out;
}

// Inputs and what "Threshold" on the three colours makes of them, each the nearest by squared distance:
// white is 2, 1.25 and 0.875 from the three, so sage; 0.5 is written as 127.
const std::vector<Rgb> kInputs = {{250, 10, 0}, {0, 100, 200}, {64, 191, 128}, {255, 255, 255}};
const std::vector<Rgb> kThreeColourOutputs = {{255, 0, 0}, {0, 127, 255}, {63, 191, 127}, {63, 191, 127}};

void ExpectNothingLeft(const minihost::Host& host) {
  EXPECT_EQ(host.liveHandles(), 0u);
  EXPECT_EQ(host.suitesHeld(), 0);
  const std::vector<std::string> problems = host.problems();
  EXPECT_TRUE(problems.empty()) << (problems.empty() ? "" : problems.front());
}

}  // namespace

TEST(InstanceLife, ANewInstanceShowsTheRegisteredControlsWithTheirDefaults) {
  LoadedEffect loaded;
  const minihost::ParamSet& params = loaded.instance.params();
  ASSERT_EQ(loaded.effect.registeredParams().size(), 18u);
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
    EXPECT_EQ(params[i].uu.id, static_cast<A_long>(i)) << i;
    EXPECT_EQ(params[i].ui_flags, PF_PUI_NONE) << i;
  }
  EXPECT_EQ(params[0].u.ld.dephault, PF_LayerDefault_MYSELF);

  EXPECT_EQ(params[2].u.pd.num_choices, 26);
  EXPECT_EQ(params[2].u.pd.value, 17);
  EXPECT_EQ(params[2].u.pd.dephault, 17);
  EXPECT_STREQ(params[2].u.pd.u.namesptr,
               "Threshold|Floyd Steinberg|False Floyd Steinberg|Filter Lite|Zhigang Fan|Shiau-Fan|"
               "Jarvis, Judice & Ninke|Stucki|Burkes|Sierra|Two Row Sierra|Atkinson|Bayer 2x2|Bayer 3x3|"
               "Bayer 5x3|Bayer 4x4|Bayer 8x8|Cluster Dot 4x4|Cluster Dot 8x8|Horizontal 2x2|Horizontal 8x1|"
               "Horizontal 12x4|Vertical 2x2|Vertical 1x8|Vertical 4x12|Diagonal 5x5");
  EXPECT_EQ(params.popupChoices(2)[16], "Bayer 8x8");
  EXPECT_EQ(params[13].u.pd.num_choices, 22);
  EXPECT_EQ(params[13].u.pd.value, 6);
  EXPECT_EQ(params[13].u.pd.dephault, 6);
  EXPECT_STREQ(params[13].u.pd.u.namesptr,
               "Custom|1-bit Gray|2-bit Gray|4-bit Gray|3-bit RGB|6-bit RGB|9-bit RGB|PICO-8|Gameboy|AppleII|"
               "CGA|VGA 2-bit|VGA 8-bit|VIC-20|Amstrad CPC|MSX|ZX Spectrum|Commodore 64|"
               "Commodore 64 - Orrel|NES|FamiCube - Iven|Web Safe");
  EXPECT_EQ(params.popupChoices(13)[5], "6-bit RGB");

  for (std::size_t i : {4, 5, 7, 8, 9}) {
    const PF_FloatSliderDef& slider = params[i].u.fs_d;
    EXPECT_EQ(slider.value, 0.0) << i;
    EXPECT_EQ(slider.dephault, 0.0f) << i;
    EXPECT_EQ(slider.valid_min, -1000.0f) << i;
    EXPECT_EQ(slider.valid_max, 1000.0f) << i;
    EXPECT_EQ(slider.slider_min, -100.0f) << i;
    EXPECT_EQ(slider.slider_max, 100.0f) << i;
    EXPECT_EQ(slider.curve_tolerance, 0.05f) << i;
    EXPECT_EQ(slider.precision, i < 7 ? 0 : 2) << i;
    EXPECT_EQ(slider.display_flags, i < 7 ? 0 : PF_ValueDisplayFlag_PERCENT) << i;
  }
  const PF_FixedSliderDef& scale = params[6].u.fd;
  EXPECT_EQ(scale.value, 0x10000);
  EXPECT_EQ(scale.dephault, 0x10000);
  EXPECT_EQ(scale.valid_min, 0x10000);
  EXPECT_EQ(scale.valid_max, 100 * 0x10000);
  EXPECT_EQ(scale.slider_min, 0x10000);
  EXPECT_EQ(scale.slider_max, 10 * 0x10000);
  EXPECT_STREQ(params[15].u.button_d.u.namesptr, "Reset palette");

  // Typed values go as far as the valid range, beyond the slider's.
  loaded.instance.params().setFloat(kParamOffsetX, 250.0);
  EXPECT_EQ(params[kParamOffsetX].u.fs_d.value, 250.0);
  loaded.instance.params().setFixed(kParamScale, 150 * 0x10000);
  EXPECT_EQ(params[kParamScale].u.fd.value, 100 * 0x10000);

  EXPECT_EQ(loaded.effect.optionsButtonName(), "Load Palette");
  EXPECT_FALSE(loaded.effect.paramsSetupMessage().has_value());
  EXPECT_TRUE(loaded.host.problems().empty());
}

TEST(InstanceLife, TheOptionsButtonIsNamedOutsidePremiereOnly) {
  LoadedEffect premiere(minihost::Host::Options{1, PF_ApplID_PremierePro});
  EXPECT_EQ(premiere.effect.optionsButtonName(), "");
  EXPECT_EQ(premiere.host.acquireCount(kPFEffectUISuite), 0);
  EXPECT_EQ(premiere.effect.registeredParams().size(), 18u);
  EXPECT_FALSE(premiere.effect.paramsSetupMessage().has_value());

  // Without the UI suite registration goes on, and the effect says why the button keeps its text.
  minihost::Host host(minihost::Host::Options{1, PF_ApplID_AfterEffects});
  host.refuseSuite(kPFEffectUISuite);
  minihost::Effect effect(host, EffectLibraryPath());
  EXPECT_EQ(effect.optionsButtonName(), "");
  EXPECT_EQ(effect.paramsSetupMessage().value_or("(none)"), "Not able to acquire AEFX Suite.");
  EXPECT_EQ(effect.registeredParams().size(), 18u);
  EXPECT_TRUE(host.problems().empty());
}

TEST(InstanceLife, ANewInstanceHoldsBlackAndSavesItAsTwelveZeroBytes) {
  LoadedEffect loaded;
  EXPECT_EQ(loaded.host.handleSize(loaded.instance.sequenceData()), 8u);
  const Bytes saved = loaded.instance.save();
  // Header 12, 18 records of 8 with values for two popups (4), five float sliders (8) and the
  // scale (4), the length 8, and one colour of 12.
  EXPECT_EQ(saved.size(), 12u + 18 * 8 + 2 * 4 + 5 * 8 + 4 + 8 + 12);
  const minihost::SavedState state = minihost::DecodeSavedState(saved);
  EXPECT_EQ(state.sequenceData, Concat({kZero, kZero, kZero}));
  EXPECT_EQ(state.values[kParamPattern].integer, 17);
  EXPECT_EQ(state.values[kParamSwatch].integer, 6);
  EXPECT_EQ(state.values[kParamScale].integer, 0x10000);
  EXPECT_EQ(state.values[kParamThresholdBlue].real, 0.0);
  // The instance goes on with a live palette.
  EXPECT_EQ(loaded.host.handleSize(loaded.instance.sequenceData()), 8u);
  EXPECT_EQ(loaded.instance.save(), saved);
}

TEST(InstanceLife, AThreeColourPaletteComesBackInOrderAndRendersAsCustom) {
  LoadedEffect loaded;
  const Bytes saved = CustomState(loaded.effect, kThreeColours);
  minihost::Instance instance = minihost::Instance::load(loaded.effect, saved);
  EXPECT_EQ(instance.params()[kParamPattern].u.pd.value, 1);
  EXPECT_EQ(instance.params()[kParamSwatch].u.pd.value, 1);
  EXPECT_EQ(RenderRow(instance, kInputs), kThreeColourOutputs);
  EXPECT_EQ(instance.save(), saved);
  EXPECT_EQ(instance.save(), saved);
  EXPECT_EQ(RenderRow(instance, kInputs), kThreeColourOutputs);

  // The applied instance still holds its black: everything becomes black under "Custom".
  loaded.instance.params().setPopup(kParamPattern, "Threshold");
  loaded.instance.params().setPopup(kParamSwatch, "Custom");
  EXPECT_EQ(RenderRow(loaded.instance, kInputs), (std::vector<Rgb>(4, Rgb{0, 0, 0})));
}

TEST(InstanceLife, ADuplicateHasAPaletteOfItsOwn) {
  LoadedEffect loaded;
  const Bytes saved = CustomState(loaded.effect, kThreeColours);
  auto original = std::make_unique<minihost::Instance>(minihost::Instance::load(loaded.effect, saved));
  minihost::Instance copy = original->duplicate();
  ASSERT_NE(copy.sequenceData(), original->sequenceData());
  void* originalList = nullptr;
  void* copyList = nullptr;
  std::memcpy(&originalList, loaded.host.handleData(original->sequenceData()), sizeof originalList);
  std::memcpy(&copyList, loaded.host.handleData(copy.sequenceData()), sizeof copyList);
  EXPECT_NE(originalList, copyList);
  EXPECT_EQ(RenderRow(*original, kInputs), kThreeColourOutputs);
  EXPECT_EQ(original->save(), saved);

  // The copy outlives the original's palette.
  original.reset();
  EXPECT_EQ(RenderRow(copy, kInputs), kThreeColourOutputs);
  EXPECT_EQ(copy.save(), saved);
  EXPECT_EQ(loaded.host.liveHandles(), 2u);  // the copy's and the applied instance's
}

TEST(InstanceLife, AFullLifeLeavesNothingBehind) {
  for (unsigned threads : {1u, 4u}) {
    minihost::Host host(minihost::Host::Options{threads, PF_ApplID_AfterEffects});
    {
      minihost::Effect effect(host, EffectLibraryPath());
      minihost::Instance applied(effect);
      EXPECT_EQ(RenderRow(applied, kInputs).size(), kInputs.size());
      const Bytes saved = applied.save();
      minihost::Instance loaded = minihost::Instance::load(effect, CustomState(effect, kThreeColours));
      minihost::Instance copy = loaded.duplicate();
      EXPECT_EQ(RenderRow(copy, kInputs), kThreeColourOutputs);
      minihost::Instance reloaded = minihost::Instance::load(effect, saved);
      EXPECT_EQ(reloaded.save(), saved);
      applied.remove();
      loaded.remove();
    }
    ExpectNothingLeft(host);
    EXPECT_EQ(host.acquireCount(kPFHandleSuite), host.releaseCount(kPFHandleSuite));
  }
}
