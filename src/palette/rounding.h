// Rounding rule shared by the generated palettes.
#pragma once

#include <cmath>
#include <cstdint>

// Nearest integer as a float, halves away from zero: 0.5 -> 1, 1.5 -> 2, -0.5 -> -1, -0.25 -> -0.
// Worked out here instead of calling std::round: mingw-w64's runtime adds 0.5 before it truncates, which
// takes 0.49999997 up to 1, and the effect must round alike on every platform.
inline float RoundHalfAway(float x) {
  if (!(std::fabs(x) < 8388608.0f)) return x;  // 2^23 and beyond every float is whole; also inf and NaN
  const float truncated = static_cast<float>(static_cast<int32_t>(x));
  const float fraction = x - truncated;  // exact at these magnitudes
  if (fraction >= 0.5f) return truncated + 1.0f;
  if (fraction <= -0.5f) return truncated - 1.0f;
  return std::copysign(truncated, x);
}
