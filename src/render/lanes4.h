// A colour as four single-precision lanes (red, green, blue, and a lane kept at zero), for the error
// diffusion walk: one vector operation does what three scalar ones do, lane by lane with the same IEEE
// result. Every CPU the effect runs on has these 128-bit operations. The functions have internal linkage,
// so no copy of them built elsewhere can stand in for this one. The rounding and channel rules are the
// shared ones of palette/float_rules.inc, at this vector type.
#pragma once

#include <cstdint>

#include "palette/color.h"
#include "palette/rounding.h"

namespace lanes4 {
namespace {

typedef float F4 __attribute__((vector_size(16)));
typedef std::int32_t I4 __attribute__((vector_size(16)));

inline F4 From(const Color3& c) { return F4{c.r, c.g, c.b, 0.0f}; }
inline Color3 ToColor(F4 v) { return Color3(v[0], v[1], v[2]); }
inline F4 Splat(float v) { return F4{v, v, v, 0.0f}; }

// The channels of a colour: HeldChannel lane by lane, truncated.
inline I4 ToChannels(F4 v, float fullScale) { return __builtin_convertvector(HeldChannel(v, fullScale), I4); }

}  // namespace
}  // namespace lanes4
