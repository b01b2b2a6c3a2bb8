#include "palette/nearest_color_search.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <mutex>
#include <new>
#include <numeric>
#include <stdexcept>

#include "palette/block_scan.h"
#include "palette/nearest_color_grids.h"
#include "palette/nearest_color_tree.h"

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
constexpr int kShellCount = 11;
constexpr int kShellCellsPerAxis = 16;
// Palettes in this range get them: a scan of a few dozen colours costs no more than a shell's cell, and
// beyond a few thousand colours the shells' cells would list too many.
constexpr std::size_t kShellFewestColors = 33;
constexpr std::size_t kShellMostColors = 4096;

constexpr float kInfinity = std::numeric_limits<float>::infinity();
constexpr uint32_t kNoColor = 0xFFFFFFFFu;  // -1 once read back as int32_t

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

// Cell boxes are widened by this much on every side before their candidates are chosen, so a point that the
// float index computation puts in a neighbouring cell is still covered. That computation rounds once, in
// (v - kGridLow), by at most 2^-24 for the values below 2 it sees there; the scaling by a power of two is
// exact.
constexpr double kCellSlack = 0x1p-20;

// A cell whose only candidate stays this close everywhere answers without arithmetic: its distance is finite,
// so it is always taken. Beyond, the distance might overflow and the cell scans its one colour.
constexpr double kSafeSingle = 1e30;

// How many of the closest colours each candidate is held against. More prune little further and make the
// build of large palettes slower.
constexpr std::size_t kMaxRivals = 8;

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
  NearestColorGridBuilder(std::span<const Color3> colors, std::span<const uint32_t> distinct, int cellsPerAxis,
                          std::size_t blockBudget, std::vector<uint16_t>& unitCells,
                          std::vector<Block>& unitBlocks)
      : NearestColorGridBuilder(colors, distinct, 0.0, 1.0, cellsPerAxis, blockBudget, kCellSlack,
                                unitBlocks) {
    unitCells_ = &unitCells;
    unitCells.assign(cellCount() + 1, 0);
    unitKeys_.assign(kUnitSlots, kNoKey);
    unitNumbers_.resize(kUnitSlots);
  }

  // Cells [lo, hi) on every axis are never looked in (a finer grid answers there): they share one list of
  // every colour, which is right anywhere, instead of lists of their own.
  void leaveHole(int lo, int hi) {
    holeLo_ = lo;
    holeHi_ = hi;
  }

  // Crowded cells (see kCrowdedColors) are marked for the tree rather than given lists.
  void sendCrowdedToTree() { crowdedToTree_ = true; }

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

  // The candidate tests of select for the eight halves of a box (at `start`, `span` cells a side, both
  // even) whose list holds at most kMaxRivals colours: bit i of kept[(dz * 2 + dy) * 2 + dx] is set where
  // colour i of the list is kept in the half at start + (dx, dy, dz) * span / 2. The same arithmetic in the
  // same order as selectFew, so the same colours are kept; but each term of a distance or of a gap depends
  // on one channel's half only, so it is worked out once for both halves of that channel instead of once
  // for each of the eight.
  void selectHalves(const Candidates& list, const int start[3], int span, uint8_t kept[8]) const {
    const std::size_t count = list.size();
    const int half = span / 2;
    double mid[3][2];
    double halfWidth[3][2];
    for (int c = 0; c < 3; ++c) {
      for (int o = 0; o < 2; ++o) {
        const double lo = low_ + (start[c] + o * half) * cellWidth_ - slack_;
        const double hi = low_ + (start[c] + o * half + half) * cellWidth_ + slack_;
        mid[c][o] = 0.5 * (lo + hi);
        halfWidth[c][o] = 0.5 * (hi - lo);
      }
    }
    // Per channel and half, each colour's squared distances beyond the box and to its far side.
    double inside[3][2][kMaxRivals];
    double far[3][2][kMaxRivals];
    for (int c = 0; c < 3; ++c) {
      const double* p = list.channel[c].data();
      for (int o = 0; o < 2; ++o) {
        for (std::size_t i = 0; i < count; ++i) {
          const double fromMid = std::fabs(p[i] - mid[c][o]);
          const double outside = Outside(fromMid, halfWidth[c][o]);
          const double farthest = fromMid + halfWidth[c][o];
          inside[c][o][i] = outside * outside;
          far[c][o][i] = farthest * farthest;
        }
      }
    }
    double greatest[8][kMaxRivals];
    unsigned near[8];
    unsigned compared = 0;  // the colours near in some half along with another
    for (int o = 0; o < 8; ++o) {
      const int ox = o & 1;
      const int oy = (o >> 1) & 1;
      const int oz = o >> 2;
      double least[kMaxRivals];
      double bound = std::numeric_limits<double>::infinity();
      for (std::size_t i = 0; i < count; ++i) {
        least[i] = inside[0][ox][i] + inside[1][oy][i] + inside[2][oz][i];
        greatest[o][i] = far[0][ox][i] + far[1][oy][i] + far[2][oz][i];
        bound = std::min(bound, greatest[o][i]);
      }
      const double limit = bound * (1.0 + kRelative) + kAbsolute;
      unsigned mask = 0;
      for (std::size_t i = 0; i < count; ++i) {
        mask |= least[i] * (1.0 - kRelative) <= limit ? 1u << i : 0u;
      }
      near[o] = mask;
      compared |= (mask & (mask - 1)) != 0 ? mask : 0u;
    }
    if (compared == 0) {
      for (int o = 0; o < 8; ++o) {
        kept[o] = static_cast<uint8_t>(near[o]);
      }
      return;
    }
    // The gap of selectFew, D_i - D_r at its least over the half, by channel and half, for the pairs that
    // meet in some half.
    double gap[kMaxRivals][kMaxRivals][3][2];
    for (std::size_t i = 0; i < count; ++i) {
      if ((compared >> i & 1) == 0) continue;
      const double p[3] = {list.channel[0][i], list.channel[1][i], list.channel[2][i]};
      for (std::size_t r = 0; r < count; ++r) {
        if ((compared >> r & 1) == 0 || r == i) continue;
        for (int c = 0; c < 3; ++c) {
          const double k = list.channel[c][r];
          for (int o = 0; o < 2; ++o) {
            const double twiceMid = 2.0 * mid[c][o];
            const double width = 2.0 * halfWidth[c][o];
            gap[i][r][c][o] = (k - p[c]) * (twiceMid - p[c] - k) - std::fabs(k - p[c]) * width;
          }
        }
      }
    }
    for (int o = 0; o < 8; ++o) {
      const unsigned mask = near[o];
      if ((mask & (mask - 1)) == 0) {
        kept[o] = static_cast<uint8_t>(mask);
        continue;
      }
      const int ox = o & 1;
      const int oy = (o >> 1) & 1;
      const int oz = o >> 2;
      unsigned survivors = mask;
      for (unsigned rest = mask; rest != 0; rest &= rest - 1) {
        const auto i = static_cast<std::size_t>(std::countr_zero(rest));
        const double margin = kRelative * greatest[o][i];
        for (unsigned others = mask & ~(1u << i); others != 0; others &= others - 1) {
          const auto r = static_cast<std::size_t>(std::countr_zero(others));
          const double (*g)[2] = gap[i][r];
          if (g[0][ox] + g[1][oy] + g[2][oz] > margin + (kRelative * greatest[o][r] + kAbsolute)) {
            survivors &= ~(1u << i);
            break;
          }
        }
      }
      kept[o] = static_cast<uint8_t>(survivors);
    }
  }

  bool inHole(int x0, int y0, int z0, int span) const {
    return holeLo_ < holeHi_ && std::min({x0, y0, z0}) >= holeLo_ && std::max({x0, y0, z0}) + span <= holeHi_;
  }

  template <typename T>
  void fill(std::vector<T>& grid, int x0, int y0, int z0, int span, T value) {
    const std::size_t n = static_cast<std::size_t>(cellsPerAxis_);
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
    const std::size_t blocks = (count + 3) / 4;
    unitListBlocks_ += blocks;
    overBudget_ = overBudget_ || (unitListBlocks_ > blockBudget_ && cellsPerAxis_ > 1);
    if (blocks != 1) {
      return 0;
    }
    uint64_t key = 0;
    for (std::size_t lane = 0; lane < 4; ++lane) {
      key = (key << 16) | (lane < count ? index[lane] : 0xFFFFu);
    }
    if (key == lastKey_) {
      return lastCell_;
    }
    std::size_t slot = static_cast<std::size_t>((key * 0x9E3779B97F4A7C15ull) >> 48);
    while (unitKeys_[slot] != kNoKey && unitKeys_[slot] != key) {
      slot = (slot + 1) & (kUnitSlots - 1);
    }
    if (unitKeys_[slot] == kNoKey) {
      if (blocks_.size() == kUnitBlocks) {
        return 0;
      }
      unitKeys_[slot] = key;
      unitNumbers_[slot] = static_cast<uint16_t>(blocks_.size() + 1);
      blocks_.push_back(blockOf(index, count));
    }
    lastKey_ = key;
    lastCell_ = unitNumbers_[slot];
    return lastCell_;
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
      if (greatestDistance(p, box) <= kSafeSingle) {
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
    bool outsideCube = false;
    for (int c = 0; c < 3; ++c) {
      outsideCube = outsideCube || box.lo[c] > 1.0 || box.hi[c] < 0.0;
    }
    if (span == 1 || (outsideCube && count <= 4)) {
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
      fill(x0, y0, z0, span, Cell{0, NearestColorSearch::kTreeCell});
      return;
    }
    const int start[3] = {x0, y0, z0};
    if (!settle(x0, y0, z0, span, boxOf(start, span), list.index.data(), list.size())) {
      split(depth, x0, y0, z0, span, list);
    }
  }

  // The eight halves of a box that needs them, each given the candidates that may win in it.
  void split(std::size_t depth, int x0, int y0, int z0, int span, const Candidates& list) {
    const int half = span / 2;
    Candidates& kept = lists_[depth + 1];
    const int start[3] = {x0, y0, z0};
    uint8_t keptMasks[8];
    const bool few = list.size() <= kMaxRivals;
    if (few) {
      selectHalves(list, start, span, keptMasks);
    }
    for (int o = 0; o < 8; ++o) {
      if (overBudget_) {
        return;
      }
      const int child[3] = {x0 + (o & 1) * half, y0 + ((o >> 1) & 1) * half, z0 + (o >> 2) * half};
      if (inHole(child[0], child[1], child[2], half)) {
        fill(child[0], child[1], child[2], half, holeCell_);
        continue;
      }
      const Box box = boxOf(child, half);
      if (!few) {
        select(list, box, true, kept);
        node(depth + 1, child[0], child[1], child[2], half, kept);
        continue;
      }
      // Decided from the kept colours' indices where that is enough; their lists are copied only for the
      // halves that are split further.
      uint32_t index[kMaxRivals];
      std::size_t count = 0;
      for (unsigned mask = keptMasks[o]; mask != 0; mask &= mask - 1) {
        index[count++] = list.index[static_cast<std::size_t>(std::countr_zero(mask))];
      }
      if (settle(child[0], child[1], child[2], half, box, index, count)) {
        continue;
      }
      kept.resize(count);
      std::size_t at = 0;
      for (unsigned mask = keptMasks[o]; mask != 0; mask &= mask - 1, ++at) {
        const auto i = static_cast<std::size_t>(std::countr_zero(mask));
        for (int c = 0; c < 3; ++c) {
          kept.channel[c][at] = list.channel[c][i];
        }
        kept.index[at] = list.index[i];
      }
      split(depth + 1, child[0], child[1], child[2], half, kept);
    }
  }

  // Marks an empty slot of the unit grid's block table: no block lists colour 0 four times.
  static constexpr uint64_t kNoKey = 0;
  // Slots for every block number, at most half of them taken.
  static constexpr std::size_t kUnitSlots = std::size_t{1} << 16;

  std::span<const Color3> colors_;
  std::span<const uint32_t> distinct_;
  bool crowdedToTree_ = false;
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
  // The unit grid's blocks by their four indices, in an open-addressed table, and the last one looked up.
  std::vector<uint64_t> unitKeys_;
  std::vector<uint16_t> unitNumbers_;
  uint64_t lastKey_ = kNoKey;
  uint16_t lastCell_ = 0;
  std::size_t unitListBlocks_ = 0;
  std::vector<Candidates> lists_;
  std::vector<double> least_;
  std::vector<double> greatest_;
  std::vector<uint32_t> order_;
};

NearestColorSearch::NearestColorSearch() : NearestColorSearch(std::span<const Color3>()) {}

NearestColorSearch::NearestColorSearch(std::span<const Color3> colors)
    : colors_(colors.begin(), colors.end()) {
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
  while (!NearestColorGridBuilder(colors_, distinct, 1 << unitShift_, BlockBudgetFor(colors_.size()), unitCells_,
                                  unitBlocks_)
              .run()) {
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
      return tree_->find(in);
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
  return tree_ ? tree_->find(in)
               : ScanBlocks<1>(allBlocks_.data(), static_cast<uint32_t>(allBlocks_.size()), in.r, in.g, in.b);
}

// The shells stay out: they are built on first use, and the lookups hand the points beyond the outer grid
// to `find`, which builds and reads them.
NearestGrids NearestColorSearch::grids() const {
  NearestGrids grids{};
  grids.unit = {unitCells_.empty() ? nullptr : unitCells_.data(), unitBlocks_.data(), unitShift_};
  grids.outer = {cells_.data(), cellBlocks_.data(), cellsPerAxis_, kGridLow, cellsPerUnit_, gridExtent_};
  grids.colors = colors_.data();
  grids.colorCount = colors_.size();
  grids.search = this;
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
    return tree_->find(Color3(kByteValues[r], kByteValues[g], kByteValues[b]));
  }
  return ScanBlocks<1>(&cellBlocks_[cell.first], cell.count, kByteValues[r], kByteValues[g], kByteValues[b]);
}

Color3& NearestColorSearch::nearest(Color3& out, const Color3& in) const {
  const Color3 target = in;
  const int32_t found = find(target);
  out = found < 0 ? target : colors_[static_cast<std::size_t>(found)];
  return out;
}
