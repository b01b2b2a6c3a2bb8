// The driver every front end shares, on the effect as built: controls by label and type, Scale in 16.16,
// and frames through render copies that follow each change.
#include "driver/effect_driver.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "minihost/host_error.h"

namespace {

using Rgb = std::array<int, 3>;

minihost::World Opaque(const std::vector<Rgb>& colors) {
  minihost::World world(static_cast<A_long>(colors.size()), 1, minihost::Depth::Eight);
  for (std::size_t i = 0; i < colors.size(); ++i) {
    const Rgb& c = colors[i];
    world.pixel8(static_cast<A_long>(i), 0) = {255, static_cast<A_u_char>(c[0]), static_cast<A_u_char>(c[1]),
                                               static_cast<A_u_char>(c[2])};
  }
  return world;
}

std::vector<Rgb> Render(driver::EffectDriver& effect, minihost::World& input) {
  minihost::World output(input.width(), input.height(), input.depth());
  EXPECT_EQ(effect.render(input, output), PF_Err_NONE);
  std::vector<Rgb> colors;
  for (A_long x = 0; x < output.width(); ++x) {
    const PF_Pixel8& p = output.pixel8(x, 0);
    colors.push_back({p.red, p.green, p.blue});
  }
  return colors;
}

TEST(EffectDriver, ControlsAreFoundByLabelAndTypeAndScaleIsSixteenSixteen) {
  driver::EffectDriver effect(PALETTRIX_EFFECT_PATH);
  const std::size_t scale = effect.find("Scale", PF_Param_FIX_SLIDER);
  try {
    effect.find("Scale", PF_Param_FLOAT_SLIDER);
    ADD_FAILURE() << "a fixed-point slider was found as a float slider";
  } catch (const minihost::HostError& e) {
    EXPECT_EQ(std::string(e.what()), "the effect has no control \"Scale\"");
  }
  // 2.5 x 65536 = 163840; 1 + 2^-17 is 65536.5 steps, which rounds away from zero.
  effect.setFixed("Scale", 2.5);
  EXPECT_EQ(effect.params()[scale].u.fd.value, 163840);
  effect.setFixed("Scale", 1.0 + 0x1p-17);
  EXPECT_EQ(effect.params()[scale].u.fd.value, 65537);
  const driver::SliderRange range = effect.sliderRange("Scale", PF_Param_FIX_SLIDER);
  EXPECT_EQ(range.low, 1.0);
  EXPECT_EQ(range.high, 100.0);
  EXPECT_EQ(range.initial, 1.0);
  EXPECT_EQ(effect.sliderRange("Threshold Red", PF_Param_FLOAT_SLIDER).low, -1000.0);
}

// "1-bit Gray" takes (1, 179, 196) to black and (2, 201, 75) to white; a custom palette of red alone takes
// both to red. Each change reaches the frames after it, though the render copy was made before it.
TEST(EffectDriver, FramesAfterAChangeRenderWithIt) {
  driver::EffectDriver effect(PALETTRIX_EFFECT_PATH);
  effect.setPopup("Pattern", 1);  // "Threshold"
  effect.setPopup("Swatch", 2);   // "1-bit Gray"
  effect.renderConcurrently();
  minihost::World input = Opaque({{1, 179, 196}, {2, 201, 75}});
  const std::vector<Rgb> grey = {{0, 0, 0}, {255, 255, 255}};
  EXPECT_EQ(Render(effect, input), grey);

  effect.setCustomPalette({Color3(1.0f, 0.0f, 0.0f)});
  EXPECT_EQ(effect.popup("Swatch"), 2);  // the colours alone leave the swatch
  effect.setPopup("Swatch", 1);          // "Custom"
  EXPECT_EQ(Render(effect, input), (std::vector<Rgb>{{255, 0, 0}, {255, 0, 0}}));
  EXPECT_EQ(effect.customPalette().size(), 1u);

  effect.setPopup("Swatch", 2);
  EXPECT_EQ(Render(effect, input), grey);
}

}  // namespace
