// The grid builder's choice of candidates for the eight halves of a box (NearestColorGridBuilder's
// selectHalvesOf in palette/nearest_color_search.cpp, the reference), four halves to a vector. Built with
// AVX2's flags in a file of its own and called only where the CPU has AVX2 (NearestAvx2Available). The same
// double-precision operations in the same order as the reference, lane by lane, so every decision is the
// reference's, bit for bit.
#pragma once

#include <cstddef>
#include <cstdint>

namespace nearest_halves_avx2 {

// The bit of each colour among the strongest rivals in half `half`, where the colours `near` (more than
// `rivals` of them) are near: the `rivals` of them with the least greatest distances, greatest[i] for
// colour i there. The reference's own choice, handed in so that the ties fall the same way.
typedef std::uint32_t (*StrongestRivals)(void* context, std::uint32_t near, const double* greatest, int half);

// The box's halves span [lo[c][d], hi[c][d]] along channel c (d = 0, 1), and colour i of the list is
// (channel[0][i], channel[1][i], channel[2][i]), i < count <= kMost. Bit i of kept[(dz * 2 + dy) * 2 + dx]
// is set where colour i may win in half (dx, dy, dz).
constexpr std::size_t kMost = 32;
void SelectHalves(const double* const channel[3], std::size_t count, const double lo[3][2],
                  const double hi[3][2], StrongestRivals strongest, void* context, std::uint32_t kept[8]);

}  // namespace nearest_halves_avx2

namespace nearest_halves_check {

// The grid builder's choice for one box of up to nearest_halves_avx2::kMost colours, as above: by the
// reference code or, with `wide`, the AVX2 code (which the CPU must run). Defined with the builder, for
// the check of the one against the other.
void SelectHalves(bool wide, const double* const channel[3], std::size_t count, const double lo[3][2],
                  const double hi[3][2], std::uint32_t kept[8]);

}  // namespace nearest_halves_check
