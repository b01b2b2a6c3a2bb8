// The layout of the nearest-colour search's grids, for the search itself and its lookups of many points at
// once (palette/nearest_lanes.inc), and for nothing else. Plain data only: it is read by code built for
// each instruction set, which must not pick up a copy of any shared function.
#pragma once

#include <cstddef>
#include <cstdint>

#include "palette/color.h"
#include "palette/nearest_color_search.h"

struct NearestGrids {
  using Block = NearestColorSearch::Block;
  using Cell = NearestColorSearch::Cell;
  static constexpr std::uint16_t kUnitDirect = NearestColorSearch::kUnitDirect;
  static constexpr std::uint32_t kTreeCell = NearestColorSearch::kTreeCell;
  static constexpr int kMaxShells = 11;

  // The grid over the unit cube (cells null when the palette has none): 1 << shift cells per axis, cell
  // x | y << shift | z << 2 * shift of each channel times the cells per axis, truncated, the last cell
  // taking 1 itself.
  struct UnitGrid {
    const std::uint16_t* cells;
    const Block* blocks;
    int shift;
  };

  // The outer grid and each shell: `perAxis` cells a side from `low` in each channel, where a channel v has
  // the coordinate (v - low) * perUnit, a point lies in the grid when all three are at least 0 and below
  // `extent`, and then in cell (z * perAxis + y) * perAxis + x of the coordinates truncated.
  struct OuterGrid {
    const Cell* cells;
    const Block* blocks;
    int perAxis;
    float low;
    float perUnit;
    float extent;  // perAxis, as a float
  };

  UnitGrid unit;
  OuterGrid outer;
  OuterGrid shells[kMaxShells];  // innermost first; none unless asked for
  int shellCount;
  const Color3* colors;  // the palette
  std::size_t colorCount;
  const NearestColorSearch* search;  // for the points no grid decides
};
