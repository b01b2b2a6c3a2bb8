// How control values become the frame's settings.
#include <gtest/gtest.h>

#include "minihost/params.h"
#include "plugin/param_indices.h"
#include "plugin/render_command.h"
#include "support/effect_under_test.h"

namespace {

// The controls as the effect registers them, with their defaults.
minihost::ParamSet RegisteredParams() {
  minihost::Host host;
  minihost::Effect effect(host, EffectLibraryPath());
  return effect.registeredParams();
}

RenderSettings Fill(minihost::ParamSet& params) {
  RenderSettings settings;
  FillRenderSettings(settings, params.array());
  return settings;
}

}  // namespace

TEST(RenderSettings, PopupValuesBecomeZeroBasedIndices) {
  minihost::ParamSet params = RegisteredParams();
  params.setPopup(kParamPattern, 1);
  params.setPopup(kParamSwatch, 22);
  const auto settings = Fill(params);
  EXPECT_EQ(settings.pattern, 0);
  EXPECT_EQ(settings.palette, 21);
}

TEST(RenderSettings, OffsetsTruncateTowardZeroWithTheHorizontalSignInverted) {
  minihost::ParamSet params = RegisteredParams();
  const struct {
    double x, y;
    int32_t offsetX, offsetY;
  } cases[] = {{3.9, 3.9, -3, 3}, {-3.9, -3.9, 3, -3}, {0.99, -0.99, 0, 0}, {1000, -1000, -1000, -1000}};
  for (const auto& c : cases) {
    params.setFloat(kParamOffsetX, c.x);
    params.setFloat(kParamOffsetY, c.y);
    const auto settings = Fill(params);
    EXPECT_EQ(settings.offsetX, c.offsetX) << c.x;
    EXPECT_EQ(settings.offsetY, c.offsetY) << c.y;
  }
}

TEST(RenderSettings, ScaleRoundsToTheNearestIntegerHalvesUp) {
  minihost::ParamSet params = RegisteredParams();
  const struct {
    PF_Fixed fixed;
    int64_t scale;
  } cases[] = {{0x28000, 3}, {0x27FFF, 2}, {100 << 16, 100}, {1 << 16, 1}, {0x18000, 2}};
  for (const auto& c : cases) {
    params.setFixed(kParamScale, c.fixed);
    EXPECT_EQ(Fill(params).scale, c.scale) << c.fixed;
  }
}

TEST(RenderSettings, ThresholdsAreDividedInDoublePrecisionThenRoundedOnce) {
  minihost::ParamSet params = RegisteredParams();
  params.setFloat(kParamThresholdRed, 45.67);
  params.setFloat(kParamThresholdGreen, 50.0);
  params.setFloat(kParamThresholdBlue, -100.0);
  const auto settings = Fill(params);
  // 45.67 / 100 in double, rounded to float, is the float nearest 0.4567; a single-precision division
  // would give the float below it.
  EXPECT_EQ(settings.threshold.r, 0.4567f);
  EXPECT_NE(settings.threshold.r, 45.67f / 100.0f);
  EXPECT_EQ(settings.threshold.g, 0.5f);
  EXPECT_EQ(settings.threshold.b, -1.0f);
}
