// A colour as four single-precision lanes (red, green, blue, and a lane kept at zero), for the error
// diffusion walk: one vector operation does what three scalar ones do, lane by lane with the same IEEE
// result. Every CPU the effect runs on has these 128-bit operations. The functions have internal linkage,
// so no copy of them built elsewhere can stand in for this one.
#pragma once

#include <cstdint>

#include "palette/color.h"

namespace lanes4 {
namespace {

typedef float F4 __attribute__((vector_size(16)));
typedef std::int32_t I4 __attribute__((vector_size(16)));

inline F4 From(const Color3& c) { return F4{c.r, c.g, c.b, 0.0f}; }
inline Color3 ToColor(F4 v) { return Color3(v[0], v[1], v[2]); }
inline F4 Splat(float v) { return F4{v, v, v, 0.0f}; }

// RoundHalfAway lane by lane: truncate, step up or down by the fraction, keep the input's sign; values
// from 2^23 on (and inf, NaN) are whole already and pass unchanged.
inline F4 RoundHalfAway(F4 x) {
  const F4 magnitude = (F4)((I4)x & 0x7FFFFFFF);
  const I4 small = magnitude < 8388608.0f;
  const F4 xs = (F4)((I4)x & small);
  const F4 truncated = __builtin_convertvector(__builtin_convertvector(xs, I4), F4);
  const F4 fraction = xs - truncated;
  const F4 step = (F4)((I4)F4{1.0f, 1.0f, 1.0f, 1.0f} & (fraction >= 0.5f)) -
                  (F4)((I4)F4{1.0f, 1.0f, 1.0f, 1.0f} & (fraction <= -0.5f));
  const F4 stepped = truncated + step;
  const F4 signedResult = (F4)(((I4)stepped & 0x7FFFFFFF) | ((I4)xs & (-2147483647 - 1)));
  return (F4)(((I4)signedResult & small) | ((I4)x & ~small));
}

// FloatToChannel lane by lane: scaled, truncated toward zero, held to 0..full scale; NaN gives 0.
inline I4 ToChannels(F4 v, float fullScale) {
  const F4 scaled = v * F4{fullScale, fullScale, fullScale, fullScale};
  const I4 positive = scaled > 0.0f;
  const I4 full = scaled >= fullScale;
  const F4 held =
      (F4)(((I4)scaled & positive & ~full) | ((I4)F4{fullScale, fullScale, fullScale, fullScale} & full));
  return __builtin_convertvector(held, I4);
}

}  // namespace
}  // namespace lanes4
