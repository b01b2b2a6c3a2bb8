// The kernels at float depth. A float frame holding exactly the floats an 8-bit frame enters as (channel /
// 255) must render to floats that the 8-bit store (x 255, truncated) turns into the 8-bit render, byte for
// byte; the same for 16 bits (x 1/32768 in, x 32768 out). Every pattern, every palette, several control sets.
// Then the float-only rules, worked by hand: how NaN and the infinities enter, how out-of-range values enter
// as they are, how a stored colour is held to 0..1 and alpha copied unchanged.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <span>
#include <utility>
#include <vector>

#include "palette/palette_catalogue.h"
#include "render/pattern_catalogue.h"
#include "render/shuffled_workers.h"
#include "support/seeded_generator.h"

namespace {

using Rng = palettrix_test::SeededGenerator;

constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

// A frame of one depth with rows padded beyond its pixels.
template <typename Pixel>
struct Frame {
  int32_t width, height;
  std::ptrdiff_t rowBytes;
  std::vector<unsigned char> bytes;
  Frame(int32_t w, int32_t h)
      : width(w),
        height(h),
        rowBytes(static_cast<std::ptrdiff_t>(w) * static_cast<std::ptrdiff_t>(sizeof(Pixel)) + 24),
        bytes(static_cast<std::size_t>(rowBytes) * static_cast<std::size_t>(h), 0xA5) {}
  ImageView view() { return ImageView{bytes.data(), rowBytes, width, height, kDepthOf<Pixel>}; }
  Pixel& at(int32_t x, int32_t y) { return view().template at<Pixel>(x, y); }
};

// Noise with transparent pixels, and palette colours and the midpoints of neighbouring colours (ties). At 16
// bits the channels run past full scale to 65535.
template <typename Pixel>
Frame<Pixel> IntegerFrame(uint64_t seed) {
  constexpr bool kDeep = sizeof(Pixel) == sizeof(Pixel16);
  constexpr unsigned kTop = kDeep ? 65536u : 256u;
  Frame<Pixel> frame(29, 13);
  Rng rng{seed};
  const auto channel = [](float v) {
    const unsigned byte = static_cast<unsigned>(v * 255.0f + 0.5f);
    return kDeep ? byte * 128u : byte;
  };
  for (int32_t y = 0; y < frame.height; ++y) {
    for (int32_t x = 0; x < frame.width; ++x) {
      Pixel& p = frame.at(x, y);
      p.alpha = static_cast<decltype(p.alpha)>((x + 2 * y) % 7 == 0 ? 0 : rng.below(kDeep ? 32769u : 256u));
      if ((x + y) % 3 == 0) {
        const PaletteRow* row = &PaletteCatalogue[rng.below(kPaletteCount)];
        while (row->colors.empty()) row = &PaletteCatalogue[rng.below(kPaletteCount)];
        const std::size_t i = rng.below(row->colors.size());
        const Color3 c = i + 1 < row->colors.size() && x % 2 == 0
                             ? (row->colors[i] + row->colors[i + 1]) * 0.5f
                             : row->colors[i];
        p.red = static_cast<decltype(p.red)>(channel(c.r));
        p.green = static_cast<decltype(p.red)>(channel(c.g));
        p.blue = static_cast<decltype(p.red)>(channel(c.b));
      } else {
        p.red = static_cast<decltype(p.red)>(rng.below(kTop));
        p.green = static_cast<decltype(p.red)>(rng.below(kTop));
        p.blue = static_cast<decltype(p.red)>(rng.below(kTop));
      }
    }
  }
  return frame;
}

// How a channel of each depth enters as a float, and how a float in 0..1 is stored back.
float Entered(uint8_t v) { return static_cast<float>(v) / 255.0f; }
float Entered(uint16_t v) { return static_cast<float>(v) * (1.0f / 32768.0f); }
template <typename Pixel>
unsigned Stored(float v) {
  return static_cast<unsigned>(v * (sizeof(Pixel) == sizeof(Pixel8) ? 255.0f : 32768.0f));
}

template <typename Pixel>
Frame<PixelFloat> FloatFrameOf(Frame<Pixel>& integer) {
  Frame<PixelFloat> frame(integer.width, integer.height);
  for (int32_t y = 0; y < frame.height; ++y) {
    for (int32_t x = 0; x < frame.width; ++x) {
      const Pixel& p = integer.at(x, y);
      frame.at(x, y) = {Entered(p.alpha), Entered(p.red), Entered(p.green), Entered(p.blue)};
    }
  }
  return frame;
}

struct Controls {
  Color3 threshold;
  int32_t offsetX, offsetY;
  int64_t scale;
};

// Every pattern with every built-in palette and each of `customs`, under each of `controls` (the first only,
// for the patterns the controls do not move): `check(frame)` until a fatal failure.
template <typename Check>
void ForEachFrame(std::span<const CustomPalette> customs, std::span<const Controls> controls, Check check) {
  for (std::size_t pattern = 0; pattern < kPatternCount; ++pattern) {
    for (std::size_t palette = 0; palette < kPaletteCount + customs.size(); ++palette) {
      const CustomPalette* custom = palette >= kPaletteCount ? &customs[palette - kPaletteCount] : nullptr;
      for (const Controls& c : controls) {
        if (!PatternCatalogue[pattern].usesPatternControls() && &c != &controls[0]) continue;
        FrameDescription frame;
        frame.pattern = pattern;
        frame.palette = PaletteFor(palette >= kPaletteCount ? kCustomPalette : palette, custom);
        frame.threshold = c.threshold + frame.palette.spread;
        frame.offsetX = c.offsetX;
        frame.offsetY = c.offsetY;
        frame.scale = c.scale;
        SCOPED_TRACE(testing::Message() << "palette " << palette << ", scale " << c.scale);
        check(frame);
        if (testing::Test::HasFatalFailure()) return;
      }
    }
  }
}

// The float render of the float copy of `input`, stored back, against the integer render of `input`: colour
// channels by the integer store, alpha as the very float the integer render's alpha came in as.
template <typename Pixel>
void FloatRenderStoresToTheIntegerRender(const FrameDescription& frame, Frame<Pixel>& input) {
  Frame<Pixel> expected(input.width, input.height);
  RenderReference(frame, input.view(), expected.view());
  Frame<PixelFloat> floats = FloatFrameOf(input);
  Frame<PixelFloat> rendered(input.width, input.height);
  RenderReference(frame, floats.view(), rendered.view());
  for (int32_t y = 0; y < input.height; ++y) {
    for (int32_t x = 0; x < input.width; ++x) {
      const PixelFloat& got = rendered.at(x, y);
      const Pixel& want = expected.at(x, y);
      const unsigned stored[] = {Stored<Pixel>(got.red), Stored<Pixel>(got.green), Stored<Pixel>(got.blue)};
      const unsigned wanted[] = {want.red, want.green, want.blue};
      const float wantedAlpha = Entered(want.alpha);
      ASSERT_TRUE(stored[0] == wanted[0] && stored[1] == wanted[1] && stored[2] == wanted[2] &&
                  std::memcmp(&got.alpha, &wantedAlpha, sizeof(float)) == 0)
          << PatternCatalogue[frame.pattern].label << ", " << sizeof(Pixel) * 2 << "-bit, pixel " << x << ","
          << y << ": " << got.alpha << " " << got.red << " " << got.green << " " << got.blue << " stores as "
          << stored[0] << " " << stored[1] << " " << stored[2] << ", not " << wanted[0] << " " << wanted[1]
          << " " << wanted[2];
    }
  }
}

template <typename Pixel>
void EveryPatternPaletteAndControlSet(uint64_t seed) {
  Frame<Pixel> input = IntegerFrame<Pixel>(seed);
  // One colour; colours outside the cube, which the float store holds to 0..1; a tie between neighbours.
  const CustomPalette customs[] = {
      CustomPalette(ColorList{Color3(0.3f, 0.6f, 0.9f)}),
      CustomPalette(ColorList{Color3(-0.25f, 1.5f, 0.3f), Color3(2.0f, -1.0f, 0.7f), Color3(0.5f)}),
      CustomPalette(ColorList{Color3(0.5f), Color3(std::nextafter(0.5f, 1.0f)), Color3(0.0f), Color3(1.0f)})};
  const Controls controls[] = {
      {Color3(0.0f), 0, 0, 1},
      {Color3(0.37f, -0.6f, 10.0f), -5, 1000, 3},
      {Color3(-10.0f, 0.25f, 0.5f), 2147483647, -7, 2},
  };
  ForEachFrame(customs, controls,
               [&](const FrameDescription& frame) { FloatRenderStoresToTheIntegerRender(frame, input); });
}

TEST(FloatDepth, FloatsOfAnEightBitFrameRenderToTheEightBitRender) {
  EveryPatternPaletteAndControlSet<Pixel8>(3);
}

TEST(FloatDepth, FloatsOfASixteenBitFrameRenderToTheSixteenBitRender) {
  EveryPatternPaletteAndControlSet<Pixel16>(4);
}

// Float noise mostly in 0..1 but reaching -2 and 3, with NaN, the infinities and huge values scattered
// through it; alpha 1, 0, NaN and negative.
Frame<PixelFloat> FloatNoise(uint64_t seed) {
  Frame<PixelFloat> frame(45, 23);
  Rng rng{seed};
  const float specials[] = {kNaN, kInf, -kInf, 1e30f, -1e30f, 0.0f, -0.0f, 1.0f, std::nextafter(1.0f, 2.0f)};
  for (int32_t y = 0; y < frame.height; ++y) {
    for (int32_t x = 0; x < frame.width; ++x) {
      float c[3];
      for (float& v : c) {
        const uint32_t pick = rng.below(40);
        v = pick < std::size(specials) ? specials[pick] : pick < 15 ? rng.between(-2.0f, 3.0f) : rng.unit();
      }
      const float alphas[] = {1.0f, 0.0f, kNaN, -0.5f, rng.unit()};
      frame.at(x, y) = {alphas[(x + 3 * y) % 5], c[0], c[1], c[2]};
    }
  }
  return frame;
}

// The frame through the catalogue's float kernel on every instruction set this CPU runs and on 1, 2 and 7
// threads taking the work in a shuffled order, against the reference definition, bit for bit.
void MatchesTheReferenceEverywhere(FrameDescription frame, Frame<PixelFloat>& input, uint64_t& seed) {
  Frame<PixelFloat> expected(input.width, input.height);
  RenderReference(frame, input.view(), expected.view());
  for (const Isa isa : SupportedIsas()) {
    frame.isa = isa;
    for (const int32_t threads : {1, 2, 7}) {
      Frame<PixelFloat> output(input.width, input.height);
      palettrix_test::ShuffledWorkers workers{threads, seed++};
      ASSERT_TRUE(
          PatternCatalogue[frame.pattern].kernel32(frame, input.view(), output.view(), workers.workers()));
      ASSERT_EQ(output.bytes, expected.bytes)
          << PatternCatalogue[frame.pattern].label << ", " << IsaName(isa) << ", " << threads << " threads";
    }
  }
}

// The catalogue's float kernels against the reference definitions, bit for bit: every pattern, every
// palette, every instruction set this CPU runs and several thread counts taking the work in a shuffled order.
TEST(FloatDepth, KernelsMatchTheReferenceOnEveryInstructionSetAndThreadCount) {
  Frame<PixelFloat> input = FloatNoise(8);
  // A few colours, one outside the cube (compared with every pixel); thousands (beyond the search's unit
  // grid).
  Rng rng{9};
  ColorList many;
  for (int i = 0; i < 5000; ++i) many.push_back(Color3(rng.unit(), rng.unit(), rng.unit()));
  const CustomPalette customs[] = {
      CustomPalette(ColorList{Color3(-0.25f, 1.5f, 0.3f), Color3(0.5f), Color3(0.9f, 0.1f, 0.4f)}),
      CustomPalette(std::move(many))};
  const Controls controls[] = {{Color3(0.0f), 0, 0, 1}, {Color3(0.37f, -0.6f, 10.0f), -5, 1000, 3}};
  uint64_t seed = 1;
  ForEachFrame(customs, controls,
               [&](const FrameDescription& frame) { MatchesTheReferenceEverywhere(frame, input, seed); });
}

// Error diffusion at widths where the lag between rows covers the whole row, heights below a table's reach
// and heights that leave the last band part-filled.
TEST(FloatDepth, DiffusionKernelsMatchTheReferenceAtNarrowAndOddSizes) {
  const CustomPalette custom(ColorList{Color3(0.0f), Color3(1.0f), Color3(0.5f, 0.2f, 0.9f)});
  uint64_t seed = 1;
  for (const auto& [w, h] : {std::pair{1, 1}, {1, 9}, {2, 5}, {9, 1}, {130, 4}, {5, 17}, {40, 12}}) {
    Frame<PixelFloat> noise = FloatNoise(static_cast<uint64_t>(w * 100 + h));
    Frame<PixelFloat> input(w, h);
    for (int32_t y = 0; y < h; ++y) {
      for (int32_t x = 0; x < w; ++x) input.at(x, y) = noise.at(x % noise.width, y % noise.height);
    }
    for (std::size_t pattern = 1; pattern <= 11; ++pattern) {
      FrameDescription frame;
      frame.pattern = pattern;
      frame.palette = PaletteFor(kCustomPalette, &custom);
      SCOPED_TRACE(testing::Message() << w << "x" << h);
      MatchesTheReferenceEverywhere(frame, input, seed);
      if (HasFatalFailure()) return;
    }
  }
}

// One row of float pixels through the reference render of `pattern` with the palette black and white.
std::vector<PixelFloat> RenderRow(std::size_t pattern, const std::vector<PixelFloat>& pixels,
                                  const CustomPalette& custom) {
  Frame<PixelFloat> input(static_cast<int32_t>(pixels.size()), 1);
  for (std::size_t x = 0; x < pixels.size(); ++x) input.at(static_cast<int32_t>(x), 0) = pixels[x];
  Frame<PixelFloat> output(input.width, 1);
  FrameDescription frame;
  frame.pattern = pattern;
  frame.palette = PaletteFor(kCustomPalette, &custom);
  RenderReference(frame, input.view(), output.view());
  std::vector<PixelFloat> row(pixels.size());
  for (std::size_t x = 0; x < pixels.size(); ++x) row[x] = output.at(static_cast<int32_t>(x), 0);
  return row;
}

// The red channels of a rendered row.
std::vector<float> Reds(const std::vector<PixelFloat>& row) {
  std::vector<float> reds;
  for (const PixelFloat& p : row) reds.push_back(p.red);
  return reds;
}

PixelFloat Grey(float v, float alpha = 1.0f) { return {alpha, v, v, v}; }

// NaN enters as 0, +infinity as 1, -infinity as 0; any other value as it is, however far out of 0..1.
TEST(FloatDepth, NaNAndInfinitiesEnterAsZeroOneAndZero) {
  const CustomPalette blackWhite(ColorList{Color3(0.0f), Color3(1.0f)});
  const std::size_t threshold = 0, floydSteinberg = 1, bayer2x2 = FirstOrderedPattern();
  ASSERT_STREQ(PatternCatalogue[bayer2x2].label, "Bayer 2x2");
  const std::vector<PixelFloat> row = {Grey(kNaN), Grey(kInf),  Grey(-kInf),
                                       Grey(0.6f), Grey(40.0f), Grey(-5.0f)};
  const std::vector<float> expected = {0.0f, 1.0f, 0.0f, 1.0f, 1.0f, 0.0f};
  EXPECT_EQ(Reds(RenderRow(threshold, row, blackWhite)), expected);
  // With thresholds of 0 the bias adds nothing: the ordered pattern quantises the clamped colour.
  EXPECT_EQ(Reds(RenderRow(bayer2x2, row, blackWhite)), expected);

  // Floyd Steinberg hands 7/16 of the error to the next pixel. Entered as 1 or 0, an infinity or NaN is white
  // or black with no error, and 0.75 after it stays white; entered as it is, it would leave no colour
  // nearest, hand on NaN (infinity minus itself) and turn the next pixel black.
  for (const auto& [first, white] : {std::pair{kInf, 1.0f}, std::pair{kNaN, 0.0f}, std::pair{-kInf, 0.0f}}) {
    EXPECT_EQ(Reds(RenderRow(floydSteinberg, {Grey(first), Grey(0.75f)}, blackWhite)),
              (std::vector<float>{white, 1.0f}))
        << first;
  }
  // 1.75 enters as it is: white, error 0.75, of which 0.328125 reaches the next pixel, 0.25 + 0.328125 =
  // 0.578125, white. Clamped to 1 first it would hand on nothing and leave 0.25 black.
  EXPECT_EQ(Reds(RenderRow(floydSteinberg, {Grey(1.75f), Grey(0.25f)}, blackWhite)),
            (std::vector<float>{1.0f, 1.0f}));
  // -0.5 enters as it is: black, error -0.5, of which -0.21875 reaches the next pixel: 0.65625 - 0.21875 =
  // 0.4375, black.
  EXPECT_EQ(Reds(RenderRow(floydSteinberg, {Grey(-0.5f), Grey(0.65625f)}, blackWhite)),
            (std::vector<float>{0.0f, 0.0f}));
}

// A pixel whose alpha enters as 0 starts black in error diffusion, whatever its colour: alpha 0, -0 and NaN.
// Black, it hands on no error and 0.55 is white; taken as the 0.6 it holds, it would be white and hand on
// -0.4 x 7/16 = -0.175, leaving 0.375, black. Its alpha is written back unchanged.
TEST(FloatDepth, DiffusionTakesAlphaThatEntersAsZeroAsTransparent) {
  const CustomPalette blackWhite(ColorList{Color3(0.0f), Color3(1.0f)});
  for (const float alpha : {0.0f, -0.0f, kNaN}) {
    const std::vector<PixelFloat> got = RenderRow(1, {Grey(0.6f, alpha), Grey(0.55f)}, blackWhite);
    EXPECT_EQ(Reds(got), (std::vector<float>{0.0f, 1.0f})) << alpha;
    EXPECT_EQ(std::memcmp(&got[0].alpha, &alpha, sizeof alpha), 0) << alpha;
  }
}

// The palette colour is stored as the float it is, held to 0..1 channel by channel; alpha is copied bit for
// bit, whatever it holds.
TEST(FloatDepth, StoredColoursAreHeldToUnitAndAlphaIsCopied) {
  const CustomPalette outside(ColorList{Color3(-0.25f, 1.5f, 0.3f)});
  const float alphas[] = {0.5f, 2.5f, -1.0f, kInf, kNaN, 0.0f};
  for (const std::size_t pattern : {std::size_t{0}, std::size_t{1}, FirstOrderedPattern()}) {
    std::vector<PixelFloat> row;
    for (const float alpha : alphas) row.push_back(Grey(0.4f, alpha));
    const std::vector<PixelFloat> got = RenderRow(pattern, row, outside);
    for (std::size_t x = 0; x < got.size(); ++x) {
      EXPECT_EQ(got[x].red, 0.0f) << pattern;
      EXPECT_EQ(got[x].green, 1.0f) << pattern;
      EXPECT_EQ(got[x].blue, 0.3f) << pattern;
      EXPECT_EQ(std::memcmp(&got[x].alpha, &alphas[x], sizeof(float)), 0)
          << pattern << " alpha " << alphas[x];
    }
  }
}

}  // namespace
