// The tree's scans of a run of blocks (see nearest_baseline::LeastKey and LeastKeyAnyOrder in
// palette/nearest_lanes.inc), 8 lanes wide: two blocks side by side in each vector. Built with AVX2's flags
// in a file of their own and called only where the CPU has AVX2 (NearestAvx2Available). Each gives the same
// key as the baseline scan, bit for bit: the least distance's bits << 32 | the first colour at it, kNoKey
// when no distance is below the largest float.
#pragma once

#include <cstdint>

#include "palette/nearest_color_grids.h"

namespace nearest_avx2 {

// Blocks whose lanes each meet their colours in palette order (blocks listed in palette order).
std::uint64_t LeastKey(const NearestGrids::Block* blocks, std::uint32_t count, float r, float g, float b);
// Blocks whose colours are in any order.
std::uint64_t LeastKeyAnyOrder(const NearestGrids::Block* blocks, std::uint32_t count, float r, float g,
                               float b);

}  // namespace nearest_avx2

// Whether this CPU runs the AVX2 scans.
bool NearestAvx2Available();
