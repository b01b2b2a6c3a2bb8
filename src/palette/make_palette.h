// Palettes made to suit a picture: its colours counted by their 8-bit values, then gathered into clusters
// whose mean colours become the palette.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "palette/color.h"

// How often each 8-bit colour occurs. Colours are packed 0xRRGGBB.
class ColorCounts {
 public:
  ColorCounts();

  void add(std::uint32_t rgb, std::uint64_t count = 1);

  std::size_t distinct() const { return used_; }
  std::uint64_t total() const { return total_; }

  struct Entry {
    std::uint32_t rgb;
    std::uint64_t count;
  };
  // Every colour counted, with its count, in increasing order of its packed value.
  std::vector<Entry> entries() const;

  // Calls `visit(rgb, count)` for every colour counted, in no particular order.
  template <typename Visit>
  void forEach(Visit&& visit) const {
    for (std::size_t i = 0; i < keys_.size(); ++i) {
      if (keys_[i] != 0) visit(keys_[i] - 1, counts_[i]);
    }
  }

 private:
  void grow();
  std::size_t slot(std::uint32_t key) const;

  std::vector<std::uint32_t> keys_;  // rgb + 1; 0 marks a free slot
  std::vector<std::uint64_t> counts_;
  std::size_t used_ = 0;
  std::uint64_t total_ = 0;
  unsigned bits_ = 0;  // the table holds 2^bits_ slots
};

// How the clustering finds each point's nearest centre: Pruned skips the centres that the triangle
// inequality rules out, Plain measures every one. Both give the same palette; Plain is the reference.
enum class CentreSearch { Pruned, Plain };

// A palette of at most `colors` colours (at least 1) for the counted colours, each channel an 8-bit value
// k / 255.0f, the most used colour first (equal counts: the lower packed value first):
// - with no more distinct colours than `colors`, exactly those colours;
// - else the colours (or, when there are more than kMostClusterPoints, the mean colours of the cubes of a
//   coarser grid that hold them, the finest grid with few enough occupied cubes) are split into `colors`
//   boxes, each time the box with the largest sum of squared RGB distances from its mean, along the axis of
//   largest spread, where the two halves' sums are least; then k-means (Lloyd) iterations weighted by the
//   counts move each centre to the mean of the points nearest to it (RGB distance, the lower index on a
//   tie), until no point changes centre or after kMostIterations; the means are rounded to 8 bits, and
//   centres that round to the same colour become one.
// Every sum is in double precision in a fixed order: the result is the same on every machine.
// An empty count gives an empty palette.
inline constexpr std::size_t kMostClusterPoints = 32768;
inline constexpr int kMostIterations = 24;
ColorList MakePalette(const ColorCounts& counts, std::size_t colors,
                      CentreSearch search = CentreSearch::Pruned);
