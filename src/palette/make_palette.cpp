#include "palette/make_palette.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

namespace {

constexpr unsigned kFirstTableBits = 12;

}  // namespace

ColorCounts::ColorCounts()
    : keys_(std::size_t{1} << kFirstTableBits), counts_(keys_.size()), bits_(kFirstTableBits) {}

std::size_t ColorCounts::slot(std::uint32_t key) const {
  // Fibonacci hashing: the top bits of the product spread neighbouring colours over the table.
  return static_cast<std::size_t>((key * 0x9E3779B1u) >> (32 - bits_));
}

void ColorCounts::add(std::uint32_t rgb, std::uint64_t count) {
  const std::uint32_t key = (rgb & 0xFFFFFFu) + 1;
  const std::size_t mask = keys_.size() - 1;
  std::size_t i = slot(key);
  while (keys_[i] != 0 && keys_[i] != key) i = (i + 1) & mask;
  total_ += count;
  if (keys_[i] == key) {
    counts_[i] += count;
    return;
  }
  keys_[i] = key;
  counts_[i] = count;
  // At most half full, so that a probe stays short.
  if (++used_ * 2 > keys_.size()) grow();
}

void ColorCounts::grow() {
  std::vector<std::uint32_t> keys(keys_.size() * 2);
  std::vector<std::uint64_t> counts(keys.size());
  keys.swap(keys_);
  counts.swap(counts_);
  ++bits_;
  const std::size_t mask = keys_.size() - 1;
  for (std::size_t j = 0; j < keys.size(); ++j) {
    if (keys[j] == 0) continue;
    std::size_t i = slot(keys[j]);
    while (keys_[i] != 0) i = (i + 1) & mask;
    keys_[i] = keys[j];
    counts_[i] = counts[j];
  }
}

std::vector<ColorCounts::Entry> ColorCounts::entries() const {
  std::vector<Entry> list;
  list.reserve(used_);
  forEach([&](std::uint32_t rgb, std::uint64_t count) { list.push_back({rgb, count}); });
  std::sort(list.begin(), list.end(), [](const Entry& a, const Entry& b) { return a.rgb < b.rgb; });
  return list;
}

namespace {

using Vec = std::array<double, 3>;

struct Point {
  Vec at;  // 0..255 per channel
  double weight;
};

double Distance2(const Vec& a, const Vec& b) {
  const double r = a[0] - b[0];
  const double g = a[1] - b[1];
  const double bl = a[2] - b[2];
  return r * r + g * g + bl * bl;
}

constexpr std::uint32_t Channel(std::uint32_t rgb, int c) { return (rgb >> (16 - 8 * c)) & 0xFFu; }

// The points to cluster: the colours themselves when there are few enough, else the mean colours of the
// occupied cubes of the finest grid (2^bits cubes a side) that has few enough of them. Ordered by colour,
// or by cube, so that every later sum runs in the same order.
std::vector<Point> ClusterPoints(const ColorCounts& counts) {
  std::vector<Point> points;
  if (counts.distinct() <= kMostClusterPoints) {
    for (const ColorCounts::Entry& e : counts.entries()) {
      points.push_back({{double(Channel(e.rgb, 0)), double(Channel(e.rgb, 1)), double(Channel(e.rgb, 2))},
                        static_cast<double>(e.count)});
    }
    return points;
  }
  for (unsigned bits = 7; bits >= 1; --bits) {
    const unsigned drop = 8 - bits;
    const auto cube = [&](std::uint32_t rgb) {
      return ((Channel(rgb, 0) >> drop) << (2 * bits)) | ((Channel(rgb, 1) >> drop) << bits) |
             (Channel(rgb, 2) >> drop);
    };
    std::vector<std::uint8_t> occupied(std::size_t{1} << (3 * bits));
    std::size_t cubes = 0;
    counts.forEach([&](std::uint32_t rgb, std::uint64_t) {
      std::uint8_t& seen = occupied[cube(rgb)];
      cubes += seen == 0;
      seen = 1;
    });
    if (cubes > kMostClusterPoints && bits > 1) continue;
    // Whole-number sums: exact, whatever order the colours come in.
    struct Sums {
      std::uint64_t count = 0;
      std::array<std::uint64_t, 3> channel{};
    };
    std::vector<Sums> sums(occupied.size());
    counts.forEach([&](std::uint32_t rgb, std::uint64_t count) {
      Sums& s = sums[cube(rgb)];
      s.count += count;
      for (int c = 0; c < 3; ++c) s.channel[c] += count * Channel(rgb, c);
    });
    for (const Sums& s : sums) {
      if (s.count == 0) continue;
      const double n = static_cast<double>(s.count);
      points.push_back({{static_cast<double>(s.channel[0]) / n, static_cast<double>(s.channel[1]) / n,
                         static_cast<double>(s.channel[2]) / n},
                        n});
    }
    break;
  }
  return points;
}

// Weighted sums of a run of points, from which its mean and its sum of squared distances from the mean
// follow.
struct Moments {
  double weight = 0;
  Vec sum{};
  double squares = 0;

  void add(const Point& p) {
    weight += p.weight;
    for (int c = 0; c < 3; ++c) {
      sum[c] += p.weight * p.at[c];
      squares += p.weight * p.at[c] * p.at[c];
    }
  }
  double error() const {
    if (weight == 0) return 0;
    const double spread = squares - (sum[0] * sum[0] + sum[1] * sum[1] + sum[2] * sum[2]) / weight;
    return std::max(spread, 0.0);
  }
  Vec mean() const { return {sum[0] / weight, sum[1] / weight, sum[2] / weight}; }
};

struct Box {
  std::size_t begin, end;
  double error;
};

Moments BoxMoments(const std::vector<Point>& points, std::size_t begin, std::size_t end) {
  Moments m;
  for (std::size_t i = begin; i < end; ++i) m.add(points[i]);
  return m;
}

// Splits `box` where the two halves' errors are least, along the axis of largest weighted variance; false
// when the box holds a single point.
bool SplitBox(std::vector<Point>& points, const Box& box, Box& low, Box& high) {
  const std::size_t n = box.end - box.begin;
  if (n < 2) return false;
  const auto first = points.begin() + static_cast<std::ptrdiff_t>(box.begin);
  const auto last = points.begin() + static_cast<std::ptrdiff_t>(box.end);
  Vec mean{}, spread{};
  double weight = 0;
  for (auto p = first; p != last; ++p) {
    weight += p->weight;
    for (int c = 0; c < 3; ++c) mean[c] += p->weight * p->at[c];
  }
  for (int c = 0; c < 3; ++c) mean[c] /= weight;
  for (auto p = first; p != last; ++p) {
    for (int c = 0; c < 3; ++c) spread[c] += p->weight * (p->at[c] - mean[c]) * (p->at[c] - mean[c]);
  }
  int axis = 0;
  for (int c = 1; c < 3; ++c) {
    if (spread[c] > spread[axis]) axis = c;
  }
  // Points are distinct, so ordering by the axis and then by the other channels is a total order.
  std::sort(first, last, [axis](const Point& a, const Point& b) {
    if (a.at[axis] != b.at[axis]) return a.at[axis] < b.at[axis];
    return a.at < b.at;
  });
  std::vector<Moments> prefix(n + 1);
  for (std::size_t i = 0; i < n; ++i) {
    prefix[i + 1] = prefix[i];
    prefix[i + 1].add(points[box.begin + i]);
  }
  const Moments& all = prefix[n];
  std::size_t best = 1;
  double bestError = std::numeric_limits<double>::infinity();
  double bestLow = 0, bestHigh = 0;
  for (std::size_t k = 1; k < n; ++k) {
    Moments rest;
    rest.weight = all.weight - prefix[k].weight;
    for (int c = 0; c < 3; ++c) rest.sum[c] = all.sum[c] - prefix[k].sum[c];
    rest.squares = all.squares - prefix[k].squares;
    const double lowError = prefix[k].error(), highError = rest.error();
    if (lowError + highError < bestError) {
      bestError = lowError + highError;
      best = k;
      bestLow = lowError;
      bestHigh = highError;
    }
  }
  low = {box.begin, box.begin + best, bestLow};
  high = {box.begin + best, box.end, bestHigh};
  return true;
}

// The first centres: `colors` boxes, each split in turn the box of the largest error. Each point's owner is
// the box it ends in.
std::vector<Vec> FirstCentres(std::vector<Point>& points, std::size_t colors,
                              std::vector<std::size_t>& owner) {
  std::vector<Box> boxes{{0, points.size(), BoxMoments(points, 0, points.size()).error()}};
  while (boxes.size() < colors) {
    std::size_t worst = boxes.size();
    for (std::size_t i = 0; i < boxes.size(); ++i) {
      if (boxes[i].end - boxes[i].begin < 2) continue;
      if (worst == boxes.size() || boxes[i].error > boxes[worst].error) worst = i;
    }
    if (worst == boxes.size()) break;
    Box low{}, high{};
    SplitBox(points, boxes[worst], low, high);
    boxes[worst] = low;
    boxes.push_back(high);
  }
  std::vector<Vec> centres;
  for (const Box& box : boxes) {
    centres.push_back(BoxMoments(points, box.begin, box.end).mean());
    for (std::size_t i = box.begin; i < box.end; ++i) owner[i] = centres.size() - 1;
  }
  return centres;
}

// The nearest centre to `x`, the lower index on a tie.
std::size_t NearestPlain(const Vec& x, const std::vector<Vec>& centres) {
  std::size_t best = 0;
  double bestDistance = Distance2(x, centres[0]);
  for (std::size_t j = 1; j < centres.size(); ++j) {
    const double d = Distance2(x, centres[j]);
    if (d < bestDistance) {
      bestDistance = d;
      best = j;
    }
  }
  return best;
}

// The same, starting from the point's present centre a and visiting the others in order of their distance
// from it: once a centre j is more than twice as far from a as x is (|a - j| > 2 |x - a|), x is nearer to a
// than to j, and to every centre after j. The margin keeps the bound safe against rounding, so the answer is
// NearestPlain's. Only the centres within reach of a's farthest point are listed and sorted.
class CentreOrder {
 public:
  explicit CentreOrder(std::size_t count) : count_(count), apart_(count * count), start_(count + 1) {}

  static double Reach(double toA) { return 4.0 * toA * (1.0 + 1e-9) + 1e-300; }

  // `farthest[a]`: the squared distance from centre a of the farthest point it holds.
  void update(const std::vector<Vec>& centres, const std::vector<double>& farthest) {
    for (std::size_t a = 0; a < count_; ++a) {
      for (std::size_t j = 0; j < count_; ++j) apart_[a * count_ + j] = Distance2(centres[a], centres[j]);
    }
    order_.clear();
    for (std::size_t a = 0; a < count_; ++a) {
      start_[a] = order_.size();
      const double reach = Reach(farthest[a]);
      const double* row = &apart_[a * count_];
      for (std::size_t j = 0; j < count_; ++j) {
        if (j != a && row[j] <= reach) order_.push_back(static_cast<std::uint32_t>(j));
      }
      const auto first = order_.begin() + static_cast<std::ptrdiff_t>(start_[a]);
      std::sort(first, order_.end(), [row](std::uint32_t i, std::uint32_t j) {
        return row[i] != row[j] ? row[i] < row[j] : i < j;
      });
    }
    start_[count_] = order_.size();
  }

  // `toA`: the squared distance of x from centre a, at most farthest[a].
  std::size_t nearest(const Vec& x, std::size_t a, double toA, const std::vector<Vec>& centres) const {
    const double reach = Reach(toA);
    const double* row = &apart_[a * count_];
    std::size_t best = a;
    double bestDistance = toA;
    for (std::size_t n = start_[a]; n < start_[a + 1]; ++n) {
      const std::size_t j = order_[n];
      if (row[j] > reach) break;
      const double d = Distance2(x, centres[j]);
      if (d < bestDistance || (d == bestDistance && j < best)) {
        bestDistance = d;
        best = j;
      }
    }
    return best;
  }

 private:
  std::size_t count_;
  std::vector<double> apart_;         // squared distances, centre by centre
  std::vector<std::size_t> start_;    // where each centre's list begins in order_
  std::vector<std::uint32_t> order_;  // per centre, the centres within reach, by distance from it
};

// Each channel to the nearest whole number, halves away from zero.
std::uint32_t RoundedColor(const Vec& centre) {
  std::uint32_t rgb = 0;
  for (int c = 0; c < 3; ++c) {
    const double held = std::clamp(centre[c], 0.0, 255.0);
    rgb = (rgb << 8) | static_cast<std::uint32_t>(std::round(held));
  }
  return rgb;
}

ColorList ByCount(std::vector<ColorCounts::Entry> entries) {
  std::sort(entries.begin(), entries.end(), [](const ColorCounts::Entry& a, const ColorCounts::Entry& b) {
    return a.count != b.count ? a.count > b.count : a.rgb < b.rgb;
  });
  ColorList colors;
  for (const ColorCounts::Entry& e : entries) {
    colors.emplace_back(static_cast<float>(Channel(e.rgb, 0)) / 255.0f,
                        static_cast<float>(Channel(e.rgb, 1)) / 255.0f,
                        static_cast<float>(Channel(e.rgb, 2)) / 255.0f);
  }
  return colors;
}

}  // namespace

ColorList MakePalette(const ColorCounts& counts, std::size_t colors, CentreSearch search) {
  colors = std::max<std::size_t>(colors, 1);
  if (counts.distinct() <= colors) return ByCount(counts.entries());

  std::vector<Point> points = ClusterPoints(counts);
  std::vector<std::size_t> owner(points.size());
  std::vector<Vec> centres = FirstCentres(points, colors, owner);
  CentreOrder order(centres.size());
  std::vector<double> toOwner(points.size());

  for (int iteration = 0; iteration < kMostIterations; ++iteration) {
    std::vector<Moments> clusters(centres.size());
    for (std::size_t i = 0; i < points.size(); ++i) clusters[owner[i]].add(points[i]);
    for (std::size_t k = 0; k < centres.size(); ++k) {
      // A centre that lost every point stays where it was.
      if (clusters[k].weight > 0) centres[k] = clusters[k].mean();
    }
    bool moved = false;
    if (search == CentreSearch::Plain) {
      for (std::size_t i = 0; i < points.size(); ++i) {
        const std::size_t nearest = NearestPlain(points[i].at, centres);
        moved |= nearest != owner[i];
        owner[i] = nearest;
      }
    } else {
      std::vector<double> farthest(centres.size());
      for (std::size_t i = 0; i < points.size(); ++i) {
        toOwner[i] = Distance2(points[i].at, centres[owner[i]]);
        farthest[owner[i]] = std::max(farthest[owner[i]], toOwner[i]);
      }
      order.update(centres, farthest);
      for (std::size_t i = 0; i < points.size(); ++i) {
        const std::size_t nearest = order.nearest(points[i].at, owner[i], toOwner[i], centres);
        moved |= nearest != owner[i];
        owner[i] = nearest;
      }
    }
    if (!moved) break;
  }

  // The final means, rounded; centres that round alike pool their counts.
  std::vector<Moments> clusters(centres.size());
  for (std::size_t i = 0; i < points.size(); ++i) clusters[owner[i]].add(points[i]);
  ColorCounts rounded;
  for (std::size_t k = 0; k < centres.size(); ++k) {
    if (clusters[k].weight == 0) continue;
    rounded.add(RoundedColor(clusters[k].mean()), static_cast<std::uint64_t>(clusters[k].weight));
  }
  return ByCount(rounded.entries());
}
