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

}  // namespace
}  // namespace minihost
