// Grey-ramp palettes: one grey level out of Factor + 1, written to all three channels.
#pragma once

#include "palette/color.h"
#include "palette/rounding.h"

struct RenderSettings;

// The luma weights add up to 1.03, so white reaches 1.03 and rounds to the top level like any bright
// grey. Nothing is clamped: inputs outside 0 to 1 may give levels outside 0 to 1.
template <int Factor>
Color3& QuantizeGreyRamp(Color3& out, const Color3& in, const RenderSettings& /*settings*/) {
  static_assert(Factor > 0 && (Factor & (Factor - 1)) == 0, "the level step 1/Factor must be exact");
  constexpr float kFactor = static_cast<float>(Factor);
  constexpr float kStep = 1.0f / kFactor;
  const float luma = (0.59f * in.g + 0.33f * in.r) + 0.11f * in.b;
  const float level = RoundHalfAway(kFactor * luma) * kStep;
  out = Color3(level, level, level);
  return out;
}
