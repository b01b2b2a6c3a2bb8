// Near and exact ties of the nearest-colour search, through the effect as a host loads it, at both depths,
// with an ordered pattern and with error diffusion. Each case was worked by hand in single precision:
// c the pixel's colour, t the ordered bias, d = t * threshold + c (the product rounded first), and
// distance = (dr² + dg²) + db², red and green first. Where two colours lie one ulp apart, the later one in
// the table is the nearer, so neither a wrong order of additions, a spread one ulp off, nor a search that
// settles for "near enough" can pass. Exact ties go to the colour listed first.
#include <gtest/gtest.h>

#include <array>
#include <string>

#include "dither_reference.h"
#include "support/custom_palette_fixture.h"

using namespace dither_test;

namespace {

using Rgb = std::array<unsigned, 3>;

constexpr A_long kVga8 = 13;  // "Swatch" popup values
constexpr A_long kCustom = 1;
constexpr A_long kBayer2x2 = 12;  // pattern index
constexpr A_long kFloydSteinberg = 1;

template <typename Pixel>
Rgb RgbOf(const Pixel& p) {
  return {p.red, p.green, p.blue};
}

template <typename Pixel>
minihost::World Uniform(A_long width, A_long height, const Rgb& rgb) {
  minihost::World world(width, height,
                        sizeof(Pixel) == 8 ? minihost::Depth::Sixteen : minihost::Depth::Eight);
  using C = decltype(Pixel::alpha);
  const auto full = static_cast<C>(kFull<Pixel>);
  for (A_long y = 0; y < height; ++y) {
    for (A_long x = 0; x < width; ++x)
      Px<Pixel>(world, x, y) =
          Pixel{full, static_cast<C>(rgb[0]), static_cast<C>(rgb[1]), static_cast<C>(rgb[2])};
  }
  return world;
}

// 8-bit table colours on the 16-bit scale: k × 32768 / 255, truncated as the store rule truncates.
constexpr unsigned Deep(unsigned k) {
  return static_cast<unsigned>(static_cast<float>(k) / 255.0f * 32768.0f);
}

struct OrderedTie {
  const char* what;
  unsigned cell;  // "Bayer 2x2" cell value, at (0, 0) 1, (1, 0) 3, (0, 1) 4, (1, 1) 2
  Rgb in, out;
};

// "VGA 8-bit", spread 20/255 = 0.078431375 on every channel, thresholds 0.
const OrderedTie kOrdered8[] = {
    // c = (0.07450981, 0.11764706, 0.2), t = -0.3, t × spread = -0.023529414,
    // d = (0.050980393, 0.09411764, 0.1764706). Entry 197 (0, 16, 64) lies at 0.009134949, entries 17
    // (32, 32, 32) and 196 (0, 32, 64) both at 0.00913495 (green terms 0.0009842362 against 0.0009842376).
    // With the spread as a difference of two table floats (0.07843137) the bias moves and entry 17 wins.
    {"19,30,51 at cell 1", 1, {19, 30, 51}, {0, 16, 64}},
};

const OrderedTie kOrdered16[] = {
    // c = (0.22821045, 0.051452637, 0.22821045), t = -0.3, d = (0.20468104, 0.027923223, 0.20468104).
    // Entries 179 (64, 0, 48) and 177 (48, 0, 64) have the same three terms, 0.0021436315,
    // 0.00077970634 and 0.0002704624, in other channels: 179 sums (0.0021436315 + 0.00077970634) +
    // 0.0002704624 = 0.0031938, 177 sums (0.0002704624 + 0.00077970634) + 0.0021436315 = 0.0031938003.
    {"7478,1686,7478 at cell 1", 1, {7478, 1686, 7478}, {Deep(64), 0, Deep(48)}},
    // c = (0, 0.3411255, 0.3411255), t = 0.3, d = (0.023529414, 0.3646549, 0.3646549). Entry 123
    // (0, 84, 112) sums (0.0005536333 + 0.0012420778) + 0.0055593117 = 0.0073550227 and entry 121
    // (0, 112, 84) (0.0005536333 + 0.0055593117) + 0.0012420778 = 0.007355023.
    {"0,11178,11178 at cell 4", 4, {0, 11178, 11178}, {0, Deep(84), Deep(112)}},
};

template <typename Pixel>
void CheckOrderedTies(LoadedEffect& loaded, const OrderedTie& tie) {
  SCOPED_TRACE(tie.what);
  // Wide enough for the vector rows and their edges; the pixel (76, 4) lies in cell 1.
  minihost::World input = Uniform<Pixel>(96, 8, tie.in);
  minihost::World output = Render(loaded, input, Controls{kBayer2x2, kVga8});
  const Matrix& m = MatrixFor(kBayer2x2);
  for (A_long y = 0; y < 8; ++y) {
    for (A_long x = 0; x < 96; ++x) {
      if (m.at(static_cast<uint64_t>(x), static_cast<uint64_t>(y)) == tie.cell) {
        EXPECT_EQ(RgbOf(Px<Pixel>(output, x, y)), tie.out) << "at " << x << "," << y;
      }
    }
  }
}

TEST(NearestTies, OrderedPatternsTakeTheStrictlyNearerLaterColour) {
  LoadedEffect loaded;
  for (const OrderedTie& tie : kOrdered8) CheckOrderedTies<PF_Pixel8>(loaded, tie);
  for (const OrderedTie& tie : kOrdered16) CheckOrderedTies<PF_Pixel16>(loaded, tie);
}

struct PlainTie {
  const char* what;
  Rgb in, out;
};

// "VGA 8-bit" with no bias: what the error-diffusion kernels give a pixel that has received no error.
const PlainTie kPlain8[] = {
    // c = (0, 0.09411765, 0.34117648): entry 197 (0, 16, 64) at 0.009119568 (green term 0.0009842367),
    // entry 196 (0, 32, 64) at 0.009119569 (0.0009842372).
    {"one ulp: 0,24,87", {0, 24, 87}, {0, 16, 64}},
    // c = (0, 0, 0.8235294): entries 1 (0, 0, 168) and 30 (0, 0, 252) both at 0.027128024; 1 comes first.
    {"exact: 0,0,210", {0, 0, 210}, {0, 0, 168}},
};

const PlainTie kPlain16[] = {
    // c = (0.039276123, 0.16479492, 0.039276123): entry 191 (0, 64, 16) sums (0.0015426138 +
    // 0.007427938) + 0.00055079296 = 0.009521344, entry 189 (16, 64, 0) the same terms to 0.009521345.
    {"one ulp: 1287,5400,1287", {1287, 5400, 1287}, {0, Deep(64), Deep(16)}},
    // c = (0, 0.15692139, 0.15692139): entries 193 (0, 64, 48) and 195 (0, 48, 64) both at 0.00982766.
    {"exact: 0,5142,5142", {0, 5142, 5142}, {0, Deep(64), Deep(48)}},
};

// An opaque black frame (black is exact in the palette and hands on no error) whose last pixel, which
// receives nothing from the pixels before it, holds the tie. Every pattern's table passes through it.
template <typename Pixel>
void CheckDiffusionTie(LoadedEffect& loaded, A_long swatch, const PlainTie& tie) {
  SCOPED_TRACE(tie.what);
  constexpr A_long kWidth = 70, kHeight = 5;
  minihost::World input = Uniform<Pixel>(kWidth, kHeight, {0, 0, 0});
  using C = decltype(Pixel::alpha);
  Px<Pixel>(input, kWidth - 1, kHeight - 1) = Pixel{static_cast<C>(kFull<Pixel>), static_cast<C>(tie.in[0]),
                                                    static_cast<C>(tie.in[1]), static_cast<C>(tie.in[2])};
  for (const Diffusion& d : Diffusions()) {
    SCOPED_TRACE(d.label);
    minihost::World output = Render(loaded, input, Controls{d.pattern, swatch});
    EXPECT_EQ(RgbOf(Px<Pixel>(output, kWidth - 1, kHeight - 1)), tie.out);
    EXPECT_EQ(RgbOf(Px<Pixel>(output, kWidth - 2, kHeight - 1)), (Rgb{0, 0, 0}));
  }
}

TEST(NearestTies, ErrorDiffusionDecidesTiesByTheRule) {
  LoadedEffect loaded;
  for (const PlainTie& tie : kPlain8) CheckDiffusionTie<PF_Pixel8>(loaded, kVga8, tie);
  for (const PlainTie& tie : kPlain16) CheckDiffusionTie<PF_Pixel16>(loaded, kVga8, tie);
}

// Custom palettes with a colour listed twice. 254/255 is exactly twice 127/255 in single precision (the
// same rounding one binade up), so 127/255 lies exactly between 0 and 254/255; on the 16-bit scale 16384 is
// exactly 0.5, between 0 and 1. Whichever of the two is listed first takes the tie, whatever follows it.
// The ordered pattern sees the tie too when its threshold cancels the palette's spread to exactly 0:
// -99.6078431372549 / 100 rounds to -(254/255) and -100 / 100 to -1.
class CustomTies : public CustomPaletteTest {
 protected:
  template <typename Pixel>
  Rgb RenderWith(const Colors& colors, const Controls& c, const Rgb& in) {
    minihost::Instance instance = WithPalette(colors);
    Apply(instance.params(), c);
    minihost::World input = Uniform<Pixel>(40, 3, in);
    minihost::World output(input.width(), input.height(), input.depth());
    EXPECT_EQ(instance.render(input, output), PF_Err_NONE);
    EXPECT_TRUE(loaded_.host.problems().empty());
    return RgbOf(Px<Pixel>(output, 0, 0));
  }
};

TEST_F(CustomTies, DuplicatesKeepTheFirstOfEquallyNearColours) {
  const Colors blackBlue = {{0, 0, 0}, {0, 0, 254.0f / 255.0f}, {0, 0, 0}};
  const Colors blueBlack = {{0, 0, 254.0f / 255.0f}, {0, 0, 0}, {0, 0, 254.0f / 255.0f}};
  const Colors blackWhite = {{0, 0, 0}, {1, 1, 1}, {0, 0, 0}, {1, 1, 1}};
  const Colors whiteBlack = {{1, 1, 1}, {0, 0, 0}, {1, 1, 1}};
  // "Threshold", "Bayer 2x2" with no bias left, and pixel (0, 0) of "Floyd Steinberg", which has received
  // no error yet.
  for (const A_long pattern : {A_long{0}, kBayer2x2, kFloydSteinberg}) {
    SCOPED_TRACE(pattern);
    const Controls blue{pattern, kCustom, 1, 0, 0, {0, 0, -99.6078431372549}};
    EXPECT_EQ(RenderWith<PF_Pixel8>(blackBlue, blue, {0, 0, 127}), (Rgb{0, 0, 0}));
    EXPECT_EQ(RenderWith<PF_Pixel8>(blueBlack, blue, {0, 0, 127}), (Rgb{0, 0, 254}));
    const Controls grey{pattern, kCustom, 1, 0, 0, {-100, -100, -100}};
    EXPECT_EQ(RenderWith<PF_Pixel16>(blackWhite, grey, {16384, 16384, 16384}), (Rgb{0, 0, 0}));
    EXPECT_EQ(RenderWith<PF_Pixel16>(whiteBlack, grey, {16384, 16384, 16384}), (Rgb{32768, 32768, 32768}));
  }
}

}  // namespace
