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
  // A step up, a step down or neither, without a branch on the data: error diffusion waits on this value
  // at every pixel. The sign is the input's (-0.25 gives -0); a step keeps it anyway.
  const float step = static_cast<float>(fraction >= 0.5f) - static_cast<float>(fraction <= -0.5f);
  return std::copysign(truncated + step, x);
}
