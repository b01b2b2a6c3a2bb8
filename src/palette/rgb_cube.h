// RGB-cube palettes: each channel independently snapped to one of N + 1 evenly spaced levels.
#pragma once

#include "palette/color.h"
#include "palette/rounding.h"

// A true division by N, not a product with 1/N: for N = 3, 5 and 7 the two differ in the last bit.
// Nothing is clamped: 1.6 under N = 1 gives 2.0.
inline Color3& QuantizeRgbCube(Color3& out, const Color3& in, float levels) {
  out.r = RoundHalfAway(in.r * levels) / levels;
  out.g = RoundHalfAway(in.g * levels) / levels;
  out.b = RoundHalfAway(in.b * levels) / levels;
  return out;
}
