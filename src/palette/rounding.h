// Rounding rule shared by the generated palettes.
#pragma once

#include <cmath>

// Nearest integer as a float, halves away from zero: 0.5 -> 1, 1.5 -> 2, -0.5 -> -1.
inline float RoundHalfAway(float x) { return std::round(x); }
