// What the dither kernels must do, written out independently of the effect's code: every diffusion table
// and matrix typed in by hand, plain scalar renders of both families for a few generated palettes, and
// helpers to drive the effect through minihost.
#pragma once

#include <cmath>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "minihost/world.h"
#include "plugin/param_indices.h"
#include "support/effect_under_test.h"
#include "support/seeded_generator.h"

namespace dither_test {

struct Share {
  int dx, dy;
  float weight;
};

struct Diffusion {
  A_long pattern;  // index in the kernel tables
  std::string label;
  std::vector<Share> shares;
};

// Weights of fractions with a power-of-two denominator are exact; the others are the nearest floats.
inline const std::vector<Diffusion>& Diffusions() {
  constexpr float k7_48 = 0.145833328f, k5_48 = 0.104166664f, k1_48 = 0.0208333340f;
  constexpr float k8_42 = 0.190476194f, k4_42 = 0.0952380970f, k2_42 = 0.0476190485f, k1_42 = 0.0238095243f;
  // clang-format off
  static const std::vector<Diffusion> diffusions = {
      {1, "Floyd Steinberg", {{1, 0, 0.4375f}, {-1, 1, 0.1875f}, {0, 1, 0.3125f}, {1, 1, 0.0625f}}},
      {2, "False Floyd Steinberg", {{1, 0, 0.375f}, {1, 1, 0.25f}, {0, 1, 0.375f}}},
      {3, "Filter Lite", {{1, 0, 0.5f}, {-2, 1, 0.25f}, {-1, 1, 0.25f}}},
      {4, "Zhigang Fan", {{1, 0, 0.4375f}, {0, 1, 0.3125f}, {-1, 1, 0.1875f}, {-2, 1, 0.0625f}}},
      {5, "Shiau-Fan", {{1, 0, 0.5f}, {0, 1, 0.25f}, {-1, 1, 0.125f}, {-2, 1, 0.125f}}},
      {6, "Jarvis, Judice & Ninke",
       {{1, 0, k7_48}, {2, 0, k5_48}, {2, 1, 0.0625f}, {1, 1, k5_48}, {0, 1, k7_48}, {-1, 1, k5_48},
        {-2, 1, 0.0625f}, {2, 2, k1_48}, {1, 2, 0.0625f}, {0, 2, k5_48}, {-1, 2, 0.0625f}, {-2, 2, k1_48}}},
      {7, "Stucki",
       {{1, 0, k8_42}, {2, 0, k4_42}, {2, 1, k2_42}, {1, 1, k4_42}, {0, 1, k8_42}, {-1, 1, k4_42}, {-2, 1, k2_42},
        {2, 2, k1_42}, {1, 2, k2_42}, {0, 2, k4_42}, {-1, 2, k2_42}, {-2, 2, k1_42}}},
      {8, "Burkes",
       {{1, 0, 0.25f}, {2, 0, 0.125f}, {2, 1, 0.0625f}, {1, 1, 0.125f}, {0, 1, 0.25f}, {-1, 1, 0.125f},
        {-2, 1, 0.0625f}}},
      {9, "Sierra",
       {{1, 0, 0.15625f}, {2, 0, 0.09375f}, {2, 1, 0.0625f}, {1, 1, 0.125f}, {0, 1, 0.15625f}, {-1, 1, 0.125f},
        {-2, 1, 0.0625f}, {1, 2, 0.0625f}, {0, 2, 0.09375f}, {-1, 2, 0.0625f}}},
      {10, "Two Row Sierra",
       {{1, 0, 0.25f}, {2, 0, 0.1875f}, {2, 1, 0.0625f}, {1, 1, 0.125f}, {0, 1, 0.1875f}, {-1, 1, 0.125f},
        {-2, 1, 0.0625f}}},
      {11, "Atkinson",
       {{1, 0, 0.125f}, {2, 0, 0.125f}, {1, 1, 0.125f}, {0, 1, 0.125f}, {-1, 1, 0.125f}, {0, 2, 0.125f}}},
  };
  // clang-format on
  return diffusions;
}

struct Matrix {
  A_long pattern;
  std::string label;
  unsigned columns, rows;
  float divisor;
  std::vector<unsigned> cells;  // row by row
  unsigned at(uint64_t column, uint64_t row) const { return cells[row % rows * columns + column % columns]; }
};

inline const std::vector<Matrix>& Matrices() {
  // clang-format off
  static const std::vector<Matrix> matrices = {
      {12, "Bayer 2x2", 2, 2, 5, {1, 3, 4, 2}},
      {13, "Bayer 3x3", 3, 3, 10, {1, 8, 4, 7, 6, 3, 5, 2, 9}},
      {14, "Bayer 5x3", 5, 3, 15, {0, 12, 7, 3, 9, 14, 8, 1, 5, 11, 6, 4, 10, 13, 2}},
      {15, "Bayer 4x4", 4, 4, 17, {1, 9, 3, 11, 13, 5, 15, 7, 4, 12, 2, 10, 16, 8, 14, 6}},
      {16, "Bayer 8x8", 8, 8, 65, {1,  49, 13, 61, 4,  52, 16, 64, 33, 17, 45, 29, 36, 20, 48, 32,
                                   9,  57, 5,  53, 12, 60, 8,  56, 41, 25, 37, 21, 44, 28, 40, 24,
                                   3,  51, 15, 63, 2,  50, 14, 62, 35, 19, 47, 31, 34, 18, 46, 30,
                                   11, 59, 7,  55, 10, 58, 6,  54, 43, 27, 39, 23, 42, 26, 38, 22}},
      {17, "Cluster Dot 4x4", 4, 4, 17, {13, 6, 7, 14, 5, 1, 2, 8, 12, 4, 3, 9, 16, 11, 10, 15}},
      {18, "Cluster Dot 8x8", 8, 8, 65, {25, 11, 13, 27, 36, 48, 50, 38, 9,  1,  3,  15, 46, 60, 62, 52,
                                         23, 7,  5,  17, 44, 58, 64, 54, 31, 21, 19, 29, 34, 42, 56, 40,
                                         35, 47, 49, 37, 26, 12, 14, 28, 45, 59, 61, 51, 10, 2,  4,  16,
                                         43, 57, 63, 53, 24, 8,  6,  18, 33, 41, 55, 39, 32, 22, 20, 30}},
      {19, "Horizontal 2x2", 2, 2, 3, {1, 1, 2, 2}},
      {20, "Horizontal 8x1", 1, 8, 8, {0, 4, 2, 6, 1, 5, 3, 7}},
      {21, "Horizontal 12x4", 12, 4, 9, {7, 8, 8, 8, 8, 7, 6, 6, 5, 5, 5, 6, 2, 1, 1, 1, 1, 2, 3, 4, 4, 4, 3, 3,
                                         6, 6, 5, 5, 5, 6, 7, 8, 8, 8, 8, 7, 3, 4, 4, 4, 3, 3, 2, 1, 1, 1, 1, 2}},
      {22, "Vertical 2x2", 2, 2, 3, {1, 2, 1, 2}},
      {23, "Vertical 1x8", 8, 1, 8, {0, 4, 2, 6, 1, 5, 3, 7}},
      {24, "Vertical 4x12", 4, 12, 9, {7, 2, 6, 3, 8, 1, 6, 4, 8, 1, 5, 4, 8, 1, 5, 4, 8, 1, 5, 3, 7, 2, 6, 3,
                                       6, 3, 7, 2, 6, 4, 8, 1, 5, 4, 8, 1, 5, 4, 8, 1, 5, 3, 8, 1, 6, 3, 7, 2}},
      {25, "Diagonal 5x5", 5, 5, 6, {4, 2, 1, 3, 5, 2, 1, 3, 5, 4, 1, 3, 5, 4, 2, 3, 5, 4, 2, 1, 5, 4, 2, 1, 3}},
  };
  // clang-format on
  return matrices;
}

inline const Matrix& MatrixFor(A_long pattern) { return Matrices()[static_cast<std::size_t>(pattern - 12)]; }

// "Swatch" popup values of the generated palettes the references know.
enum Swatch : A_long { kGray1 = 2, kGray2 = 3, kRgb3 = 5, kRgb6 = 6, kRgb9 = 7 };

struct Rgb {
  float r, g, b;
};

// The generated palettes by their formulas: grey ramps and RGB cubes, halves rounded away from zero.
inline Rgb QuantizeRef(A_long swatch, Rgb c) {
  if (swatch == kGray1 || swatch == kGray2) {
    const float l = (0.59f * c.g + 0.33f * c.r) + 0.11f * c.b;
    const float q = swatch == kGray1 ? std::round(l) : std::round(4.0f * l) * 0.25f;
    return {q, q, q};
  }
  const float n = swatch == kRgb3 ? 1.0f : swatch == kRgb6 ? 3.0f : 7.0f;
  return {std::round(c.r * n) / n, std::round(c.g * n) / n, std::round(c.b * n) / n};
}

inline float SpreadRef(A_long swatch) {
  const float k = swatch == kGray2 ? 63.0f : swatch == kRgb6 ? 85.0f : swatch == kRgb9 ? 32.0f : 255.0f;
  return k / 255.0f;
}

// Pixel access and the two depths' conversions.
template <typename Pixel>
Pixel& Px(minihost::World& world, A_long x, A_long y) {
  if constexpr (sizeof(Pixel) == sizeof(PF_Pixel8)) {
    return world.pixel8(x, y);
  } else {
    return world.pixel16(x, y);
  }
}

template <typename Pixel>
constexpr float kFull = sizeof(Pixel) == sizeof(PF_Pixel8) ? 255.0f : 32768.0f;

template <typename Pixel>
Rgb ToRgb(const Pixel& p) {
  if constexpr (sizeof(Pixel) == sizeof(PF_Pixel8)) {
    return {p.red / 255.0f, p.green / 255.0f, p.blue / 255.0f};
  } else {
    const float k = 1.0f / 32768.0f;
    return {p.red * k, p.green * k, p.blue * k};
  }
}

// Truncated toward zero and held to the channel's range; NaN gives 0.
template <typename Pixel>
Pixel FromRgb(Rgb q, unsigned alpha) {
  using C = decltype(Pixel::alpha);
  const auto channel = [](float v) {
    const float scaled = v * kFull<Pixel>;
    if (!(scaled > 0.0f)) return C{0};
    return scaled >= kFull<Pixel> ? static_cast<C>(kFull<Pixel>) : static_cast<C>(scaled);
  };
  return Pixel{static_cast<C>(alpha), channel(q.r), channel(q.g), channel(q.b)};
}

// The controls a render uses; offsets as the effect holds them (Offset X sign inverted).
struct Controls {
  A_long pattern;
  A_long swatch;
  A_long scale = 1;
  int32_t offsetX = 0, offsetY = 0;
  double thresholds[3] = {0, 0, 0};  // slider percentages
};

inline void Apply(minihost::ParamSet& params, const Controls& c) {
  params.setPopup(kParamPattern, c.pattern + 1);
  params.setPopup(kParamSwatch, c.swatch);
  params.setFixed(kParamScale, c.scale << 16);
  params.setFloat(kParamOffsetX, -static_cast<double>(c.offsetX));
  params.setFloat(kParamOffsetY, c.offsetY);
  params.setFloat(kParamThresholdRed, c.thresholds[0]);
  params.setFloat(kParamThresholdGreen, c.thresholds[1]);
  params.setFloat(kParamThresholdBlue, c.thresholds[2]);
}

// Ordered dither by the rules, pixel by pixel; input and output of the same size.
template <typename Pixel>
minihost::World OrderedRef(minihost::World& in, const Controls& c) {
  const Matrix& m = MatrixFor(c.pattern);
  float threshold[3];
  for (int i = 0; i < 3; ++i)
    threshold[i] = static_cast<float>(c.thresholds[i] / 100.0) + SpreadRef(c.swatch);
  const uint64_t s = c.scale < 1 ? 1 : static_cast<uint64_t>(c.scale);
  minihost::World out(in.width(), in.height(), in.depth());
  for (A_long y = 0; y < in.height(); ++y) {
    for (A_long x = 0; x < in.width(); ++x) {
      const Pixel origin = Px<Pixel>(in, static_cast<A_long>(x / s * s), static_cast<A_long>(y / s * s));
      const uint64_t column = static_cast<uint32_t>(int64_t{x} + c.offsetX) / s;
      const uint64_t row = static_cast<uint32_t>(int64_t{y} + c.offsetY) / s;
      const float bias = static_cast<float>(m.at(column, row)) / m.divisor - 0.5f;
      const Rgb color = ToRgb(origin);
      float d[3] = {color.r, color.g, color.b};
      for (int i = 0; i < 3; ++i) {
        const float product = bias * threshold[i];
        d[i] = product + d[i];
        d[i] = d[i] > 0.0f ? (d[i] < 1.0f ? d[i] : 1.0f) : 0.0f;
      }
      Px<Pixel>(out, x, y) = FromRgb<Pixel>(QuantizeRef(c.swatch, {d[0], d[1], d[2]}), origin.alpha);
    }
  }
  return out;
}

// Error diffusion by the rules over the whole input; `filled` says which pixels the fill pass reached.
// The output holds the input's size.
template <typename Pixel>
minihost::World DiffusionRef(minihost::World& in, const Controls& c,
                             const std::function<bool(A_long, A_long)>& filled = {}) {
  const Diffusion& table = Diffusions()[static_cast<std::size_t>(c.pattern - 1)];
  const A_long w = in.width(), h = in.height();
  std::vector<Rgb> buffer(static_cast<std::size_t>(w) * static_cast<std::size_t>(h), Rgb{0, 0, 0});
  for (A_long y = 0; y < h; ++y) {
    for (A_long x = 0; x < w; ++x) {
      const Pixel& p = Px<Pixel>(in, x, y);
      if (p.alpha != 0 && (!filled || filled(x, y))) buffer[static_cast<std::size_t>(y * w + x)] = ToRgb(p);
    }
  }
  minihost::World out(w, h, in.depth());
  for (A_long y = 0; y < h; ++y) {
    for (A_long x = 0; x < w; ++x) {
      const Rgb cur = buffer[static_cast<std::size_t>(y * w + x)];
      const Rgb q = QuantizeRef(c.swatch, cur);
      Px<Pixel>(out, x, y) = FromRgb<Pixel>(q, Px<Pixel>(in, x, y).alpha);
      const Rgb e{cur.r - q.r, cur.g - q.g, cur.b - q.b};
      for (const Share& s : table.shares) {
        const A_long tx = x + s.dx, ty = y + s.dy;
        if (tx < 0 || tx >= w || ty >= h) continue;
        Rgb& target = buffer[static_cast<std::size_t>(ty * w + tx)];
        target.r += e.r * s.weight;
        target.g += e.g * s.weight;
        target.b += e.b * s.weight;
      }
    }
  }
  return out;
}

// A frame of seeded noise, with some transparent pixels, channels at both ends of the range
// and, in deep frames, channels above full scale.
template <typename Pixel>
minihost::World Noise(A_long width, A_long height, uint64_t seed) {
  minihost::World world(width, height,
                        sizeof(Pixel) == 8 ? minihost::Depth::Sixteen : minihost::Depth::Eight);
  palettrix_test::SeededGenerator random(seed);
  const unsigned full = static_cast<unsigned>(kFull<Pixel>);
  const auto channel = [&] {
    const unsigned r = random.below(16);
    if (r == 0) return 0u;
    if (r == 1) return full;
    if (r == 2 && full > 255) return full + random.below(32767);
    return random.below(full + 1);
  };
  using C = decltype(Pixel::alpha);
  for (A_long y = 0; y < height; ++y) {
    for (A_long x = 0; x < width; ++x) {
      const unsigned alpha = random.below(8) == 0 ? 0u : random.below(full + 1);
      const unsigned r = channel(), g = channel(), b = channel();
      Px<Pixel>(world, x, y) =
          Pixel{static_cast<C>(alpha), static_cast<C>(r), static_cast<C>(g), static_cast<C>(b)};
    }
  }
  return world;
}

// Renders through the entry point and checks that the host saw nothing amiss.
inline minihost::World Render(LoadedEffect& loaded, minihost::World& input, const Controls& c) {
  Apply(loaded.instance.params(), c);
  minihost::World output(input.width(), input.height(), input.depth());
  EXPECT_EQ(loaded.instance.render(input, output), PF_Err_NONE);
  EXPECT_TRUE(output.paddingIntact());
  EXPECT_TRUE(loaded.host.problems().empty());
  EXPECT_EQ(loaded.host.suitesHeld(), 0);
  return output;
}

}  // namespace dither_test
