#include <gtest/gtest.h>

#include "minihost/host.h"
#include "minihost/world.h"

namespace minihost {
namespace {

bool Same(const PF_Pixel8& a, const PF_Pixel8& b) {
  return a.alpha == b.alpha && a.red == b.red && a.green == b.green && a.blue == b.blue;
}
bool Same(const PF_Pixel16& a, const PF_Pixel16& b) {
  return a.alpha == b.alpha && a.red == b.red && a.green == b.green && a.blue == b.blue;
}

TEST(FillTest, NoColourAndNoRectangleClearTheWholeWorldAtBothDepths) {
  Host host;
  PF_InData in = host.makeInData();
  World eight(3, 2, Depth::Eight);
  World deep(3, 2, Depth::Sixteen);
  for (A_long y = 0; y < 2; ++y) {
    for (A_long x = 0; x < 3; ++x) {
      eight.pixel8(x, y) = PF_Pixel8{255, 1, 2, 3};
      deep.pixel16(x, y) = PF_Pixel16{32768, 1, 2, 3};
    }
  }
  EXPECT_EQ(in.utils->fill(in.effect_ref, nullptr, nullptr, &eight.pf()), PF_Err_NONE);
  EXPECT_EQ(in.utils->fill(in.effect_ref, nullptr, nullptr, &deep.pf()), PF_Err_NONE);
  EXPECT_EQ(eight.packedBytes(), std::vector<unsigned char>(3 * 2 * 4, 0));
  EXPECT_EQ(deep.packedBytes(), std::vector<unsigned char>(3 * 2 * 8, 0));
  EXPECT_TRUE(eight.paddingIntact());
  EXPECT_TRUE(deep.paddingIntact());
}

TEST(FillTest, AColourGoesIntoTheRectangleOnlyAndIsWidenedForDeepWorlds) {
  Host host;
  PF_InData in = host.makeInData();
  const PF_Pixel8 colour{255, 128, 0, 1};
  const PF_Rect rect{1, 1, 3, 2};
  World eight(4, 3, Depth::Eight);
  World deep(4, 3, Depth::Sixteen);
  in.utils->fill(in.effect_ref, &colour, &rect, &eight.pf());
  in.utils->fill(in.effect_ref, &colour, &rect, &deep.pf());
  // 128 -> (128 * 32768 + 127) / 255 = 16448, 1 -> (32768 + 127) / 255 = 129.
  const PF_Pixel16 wide{32768, 16448, 0, 129};
  for (A_long y = 0; y < 3; ++y) {
    for (A_long x = 0; x < 4; ++x) {
      const bool inside = y == 1 && (x == 1 || x == 2);
      EXPECT_TRUE(Same(eight.pixel8(x, y), inside ? colour : PF_Pixel8{})) << x << "," << y;
      EXPECT_TRUE(Same(deep.pixel16(x, y), inside ? wide : PF_Pixel16{})) << x << "," << y;
    }
  }

  // A rectangle reaching outside the world is clipped to it.
  const PF_Rect spill{-5, -5, 1, 100};
  in.utils->fill(in.effect_ref, &colour, &spill, &eight.pf());
  EXPECT_TRUE(Same(eight.pixel8(0, 2), colour));
  EXPECT_TRUE(Same(eight.pixel8(1, 2), PF_Pixel8{}));
  EXPECT_TRUE(eight.paddingIntact());
  EXPECT_EQ(in.utils->fill(in.effect_ref, &colour, nullptr, nullptr), PF_Err_BAD_CALLBACK_PARAM);
}

// The rows are shared out over the host's threads: with more threads than some parts have rows, every row of
// the rectangle is still filled once and nothing outside it is touched.
TEST(FillTest, EveryRowOfTheRectangleIsFilledOnManyThreads) {
  Host host;
  host.setThreads(7);
  PF_InData in = host.makeInData();
  const PF_Pixel8 colour{255, 10, 20, 30};
  const PF_Pixel16 wide{32768, 1285, 2570, 3855};  // (v * 32768 + 127) / 255
  for (const A_long height : {2, 5, 13}) {
    World eight(6, height, Depth::Eight);
    World deep(6, height, Depth::Sixteen);
    for (A_long y = 0; y < height; ++y) {
      for (A_long x = 0; x < 6; ++x) {
        eight.pixel8(x, y) = PF_Pixel8{1, 1, 1, 1};
        deep.pixel16(x, y) = PF_Pixel16{1, 1, 1, 1};
      }
    }
    const PF_Rect rect{1, 1, 5, height};
    in.utils->fill(in.effect_ref, &colour, &rect, &eight.pf());
    in.utils->fill(in.effect_ref, &colour, &rect, &deep.pf());
    for (A_long y = 0; y < height; ++y) {
      for (A_long x = 0; x < 6; ++x) {
        const bool inside = y >= 1 && x >= 1 && x < 5;
        EXPECT_TRUE(Same(eight.pixel8(x, y), inside ? colour : PF_Pixel8{1, 1, 1, 1})) << x << "," << y;
        EXPECT_TRUE(Same(deep.pixel16(x, y), inside ? wide : PF_Pixel16{1, 1, 1, 1})) << x << "," << y;
      }
    }
    // And the whole world cleared, at both depths.
    in.utils->fill(in.effect_ref, nullptr, nullptr, &eight.pf());
    in.utils->fill(in.effect_ref, nullptr, nullptr, &deep.pf());
    EXPECT_EQ(eight.packedBytes(), std::vector<unsigned char>(6 * static_cast<std::size_t>(height) * 4, 0));
    EXPECT_EQ(deep.packedBytes(), std::vector<unsigned char>(6 * static_cast<std::size_t>(height) * 8, 0));
    EXPECT_TRUE(eight.paddingIntact());
    EXPECT_TRUE(deep.paddingIntact());
  }
}

}  // namespace
}  // namespace minihost
