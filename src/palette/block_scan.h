// The search's block scan built for every CPU, 4 lanes wide: the one both nearest-colour searches (the grid
// search and the tree) end in. Private to the palette library. (The lookups of many points at once are
// built for each instruction set by the rows: they take vectors wider than the baseline ABI passes.)
#pragma once

#define PALETTRIX_ISA_NAMESPACE nearest_baseline
#define PALETTRIX_LANES 4
#define PALETTRIX_BLOCK_SCAN_ONLY
#include "palette/nearest_lanes.inc"
#undef PALETTRIX_BLOCK_SCAN_ONLY
#undef PALETTRIX_LANES
#undef PALETTRIX_ISA_NAMESPACE
