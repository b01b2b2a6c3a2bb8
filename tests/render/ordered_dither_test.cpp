// The fourteen ordered patterns through the entry point: cell positions, blocks, offsets, clamping, and
// whole frames against the plain reference.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "dither_reference.h"
#include "render/dither_matrices.h"
#include "render/reference_kernels.h"

using namespace dither_test;

namespace {

using Cells = std::vector<std::vector<unsigned>>;

// The cell value behind each pixel's bias, read back through the effect. Under "3-bit RGB" with the
// threshold sliders at 0 the threshold is 1, so a channel c comes out at full scale exactly when
// v / divisor + c >= 1. A uniform channel of 1 - (k - 0.5) / divisor thus shows whether v >= k, at least
// half a step from either side, and counting over k gives v. Three values of k per render, one per channel.
Cells DecodeCells(LoadedEffect& loaded, Controls c, A_long width, A_long height) {
  const Matrix& m = MatrixFor(c.pattern);
  c.swatch = kRgb3;
  const unsigned largest = static_cast<unsigned>(m.divisor) - 1;
  Cells cells(static_cast<std::size_t>(height), std::vector<unsigned>(static_cast<std::size_t>(width), 0));
  for (unsigned k = 1; k <= largest; k += 3) {
    A_u_char levels[3];
    for (unsigned i = 0; i < 3; ++i) {
      const double level = 255.0 * (1.0 - (k + i - 0.5) / m.divisor);
      levels[i] = k + i <= largest ? static_cast<A_u_char>(std::lround(level)) : A_u_char{0};
    }
    minihost::World input(width, height, minihost::Depth::Eight);
    for (A_long y = 0; y < height; ++y) {
      for (A_long x = 0; x < width; ++x) input.pixel8(x, y) = PF_Pixel8{255, levels[0], levels[1], levels[2]};
    }
    minihost::World output = Render(loaded, input, c);
    for (A_long y = 0; y < height; ++y) {
      for (A_long x = 0; x < width; ++x) {
        const PF_Pixel8& px = output.pixel8(x, y);
        for (const A_u_char channel : {px.red, px.green, px.blue}) cells[y][x] += channel == 255 ? 1 : 0;
      }
    }
  }
  return cells;
}

template <typename Pixel>
void CheckBlocksTakeTheOrigin() {
  LoadedEffect loaded;
  minihost::World input = Noise<Pixel>(16, 11, 3);
  // Sliders at -100 cancel the spread of 1: no bias, so a block's colour is its origin's, rounded.
  const Controls c{16, kRgb3, 3, 5, -7, {-100, -100, -100}};
  minihost::World output = Render(loaded, input, c);
  const unsigned half = sizeof(Pixel) == 4 ? 128 : 16384, full = sizeof(Pixel) == 4 ? 255 : 32768;
  // Among them pixel (13, 10), whose block starts at (12, 9).
  for (A_long y = 0; y < 11; ++y) {
    for (A_long x = 0; x < 16; ++x) {
      const Pixel& origin = Px<Pixel>(input, x / 3 * 3, y / 3 * 3);
      const Pixel& px = Px<Pixel>(output, x, y);
      EXPECT_EQ(px.alpha, origin.alpha) << x << "," << y;
      EXPECT_EQ(px.red, origin.red >= half ? full : 0u) << x << "," << y;
      EXPECT_EQ(px.green, origin.green >= half ? full : 0u) << x << "," << y;
      EXPECT_EQ(px.blue, origin.blue >= half ? full : 0u) << x << "," << y;
    }
  }
}

template <typename Pixel>
void CheckAgainstReference(LoadedEffect& loaded, const Controls& base, uint64_t seed) {
  minihost::World input = Noise<Pixel>(19, 11, seed);
  for (const Matrix& m : Matrices()) {
    Controls c = base;
    c.pattern = m.pattern;
    EXPECT_EQ(Render(loaded, input, c).packedBytes(), OrderedRef<Pixel>(input, c).packedBytes())
        << m.label << ", swatch " << c.swatch << ", scale " << c.scale << ", depth " << sizeof(Pixel) * 2;
  }
}

}  // namespace

TEST(OrderedDither, Bayer8x8CellsAtScaleOneAndThree) {
  LoadedEffect loaded;
  const Matrix& bayer = MatrixFor(16);
  const Cells one = DecodeCells(loaded, {16, kRgb3}, 16, 11);
  EXPECT_EQ(one[3][5], 28u);
  EXPECT_EQ(one[10][13], 60u);
  const Cells three = DecodeCells(loaded, {16, kRgb3, 3}, 16, 11);
  EXPECT_EQ(three[10][13], 44u);
  for (A_long y = 0; y < 11; ++y) {
    for (A_long x = 0; x < 16; ++x) {
      EXPECT_EQ(one[y][x], bayer.at(x, y)) << x << "," << y;
      EXPECT_EQ(three[y][x], bayer.at(x / 3, y / 3)) << x << "," << y;
    }
  }
}

TEST(OrderedDither, NegativeOffsetSumsRestartTheTilingAtZero) {
  LoadedEffect loaded;
  const struct {
    A_long pattern, scale;
    int32_t firstSum;
    std::vector<uint64_t> columns;
  } cases[] = {
      {13, 1, -3, {1, 2, 0, 0, 1, 2}},           // "Bayer 3x3": column 0 twice where the sum crosses 0
      {15, 1, -2, {2, 3, 0, 1, 2, 3}},           // "Bayer 4x4": no seam
      {16, 2, -4, {6, 6, 7, 7, 0, 0, 1, 1}},     // "Bayer 8x8", scale 2: no seam
      {16, 3, -3, {4, 4, 5, 0, 0, 0, 1, 1, 1}},  // scale 3: the cells beside the seam change width
  };
  for (const auto& c : cases) {
    Controls controls{c.pattern, kRgb3, c.scale};
    controls.offsetX = c.firstSum;
    const Cells cells = DecodeCells(loaded, controls, static_cast<A_long>(c.columns.size()), 1);
    for (std::size_t x = 0; x < c.columns.size(); ++x) {
      EXPECT_EQ(cells[0][x], MatrixFor(c.pattern).at(c.columns[x], 0))
          << MatrixFor(c.pattern).label << " x " << x;
    }
  }
  // Rows do the same with y + offsetY.
  Controls rows{13, kRgb3};
  rows.offsetY = -3;
  const Cells cells = DecodeCells(loaded, rows, 1, 6);
  const uint64_t expected[] = {1, 2, 0, 0, 1, 2};
  for (std::size_t y = 0; y < 6; ++y) EXPECT_EQ(cells[y][0], MatrixFor(13).at(0, expected[y])) << "y " << y;
}

TEST(OrderedDither, AnOffsetThatIsNotAMultipleOfTheScaleSplitsABlock) {
  LoadedEffect loaded;
  Controls c{15, kRgb3, 4};
  c.offsetX = 1;
  // Pixels 0, 1, 2 lie in pattern column 0 (value 1), pixel 3 in column 1 (value 9)...
  const Cells cells = DecodeCells(loaded, c, 4, 1);
  EXPECT_EQ(cells[0], (std::vector<unsigned>{1, 1, 1, 9}));
  // ... while all four take pixel 0's colour 0.6 and alpha: 0.6 + 1/17 - 0.5 rounds to 0, 0.6 + 9/17 - 0.5
  // to 1.
  minihost::World input(4, 1, minihost::Depth::Eight);
  input.pixel8(0, 0) = {200, 153, 153, 153};
  for (A_long x = 1; x < 4; ++x) input.pixel8(x, 0) = {255, 255, 255, 255};
  minihost::World output = Render(loaded, input, c);
  for (A_long x = 0; x < 4; ++x) {
    const PF_Pixel8& px = output.pixel8(x, 0);
    const unsigned expected = x == 3 ? 255 : 0;
    EXPECT_EQ((std::vector<unsigned>{px.alpha, px.red, px.green, px.blue}),
              (std::vector<unsigned>{200, expected, expected, expected}))
        << "x " << x;
  }
}

TEST(OrderedDither, EveryPixelOfABlockTakesTheOriginsColourAndAlpha) {
  CheckBlocksTakeTheOrigin<PF_Pixel8>();
  CheckBlocksTakeTheOrigin<PF_Pixel16>();
}

// "1-bit Gray" with the red threshold 1 and green and blue 0, on the first row of "Bayer 8x8"
// (values 1 49 13 61 4 52 16 64). L = 0.33 r + 0.59 g + 0.11 b.
TEST(OrderedDither, ChannelsAreClampedToZeroToOneBeforeQuantizing) {
  LoadedEffect loaded;
  const Controls c{16, kGray1, 1, 0, 0, {0, -100, -100}};
  {
    minihost::World input(8, 1, minihost::Depth::Eight);
    // x 0, bias 1/65 - 0.5: red 0 stays 0, not -0.485; L = 0.59, white (unclamped 0.43, black).
    input.pixel8(0, 0) = {255, 0, 255, 0};
    // x 7, bias 64/65 - 0.5: red 255 becomes 1, not 1.485; L = 0.39, black (unclamped 0.55, white).
    input.pixel8(7, 0) = {255, 255, 26, 0};
    minihost::World output = Render(loaded, input, c);
    EXPECT_EQ(output.pixel8(0, 0).red, 255);
    EXPECT_EQ(output.pixel8(7, 0).red, 0);
  }
  {
    minihost::World input(8, 1, minihost::Depth::Sixteen);
    // x 0: a deep red above full scale, 1.99997 - 0.485, is held to 1; L = 0.389, black.
    input.pixel16(0, 0) = {32768, 65535, 3277, 0};
    // x 4, bias 4/65 - 0.5: red 0 stays 0; L = 0.59, white (unclamped 0.445, black).
    input.pixel16(4, 0) = {32768, 0, 32768, 0};
    minihost::World output = Render(loaded, input, c);
    EXPECT_EQ(output.pixel16(0, 0).red, 0);
    EXPECT_EQ(output.pixel16(4, 0).red, 32768);
  }
}

// Black under "3-bit RGB" with a red threshold of 1 + slider / 100, at a cell whose bias lands within a
// rounding step of 0.5. "Diagonal 5x5", value 5, slider 50: 5/6 is the float 0.83333331; less 0.5, times
// 1.5, gives 0.49999997, which rounds to 0; five times the float nearest 1/6 would give 0.50000006 and 1.
// "Bayer 3x3", value 9, slider 25: 0.9 is 0.89999998; (0.9 - 0.5) x 1.25 = 0.49999997.
TEST(OrderedDither, TheBiasDividesByTheDivisor) {
  LoadedEffect loaded;
  const struct {
    A_long pattern;
    double slider;
    A_long x, y;
  } cases[] = {{25, 50, 4, 0}, {13, 25, 2, 2}};
  for (const auto& c : cases) {
    minihost::World input(5, 3, minihost::Depth::Eight);
    for (A_long y = 0; y < 3; ++y) {
      for (A_long x = 0; x < 5; ++x) input.pixel8(x, y) = {255, 0, 0, 0};
    }
    minihost::World output = Render(loaded, input, {c.pattern, kRgb3, 1, 0, 0, {c.slider, 0, 0}});
    EXPECT_EQ(output.pixel8(c.x, c.y).red, 0) << MatrixFor(c.pattern).label;
  }
}

TEST(OrderedDither, AScaleBelowOneCountsAsOne) {
  LoadedEffect loaded;
  minihost::World input = Noise<PF_Pixel8>(9, 7, 11);
  const Controls c{25, kRgb6, 1, 2, -3, {10, 20, 30}};
  const auto expected = OrderedRef<PF_Pixel8>(input, c).packedBytes();
  for (const PF_Fixed raw : {0, 0x7FFF, -(3 << 16)}) {
    Apply(loaded.instance.params(), c);
    loaded.instance.params()[kParamScale].u.fd.value = raw;
    minihost::World output(9, 7, minihost::Depth::Eight);
    EXPECT_EQ(loaded.instance.render(input, output), PF_Err_NONE);
    EXPECT_EQ(output.packedBytes(), expected) << raw;
  }
}

// The callbacks straight, on cases a host that iterates over the output world could produce.
TEST(OrderedDither, PixelCallbacksReadOnlyInsideTheInputAndTreatNaNAsZero) {
  minihost::World input(4, 2, minihost::Depth::Eight);
  for (A_long x = 0; x < 4; ++x) input.pixel8(x, 0) = {255, 255, 255, 255};
  const ImageView view{input.pf().data, input.pf().rowbytes, 4, 2, PixelDepth::Eight};
  FrameDescription frame;
  // "Gameboy": black goes to its darkest green, while a NaN colour would stay NaN and be stored as 0.
  frame.palette = PaletteFor(8, nullptr);
  frame.threshold = Color3(std::numeric_limits<float>::infinity());
  const Pixel8 untouched{9, 9, 9, 9};
  for (const auto& [x, y] : {std::pair<A_long, A_long>{4, 0}, {0, 2}, {-1, 0}, {7, 7}}) {
    Pixel8 out = untouched;
    reference::OrderedDitherPixel(frame, kDiagonal5x5, view, x, y, out);
    EXPECT_EQ(std::vector<unsigned>({out.alpha, out.red, out.green, out.blue}), std::vector<unsigned>(4, 9));
  }
  // Column 3 of row 0 holds 3: bias 3/6 - 0.5 = 0, times an infinite threshold is NaN, clamped to 0.
  Pixel8 out = untouched;
  reference::OrderedDitherPixel(frame, kDiagonal5x5, view, 3, 0, out);
  EXPECT_EQ(std::vector<unsigned>({out.alpha, out.red, out.green, out.blue}),
            std::vector<unsigned>({255, 0x0F, 0x38, 0x0F}));
}

TEST(OrderedDither, EveryPatternMatchesThePlainReference) {
  LoadedEffect loaded;
  const Controls controls[] = {
      {0, kRgb9},
      {0, kGray1, 3, -7, 5, {25, -40, 60}},
      {0, kGray2, 4, -1000, -13, {-100, 150, 5}},
      {0, kRgb6, 2, 11, 1000, {0, 0, -30}},
  };
  uint64_t seed = 100;
  for (const Controls& c : controls) {
    CheckAgainstReference<PF_Pixel8>(loaded, c, ++seed);
    CheckAgainstReference<PF_Pixel16>(loaded, c, ++seed);
  }
}
