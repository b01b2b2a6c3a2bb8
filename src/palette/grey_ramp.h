// Grey-ramp palettes: one grey level out of `factor` + 1, written to all three channels.
#pragma once

#include "palette/color.h"
#include "palette/rounding.h"

// The luma weights add up to 1.03, so white reaches 1.03 and rounds to the top level like any bright
// grey. Nothing is clamped: inputs outside 0 to 1 may give levels outside 0 to 1. `factor` is a power of
// two, so the level step 1 / factor is exact.
inline Color3& QuantizeGreyRamp(Color3& out, const Color3& in, float factor, float step) {
  const float luma = (0.59f * in.g + 0.33f * in.r) + 0.11f * in.b;
  const float level = RoundHalfAway(factor * luma) * step;
  out = Color3(level, level, level);
  return out;
}
