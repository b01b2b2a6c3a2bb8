// Nearest-colour search that gives exactly what the linear NearestColor scan gives, for every input,
// but looks at only the few colours that can win near the input.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <vector>

#include "palette/color.h"

class NearestColorTree;
struct NearestGrids;

// Built once per palette; afterwards read-only, so any number of threads may query one object at once.
// Copies and moves are independent of the original.
//
// The answer is the first colour in palette order at the least single-precision distance
// (dr * dr + dg * dg) + db * db, where a distance that is NaN or not below the largest finite float is
// never taken. The search reproduces that rule bit for bit, ties and out-of-range inputs included.
class NearestColorSearch {
 public:
  // An empty palette: every query gives the input back.
  NearestColorSearch();
  explicit NearestColorSearch(std::span<const Color3> colors);
  // How the grids are built: with the widest instructions this CPU runs, or with the baseline ones only.
  // Either gives the same search, bit for bit; the baseline build is the reference the wider ones are
  // tested against.
  enum class Build : uint8_t { Widest, Baseline };
  NearestColorSearch(std::span<const Color3> colors, Build build);

  // The index of the colour NearestColor would take, or -1 when it would give the input back (empty
  // palette, NaN or infinite input, or every distance overflowing).
  int32_t find(const Color3& in) const;

  // find for the colour (r / 255.0f, g / 255.0f, b / 255.0f), as 8-bit pixels are turned into colours,
  // without the divisions.
  int32_t find8(uint8_t r, uint8_t g, uint8_t b) const;

  // What NearestColor writes: the colour found, or the input. `out` may be `in`.
  Color3& nearest(Color3& out, const Color3& in) const;

  // The search's grids, for its lookups of many points at once (palette/nearest_lanes.inc); their layout
  // is in palette/nearest_color_grids.h, which only the search and those lookups include. The shells
  // around the outer grid, which only error diffusion's far overshoot reaches, are built on first use:
  // `grids` leaves them to `find`, `gridsWithShells` builds them if need be and includes them.
  NearestGrids grids() const;
  NearestGrids gridsWithShells() const;

  // Whether the search has a grid over the unit cube (palettes of up to a few thousand colours), and how
  // many cells it has.
  bool hasUnitGrid() const { return !unitCells_.empty(); }
  std::size_t unitCellCount() const { return unitCells_.empty() ? 0 : unitCells_.size() - 1; }

  // For a table of pixels over the unit grid's cells: cell k of [first, end) as colourWords[i] where colour
  // i answers all of the cell, else as `open` | (the cell's value for the lookups << openShift).
  void unitCellWords(const uint32_t* colorWords, uint32_t open, int openShift, std::size_t first,
                     std::size_t end, uint32_t* out) const;
  void unitCellWords(const uint64_t* colorWords, uint64_t open, int openShift, std::size_t first,
                     std::size_t end, uint64_t* out) const;

  std::span<const Color3> colors() const { return colors_; }
  std::size_t size() const { return colors_.size(); }

 private:
  friend class NearestColorGridBuilder;
  friend struct NearestGrids;

  // Up to four candidates side by side, in palette order, so that four distances are computed at once.
  // Unused lanes hold an infinite colour, whose distance is never taken, and index -1.
  struct alignas(64) Block {
    float r[4];
    float g[4];
    float b[4];
    int32_t index[4];
  };

  // A finer grid over the unit cube [0, 1]^3 (every colour the threshold and ordered patterns look up, and
  // most of those error diffusion does). A cell holds kUnitDirect | the index of the colour `find` gives
  // anywhere in the cell, when there is one; else 1 + the number of the one block that lists every colour
  // that can win anywhere in the cell, whose first colour at the least distance is the answer unless that
  // distance is not below the largest finite float; else 0. Where the cell leaves it open, `find` decides.
  // Palettes of more than a few thousand colours have no such grid: most of its cells would be left open.
  // One more cell, 0, follows the last, so that a 32-bit load at any cell stays inside.
  static constexpr uint16_t kUnitDirect = 0x8000;

  // The grid `find` looks in for points outside the unit grid, and the shells around it it looks in next,
  // innermost first, for points outside that (see NearestGrids). A cell of count 0 is answered by colour
  // `first` (-1 as unsigned for none); any other by the first colour at the least distance, below the
  // largest float, among the `count` blocks from blocks[first] on (else -1).
  // Palettes without a unit grid have one more kind, count kTreeCell, answered by the tree, which starts
  // from colour `first` (a colour the tree holds, near the cell) as its first guess.
  struct Cell {
    uint32_t first;
    uint32_t count;
  };

  // Marks an outer-grid cell whose candidates are too many for a list (see Cell).
  static constexpr uint32_t kTreeCell = 0xFFFFFFFFu;

  void buildUnitGrid(std::span<const uint32_t> distinct);

  // The unit grid's cell of a point of the unit cube: each channel times the cells per axis (exact, a power
  // of two), truncated, 1 itself in the last cell.
  uint32_t unitCellOf(float r, float g, float b) const {
    const int shift = unitShift_;
    const uint32_t last = (1u << shift) - 1;
    const float perAxis = static_cast<float>(1u << shift);
    const auto axis = [&](float v) { return std::min(static_cast<uint32_t>(v * perAxis), last); };
    return axis(r) | (axis(g) << shift) | (axis(b) << (2 * shift));
  }

  std::vector<Color3> colors_;
  bool wideBuild_ = false;  // see Build
  int unitShift_ = 0;
  std::vector<uint16_t> unitCells_;
  std::vector<Block> unitBlocks_;
  int cellsPerAxis_ = 1;
  float cellsPerUnit_ = 0.0f;
  float gridExtent_ = 1.0f;
  std::vector<Cell> cells_;
  std::vector<Block> cellBlocks_;
  // Coarser grids around it, innermost first; none for some palettes.
  struct Shell {
    float low = 0.0f;
    float perUnit = 0.0f;
    std::vector<Cell> cells;
    std::vector<Block> blocks;
  };
  // Only error diffusion's far overshoot needs them, so they are built on first use (the first frame of
  // error diffusion asks for them, or `find` meets a point beyond the grid), once, whichever thread asks
  // first; read-only afterwards, so copies share them. Null for palettes that get none.
  struct Shells {
    std::once_flag built;
    std::vector<Shell> shells;
  };
  std::shared_ptr<Shells> shells_;
  const std::vector<Shell>& shells() const;
  void buildShells() const;
  [[gnu::noinline]] int32_t findBeyondGrid(const Color3& in) const;
  // Palettes without a unit grid: every colour that can be taken, in a tree that answers crowded cells and
  // inputs outside the grid. Read-only once built, so copies share it.
  std::shared_ptr<const NearestColorTree> tree_;
  // Otherwise every colour that can be taken, for inputs outside the grid and the shells.
  std::vector<Block> allBlocks_;
  // For find8: the grid offset of each byte value along red, green and blue.
  std::array<uint32_t, 256> byteOffsetR_{};
  std::array<uint32_t, 256> byteOffsetG_{};
  std::array<uint32_t, 256> byteOffsetB_{};
};
