// "Threshold" through the effect's entry point, as loaded by the host: every swatch at both depths on
// colours whose results are worked out by hand from the palette rules.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "plugin/param_indices.h"
#include "support/effect_under_test.h"

namespace {

using Rgb = std::array<unsigned, 3>;

struct Case {
  A_long swatch;  // "Swatch" popup value
  Rgb in;
  Rgb out;
};

// 8-bit inputs; expected outputs from the palette rules, worked by hand.
const Case kCases8[] = {
    {1, {200, 100, 50}, {0, 0, 0}},      // "Custom" without sequence data: black
    {2, {1, 179, 196}, {0, 0, 0}},       // "1-bit Gray": L = 0.49993 rounds down
    {2, {2, 201, 75}, {255, 255, 255}},  // L = 0.50011 rounds up
    {2, {0, 201, 81}, {0, 0, 0}},
    {3,
     {128, 128, 128},
     {127, 127, 127}},  // "2-bit Gray": 4L = 2.068 -> 0.5, written as 127 (127.5 truncated)
    {3, {255, 255, 255}, {255, 255, 255}},    // L = 1.03, 4L = 4.12 -> 1
    {4, {64, 64, 64}, {63, 63, 63}},          // "4-bit Gray": 16L = 4.136 -> 0.25 -> 63.75 -> 63
    {5, {127, 128, 255}, {0, 255, 255}},      // "3-bit RGB": 0.498 -> 0, 0.502 -> 1
    {6, {128, 0, 255}, {170, 0, 255}},        // "6-bit RGB": 1.506 -> 2/3 -> 170
    {6, {42, 43, 85}, {0, 85, 85}},           // 0.494 -> 0, 0.506 -> 1/3 -> 85, 1.0 -> 1/3
    {7, {110, 255, 128}, {109, 255, 145}},    // "9-bit RGB": 3.0196 -> 3/7 -> 109.29; 3.514 -> 4/7 -> 145.7
    {8, {204, 14, 182}, {0xFF, 0x77, 0xA8}},  // "PICO-8": entry 14
    {8, {0x1D, 0x2B, 0x53}, {0x1D, 0x2B, 0x53}},
    {9, {0, 0, 0}, {0x0F, 0x38, 0x0F}},  // "Gameboy": its darkest green
    {9, {0x9B, 0xBC, 0x0F}, {0x9B, 0xBC, 0x0F}},
    {10, {0xE4, 0x34, 0xFE}, {0xE4, 0x34, 0xFE}},  // "AppleII"
    {11, {217, 113, 38}, {0xAA, 0x55, 0x00}},      // "CGA": entry 12
    {12, {255, 255, 255}, {0xAA, 0xAA, 0xAA}},     // "VGA 2-bit"
    {12, {0x00, 0xAA, 0xAA}, {0x00, 0xAA, 0xAA}},
    {13, {221, 221, 103}, {0xFC, 0xDC, 0x7C}},  // "VGA 8-bit": entry 65, ring 1 step 11
    {13, {255, 255, 255}, {0xFC, 0xFC, 0xFC}},
    {14, {255, 255, 255}, {0x87, 0xD6, 0xDD}},  // "VIC-20" holds no white
    {14, {0x72, 0xC1, 0xC8}, {0x72, 0xC1, 0xC8}},
    {15, {64, 64, 64}, {0, 0, 0}},  // "Amstrad CPC": 64/255 ties 00 and 80; 000000 is listed first
    {15, {64, 64, 65}, {0, 0, 0x80}},
    {16, {0xDB, 0x65, 0x59}, {0xDB, 0x65, 0x59}},  // "MSX"
    {17, {0xFF, 0x00, 0xFF}, {0xFF, 0x00, 0xFF}},  // "ZX Spectrum"
    {18, {0x98, 0x4B, 0x43}, {0x98, 0x4B, 0x43}},  // "Commodore 64"
    {19, {0x68, 0x37, 0x2B}, {0x68, 0x37, 0x2B}},  // "Commodore 64 - Orrel"
    {20, {255, 255, 255}, {0xFC, 0xFC, 0xFC}},     // "NES"
    {20, {0x00, 0x78, 0xF8}, {0x00, 0x78, 0xF8}},
    {21, {0x5B, 0xA8, 0xFF}, {0x5B, 0xA8, 0xFF}},  // "FamiCube - Iven"
    {22, {128, 51, 0}, {153, 51, 0}},              // "Web Safe": 2.51 -> 0.6 -> 153; 1.0 -> 0.2 -> 51
};

// 16-bit inputs on the host's 0..32768 scale.
const Case kCases16[] = {
    {1, {16384, 16384, 16384}, {0, 0, 0}},
    {3, {16384, 16384, 16384}, {16384, 16384, 16384}},   // "2-bit Gray": L = 0.515 -> 0.5
    {5, {49152, 0, 32768}, {32768, 0, 32768}},           // "3-bit RGB": 1.5 -> 2.0, held to full scale
    {6, {16384, 0, 32768}, {21845, 0, 32768}},           // "6-bit RGB": 2/3 -> 21845.33
    {8, {32768, 0, 0}, {32768, 0, 9894}},                // "PICO-8": red -> FF004D, 77 -> 9894.65
    {13, {32768, 32768, 32768}, {32382, 32382, 32382}},  // "VGA 8-bit": FCFCFC -> 32382.49
    {15, {8192, 8192, 8192}, {0, 0, 0}},                 // "Amstrad CPC": 0.25 is nearer 00 than 80 (0.502)
    {22, {16384, 6554, 0}, {19660, 6553, 0}},            // "Web Safe": 0.6 -> 19660.8; 0.2 -> 6553.6
};

template <typename Pixel>
Pixel MakePixel(unsigned alpha, const Rgb& rgb) {
  using C = decltype(Pixel::alpha);
  return Pixel{static_cast<C>(alpha), static_cast<C>(rgb[0]), static_cast<C>(rgb[1]), static_cast<C>(rgb[2])};
}

template <typename Pixel>
Pixel& At(minihost::World& world, A_long x) {
  if constexpr (sizeof(Pixel) == 4) {
    return world.pixel8(x, 0);
  } else {
    return world.pixel16(x, 0);
  }
}

template <typename Pixel, std::size_t N>
void CheckCases(const Case (&cases)[N], minihost::Depth depth) {
  LoadedEffect loaded;
  auto& params = loaded.instance.params();
  params.setPopup(kParamPattern, 1);
  for (const Case& c : cases) {
    params.setPopup(kParamSwatch, c.swatch);
    minihost::World input(2, 1, depth);
    minihost::World output(2, 1, depth);
    // Alpha passes through untouched, also a transparent pixel's.
    At<Pixel>(input, 0) = MakePixel<Pixel>(200, c.in);
    At<Pixel>(input, 1) = MakePixel<Pixel>(0, c.in);
    ASSERT_EQ(loaded.instance.render(input, output), PF_Err_NONE);
    for (A_long x = 0; x < 2; ++x) {
      const Pixel& px = At<Pixel>(output, x);
      EXPECT_EQ(px.alpha, x == 0 ? 200u : 0u);
      EXPECT_EQ((Rgb{px.red, px.green, px.blue}), c.out)
          << "swatch " << c.swatch << " in " << c.in[0] << "," << c.in[1] << "," << c.in[2];
    }
    EXPECT_TRUE(output.paddingIntact());
  }
  EXPECT_TRUE(loaded.host.problems().empty());
  EXPECT_EQ(loaded.host.suitesHeld(), 0);
  EXPECT_EQ(loaded.host.liveHandles(), 1u);  // the instance's own palette
}

// A 33x17 frame whose pixels sweep all three channels, for whole-frame comparisons.
minihost::World Sweep(minihost::Depth depth) {
  minihost::World world(33, 17, depth);
  for (A_long y = 0; y < world.height(); ++y) {
    for (A_long x = 0; x < world.width(); ++x) {
      const unsigned r = static_cast<unsigned>(x * 8), g = static_cast<unsigned>(y * 16),
                     b = static_cast<unsigned>((x * 7 + y * 13) % 256);
      if (depth == minihost::Depth::Eight) {
        world.pixel8(x, y) = MakePixel<PF_Pixel8>(255, {r > 255 ? 255 : r, g > 255 ? 255 : g, b});
      } else {
        world.pixel16(x, y) = MakePixel<PF_Pixel16>(32768, {r * 128, g * 128, b * 128});
      }
    }
  }
  return world;
}

}  // namespace

TEST(ThresholdRender, EverySwatchAtEightBits) { CheckCases<PF_Pixel8>(kCases8, minihost::Depth::Eight); }

TEST(ThresholdRender, SixteenBitsTruncateAndHoldChannelsToFullScale) {
  CheckCases<PF_Pixel16>(kCases16, minihost::Depth::Sixteen);
}

TEST(ThresholdRender, IgnoresOffsetsScaleAndThresholds) {
  LoadedEffect loaded;
  auto& params = loaded.instance.params();
  params.setPopup(kParamPattern, 1);
  params.setPopup(kParamSwatch, 8);
  minihost::World input = Sweep(minihost::Depth::Eight);
  minihost::World plain(input.width(), input.height(), input.depth());
  ASSERT_EQ(loaded.instance.render(input, plain), PF_Err_NONE);

  params.setFloat(kParamOffsetX, 7.5);
  params.setFloat(kParamOffsetY, -3);
  params.setFixed(kParamScale, 3 << 16);
  params.setFloat(kParamThresholdRed, 40);
  params.setFloat(kParamThresholdBlue, -90);
  minihost::World shaped(input.width(), input.height(), input.depth());
  ASSERT_EQ(loaded.instance.render(input, shaped), PF_Err_NONE);
  EXPECT_EQ(plain.packedBytes(), shaped.packedBytes());
}

TEST(ThresholdRender, SameBytesWhateverTheThreadsAndPixelOrder) {
  for (auto depth : {minihost::Depth::Eight, minihost::Depth::Sixteen}) {
    std::vector<std::vector<unsigned char>> results;
    for (unsigned threads : {1u, 2u, 8u}) {
      for (auto order : {minihost::IterateOrder::Rows, minihost::IterateOrder::Shuffled}) {
        LoadedEffect loaded(minihost::Host::Options{threads, PF_ApplID_AfterEffects});
        loaded.host.setIterateOrder(order, threads);
        loaded.instance.params().setPopup(kParamPattern, 1);
        loaded.instance.params().setPopup(kParamSwatch, 13);
        minihost::World input = Sweep(depth);
        minihost::World output(input.width(), input.height(), depth);
        ASSERT_EQ(loaded.instance.render(input, output), PF_Err_NONE);
        results.push_back(output.packedBytes());
      }
    }
    for (const auto& result : results) EXPECT_EQ(result, results.front());
  }
}

TEST(ThresholdRender, PopupValuesOutsideTheirChoicesEndWithAnErrorAndAClearedFrame) {
  LoadedEffect loaded;
  auto& params = loaded.instance.params();
  const struct { A_long pattern, swatch; } cases[] = {{0, 6}, {27, 6}, {1, 0}, {1, 23}, {-5, 100}};
  for (const auto& c : cases) {
    params[kParamPattern].u.pd.value = c.pattern;
    params[kParamSwatch].u.pd.value = c.swatch;
    minihost::World input = Sweep(minihost::Depth::Eight);
    minihost::World output = Sweep(minihost::Depth::Eight);
    EXPECT_NE(loaded.instance.render(input, output), PF_Err_NONE) << c.pattern << " " << c.swatch;
    EXPECT_EQ(output.packedBytes(), std::vector<unsigned char>(output.packedBytes().size(), 0));
  }
  EXPECT_EQ(loaded.host.suitesHeld(), 0);
  EXPECT_TRUE(loaded.host.problems().empty());
}
