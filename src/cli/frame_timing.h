// When the frames of an animation start and how long they last, in the whole ticks its file format counts
// time in.
#pragma once

#include <cstddef>

// The start of frame `k` of a clip at `numerator` / `denominator` frames a second, rounded to the nearest
// tick of 1 / `ticksPerSecond` s, in whole arithmetic.
constexpr long long FrameStart(std::size_t k, long numerator, long denominator, long ticksPerSecond) {
  return (2 * static_cast<long long>(k) * ticksPerSecond * denominator + numerator) /
         (2 * static_cast<long long>(numerator));
}

// How long frame `k` lasts: the difference of its rounded start and the next frame's, so the rounding never
// adds up over a clip (at 30 fps in hundredths: 3, 4, 3, 3, 4, 3, ...).
constexpr long long FrameTicks(std::size_t k, long numerator, long denominator, long ticksPerSecond) {
  return FrameStart(k + 1, numerator, denominator, ticksPerSecond) -
         FrameStart(k, numerator, denominator, ticksPerSecond);
}
