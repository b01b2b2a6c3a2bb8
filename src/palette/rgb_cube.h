// RGB-cube palettes: each channel independently snapped to one of N + 1 evenly spaced levels.
#pragma once

#include "palette/color.h"
#include "palette/rounding.h"

struct RenderSettings;

// A true division by N, not a product with 1/N: for N = 3, 5 and 7 the two differ in the last bit.
// Nothing is clamped: 1.6 under N = 1 gives 2.0.
template <int N>
Color3& QuantizeRgbCube(Color3& out, const Color3& in, const RenderSettings& /*settings*/) {
  constexpr float kLevels = static_cast<float>(N);
  out.r = RoundHalfAway(in.r * kLevels) / kLevels;
  out.g = RoundHalfAway(in.g * kLevels) / kLevels;
  out.b = RoundHalfAway(in.b * kLevels) / kLevels;
  return out;
}
