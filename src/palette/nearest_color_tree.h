// An exact nearest-colour search whose cost stays bounded however the colours lie: a binary tree over the
// distinct colours, each node bounded by a capsule (a segment along the node's longest direction, widened by
// the farthest colour's distance from it). Colours on a line, in tight clusters or on a surface, which leave
// a grid's cells crowded, cost it a path down the tree and the colours whose distances are within rounding
// of the least.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "palette/color.h"
#include "palette/nearest_color_grids.h"

class NearestColorTree {
 public:
  NearestColorTree() = default;
  // `points`: the indices into `colors` of the colours that may be taken, each with finite channels and
  // none equal to another (the first of equal colours, since it always wins the tie).
  NearestColorTree(std::span<const Color3> colors, std::span<const uint32_t> points);

  // The first colour in palette order at the least single-precision distance (dr * dr + dg * dg) + db * db
  // from `in`, among the points, or -1 when none is below the largest finite float. `in` must be finite.
  int32_t find(const Color3& in) const;
  // The same, starting from `seed`, one of the points (at colour `seedColor`), as a first guess: a guess
  // near the answer lets the walk pass most of the tree over at once.
  int32_t find(const Color3& in, uint32_t seed, const Color3& seedColor) const;

  bool empty() const { return nodes_.empty(); }

 private:
  // Four colours side by side; unused lanes hold an infinite colour and index -1.
  using Block = NearestGrids::Block;
  // A colour p of the node lies in the box [boxLow, boxHigh], at (p - centre) . axis in [low, high] along the
  // axis, and within `radius` of the axis line. The box bounds colours spread in all directions tightly, the
  // capsule colours along a line. Inner nodes have children `first` and `first + 1`; leaves hold `count`
  // blocks from blocks_[first].
  struct Node {
    double boxLow[3];
    double boxHigh[3];
    double centre[3];
    double axis[3];
    double low;
    double high;
    double radius;
    // kBoundSlack (|centre| + |low| + |high| + radius), |centre| summed over the channels: with the query's
    // own part, kBoundSlack |q|, what the bound's arithmetic may be off by
    double slack;
    bool alongAxis;  // strung out along the axis: the capsule bounds it much better than the box
    bool line;       // a leaf of colours on the axis, in blocks in order along it
    bool ascending;  // a line leaf whose colours are also in palette order
    uint32_t first;
    uint32_t count;  // 0 for an inner node
  };
  struct Point {
    double p[3];
    uint32_t index;
  };
  // The boxes of an inner node's grandchildren side by side, one a lane, as floats (a box's sides are
  // colours' channels, so exact): lanes 0 and 1 hold the first child's children, 2 and 3 the second's; a
  // child that is a leaf takes its own first lane and leaves the other unused. Four box bounds come from one
  // pass of four-lane single-precision arithmetic, and a walk steps down two levels at a time.
  struct alignas(16) GrandchildBoxes {
    float low[3][4];
    float high[3][4];
    uint32_t node[4];
    uint8_t used;       // a bit a lane
    uint8_t alongAxis;  // a bit a lane: the capsule is worth working out (see Node::alongAxis)
  };

  void build(std::vector<Point>& points, std::size_t begin, std::size_t end, std::size_t node);
  struct AxisPlace;
  static AxisPlace placeOnAxis(const Node& node, const double q[3], double reach);
  static double capsuleBound(const Node& node, const double q[3], double reach, double box);
  // The key (see LeastKey) of the first colour at the least distance, the line leaf's colours and `key`'s.
  uint64_t scanLine(const Node& node, const double q[3], double reach, const Color3& in, uint64_t key) const;

  int32_t walk(const Color3& in, uint64_t key) const;

  std::vector<Node> nodes_;
  // The grandchildren's boxes of the inner node whose children are `first` and `first + 1`, at
  // (first - 1) / 2.
  std::vector<GrandchildBoxes> grandchildBoxes_;
  std::vector<Block> blocks_;
  // Each block's least and greatest position along its node's axis (used by line leaves).
  std::vector<double> blockLow_;
  std::vector<double> blockHigh_;
};
