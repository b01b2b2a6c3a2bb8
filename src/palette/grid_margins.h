// The margins the nearest-colour grid builder allows for rounding, shared by its reference code
// (palette/nearest_color_search.cpp) and the code built per instruction set
// (palette/nearest_halves_avx2.cpp). Constants only: nothing here is defined as a symbol.
#pragma once

#include <cstddef>

namespace grid_margins {

// How the candidate lists allow for single-precision rounding. Every operation of the distance
// (dr * dr + dg * dg) + db * db rounds with relative error at most u = 2^-24 (a difference that would be
// subnormal is exact, sums of non-negative terms cannot cancel), so the computed distance d and the exact
// one D satisfy |d - D| <= 5u D + 2^-147, the last term for squares that underflow. A colour j can be the
// answer at x only if d_j(x) <= d_k(x) for every colour k, hence only if
//   D_j(x) - D_k(x) <= kRelative * (D_j(x) + D_k(x)) + kAbsolute.
// kRelative is thirty times 5u, which also covers the double-precision rounding of the build.
// (When d_k overflows to infinity the inequality still holds: D_k is then at least about the largest float,
// and d_j below it.)
constexpr double kRelative = 1e-5;
constexpr double kAbsolute = 1e-30;

// How many of the closest colours each candidate is held against. More prune little further and make the
// build of large palettes slower.
constexpr std::size_t kMaxRivals = 8;

}  // namespace grid_margins
