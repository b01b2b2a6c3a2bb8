#include "palette/nearest_color_search.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <mutex>
#include <new>
#include <numeric>
#include <stdexcept>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "palette/block_scan.h"
#include "palette/grid_margins.h"
#include "palette/nearest_color_grids.h"
#include "palette/nearest_color_tree.h"
#include "palette/nearest_halves_avx2.h"
#include "palette/nearest_scan_avx2.h"

using nearest_baseline::ScanBlocks;

namespace {

// The grid spans [-0.5, 1.5) on each channel: the unit cube and the overshoot error diffusion produces.
// Inputs beyond it are answered by scanning every colour.
constexpr float kGridLow = -0.5f;
constexpr double kGridWidth = 2.0;

// Coarser grids around the first, for the points error diffusion pushes beyond it (with a palette whose
// colours do not surround the image's, its error can grow without bound): shells centred on the cube, each
// 16 cells a side and twice as wide as the one inside it, from 4 to 4096 units across, each looked in where
// the ones inside it do not reach. A point lies at least half a shell's half-width from the centre, its
// cells are a quarter of that, so the colours that can win in a cell stay few. A shell's coordinates
// (v - low) stay below its width 2^(k + 2), so they round by at most 2^(k - 23); the slack allows twice
// that. Points beyond every shell are answered by scanning every colour.
constexpr int kShellCount = NearestGrids::kMaxShells;
constexpr int kShellCellsPerAxis = 16;
// Palettes in this range get them: a scan of a few dozen colours costs no more than a shell's cell, and
// beyond a few thousand colours the shells' cells would list too many.
constexpr std::size_t kShellFewestColors = 33;
constexpr std::size_t kShellMostColors = 4096;

constexpr float kInfinity = std::numeric_limits<float>::infinity();
constexpr uint32_t kNoColor = 0xFFFFFFFFu;  // -1 once read back as int32_t

using grid_margins::kAbsolute;
using grid_margins::kRelative;

// Cell boxes are widened by this much on every side before their candidates are chosen, so a point that the
// float index computation puts in a neighbouring cell is still covered. That computation rounds once, in
// (v - kGridLow), by at most 2^-24 for the values below 2 it sees there; the scaling by a power of two is
// exact.
constexpr double kCellSlack = 0x1p-20;

// A cell whose only candidate stays this close everywhere answers without arithmetic: its distance is finite,
// so it is always taken. Beyond, the distance might overflow and the cell scans its one colour.
constexpr double kSafeSingle = 1e30;

using grid_margins::kMaxRivals;

// Cells per axis of the grid over the unit cube, as a power of two, or -1 for none. 32 (cells 1/32 wide,
// 64 KB of them) leave next to no cell of the table palettes, or of a few hundred colours spread over the
// cube, with more than one block of candidates. Each cell one colour answers saves the rows a block scan:
// with more than 32 colours, 64 a side (512 KB) answer about three quarters of the pixels of VGA 8-bit
// directly instead of half, at about a third more build time; with fewer, 32 answer most already and stay in
// the faster caches. From some thousands of colours on most cells would have more candidates than a block
// holds, and the grid is left out.
int UnitShiftFor(std::size_t colors) {
  if (colors > 4096) {
    return -1;
  }
  return colors <= 1 ? 0 : colors <= 32 ? 5 : 6;
}

// A unit-grid cell in 16 bits: kUnitDirect | the colour's index where one colour wins in all of it, else
// 1 + the number of its block, or 0 for the full search (also where the blocks would outnumber 15 bits).
constexpr std::size_t kUnitBlocks = 0x7FFF;

constexpr std::array<float, 256> kByteValues = [] {
  std::array<float, 256> values{};
  for (int k = 0; k < 256; ++k) {
    values[static_cast<std::size_t>(k)] = static_cast<float>(k) / 255.0f;
  }
  return values;
}();

// A colour with an infinite or NaN channel has a distance that is never taken, and a colour equal to an
// earlier one always loses the tie to it: neither can be an answer anywhere. The rest, in palette order.
std::vector<uint32_t> DistinctFiniteColors(std::span<const Color3> colors) {
  std::vector<uint32_t> finite;
  for (std::size_t j = 0; j < colors.size(); ++j) {
    const Color3& c = colors[j];
    if (std::isfinite(c.r) && std::isfinite(c.g) && std::isfinite(c.b)) {
      finite.push_back(static_cast<uint32_t>(j));
    }
  }
  std::vector<uint32_t> byValue = finite;
  // Equal values (-0 and +0 included) give equal distances to every input, bit for bit.
  const auto less = [colors](uint32_t a, uint32_t b) {
    const Color3& ca = colors[a];
    const Color3& cb = colors[b];
    if (ca.r != cb.r) return ca.r < cb.r;
    if (ca.g != cb.g) return ca.g < cb.g;
    if (ca.b != cb.b) return ca.b < cb.b;
    return a < b;
  };
  std::sort(byValue.begin(), byValue.end(), less);
  std::vector<bool> repeated(colors.size(), false);
  for (std::size_t i = 1; i < byValue.size(); ++i) {
    if (colors[byValue[i]] == colors[byValue[i - 1]]) {
      repeated[byValue[i]] = true;
    }
  }
  std::erase_if(finite, [&repeated](uint32_t j) { return repeated[j]; });
  return finite;
}

// In palettes without a unit grid, a cell whose candidates stay more than this many (colours packed tightly
// together), or a box with more that lie along a line (which no finer grid thins out), is answered by the
// tree instead of lists. Scanning 64 blocks costs less than a walk down the tree to a cluster's surface.
constexpr std::size_t kCrowdedColors = 256;

inline float GridCoordinate(float v, float cellsPerUnit) { return (v - kGridLow) * cellsPerUnit; }

// Cells per axis by palette size. Up to a few thousand colours 32 cells per axis (a cell 1/16 wide) leave
// most cells with one or two blocks of candidates; beyond, the lists grow long enough for a finer grid to
// win back its extra memory and build time.
int CellsPerAxisFor(std::size_t colors) {
  if (colors <= 1) {
    return 1;
  }
  return colors <= 8192 ? 32 : 64;
}

// The most blocks the cell lists may take before the grid is rebuilt coarser: 32 MB, or 256 bytes a colour
// for the largest palettes. Random palettes need a fraction of it; colours placed so that many of them tie
// over large regions (on a sphere around a point, say) would otherwise fill memory.
std::size_t BlockBudgetFor(std::size_t colors) {
  return std::max<std::size_t>(std::size_t{1} << 19, 4 * colors);
}

}  // namespace

// Builds a grid top-down as an octree: each box keeps those of its parent's candidates that may still win
// somewhere inside it, so the lists shrink level by level and a box left with a single colour fills all its
// cells at once. It builds the outer grid and its shells as cells of block lists, and the grid over the unit
// cube straight into its 16-bit cells.
class NearestColorGridBuilder {
 public:
  using Block = NearestColorSearch::Block;
  using Cell = NearestColorSearch::Cell;
  static constexpr uint16_t kUnitDirect = NearestColorSearch::kUnitDirect;

  // Cells of the grid from `low` to `low + width` on each channel, as lists of blocks.
  NearestColorGridBuilder(std::span<const Color3> colors, std::span<const uint32_t> distinct, double low,
                          double width, int cellsPerAxis, std::size_t blockBudget, std::vector<Cell>& cells,
                          std::vector<Block>& blocks, double slack = kCellSlack)
      : NearestColorGridBuilder(colors, distinct, low, width, cellsPerAxis, blockBudget, slack, blocks) {
    cells_ = &cells;
    cells.assign(cellCount(), Cell{kNoColor, 0});
  }

  // The grid over the unit cube, as NearestColorSearch's unit cells (one more, 0, after the last) and the
  // blocks they share. The budget counts the blocks the cells would take as lists of their own, as for
  // the other grids, so that the grid is made coarser for the same palettes.
  NearestColorGridBuilder(std::span<const Color3> colors, std::span<const uint32_t> distinct,
                          int cellsPerAxis, std::size_t blockBudget, std::vector<uint16_t>& unitCells,
                          std::vector<Block>& unitBlocks)
      : NearestColorGridBuilder(colors, distinct, 0.0, 1.0, cellsPerAxis, blockBudget, kCellSlack,
                                unitBlocks) {
    unitCells_ = &unitCells;
    unitCells.assign(cellCount() + 1, 0);
    unitSlots_.assign(kUnitSlots, 0);
  }

  // Cells [lo, hi) on every axis are never looked in (a finer grid answers there): they share one list of
  // every colour, which is right anywhere, instead of lists of their own.
  void leaveHole(int lo, int hi) {
    holeLo_ = lo;
    holeHi_ = hi;
  }

  // Crowded cells (see kCrowdedColors) are marked for the tree rather than given lists.
  void sendCrowdedToTree() { crowdedToTree_ = true; }

  // The halves' candidates chosen by the AVX2 code (which the CPU must run), the same ones as the
  // reference's.
  void chooseHalvesWide(bool wide) { wide_ = wide; }

  // The candidates of each half of one box (see selectHalves), for the check of the AVX2 code against the
  // reference on boxes of any kind.
  void selectHalvesOf(const double* const channel[3], std::size_t count, const double lo[3][2],
                      const double hi[3][2], uint32_t kept[8]) {
    Candidates list;
    list.resize(count);
    for (int c = 0; c < 3; ++c) {
      std::copy(channel[c], channel[c] + count, list.channel[c].begin());
    }
    std::iota(list.index.begin(), list.index.end(), 0u);
    Pair low[3];
    Pair high[3];
    for (int c = 0; c < 3; ++c) {
      low[c] = Pair{lo[c][0], lo[c][1]};
      high[c] = Pair{hi[c][0], hi[c][1]};
    }
    selectHalves(list, low, high, kept);
  }

  // False when the lists outgrew the budget. A single cell is always accepted: it lists each colour once.
  bool run() {
    Candidates all;
    for (const uint32_t j : distinct_) {
      all.push(colors_[j], j);
    }
    if (holeLo_ < holeHi_) {
      holeCell_ = emit(all.index.data(), all.size());
    }
    const int start[3] = {0, 0, 0};
    // Boxes wider than half the grid hold most colours anyway; comparing them pairwise there costs much and
    // removes next to nothing.
    select(all, boxOf(start, cellsPerAxis_), 2 * cellsPerAxis_ <= cellsPerAxis_, lists_[0]);
    node(0, 0, 0, 0, cellsPerAxis_, lists_[0]);
    return !overBudget_;
  }

 private:
  NearestColorGridBuilder(std::span<const Color3> colors, std::span<const uint32_t> distinct, double low,
                          double width, int cellsPerAxis, std::size_t blockBudget, double slack,
                          std::vector<Block>& blocks)
      : colors_(colors),
        distinct_(distinct),
        cellsPerAxis_(cellsPerAxis),
        low_(low),
        cellWidth_(width / cellsPerAxis),
        slack_(slack),
        blockBudget_(blockBudget),
        blocks_(blocks) {
    int depth = 0;
    while ((1 << depth) < cellsPerAxis) {
      ++depth;
    }
    lists_.resize(static_cast<std::size_t>(depth) + 1);
    blocks_.clear();
    // A box that one colour is left in gets it without a test when no colour and no box lies beyond 1e14 on
    // any channel: the greatest squared distance is then at most 3 * (2e14)^2, far below kSafeSingle.
    constexpr double kNear = 1e14;
    singlesSafe_ = low - slack >= -kNear && low + width + slack <= kNear;
    for (const uint32_t j : distinct) {
      for (int c = 0; c < 3; ++c) {
        singlesSafe_ = singlesSafe_ && std::fabs(colors[j][c]) <= kNear;
      }
    }
  }

  std::size_t cellCount() const {
    const auto n = static_cast<std::size_t>(cellsPerAxis_);
    return n * n * n;
  }
  // The candidates of one box, channel by channel, so that the sweeps over them run on vector registers.
  // The storage only grows: boxes at one depth reuse it.
  struct Candidates {
    std::vector<double> channel[3];
    std::vector<uint32_t> index;
    std::size_t count = 0;

    std::size_t size() const { return count; }
    void resize(std::size_t size) {
      if (size > index.size()) {
        for (std::vector<double>& values : channel) {
          values.resize(size);
        }
        index.resize(size);
      }
      count = size;
    }
    void push(const Color3& color, uint32_t at) {
      resize(count + 1);
      for (int c = 0; c < 3; ++c) {
        channel[c][count - 1] = color[c];
      }
      index[count - 1] = at;
    }
  };

  struct Box {
    double lo[3];
    double hi[3];
  };

  // A box as its centre and half-widths, as the candidate tests measure from it.
  struct Centred {
    double mid[3];
    double halfWidth[3];
    explicit Centred(const Box& box) {
      for (int c = 0; c < 3; ++c) {
        mid[c] = 0.5 * (box.lo[c] + box.hi[c]);
        halfWidth[c] = 0.5 * (box.hi[c] - box.lo[c]);
      }
    }
  };

  // How far a colour `fromMid` from the centre lies beyond a half-width, or 0 inside the box.
  static double Outside(double fromMid, double half) {
    const double beyond = fromMid - half;
    return 0.5 * (beyond + std::fabs(beyond));
  }

  // Greatest exact squared distance from a colour to the box.
  static double greatestDistance(const double p[3], const Box& box) {
    double greatest = 0.0;
    for (int c = 0; c < 3; ++c) {
      const double far = std::max(p[c] - box.lo[c], box.hi[c] - p[c]);
      greatest += far * far;
    }
    return greatest;
  }

  // Keeps, in palette order, those of the parent's candidates that may still win somewhere in the box.
  // The sweeps below are written without branches, as plain loops over the channels, so that they run on
  // vector registers.
  void select(const Candidates& parent, const Box& box, bool compareWithRivals, Candidates& kept) {
    const std::size_t count = parent.size();
    if (count <= kMaxRivals) {
      selectFew(parent, box, compareWithRivals, kept);
      return;
    }
    least_.resize(count);
    greatest_.resize(count);
    const Centred centred(box);
    const double* mid = centred.mid;
    const double* halfWidth = centred.halfWidth;
    const double* pr = parent.channel[0].data();
    const double* pg = parent.channel[1].data();
    const double* pb = parent.channel[2].data();
    for (std::size_t i = 0; i < count; ++i) {
      const double fromMidR = std::fabs(pr[i] - mid[0]);
      const double fromMidG = std::fabs(pg[i] - mid[1]);
      const double fromMidB = std::fabs(pb[i] - mid[2]);
      const double outsideR = Outside(fromMidR, halfWidth[0]);
      const double outsideG = Outside(fromMidG, halfWidth[1]);
      const double outsideB = Outside(fromMidB, halfWidth[2]);
      const double farR = fromMidR + halfWidth[0];
      const double farG = fromMidG + halfWidth[1];
      const double farB = fromMidB + halfWidth[2];
      least_[i] = outsideR * outsideR + outsideG * outsideG + outsideB * outsideB;
      greatest_[i] = farR * farR + farG * farG + farB * farB;
    }
    // No colour can win where another is certainly nearer: the colour with the smallest greatest distance
    // to the box rules out every colour whose least distance is beyond it.
    double bound = std::numeric_limits<double>::infinity();
    for (std::size_t i = 0; i < count; ++i) {
      bound = std::min(bound, greatest_[i]);
    }
    const double limit = bound * (1.0 + kRelative) + kAbsolute;
    kept.resize(count);
    std::size_t near = 0;
    for (std::size_t i = 0; i < count; ++i) {
      for (int c = 0; c < 3; ++c) {
        kept.channel[c][near] = parent.channel[c][i];
      }
      kept.index[near] = parent.index[i];
      greatest_[near] = greatest_[i];
      near += least_[i] * (1.0 - kRelative) <= limit ? 1 : 0;
    }
    kept.resize(near);
    if (!compareWithRivals || near <= 1) {
      return;
    }

    // The colours with the smallest greatest distances are the strongest rivals: each of the others has to
    // come nearer than every one of them somewhere in the box. D_j - D_k is linear in the point, so its least
    // value over the box is its value at the centre less the slope times the half-widths; colour j is out
    // when that least value exceeds what rounding can undo.
    order_.resize(near);
    std::iota(order_.begin(), order_.end(), 0u);
    const std::size_t rivals = std::min(near, kMaxRivals);
    std::partial_sort(order_.begin(), order_.begin() + static_cast<std::ptrdiff_t>(rivals), order_.end(),
                      [this](uint32_t a, uint32_t b) { return greatest_[a] < greatest_[b]; });
    struct Rival {
      double p[3];
      double margin;
    };
    std::array<Rival, kMaxRivals> rival;
    for (std::size_t r = 0; r < rivals; ++r) {
      const uint32_t k = order_[r];
      rival[r] = {{kept.channel[0][k], kept.channel[1][k], kept.channel[2][k]},
                  kRelative * greatest_[k] + kAbsolute};
    }
    const double twiceMid[3] = {2.0 * mid[0], 2.0 * mid[1], 2.0 * mid[2]};
    const double width[3] = {2.0 * halfWidth[0], 2.0 * halfWidth[1], 2.0 * halfWidth[2]};
    std::size_t survivors = 0;
    for (std::size_t i = 0; i < near; ++i) {
      const double p[3] = {kept.channel[0][i], kept.channel[1][i], kept.channel[2][i]};
      const double margin = kRelative * greatest_[i];
      bool beaten = false;
      for (std::size_t r = 0; r < rivals && !beaten; ++r) {
        const double* k = rival[r].p;
        const double gap = ((k[0] - p[0]) * (twiceMid[0] - p[0] - k[0]) - std::fabs(k[0] - p[0]) * width[0]) +
                           ((k[1] - p[1]) * (twiceMid[1] - p[1] - k[1]) - std::fabs(k[1] - p[1]) * width[1]) +
                           ((k[2] - p[2]) * (twiceMid[2] - p[2] - k[2]) - std::fabs(k[2] - p[2]) * width[2]);
        beaten = gap > margin + rival[r].margin;
      }
      for (int c = 0; c < 3; ++c) {
        kept.channel[c][survivors] = p[c];
      }
      kept.index[survivors] = kept.index[i];
      survivors += beaten ? 0 : 1;
    }
    kept.resize(survivors);
  }

  // select for lists no longer than kMaxRivals, most of the boxes near the bottom of the tree: the same
  // arithmetic in the same order, so the same colours are kept, on the stack. Every colour left after the
  // first test is a rival of every other, and a colour is out when any of them beats it, whatever their
  // order.
  void selectFew(const Candidates& parent, const Box& box, bool compareWithRivals, Candidates& kept) const {
    const std::size_t count = parent.size();
    const Centred centred(box);
    const double* mid = centred.mid;
    const double* halfWidth = centred.halfWidth;
    double p[kMaxRivals][3];
    double least[kMaxRivals];
    double greatest[kMaxRivals];
    uint32_t index[kMaxRivals];
    double bound = std::numeric_limits<double>::infinity();
    for (std::size_t i = 0; i < count; ++i) {
      double inside = 0.0;
      double far = 0.0;
      for (int c = 0; c < 3; ++c) {
        p[i][c] = parent.channel[c][i];
      }
      const double fromMidR = std::fabs(p[i][0] - mid[0]);
      const double fromMidG = std::fabs(p[i][1] - mid[1]);
      const double fromMidB = std::fabs(p[i][2] - mid[2]);
      const double outsideR = Outside(fromMidR, halfWidth[0]);
      const double outsideG = Outside(fromMidG, halfWidth[1]);
      const double outsideB = Outside(fromMidB, halfWidth[2]);
      const double farR = fromMidR + halfWidth[0];
      const double farG = fromMidG + halfWidth[1];
      const double farB = fromMidB + halfWidth[2];
      inside = outsideR * outsideR + outsideG * outsideG + outsideB * outsideB;
      far = farR * farR + farG * farG + farB * farB;
      least[i] = inside;
      greatest[i] = far;
      index[i] = parent.index[i];
      bound = std::min(bound, far);
    }
    const double limit = bound * (1.0 + kRelative) + kAbsolute;
    std::size_t near = 0;
    for (std::size_t i = 0; i < count; ++i) {
      for (int c = 0; c < 3; ++c) {
        p[near][c] = p[i][c];
      }
      index[near] = index[i];
      greatest[near] = greatest[i];
      near += least[i] * (1.0 - kRelative) <= limit ? 1 : 0;
    }
    bool beaten[kMaxRivals] = {};
    if (compareWithRivals && near > 1) {
      const double twiceMid[3] = {2.0 * mid[0], 2.0 * mid[1], 2.0 * mid[2]};
      const double width[3] = {2.0 * halfWidth[0], 2.0 * halfWidth[1], 2.0 * halfWidth[2]};
      for (std::size_t i = 0; i < near; ++i) {
        const double margin = kRelative * greatest[i];
        for (std::size_t r = 0; r < near && !beaten[i]; ++r) {
          const double* k = p[r];
          const double gap =
              ((k[0] - p[i][0]) * (twiceMid[0] - p[i][0] - k[0]) - std::fabs(k[0] - p[i][0]) * width[0]) +
              ((k[1] - p[i][1]) * (twiceMid[1] - p[i][1] - k[1]) - std::fabs(k[1] - p[i][1]) * width[1]) +
              ((k[2] - p[i][2]) * (twiceMid[2] - p[i][2] - k[2]) - std::fabs(k[2] - p[i][2]) * width[2]);
          beaten[i] = gap > margin + (kRelative * greatest[r] + kAbsolute);
        }
      }
    }
    kept.resize(near);
    std::size_t survivors = 0;
    for (std::size_t i = 0; i < near; ++i) {
      for (int c = 0; c < 3; ++c) {
        kept.channel[c][survivors] = p[i][c];
      }
      kept.index[survivors] = index[i];
      survivors += beaten[i] ? 0 : 1;
    }
    kept.resize(survivors);
  }

  // The tree's first guess for a crowded box: the candidate nearest its centre (any distinct colour will
  // do; a near one lets the walk pass most of the tree over at once).
  static uint32_t seedFor(const Box& box, const Candidates& list) {
    double centre[3];
    for (int c = 0; c < 3; ++c) centre[c] = 0.5 * (box.lo[c] + box.hi[c]);
    std::size_t nearest = 0;
    double least = std::numeric_limits<double>::infinity();
    for (std::size_t i = 0; i < list.size(); ++i) {
      double d = 0.0;
      for (int c = 0; c < 3; ++c) d += (list.channel[c][i] - centre[c]) * (list.channel[c][i] - centre[c]);
      nearest = d < least ? i : nearest;
      least = std::min(d, least);
    }
    return list.index[nearest];
  }
  uint32_t seedFor(int x0, int y0, int z0, int span, const Candidates& list) const {
    const int start[3] = {x0, y0, z0};
    return seedFor(boxOf(start, span), list);
  }

  Box boxOf(const int start[3], int span) const {
    Box box;
    for (int c = 0; c < 3; ++c) {
      box.lo[c] = low_ + start[c] * cellWidth_ - slack_;
      box.hi[c] = low_ + (start[c] + span) * cellWidth_ + slack_;
    }
    return box;
  }

  // Whether the candidates lie along a line, within a quarter of a cell of it: then every box the line
  // crosses keeps about as many of them as its width spans along the line, however fine the grid.
  bool alongALine(const Candidates& list) const {
    const std::size_t count = list.size();
    double centre[3] = {0.0, 0.0, 0.0};
    for (int c = 0; c < 3; ++c) {
      for (std::size_t i = 0; i < count; ++i) centre[c] += list.channel[c][i];
      centre[c] /= static_cast<double>(count);
    }
    const auto farthestFrom = [&](const double from[3]) {
      std::size_t far = 0;
      double most = -1.0;
      for (std::size_t i = 0; i < count; ++i) {
        double d = 0.0;
        for (int c = 0; c < 3; ++c) d += (list.channel[c][i] - from[c]) * (list.channel[c][i] - from[c]);
        far = d > most ? i : far;
        most = std::max(d, most);
      }
      return far;
    };
    const std::size_t a = farthestFrom(centre);
    const double pa[3] = {list.channel[0][a], list.channel[1][a], list.channel[2][a]};
    const std::size_t b = farthestFrom(pa);
    double axis[3];
    double length = 0.0;
    for (int c = 0; c < 3; ++c) {
      axis[c] = list.channel[c][b] - pa[c];
      length += axis[c] * axis[c];
    }
    length = std::sqrt(length);
    const double reach = 0.25 * cellWidth_;
    for (std::size_t i = 0; i < count; ++i) {
      double v[3];
      double t = 0.0;
      for (int c = 0; c < 3; ++c) {
        v[c] = list.channel[c][i] - pa[c];
        t += v[c] * axis[c];
      }
      t /= length;
      double away = 0.0;
      for (int c = 0; c < 3; ++c) {
        const double w = v[c] - t * axis[c] / length;
        away += w * w;
      }
      if (away > reach * reach) return false;
    }
    return true;
  }

  // Doubles two at a time: a value for each of the two halves of a box along one channel.
  typedef double Pair __attribute__((vector_size(16)));
  typedef int64_t PairBits __attribute__((vector_size(16)));

  // A value for each of the eight halves of a box, half (dz * 2 + dy) * 2 + dx in lane dx of v[dz * 2 + dy].
  struct Halves {
    Pair v[4];
  };

  static Pair Splat(double value) { return Pair{value, value}; }
  static Pair Abs(Pair v) { return (Pair)((PairBits)v & 0x7FFFFFFFFFFFFFFF); }
  static Pair Outside(Pair fromMid, Pair half) {
    const Pair beyond = fromMid - half;
    return 0.5 * (beyond + Abs(beyond));
  }

  // Bit o set where half o's lane of `test` is true (all ones).
  static unsigned HalvesMask(const PairBits (&test)[4]) {
    unsigned mask = 0;
    for (int k = 0; k < 4; ++k) {
#if defined(__SSE2__)
      mask |= static_cast<unsigned>(_mm_movemask_pd((__m128d)test[k])) << (2 * k);
#else
      mask |= static_cast<unsigned>(test[k][0] & 1) << (2 * k);
      mask |= static_cast<unsigned>(test[k][1] & 1) << (2 * k + 1);
#endif
    }
    return mask;
  }

  // A sum of one term per channel, red's first, in each half: each channel's term depends only on that
  // channel's half.
  static Halves SumOverHalves(Pair r, Pair g, Pair b) {
    Halves sum;
    for (int k = 0; k < 4; ++k) {
      sum.v[k] = r + Splat(g[k & 1]) + Splat(b[k >> 1]);
    }
    return sum;
  }

  // The number of bits set (std::popcount would be a library call on the baseline instruction set).
  static std::size_t PopCount(uint32_t v) {
    v = v - ((v >> 1) & 0x55555555u);
    v = (v & 0x33333333u) + ((v >> 2) & 0x33333333u);
    return (((v + (v >> 4)) & 0x0F0F0F0Fu) * 0x01010101u) >> 24;
  }

  // The colours of each half from the halves of each colour: bit i of colours[o] is bit o of halves[i], for
  // up to 32 colours. Eight colours at a time, as an 8 by 8 matrix of bits, a row a byte, transposed by
  // three exchanges of its off-diagonal blocks (of 1, 2 and 4 bits).
  static void TransposeHalves(const unsigned* halves, std::size_t count, uint32_t colours[8]) {
    std::fill(colours, colours + 8, 0u);
    for (std::size_t first = 0; first < count; first += 8) {
      uint64_t x = 0;
      const std::size_t end = std::min(count, first + 8);
      for (std::size_t i = first; i < end; ++i) {
        x |= uint64_t{halves[i] & 0xFFu} << (8 * (i - first));
      }
      uint64_t t = (x ^ (x >> 7)) & 0x00AA00AA00AA00AAull;
      x = x ^ t ^ (t << 7);
      t = (x ^ (x >> 14)) & 0x0000CCCC0000CCCCull;
      x = x ^ t ^ (t << 14);
      t = (x ^ (x >> 28)) & 0x00000000F0F0F0F0ull;
      x = x ^ t ^ (t << 28);
      for (int o = 0; o < 8; ++o) {
        colours[o] |= static_cast<uint32_t>((x >> (8 * o)) & 0xFFu) << first;
      }
    }
  }

  // Lists of up to this many colours have the candidates of their halves chosen together by selectHalves.
  static constexpr std::size_t kHalvesMost = 32;
  static_assert(kHalvesMost == nearest_halves_avx2::kMost);

  // select for each of the eight halves of a box whose list holds at most kHalvesMost colours, the halves
  // given by their bounds along each channel (lo[c][d], hi[c][d] for d = 0, 1): bit i of
  // kept[(dz * 2 + dy) * 2 + dx] is set where colour i of the list is kept in half (dx, dy, dz). The same
  // arithmetic in the same order as select, so the same colours are kept; but each term of a distance or of
  // a gap depends on one channel's half only, so it is worked out once for both halves of that channel, and
  // the halves are summed side by side.
  void selectHalves(const Candidates& list, const Pair lo[3], const Pair hi[3], uint32_t kept[8]) {
    const std::size_t count = list.size();
    if (wide_) {
      const double* const channel[3] = {list.channel[0].data(), list.channel[1].data(),
                                        list.channel[2].data()};
      const double low[3][2] = {{lo[0][0], lo[0][1]}, {lo[1][0], lo[1][1]}, {lo[2][0], lo[2][1]}};
      const double high[3][2] = {{hi[0][0], hi[0][1]}, {hi[1][0], hi[1][1]}, {hi[2][0], hi[2][1]}};
      nearest_halves_avx2::SelectHalves(channel, count, low, high, &StrongestRivalsOf, this, kept);
      return;
    }
    if (count <= 2) {
      selectHalvesOf<2>(list, lo, hi, kept);
    } else if (count <= 3) {
      selectHalvesOf<3>(list, lo, hi, kept);
    } else if (count <= 4) {
      selectHalvesOf<4>(list, lo, hi, kept);
    } else if (count <= 6) {
      selectHalvesOf<6>(list, lo, hi, kept);
    } else if (count <= 8) {
      selectHalvesOf<8>(list, lo, hi, kept);
    } else if (count <= 12) {
      selectHalvesOf<12>(list, lo, hi, kept);
    } else if (count <= 16) {
      selectHalvesOf<16>(list, lo, hi, kept);
    } else {
      selectHalvesOf<kHalvesMost>(list, lo, hi, kept);
    }
  }

  // selectHalves for lists of up to kN colours, made up to kN with infinite ones, which are never near.
  template <std::size_t kN>
  void selectHalvesOf(const Candidates& list, const Pair lo[3], const Pair hi[3], uint32_t kept[8]) {
    const std::size_t count = list.size();
    double p[3][kN];
    for (std::size_t i = 0; i < kN; ++i) {
      for (int c = 0; c < 3; ++c) {
        p[c][i] = i < count ? list.channel[c][i] : std::numeric_limits<double>::infinity();
      }
    }
    Pair mid[3];
    Pair halfWidth[3];
    for (int c = 0; c < 3; ++c) {
      mid[c] = 0.5 * (lo[c] + hi[c]);
      halfWidth[c] = 0.5 * (hi[c] - lo[c]);
    }
    // The first test: each colour's least and greatest squared distance to each half, against the least
    // greatest distance there.
    Halves greatest[kN];
    unsigned nearIn[kN];  // the halves where each colour passes the first test
    {
      Halves least[kN];
      Halves bound;
      for (Pair& v : bound.v) {
        v = Splat(std::numeric_limits<double>::infinity());
      }
      for (std::size_t i = 0; i < kN; ++i) {
        Pair inside[3];
        Pair far[3];
        for (int c = 0; c < 3; ++c) {
          const Pair fromMid = Abs(Splat(p[c][i]) - mid[c]);
          const Pair outside = Outside(fromMid, halfWidth[c]);
          const Pair farthest = fromMid + halfWidth[c];
          inside[c] = outside * outside;
          far[c] = farthest * farthest;
        }
        least[i] = SumOverHalves(inside[0], inside[1], inside[2]);
        greatest[i] = SumOverHalves(far[0], far[1], far[2]);
        for (int k = 0; k < 4; ++k) {
          bound.v[k] = greatest[i].v[k] < bound.v[k] ? greatest[i].v[k] : bound.v[k];
        }
      }
      Halves limit;
      for (int k = 0; k < 4; ++k) {
        limit.v[k] = bound.v[k] * (1.0 + kRelative) + kAbsolute;
      }
      for (std::size_t i = 0; i < kN; ++i) {
        PairBits near[4];
        for (int k = 0; k < 4; ++k) {
          near[k] = least[i].v[k] * (1.0 - kRelative) <= limit.v[k];
        }
        nearIn[i] = HalvesMask(near);
      }
    }
    uint32_t near[8];
    TransposeHalves(nearIn, count, near);
    unsigned compared = 0;  // halves whose colours are held against each other
    for (int o = 0; o < 8; ++o) {
      compared |= (near[o] & (near[o] - 1)) != 0 ? 1u << o : 0u;
    }
    if (compared == 0) {
      std::copy(near, near + 8, kept);
      return;
    }
    // Each colour is held against the rivals of the halves it is near in: every other colour near there,
    // or where more than kMaxRivals are, those select takes.
    unsigned rivalIn[kN];
    std::copy(nearIn, nearIn + count, rivalIn);
    if constexpr (kN > kMaxRivals) {
      for (int o = 0; o < 8; ++o) {
        if (PopCount(near[o]) > kMaxRivals) {
          const uint32_t strongest = strongestRivals(
              near[o], [&greatest, o](std::size_t i) { return greatest[i].v[o >> 1][o & 1]; });
          for (std::size_t i = 0; i < count; ++i) {
            rivalIn[i] &= (strongest >> i & 1) != 0 ? ~0u : ~(1u << o);
          }
        }
      }
    }
    // Colour i is out of a half where another colour r there is nearer everywhere in it, beyond what
    // rounding can undo: D_i - D_r is linear in the point, least at the centre less the slope times the
    // half-widths.
    Pair width[3];
    for (int c = 0; c < 3; ++c) {
      width[c] = 2.0 * halfWidth[c];
    }
    Halves rivalMargin[kN];
    for (std::size_t i = 0; i < count; ++i) {
      for (int k = 0; k < 4; ++k) {
        rivalMargin[i].v[k] = kRelative * greatest[i].v[k] + kAbsolute;
      }
    }
    unsigned keptIn[kN];  // the halves where each colour is kept
    for (std::size_t i = 0; i < count; ++i) {
      const unsigned comparedHere = nearIn[i] & compared;
      unsigned beaten = 0;
      if (comparedHere != 0) {
        Halves margin;
        for (int k = 0; k < 4; ++k) {
          margin.v[k] = kRelative * greatest[i].v[k];
        }
        Pair fromTwiceMid[3];  // twice the centre less colour i
        for (int c = 0; c < 3; ++c) {
          fromTwiceMid[c] = 2.0 * mid[c] - p[c][i];
        }
        for (std::size_t r = 0; r < count && beaten != comparedHere; ++r) {
          const unsigned both = comparedHere & rivalIn[r];
          if (r == i || both == 0) {
            continue;
          }
          Pair term[3];
          for (int c = 0; c < 3; ++c) {
            const double k = p[c][r];
            const double slope = k - p[c][i];
            term[c] = Splat(slope) * (fromTwiceMid[c] - k) - Splat(std::fabs(slope)) * width[c];
          }
          const Halves gap = SumOverHalves(term[0], term[1], term[2]);
          PairBits out[4];
          for (int k = 0; k < 4; ++k) {
            out[k] = gap.v[k] > margin.v[k] + rivalMargin[r].v[k];
          }
          beaten |= HalvesMask(out) & both;
        }
      }
      keptIn[i] = nearIn[i] & ~beaten;
    }
    TransposeHalves(keptIn, count, kept);
  }

  // The rivals select takes in half o among the colours `near` (more than kMaxRivals of them): the
  // kMaxRivals with the least greatest distances there, greatestOf(i) for colour i, chosen by the same
  // partial sort of the same order.
  template <typename GreatestOf>
  uint32_t strongestRivals(uint32_t near, const GreatestOf& greatestOf) {
    std::vector<double>& nearGreatest = greatest_;
    std::vector<uint32_t>& at = nearAt_;  // the colour of each near one
    nearGreatest.clear();
    at.clear();
    for (uint32_t rest = near; rest != 0; rest &= rest - 1) {
      const auto i = static_cast<std::size_t>(std::countr_zero(rest));
      nearGreatest.push_back(greatestOf(i));
      at.push_back(static_cast<uint32_t>(i));
    }
    order_.resize(at.size());
    std::iota(order_.begin(), order_.end(), 0u);
    std::partial_sort(order_.begin(), order_.begin() + static_cast<std::ptrdiff_t>(kMaxRivals), order_.end(),
                      [&nearGreatest](uint32_t a, uint32_t b) { return nearGreatest[a] < nearGreatest[b]; });
    uint32_t strongest = 0;
    for (std::size_t r = 0; r < kMaxRivals; ++r) {
      strongest |= 1u << at[order_[r]];
    }
    return strongest;
  }

  // strongestRivals for the AVX2 selectHalves, given each colour's greatest distance in the half.
  static uint32_t StrongestRivalsOf(void* builder, uint32_t near, const double* greatest, int) {
    return static_cast<NearestColorGridBuilder*>(builder)->strongestRivals(
        near, [greatest](std::size_t i) { return greatest[i]; });
  }

  bool inHole(int x0, int y0, int z0, int span) const {
    return holeLo_ < holeHi_ && std::min({x0, y0, z0}) >= holeLo_ && std::max({x0, y0, z0}) + span <= holeHi_;
  }

  template <typename T>
  void fill(std::vector<T>& grid, int x0, int y0, int z0, int span, T value) {
    const std::size_t n = static_cast<std::size_t>(cellsPerAxis_);
    T* const first = &grid[(static_cast<std::size_t>(z0) * n + static_cast<std::size_t>(y0)) * n +
                           static_cast<std::size_t>(x0)];
    if (span == 1) {
      *first = value;
      return;
    }
    if (span == 2) {
      for (const std::size_t row : {std::size_t{0}, n, n * n, n * n + n}) {
        first[row] = value;
        first[row + 1] = value;
      }
      return;
    }
    for (int z = z0; z < z0 + span; ++z) {
      for (int y = y0; y < y0 + span; ++y) {
        T* row = &grid[(static_cast<std::size_t>(z) * n + static_cast<std::size_t>(y)) * n];
        std::fill(row + x0, row + x0 + span, value);
      }
    }
  }

  void fill(int x0, int y0, int z0, int span, Cell cell) { fill(*cells_, x0, y0, z0, span, cell); }

  // The colours `index` (in palette order) as blocks of the outer grid, and the cell that lists them.
  Cell emit(const uint32_t* index, std::size_t count) {
    const std::size_t first = blocks_.size();
    for (std::size_t i = 0; i < count; i += 4) {
      blocks_.push_back(blockOf(index + i, std::min<std::size_t>(count - i, 4)));
    }
    overBudget_ = overBudget_ || (blocks_.size() > blockBudget_ && cellsPerAxis_ > 1);
    return Cell{static_cast<uint32_t>(first), static_cast<uint32_t>(blocks_.size() - first)};
  }

  Block blockOf(const uint32_t* index, std::size_t count) const {
    Block block;
    for (std::size_t lane = 0; lane < 4; ++lane) {
      if (lane < count) {
        const Color3& c = colors_[index[lane]];
        block.r[lane] = c.r;
        block.g[lane] = c.g;
        block.b[lane] = c.b;
        block.index[lane] = static_cast<int32_t>(index[lane]);
      } else {
        block.r[lane] = block.g[lane] = block.b[lane] = kInfinity;
        block.index[lane] = -1;
      }
    }
    return block;
  }

  // The unit cell of a box whose candidates are the colours `index`: 1 + the number of the block that lists
  // them, shared by every cell of the same candidates; 0 (the full search) when they need more than one
  // block, or when the blocks would outnumber 15 bits.
  uint16_t unitListCell(const uint32_t* index, std::size_t count) {
    uint64_t key = 0;
    for (std::size_t i = 0; i < count; ++i) {
      key = (key << 16) | index[i];
    }
    return unitListCell(key, count, [&] { return blockOf(index, count); });
  }

  // The same, given the colours' indices packed 16 bits each, the first colour's highest (see UnitKey), and
  // a maker of the block.
  template <typename MakeBlock>
  uint16_t unitListCell(uint64_t packed, std::size_t count, const MakeBlock& makeBlock) {
    const std::size_t blocks = (count + 3) / 4;
    unitListBlocks_ += blocks;
    overBudget_ = overBudget_ || (unitListBlocks_ > blockBudget_ && cellsPerAxis_ > 1);
    if (blocks != 1) {
      return 0;
    }
    // Unused lanes as 0xFFFF, as -1 reads in 16 bits.
    const int unused = 16 * static_cast<int>(4 - count);
    const uint64_t key = unused == 0 ? packed : (packed << unused) | ((uint64_t{1} << unused) - 1);
    if (key == lastKey_) {
      return lastCell_;
    }
    std::size_t slot = static_cast<std::size_t>((key * 0x9E3779B97F4A7C15ull) >> 48);
    while (unitSlots_[slot] != 0 && UnitKey(blocks_[unitSlots_[slot] - 1u]) != key) {
      slot = (slot + 1) & (kUnitSlots - 1);
    }
    if (unitSlots_[slot] == 0) {
      if (blocks_.size() == kUnitBlocks) {
        return 0;
      }
      blocks_.push_back(makeBlock());
      unitSlots_[slot] = static_cast<uint16_t>(blocks_.size());
    }
    lastKey_ = key;
    lastCell_ = unitSlots_[slot];
    return lastCell_;
  }

  // A block's four indices, 16 bits each, the first lane's highest.
  static uint64_t UnitKey(const Block& block) {
    uint64_t key = 0;
    for (const int32_t index : block.index) {
      key = (key << 16) | static_cast<uint16_t>(index);
    }
    return key;
  }

  // Fills a box none of whose candidates is taken anywhere in it.
  void placeNone(int x0, int y0, int z0, int span) {
    if (unitCells_ != nullptr) {
      fill(*unitCells_, x0, y0, z0, span, uint16_t{0});
    } else {
      fill(x0, y0, z0, span, Cell{kNoColor, 0});
    }
  }

  // Fills a box with the candidates `index`, or hands it on to its halves (false): the decisions that need
  // nothing but its candidates.
  bool settle(int x0, int y0, int z0, int span, const Box& box, const uint32_t* index, std::size_t count) {
    if (count == 0) {
      placeNone(x0, y0, z0, span);
      return true;
    }
    if (count == 1) {
      const Color3& c = colors_[index[0]];
      const double p[3] = {c.r, c.g, c.b};
      if (singlesSafe_ || greatestDistance(p, box) <= kSafeSingle) {
        if (unitCells_ != nullptr) {
          const uint16_t cell = index[0] < kUnitDirect ? static_cast<uint16_t>(kUnitDirect | index[0]) : 0;
          fill(*unitCells_, x0, y0, z0, span, cell);
        } else {
          fill(x0, y0, z0, span, Cell{index[0], 0});
        }
        return true;
      }
    }
    // Outside the cube (the overshoot of error diffusion, rarer than colours inside it) a box whose
    // candidates fit in one block shares that block among all its cells rather than being refined further.
    // The unit grid's boxes never lie outside it.
    const auto outsideCube = [&box] {
      return box.lo[0] > 1.0 || box.hi[0] < 0.0 || box.lo[1] > 1.0 || box.hi[1] < 0.0 || box.lo[2] > 1.0 ||
             box.hi[2] < 0.0;
    };
    if (span == 1 || (count <= 4 && unitCells_ == nullptr && outsideCube())) {
      if (unitCells_ != nullptr) {
        fill(*unitCells_, x0, y0, z0, span, unitListCell(index, count));
      } else {
        fill(x0, y0, z0, span, emit(index, count));
      }
      return true;
    }
    return false;
  }

  // A box (not in the hole) whose candidates select has kept in `list`.
  void node(std::size_t depth, int x0, int y0, int z0, int span, const Candidates& list) {
    if (overBudget_) {
      return;
    }
    if (crowdedToTree_ && list.size() > kCrowdedColors && (span == 1 || alongALine(list))) {
      fill(x0, y0, z0, span, Cell{seedFor(x0, y0, z0, span, list), NearestColorSearch::kTreeCell});
      return;
    }
    const int start[3] = {x0, y0, z0};
    if (!settle(x0, y0, z0, span, boxOf(start, span), list.index.data(), list.size())) {
      split(depth, x0, y0, z0, span, list);
    }
  }

  // The eight unit cells of a box two cells wide, from the colours selectHalves kept in each: what settle
  // would make of them, without its general cases.
  void settleUnitCells(int x0, int y0, int z0, const Candidates& list, const uint32_t kept[8],
                       const Pair lo[3], const Pair hi[3]) {
    const std::size_t n = static_cast<std::size_t>(cellsPerAxis_);
    uint16_t* const first =
        &(*unitCells_)[(static_cast<std::size_t>(z0) * n + static_cast<std::size_t>(y0)) * n +
                       static_cast<std::size_t>(x0)];
    const std::size_t offset[8] = {0, 1, n, n + 1, n * n, n * n + 1, n * n + n, n * n + n + 1};
    for (int o = 0; o < 8; ++o) {
      uint16_t& cell = first[offset[o]];
      const uint32_t mask = kept[o];
      if (mask == 0) {
        cell = 0;
        continue;
      }
      if ((mask & (mask - 1)) == 0) {
        const auto i = static_cast<std::size_t>(std::countr_zero(mask));
        const uint32_t index = list.index[i];
        const auto safe = [&] {
          const int d[3] = {o & 1, (o >> 1) & 1, o >> 2};
          const double p[3] = {list.channel[0][i], list.channel[1][i], list.channel[2][i]};
          const Box box = {{lo[0][d[0]], lo[1][d[1]], lo[2][d[2]]}, {hi[0][d[0]], hi[1][d[1]], hi[2][d[2]]}};
          return greatestDistance(p, box) <= kSafeSingle;
        };
        if (singlesSafe_ || safe()) {
          cell = index < kUnitDirect ? static_cast<uint16_t>(kUnitDirect | index) : 0;
          continue;
        }
      }
      uint64_t packed = 0;
      std::size_t count = 0;
      for (uint32_t rest = mask; rest != 0; rest &= rest - 1, ++count) {
        packed = (packed << 16) | list.index[static_cast<std::size_t>(std::countr_zero(rest))];
      }
      cell = unitListCell(packed, count, [&] {
        uint32_t index[4];
        std::size_t at = 0;
        for (uint32_t rest = mask; rest != 0; rest &= rest - 1) {
          index[at++] = list.index[static_cast<std::size_t>(std::countr_zero(rest))];
        }
        return blockOf(index, count);
      });
    }
  }

  // The eight halves of a box that needs them, each given the candidates that may win in it.
  void split(std::size_t depth, int x0, int y0, int z0, int span, const Candidates& list) {
    const int half = span / 2;
    const int start[3] = {x0, y0, z0};
    // The halves' bounds along each channel, as boxOf works them out.
    Pair lo[3];
    Pair hi[3];
    for (int c = 0; c < 3; ++c) {
      for (int d = 0; d < 2; ++d) {
        lo[c][d] = low_ + (start[c] + d * half) * cellWidth_ - slack_;
        hi[c][d] = low_ + (start[c] + d * half + half) * cellWidth_ + slack_;
      }
    }
    Candidates& kept = lists_[depth + 1];
    uint32_t keptMasks[8];
    const bool together = list.size() <= kHalvesMost;
    if (together) {
      selectHalves(list, lo, hi, keptMasks);
    }
    if (half == 1 && unitCells_ != nullptr && together) {
      settleUnitCells(x0, y0, z0, list, keptMasks, lo, hi);
      return;
    }
    for (int o = 0; o < 8; ++o) {
      if (overBudget_) {
        return;
      }
      const int d[3] = {o & 1, (o >> 1) & 1, o >> 2};
      const int child[3] = {x0 + d[0] * half, y0 + d[1] * half, z0 + d[2] * half};
      if (inHole(child[0], child[1], child[2], half)) {
        fill(child[0], child[1], child[2], half, holeCell_);
        continue;
      }
      const Box box = {{lo[0][d[0]], lo[1][d[1]], lo[2][d[2]]}, {hi[0][d[0]], hi[1][d[1]], hi[2][d[2]]}};
      if (!together) {
        select(list, box, true, kept);
        node(depth + 1, child[0], child[1], child[2], half, kept);
        continue;
      }
      // Decided from the kept colours' indices where that is enough; their lists are copied only for the
      // halves that are split further.
      uint32_t index[kHalvesMost];
      std::size_t count = 0;
      for (uint32_t mask = keptMasks[o]; mask != 0; mask &= mask - 1) {
        index[count++] = list.index[static_cast<std::size_t>(std::countr_zero(mask))];
      }
      if (settle(child[0], child[1], child[2], half, box, index, count)) {
        continue;
      }
      kept.resize(count);
      std::size_t at = 0;
      for (uint32_t mask = keptMasks[o]; mask != 0; mask &= mask - 1, ++at) {
        const auto i = static_cast<std::size_t>(std::countr_zero(mask));
        for (int c = 0; c < 3; ++c) {
          kept.channel[c][at] = list.channel[c][i];
        }
        kept.index[at] = list.index[i];
      }
      split(depth + 1, child[0], child[1], child[2], half, kept);
    }
  }

  // No block looked up yet: no block lists colour 0 four times.
  static constexpr uint64_t kNoKey = 0;
  // Slots for every block number, at most half of them taken.
  static constexpr std::size_t kUnitSlots = std::size_t{1} << 16;

  std::span<const Color3> colors_;
  std::span<const uint32_t> distinct_;
  bool crowdedToTree_ = false;
  bool wide_ = false;         // see chooseHalvesWide
  bool singlesSafe_ = false;  // see the constructor
  int cellsPerAxis_;
  double low_;
  double cellWidth_;
  double slack_;  // how far beyond its cells a box reaches
  std::size_t blockBudget_;
  bool overBudget_ = false;
  int holeLo_ = 0;
  int holeHi_ = 0;
  Cell holeCell_{kNoColor, 0};
  std::vector<Cell>* cells_ = nullptr;
  std::vector<uint16_t>* unitCells_ = nullptr;
  std::vector<Block>& blocks_;
  // The unit grid's cells of a block by the block's four indices, in an open-addressed table (0 where empty),
  // and the last one looked up.
  std::vector<uint16_t> unitSlots_;
  uint64_t lastKey_ = kNoKey;
  uint16_t lastCell_ = 0;
  std::size_t unitListBlocks_ = 0;
  std::vector<Candidates> lists_;
  std::vector<double> least_;
  std::vector<double> greatest_;
  std::vector<uint32_t> order_;
  std::vector<uint32_t> nearAt_;
};

namespace nearest_halves_check {

void SelectHalves(bool wide, const double* const channel[3], std::size_t count, const double lo[3][2],
                  const double hi[3][2], uint32_t kept[8]) {
  std::vector<NearestColorGridBuilder::Cell> cells;
  std::vector<NearestColorGridBuilder::Block> blocks;
  NearestColorGridBuilder builder({}, {}, 0.0, 1.0, 1, 1, cells, blocks);
  builder.chooseHalvesWide(wide);
  builder.selectHalvesOf(channel, count, lo, hi, kept);
}

}  // namespace nearest_halves_check

NearestColorSearch::NearestColorSearch() : NearestColorSearch(std::span<const Color3>()) {}

NearestColorSearch::NearestColorSearch(std::span<const Color3> colors)
    : NearestColorSearch(colors, Build::Widest) {}

NearestColorSearch::NearestColorSearch(std::span<const Color3> colors, Build build)
    : colors_(colors.begin(), colors.end()), wideBuild_(build == Build::Widest && NearestAvx2Available()) {
  if (colors_.size() > static_cast<std::size_t>(std::numeric_limits<int32_t>::max())) {
    throw std::length_error("NearestColorSearch: more colours than an index can name");
  }
  const std::vector<uint32_t> distinct = DistinctFiniteColors(colors_);
  const bool unitGridLeftOut = UnitShiftFor(colors_.size()) < 0;
  if (unitGridLeftOut && !distinct.empty()) {
    tree_ = std::make_shared<const NearestColorTree>(colors_, distinct);
  }
  const std::size_t blockBudget = BlockBudgetFor(colors_.size());
  cellsPerAxis_ = CellsPerAxisFor(colors_.size());
  for (;;) {
    NearestColorGridBuilder builder(colors_, distinct, kGridLow, kGridWidth, cellsPerAxis_, blockBudget,
                                    cells_, cellBlocks_);
    builder.chooseHalvesWide(wideBuild_);
    if (tree_) {
      builder.sendCrowdedToTree();
    }
    if (builder.run()) {
      break;
    }
    cellsPerAxis_ /= 2;
  }
  buildUnitGrid(distinct);
  if (colors_.size() >= kShellFewestColors && colors_.size() <= kShellMostColors) {
    shells_ = std::make_shared<Shells>();
  }
  // Growing the list storage left up to half of it unused.
  cellBlocks_.shrink_to_fit();
  cellsPerUnit_ = static_cast<float>(cellsPerAxis_ / kGridWidth);
  gridExtent_ = static_cast<float>(cellsPerAxis_);

  // Only the colours that can be taken, the first of equal ones, in palette order.
  for (std::size_t i = 0; i < distinct.size() && !tree_; i += 4) {
    Block block;
    for (std::size_t lane = 0; lane < 4; ++lane) {
      const bool used = i + lane < distinct.size();
      const Color3 c = used ? colors_[distinct[i + lane]] : Color3(kInfinity);
      block.r[lane] = c.r;
      block.g[lane] = c.g;
      block.b[lane] = c.b;
      block.index[lane] = used ? static_cast<int32_t>(distinct[i + lane]) : -1;
    }
    allBlocks_.push_back(block);
  }

  const uint32_t n = static_cast<uint32_t>(cellsPerAxis_);
  for (std::size_t k = 0; k < 256; ++k) {
    const auto at = static_cast<uint32_t>(GridCoordinate(kByteValues[k], cellsPerUnit_));
    byteOffsetR_[k] = at;
    byteOffsetG_[k] = at * n;
    byteOffsetB_[k] = at * n * n;
  }
}

const std::vector<NearestColorSearch::Shell>& NearestColorSearch::shells() const {
  static const std::vector<Shell> none;
  if (!shells_) {
    return none;
  }
  // Built on whichever thread asks first, a render worker perhaps, where an exception must not escape:
  // without memory for them the shells stay empty, and points beyond the grid are answered by the scan of
  // every colour.
  std::call_once(shells_->built, [this]() noexcept {
    try {
      buildShells();
    } catch (const std::bad_alloc&) {
      shells_->shells.clear();
      shells_->shells.shrink_to_fit();
    }
  });
  return shells_->shells;
}

void NearestColorSearch::buildShells() const {
  const std::vector<uint32_t> distinct = DistinctFiniteColors(colors_);
  for (int k = 0; k < kShellCount; ++k) {
    const double halfWidth = std::ldexp(1.0, k + 1);
    Shell shell;
    shell.low = static_cast<float>(0.5 - halfWidth);
    shell.perUnit = static_cast<float>(kShellCellsPerAxis / (2.0 * halfWidth));
    NearestColorGridBuilder builder(colors_, distinct, shell.low, 2.0 * halfWidth, kShellCellsPerAxis,
                                    BlockBudgetFor(colors_.size()), shell.cells, shell.blocks,
                                    std::ldexp(1.0, k - 22));
    // The grid inside covers cells 4 to 11; a cell either side of its edge keeps lists of its own, so a
    // point that rounding puts on either side is still answered from a real list.
    builder.leaveHole(5, 11);
    builder.chooseHalvesWide(wideBuild_);
    if (!builder.run()) {
      break;
    }
    shell.blocks.shrink_to_fit();
    shells_->shells.push_back(std::move(shell));
  }
}

void NearestColorSearch::buildUnitGrid(std::span<const uint32_t> distinct) {
  unitShift_ = UnitShiftFor(colors_.size());
  unitBlocks_.clear();
  unitCells_.clear();
  if (unitShift_ < 0) {
    unitShift_ = 0;
    return;
  }
  for (;;) {
    NearestColorGridBuilder builder(colors_, distinct, 1 << unitShift_, BlockBudgetFor(colors_.size()),
                                    unitCells_, unitBlocks_);
    builder.chooseHalvesWide(wideBuild_);
    if (builder.run()) {
      break;
    }
    --unitShift_;
  }
}

int32_t NearestColorSearch::find(const Color3& in) const {
  if (!unitCells_.empty() && in.r >= 0.0f && in.r <= 1.0f && in.g >= 0.0f && in.g <= 1.0f && in.b >= 0.0f &&
      in.b <= 1.0f) {
    const uint16_t cell = unitCells_[unitCellOf(in.r, in.g, in.b)];
    if ((cell & kUnitDirect) != 0) {
      return cell & (kUnitDirect - 1);
    }
    if (cell != 0) {
      const int32_t found = ScanBlocks<1>(&unitBlocks_[cell - 1u], 1, in.r, in.g, in.b);
      if (found >= 0) {
        return found;
      }
    }
  }
  const float x = GridCoordinate(in.r, cellsPerUnit_);
  const float y = GridCoordinate(in.g, cellsPerUnit_);
  const float z = GridCoordinate(in.b, cellsPerUnit_);
  if (x >= 0.0f && x < gridExtent_ && y >= 0.0f && y < gridExtent_ && z >= 0.0f && z < gridExtent_) {
    const std::size_t n = static_cast<std::size_t>(cellsPerAxis_);
    const Cell cell = cells_[(static_cast<std::size_t>(static_cast<int>(z)) * n +
                              static_cast<std::size_t>(static_cast<int>(y))) *
                                 n +
                             static_cast<std::size_t>(static_cast<int>(x))];
    if (cell.count == 0) {
      return static_cast<int32_t>(cell.first);
    }
    if (cell.count == kTreeCell) [[unlikely]] {
      return tree_->find(in, cell.first, colors_[cell.first]);
    }
    return ScanBlocks<1>(&cellBlocks_[cell.first], cell.count, in.r, in.g, in.b);
  }
  return findBeyondGrid(in);
}

// Kept out of find, so that the common lookups stay short.
int32_t NearestColorSearch::findBeyondGrid(const Color3& in) const {
  for (const Shell& shell : shells()) {
    constexpr float kExtent = static_cast<float>(kShellCellsPerAxis);
    const float sx = (in.r - shell.low) * shell.perUnit;
    const float sy = (in.g - shell.low) * shell.perUnit;
    const float sz = (in.b - shell.low) * shell.perUnit;
    if (sx >= 0.0f && sx < kExtent && sy >= 0.0f && sy < kExtent && sz >= 0.0f && sz < kExtent) {
      constexpr std::size_t n = kShellCellsPerAxis;
      const Cell cell = shell.cells[(static_cast<std::size_t>(static_cast<int>(sz)) * n +
                                     static_cast<std::size_t>(static_cast<int>(sy))) *
                                        n +
                                    static_cast<std::size_t>(static_cast<int>(sx))];
      return cell.count == 0 ? static_cast<int32_t>(cell.first)
                             : ScanBlocks<1>(&shell.blocks[cell.first], cell.count, in.r, in.g, in.b);
    }
  }
  // An infinite or NaN channel makes every distance infinite or NaN, and neither is ever taken.
  if (!std::isfinite(in.r) || !std::isfinite(in.g) || !std::isfinite(in.b)) {
    return -1;
  }
  if (!tree_) {
    return ScanBlocks<1>(allBlocks_.data(), static_cast<uint32_t>(allBlocks_.size()), in.r, in.g, in.b);
  }
  // The tree's first guess: a colour of the grid's cell nearest the point (its colour, its first
  // candidate, or a crowded cell's own guess), which for a point off the grid's side is often near the
  // answer. Any colour the tree holds would do; every cell names one.
  const auto cellAt = [this](float v) {
    const float at = GridCoordinate(v, cellsPerUnit_);
    return at < 0.0f ? std::size_t{0} : static_cast<std::size_t>(std::min(at, gridExtent_ - 1.0f));
  };
  const std::size_t n = static_cast<std::size_t>(cellsPerAxis_);
  const Cell cell = cells_[(cellAt(in.b) * n + cellAt(in.g)) * n + cellAt(in.r)];
  const uint32_t seed = cell.count == 0 || cell.count == kTreeCell
                            ? cell.first
                            : static_cast<uint32_t>(cellBlocks_[cell.first].index[0]);
  return seed < colors_.size() ? tree_->find(in, seed, colors_[seed]) : tree_->find(in);
}

NearestGrids NearestColorSearch::grids() const {
  NearestGrids grids{};
  grids.unit = {unitCells_.empty() ? nullptr : unitCells_.data(), unitBlocks_.data(), unitShift_};
  grids.outer = {cells_.data(), cellBlocks_.data(), cellsPerAxis_, kGridLow, cellsPerUnit_, gridExtent_};
  grids.colors = colors_.data();
  grids.colorCount = colors_.size();
  grids.search = this;
  return grids;
}

NearestGrids NearestColorSearch::gridsWithShells() const {
  NearestGrids grids = this->grids();
  for (const Shell& shell : shells()) {
    grids.shells[grids.shellCount++] = {shell.cells.data(), shell.blocks.data(),
                                        kShellCellsPerAxis, shell.low,
                                        shell.perUnit,      static_cast<float>(kShellCellsPerAxis)};
  }
  return grids;
}

template <typename Word>
static void UnitCellWords(const std::vector<uint16_t>& cells, const Word* colorWords, Word open,
                          int openShift, std::size_t first, std::size_t end, Word* out) {
  constexpr uint16_t kDirect = NearestGrids::kUnitDirect;
  for (std::size_t k = first; k < end; ++k) {
    const uint16_t cell = cells[k];
    out[k] = (cell & kDirect) != 0 ? colorWords[cell & (kDirect - 1)] : (Word{cell} << openShift) | open;
  }
}

void NearestColorSearch::unitCellWords(const uint32_t* colorWords, uint32_t open, int openShift,
                                       std::size_t first, std::size_t end, uint32_t* out) const {
  UnitCellWords(unitCells_, colorWords, open, openShift, first, end, out);
}

void NearestColorSearch::unitCellWords(const uint64_t* colorWords, uint64_t open, int openShift,
                                       std::size_t first, std::size_t end, uint64_t* out) const {
  UnitCellWords(unitCells_, colorWords, open, openShift, first, end, out);
}

int32_t NearestColorSearch::find8(uint8_t r, uint8_t g, uint8_t b) const {
  const Cell cell = cells_[byteOffsetR_[r] + byteOffsetG_[g] + byteOffsetB_[b]];
  if (cell.count == 0) {
    return static_cast<int32_t>(cell.first);
  }
  if (cell.count == kTreeCell) {
    return tree_->find(Color3(kByteValues[r], kByteValues[g], kByteValues[b]), cell.first,
                       colors_[cell.first]);
  }
  return ScanBlocks<1>(&cellBlocks_[cell.first], cell.count, kByteValues[r], kByteValues[g], kByteValues[b]);
}

Color3& NearestColorSearch::nearest(Color3& out, const Color3& in) const {
  const Color3 target = in;
  const int32_t found = find(target);
  out = found < 0 ? target : colors_[static_cast<std::size_t>(found)];
  return out;
}
