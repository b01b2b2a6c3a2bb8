#include "palette/nearest_color_tree.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>

#if defined(__SSE2__)
#include <xmmintrin.h>
#endif

#include "palette/block_scan.h"
#include "palette/nearest_scan_avx2.h"

namespace {

constexpr float kInfinity = std::numeric_limits<float>::infinity();

typedef float Float4 __attribute__((vector_size(16)));
typedef int32_t Int4 __attribute__((vector_size(16)));

inline Float4 Load4(const float* from) {
  Float4 v;
  std::memcpy(&v, from, sizeof v);
  return v;
}

// The greater lane by lane, the second where they are equal (maxps).
inline Float4 Max4(const Float4& x, const Float4& y) { return x > y ? x : y; }

// A bit a lane, set where the lane's comparison held.
inline unsigned LaneBits(const Int4& held) {
#if defined(__SSE2__)
  return static_cast<unsigned>(_mm_movemask_ps(reinterpret_cast<__m128>(held)));
#else
  unsigned bits = 0;
  for (int lane = 0; lane < 4; ++lane) bits |= held[lane] != 0 ? 1u << lane : 0u;
  return bits;
#endif
}

// Leaves hold up to this many colours, four blocks.
constexpr std::size_t kLeafColors = 16;

// A node is passed over when even the least distance any of its colours can have, less what single-precision
// rounding can take off it, is beyond the best distance found so far: then none of them can be taken, nor
// tie. The computed distance d of a colour and the exact one D satisfy d >= D (1 - u)^5 - 2^-147 >=
// D (1 - 5u) - 2^-147 with u = 2^-24: the term of red rounds in the difference, the square and both sums,
// every rounding by a factor of at least 1 - u, and squares that underflow lose less than 2^-149 each.
// The bound B never exceeds D (its gaps are shortened by kBoundSlack for the double-precision steps that
// make them), and its last squares and sums round by a few 2^-53 upwards at most. The test
// B (1 - kRelative) - kAbsolute > best, in double precision, then gives D (1 - 5u) - 2^-147 > best, since
// kRelative - 5u (about 2e-8) dwarfs those few 2^-53 and kAbsolute dwarfs 2^-147: every colour of the node
// has d > best. The bound is the width of the candidates a far point must look at (see scanLine), so it is
// kept close to 5u, about 3.0e-7.
constexpr double kRelative = 3.2e-7;
constexpr double kAbsolute = 1e-30;
// What the bound's double-precision arithmetic may be off by, relative to the sizes it works with: its
// inputs are floats and its few steps each round by 2^-53, so 1e-12 leaves a wide margin.
constexpr double kBoundSlack = 1e-12;

// The distance of a key (see LeastKey), in double precision, exactly.
inline double KeyDistance(uint64_t key) {
  float distance;
  const uint32_t bits = static_cast<uint32_t>(key >> 32);
  std::memcpy(&distance, &bits, sizeof distance);
  return static_cast<double>(distance);
}

// Whether no colour whose exact distance is at least `bound` can be taken or tie against the key's distance
// (see kRelative).
inline bool PassedOver(double bound, uint64_t key) {
  return bound * (1.0 - kRelative) - kAbsolute > KeyDistance(key);
}

// The walk bounds four boxes at once in single precision, where the bound B' itself may come out above the
// exact box bound B: each gap max(low - q, q - high, 0) rounds up by a factor of at most 1 + u (a rounding
// keeps the sign, and 0 is exact), its square by two such factors and 2^-149 if it underflows, and the two
// sums by two more, so B' <= B (1 + u)^5 + 2^-146. A colour's exact distance D is at least B (its channels
// lie within the box), and its computed one d >= D (1 - 5u) - 2^-147 (see kRelative), so d >= B' (1 - 10u)
// - 2^-145. A node is passed over when B' > (best + kAbsolute) (1 + kFloatRelative): with kFloatRelative =
// 7e-7 above 10u = 5.96e-7 by far more than the double-precision roundings of the threshold (a few 2^-53),
// that gives d > best for each of its colours. Capsule bounds (double precision, never above D but for those
// few 2^-53) are rounded down to floats and tested the same way, which is only more cautious.
constexpr double kFloatRelative = 7e-7;

// The least float a bound must exceed for a node to be passed over at best distance `best` (see
// kFloatRelative); infinity, which no bound exceeds, when nothing is found yet.
inline float PassThreshold(double best) {
  const double least = (best + kAbsolute) * (1.0 + kFloatRelative);
  if (!(least < static_cast<double>(std::numeric_limits<float>::max()))) {
    return kInfinity;
  }
  // Rounded to nearest, then up a step if that fell short: least is positive, so the next float up is the
  // next bit pattern.
  const float nearest = static_cast<float>(least);
  return static_cast<double>(nearest) < least ? std::bit_cast<float>(std::bit_cast<uint32_t>(nearest) + 1)
                                              : nearest;
}

// A float no greater than `bound`, which is not negative.
inline float FloatBelow(double bound) {
  if (!(bound < static_cast<double>(std::numeric_limits<float>::max()))) {
    return std::numeric_limits<float>::max();
  }
  // Rounded to nearest, then down a step if that went beyond: a float above a non-negative bound is
  // positive, so the next float down is the previous bit pattern.
  const float nearest = static_cast<float>(bound);
  return static_cast<double>(nearest) > bound ? std::bit_cast<float>(std::bit_cast<uint32_t>(nearest) - 1)
                                              : nearest;
}

// Whether long runs of blocks are scanned 8 lanes at a time (the same keys as the baseline scans, bit for
// bit).
const bool kScanAvx2 = NearestAvx2Available();

// Runs of fewer blocks are scanned inline, 4 lanes wide: the call costs more than the wider lanes save.
constexpr uint32_t kAvx2FewestBlocks = 16;

// The first colour at the least distance among a run of blocks, as a key (see LeastKey): `inOrder` when
// each lane meets its colours in palette order.
inline uint64_t RunKey(const NearestGrids::Block* blocks, uint32_t count, const Color3& in, bool inOrder) {
  if (kScanAvx2 && count >= kAvx2FewestBlocks) {
    return inOrder ? nearest_avx2::LeastKey(blocks, count, in.r, in.g, in.b)
                   : nearest_avx2::LeastKeyAnyOrder(blocks, count, in.r, in.g, in.b);
  }
  return inOrder ? nearest_baseline::LeastKey(blocks, count, in)
                 : nearest_baseline::LeastKeyAnyOrder(blocks, count, in);
}

}  // namespace

bool NearestAvx2Available() {
#if defined(__x86_64__) || defined(__i386__)
  // Also run before main, by the static above: the CPU's features are read first.
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2");
#else
  return false;
#endif
}

NearestColorTree::NearestColorTree(std::span<const Color3> colors, std::span<const uint32_t> points) {
  if (points.empty()) {
    return;
  }
  std::vector<Point> all;
  all.reserve(points.size());
  for (const uint32_t j : points) {
    const Color3& c = colors[j];
    all.push_back({{c.r, c.g, c.b}, j});
  }
  nodes_.resize(1);
  build(all, 0, all.size(), 0);
  nodes_.shrink_to_fit();
  grandchildBoxes_.shrink_to_fit();
  blocks_.shrink_to_fit();
  blockLow_.shrink_to_fit();
  blockHigh_.shrink_to_fit();
}

void NearestColorTree::build(std::vector<Point>& points, std::size_t begin, std::size_t end, std::size_t at) {
  const std::size_t count = end - begin;
  double centre[3] = {0.0, 0.0, 0.0};
  for (std::size_t i = begin; i < end; ++i) {
    for (int c = 0; c < 3; ++c) centre[c] += points[i].p[c];
  }
  for (double& c : centre) c /= static_cast<double>(count);
  // The longest direction, nearly: from the colour farthest from the centre to the colour farthest from it.
  const auto farthestFrom = [&](const double from[3]) {
    std::size_t far = begin;
    double most = -1.0;
    for (std::size_t i = begin; i < end; ++i) {
      double d = 0.0;
      for (int c = 0; c < 3; ++c) d += (points[i].p[c] - from[c]) * (points[i].p[c] - from[c]);
      if (d > most) {
        most = d;
        far = i;
      }
    }
    return far;
  };
  const std::size_t a = farthestFrom(centre);
  const std::size_t b = farthestFrom(points[a].p);
  double axis[3];
  double length = 0.0;
  for (int c = 0; c < 3; ++c) {
    axis[c] = points[b].p[c] - points[a].p[c];
    length += axis[c] * axis[c];
  }
  length = std::sqrt(length);
  if (length > 0.0) {
    for (double& c : axis) c /= length;
  } else {
    axis[0] = 1.0;
    axis[1] = axis[2] = 0.0;
  }
  const auto along = [&](const Point& point) {
    return ((point.p[0] - centre[0]) * axis[0] + (point.p[1] - centre[1]) * axis[1]) +
           (point.p[2] - centre[2]) * axis[2];
  };
  double low = std::numeric_limits<double>::infinity();
  double high = -low;
  double radius = 0.0;
  for (std::size_t i = begin; i < end; ++i) {
    const double t = along(points[i]);
    low = std::min(low, t);
    high = std::max(high, t);
    double away = 0.0;
    for (int c = 0; c < 3; ++c) {
      const double w = (points[i].p[c] - centre[c]) - t * axis[c];
      away += w * w;
    }
    radius = std::max(radius, std::sqrt(away));
  }
  Node node{};
  for (int c = 0; c < 3; ++c) {
    node.centre[c] = centre[c];
    node.axis[c] = axis[c];
    node.boxLow[c] = std::numeric_limits<double>::infinity();
    node.boxHigh[c] = -node.boxLow[c];
  }
  for (std::size_t i = begin; i < end; ++i) {
    for (int c = 0; c < 3; ++c) {
      node.boxLow[c] = std::min(node.boxLow[c], points[i].p[c]);
      node.boxHigh[c] = std::max(node.boxHigh[c], points[i].p[c]);
    }
  }
  node.low = low;
  node.high = high;
  node.radius = radius;
  node.slack = kBoundSlack * (((std::fabs(centre[0]) + std::fabs(centre[1])) + std::fabs(centre[2])) +
                              ((std::fabs(low) + std::fabs(high)) + radius));
  node.alongAxis = radius * 4.0 < high - low;
  // Colours on a line, up to much less than their spacing, are kept as one run in order along it, four to a
  // block: a point's colours are then found from where it falls along the line, a block at a time outwards.
  const bool line = count > kLeafColors && radius * 4.0 * static_cast<double>(count - 1) < high - low;
  if (count <= kLeafColors || length == 0.0 || line) {
    // A leaf in palette order, so that each lane meets equal distances earliest colour first; a run in order
    // along the axis, scanned a block at a time (a block's lanes hold different colours, and keys merge
    // across blocks by distance, then index).
    const auto from = points.begin() + static_cast<std::ptrdiff_t>(begin);
    const auto to = points.begin() + static_cast<std::ptrdiff_t>(end);
    if (line) {
      std::sort(from, to, [&](const Point& x, const Point& y) { return along(x) < along(y); });
      // A run whose palette order is the reverse of its order along the axis is turned round with the axis:
      // in palette order, a plain lane scan keeps the first of equal distances without comparing indices.
      if (std::is_sorted(from, to, [](const Point& x, const Point& y) { return x.index > y.index; })) {
        for (int c = 0; c < 3; ++c) {
          axis[c] = -axis[c];
          node.axis[c] = axis[c];
        }
        node.low = -high;
        node.high = -low;
        std::reverse(from, to);
      }
      node.ascending =
          std::is_sorted(from, to, [](const Point& x, const Point& y) { return x.index < y.index; });
    } else {
      std::sort(from, to, [](const Point& x, const Point& y) { return x.index < y.index; });
    }
    node.first = static_cast<uint32_t>(blocks_.size());
    for (std::size_t i = begin; i < end; i += 4) {
      Block block;
      double blockLow = std::numeric_limits<double>::infinity();
      double blockHigh = -blockLow;
      for (std::size_t lane = 0; lane < 4; ++lane) {
        const bool used = i + lane < end;
        block.r[lane] = used ? static_cast<float>(points[i + lane].p[0]) : kInfinity;
        block.g[lane] = used ? static_cast<float>(points[i + lane].p[1]) : kInfinity;
        block.b[lane] = used ? static_cast<float>(points[i + lane].p[2]) : kInfinity;
        block.index[lane] = used ? static_cast<int32_t>(points[i + lane].index) : -1;
        if (used) {
          blockLow = std::min(blockLow, along(points[i + lane]));
          blockHigh = std::max(blockHigh, along(points[i + lane]));
        }
      }
      blocks_.push_back(block);
      blockLow_.push_back(blockLow);
      blockHigh_.push_back(blockHigh);
    }
    node.count = static_cast<uint32_t>(blocks_.size() - node.first);
    node.line = line;
    nodes_[at] = node;
    return;
  }
  // Colours strung out along a line are halved along it; others along the box's widest side, which keeps the
  // children's boxes apart.
  const std::size_t middle = begin + count / 2;
  const auto first = points.begin() + static_cast<std::ptrdiff_t>(begin);
  const auto split = points.begin() + static_cast<std::ptrdiff_t>(middle);
  const auto last = points.begin() + static_cast<std::ptrdiff_t>(end);
  if (node.alongAxis) {
    std::nth_element(first, split, last, [&](const Point& x, const Point& y) { return along(x) < along(y); });
  } else {
    int widest = 0;
    for (int c = 1; c < 3; ++c) {
      if (node.boxHigh[c] - node.boxLow[c] > node.boxHigh[widest] - node.boxLow[widest]) widest = c;
    }
    std::nth_element(first, split, last,
                     [widest](const Point& x, const Point& y) { return x.p[widest] < y.p[widest]; });
  }
  node.first = static_cast<uint32_t>(nodes_.size());
  node.count = 0;
  nodes_[at] = node;
  nodes_.resize(nodes_.size() + 2);
  grandchildBoxes_.resize((nodes_.size() - 1) / 2);
  build(points, begin, middle, node.first);
  build(points, middle, end, node.first + 1);
  GrandchildBoxes& boxes = grandchildBoxes_[(node.first - 1) / 2];
  boxes = GrandchildBoxes{};
  for (uint32_t side = 0; side < 2; ++side) {
    const uint32_t child = node.first + side;
    const uint32_t lanes[2] = {nodes_[child].count == 0 ? nodes_[child].first : child,
                               nodes_[child].first + 1};
    for (uint32_t k = 0; k < (nodes_[child].count == 0 ? 2u : 1u); ++k) {
      const uint32_t lane = 2 * side + k;
      const Node& grandchild = nodes_[lanes[k]];
      for (int c = 0; c < 3; ++c) {
        boxes.low[c][lane] = static_cast<float>(grandchild.boxLow[c]);
        boxes.high[c][lane] = static_cast<float>(grandchild.boxHigh[c]);
      }
      boxes.node[lane] = lanes[k];
      boxes.used = static_cast<uint8_t>(boxes.used | (1u << lane));
      boxes.alongAxis = static_cast<uint8_t>(boxes.alongAxis | (grandchild.alongAxis ? 1u << lane : 0u));
    }
  }
}

// The least exact squared distance from q to any colour of the node, never more: the distance along the axis
// beyond the node's span and the distance from the axis line beyond its radius, each shortened by what the
// arithmetic may have lost.
// Where q lies against the node's axis: how far along it, how far beyond its radius from it (never more than
// the exact figures), and the allowance for the arithmetic's rounding.
struct NearestColorTree::AxisPlace {
  double along;
  double across;
  double slack;
};

[[gnu::always_inline]] inline NearestColorTree::AxisPlace NearestColorTree::placeOnAxis(const Node& node,
                                                                                        const double q[3],
                                                                                        double reach) {
  const double v[3] = {q[0] - node.centre[0], q[1] - node.centre[1], q[2] - node.centre[2]};
  const double slack = reach + node.slack;
  const double t = (v[0] * node.axis[0] + v[1] * node.axis[1]) + v[2] * node.axis[2];
  const double w[3] = {v[0] - t * node.axis[0], v[1] - t * node.axis[1], v[2] - t * node.axis[2]};
  const double away = std::sqrt((w[0] * w[0] + w[1] * w[1]) + w[2] * w[2]);
  return {t, std::max(away - node.radius - slack, 0.0), slack};
}

// The least exact squared distance from q to any colour of a node strung out along its axis, never more,
// given `box`, its box bound (see find): the distance along the axis beyond the node's span and from the
// axis line beyond its radius, each shortened by what the arithmetic may have lost, or the box bound where
// that is more.
[[gnu::always_inline]] inline double NearestColorTree::capsuleBound(const Node& node, const double q[3],
                                                                    double reach, double box) {
  const AxisPlace place = placeOnAxis(node, q, reach);
  const double beyond =
      std::max(std::max(node.low - place.along, place.along - node.high) - place.slack, 0.0);
  return std::max(place.across * place.across + beyond * beyond, box);
}

namespace {

// The first k in [from, to) where `out(k)` holds, for an `out` that is false up to some k and true from there
// on; `to` when it holds nowhere. Steps of 1, 2, 4 ... from `from`, then halving: the cost grows with the
// distance from `from`, not with the length of the range.
template <typename Out>
std::size_t FirstOut(std::size_t from, std::size_t to, Out out) {
  std::size_t known = from;  // out(k) is false for every k below
  std::size_t step = 1;
  std::size_t probe = from;
  while (probe < to && !out(probe)) {
    known = probe + 1;
    probe = known + step;
    step *= 2;
  }
  std::size_t high = std::min(probe, to);
  while (known < high) {
    const std::size_t middle = known + (high - known) / 2;
    if (out(middle)) {
      high = middle;
    } else {
      known = middle + 1;
    }
  }
  return known;
}

}  // namespace

// A run of colours on a line, sorted along it. A point far off the line, like those error diffusion drives
// off a grey ramp, is nearly as far from a long stretch of the run as from its nearest colour: the colours
// whose distances lie within rounding of the least are a contiguous stretch of the run, hundreds of them
// for points tens of units off the line (the float distances of many are equal there, and only the first
// of those is the answer). So: the block where the point falls along the line, whose first colour gives a
// best distance close to the final one; from there, each way, the first block passed over, found in a few
// steps; then every block between in one tight scan. The blocks' spans along the axis only grow along the
// run, so the test is false up to some block and true from there on, each way, whatever block it starts
// from: once one block is passed over every block beyond it is.
uint64_t NearestColorTree::scanLine(const Node& node, const double q[3], double reach, const Color3& in,
                                    uint64_t key) const {
  const AxisPlace place = placeOnAxis(node, q, reach);
  const double across = place.across * place.across;
  const double* lows = &blockLow_[node.first];
  const double* highs = &blockHigh_[node.first];
  const Block* blocks = &blocks_[node.first];
  const std::size_t count = node.count;
  // The first block reaching the point along the line (the last for a point beyond the run): guessed as if
  // the colours were evenly spaced, then put right in doubling steps, so a ramp costs no binary search.
  const double share = (place.along - lows[0]) / (highs[count - 1] - lows[0]);
  const std::size_t guess =
      share > 0.0 ? static_cast<std::size_t>(std::min(share, 1.0) * static_cast<double>(count - 1)) : 0;
  std::size_t start;
  if (highs[guess] < place.along) {
    start = FirstOut(guess + 1, count, [&](std::size_t k) { return highs[k] >= place.along; });
    start = std::min(start, count - 1);
  } else {
    start = guess - FirstOut(0, guess, [&](std::size_t j) { return highs[guess - 1 - j] < place.along; });
  }
  // The block's first colour (always a colour: only the run's last block has unused lanes, its last ones),
  // by the scan's own arithmetic: a key no lower than the answer's.
  const Block& seed = blocks[start];
  const float dr = seed.r[0] - in.r;
  const float dg = seed.g[0] - in.g;
  const float db = seed.b[0] - in.b;
  const float distance = (dr * dr + dg * dg) + db * db;
  if (distance < std::numeric_limits<float>::max()) {
    const uint64_t seedKey = (static_cast<uint64_t>(std::bit_cast<uint32_t>(distance)) << 32) |
                             static_cast<uint32_t>(seed.index[0]);
    key = std::min(key, seedKey);
  }
  const std::size_t high = FirstOut(start + 1, count, [&](std::size_t k) {
    const double beyond = std::max(lows[k] - place.along - place.slack, 0.0);
    return PassedOver(across + beyond * beyond, key);
  });
  const std::size_t low = start - FirstOut(0, start, [&](std::size_t j) {
                            const double beyond =
                                std::max(place.along - highs[start - 1 - j] - place.slack, 0.0);
                            return PassedOver(across + beyond * beyond, key);
                          });
  const uint32_t stretch = static_cast<uint32_t>(high - low);
  return std::min(key, RunKey(blocks + low, stretch, in, node.ascending));
}

int32_t NearestColorTree::find(const Color3& in) const {
  return nodes_.empty() ? -1 : walk(in, nearest_baseline::kNoKey);
}

int32_t NearestColorTree::find(const Color3& in, uint32_t seed, const Color3& seedColor) const {
  if (nodes_.empty()) {
    return -1;
  }
  // The seed's key by the scans' own arithmetic (see LeastKey): a colour at that distance, so the answer's
  // key is no higher, and the walk keeps the least of it and every key it meets (a node is passed over only
  // when all its colours are strictly farther, so an earlier colour at the seed's distance still wins).
  const float dr = seedColor.r - in.r;
  const float dg = seedColor.g - in.g;
  const float db = seedColor.b - in.b;
  const float distance = (dr * dr + dg * dg) + db * db;
  const uint64_t key = distance < std::numeric_limits<float>::max()
                           ? (static_cast<uint64_t>(std::bit_cast<uint32_t>(distance)) << 32) | seed
                           : nearest_baseline::kNoKey;
  return walk(in, key);
}

int32_t NearestColorTree::walk(const Color3& in, uint64_t key) const {
  const double q[3] = {in.r, in.g, in.b};
  // The part of every node's slack that depends on q: |q - centre| <= |q| + |centre|, summed over channels.
  const double reach = kBoundSlack * ((std::fabs(q[0]) + std::fabs(q[1])) + std::fabs(q[2]));
  // A tree of one leaf (a ramp's run, a few colours) is scanned without the walk's set-up.
  if (nodes_[0].count != 0) {
    const Node& root = nodes_[0];
    const uint64_t found = root.line ? scanLine(root, q, reach, in, key)
                                     : nearest_baseline::LeastKey(&blocks_[root.first], root.count, in);
    return static_cast<int32_t>(static_cast<uint32_t>(std::min(key, found)));
  }
  const Float4 qr = Float4{} + in.r;
  const Float4 qg = Float4{} + in.g;
  const Float4 qb = Float4{} + in.b;
  // What a bound must exceed for its node to be passed over (see kFloatRelative), kept beside the key.
  float threshold = PassThreshold(KeyDistance(key));
  const auto keep = [&key, &threshold](uint64_t found) {
    if (found < key) {
      key = found;
      threshold = PassThreshold(KeyDistance(key));
    }
  };
  // Two levels a step: of an inner node's grandchildren (or children that are leaves) the nearest is taken
  // straight away and the others stacked, farthest lowest, so the best distance falls fast and most other
  // nodes are passed over. Median splits keep the tree's depth below 64 for any palette that fits in
  // memory, so at most three nodes are stacked for each of 32 steps down.
  struct Pending {
    uint32_t node;
    float bound;
  };
  Pending stack[96];
  int top = 0;
  uint32_t at = 0;  // the node looked in, one no bound has passed over
  for (;;) {
    const Node& node = nodes_[at];
    if (node.count != 0) {
      keep(node.line ? scanLine(node, q, reach, in, key)
                     : nearest_baseline::LeastKey(&blocks_[node.first], node.count, in));
    } else {
      // Four box bounds at once, one grandchild a lane: the squared distance from q to the box, in single
      // precision (see kFloatRelative for what it may be off by).
      const GrandchildBoxes& boxes = grandchildBoxes_[(node.first - 1) / 2];
      const Float4 zero = Float4{};
      const Float4 gapR = Max4(Max4(Load4(boxes.low[0]) - qr, qr - Load4(boxes.high[0])), zero);
      const Float4 gapG = Max4(Max4(Load4(boxes.low[1]) - qg, qg - Load4(boxes.high[1])), zero);
      const Float4 gapB = Max4(Max4(Load4(boxes.low[2]) - qb, qb - Load4(boxes.high[2])), zero);
      const Float4 outside = (gapR * gapR + gapG * gapG) + gapB * gapB;
      unsigned open = boxes.used & ~LaneBits(outside > (Float4{} + threshold));
      if (open != 0) {
        // The lanes one by one, each index fixed once unrolled, so that they are read from the register.
        float bound[4];
        uint32_t nearest = 4;
        float least = kInfinity;
#pragma GCC unroll 4
        for (uint32_t lane = 0; lane < 4; ++lane) {
          bound[lane] = outside[lane];
          if ((open >> lane & 1u) == 0) continue;
          // The capsule can only raise a bound: worked out only where the box alone leaves the node open.
          if ((boxes.alongAxis >> lane & 1u) != 0) {
            bound[lane] = FloatBelow(
                capsuleBound(nodes_[boxes.node[lane]], q, reach, static_cast<double>(bound[lane])));
            if (bound[lane] > threshold) continue;
          }
          if (bound[lane] < least || nearest == 4) {
            if (nearest != 4) stack[top++] = Pending{boxes.node[nearest], least};
            nearest = lane;
            least = bound[lane];
          } else {
            stack[top++] = Pending{boxes.node[lane], bound[lane]};
          }
        }
        if (nearest != 4) {
          at = boxes.node[nearest];
          continue;
        }
      }
    }
    // The next stacked node the best distance so far does not pass over.
    for (;;) {
      if (top == 0) return static_cast<int32_t>(static_cast<uint32_t>(key));
      const Pending pending = stack[--top];
      if (!(pending.bound > threshold)) {
        at = pending.node;
        break;
      }
    }
  }
}
