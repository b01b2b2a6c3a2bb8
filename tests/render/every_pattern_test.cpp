// Every pattern with every swatch at both depths, through the entry point. Whatever a pattern does to a
// pixel, what it writes must be a colour of the palette, and a palette colour is its own nearest colour:
// "Threshold" over the result must give the result back, byte for byte.
#include <gtest/gtest.h>

#include "plugin/param_indices.h"
#include "support/effect_under_test.h"

namespace {

minihost::World Gradient(minihost::Depth depth) {
  minihost::World world(24, 16, depth);
  for (A_long y = 0; y < world.height(); ++y) {
    for (A_long x = 0; x < world.width(); ++x) {
      const unsigned r = static_cast<unsigned>(x * 11), g = static_cast<unsigned>(y * 17),
                     b = static_cast<unsigned>((x * 5 + y * 9) % 256), a = (x + y) % 7 == 0 ? 0u : 255u;
      if (depth == minihost::Depth::Eight) {
        world.pixel8(x, y) = {static_cast<A_u_char>(a), static_cast<A_u_char>(r), static_cast<A_u_char>(g),
                              static_cast<A_u_char>(b)};
      } else {
        world.pixel16(x, y) = {static_cast<A_u_short>(a * 128), static_cast<A_u_short>(r * 128 + x),
                               static_cast<A_u_short>(g * 128), static_cast<A_u_short>(b * 128 + 127)};
      }
    }
  }
  return world;
}

}  // namespace

TEST(EveryPattern, WritesOnlyColoursOfTheChosenPalette) {
  LoadedEffect loaded;
  auto& params = loaded.instance.params();
  params.setFloat(kParamThresholdGreen, 30);
  params.setFixed(kParamScale, 2 << 16);
  params.setFloat(kParamOffsetX, -5);
  for (auto depth : {minihost::Depth::Eight, minihost::Depth::Sixteen}) {
    minihost::World input = Gradient(depth);
    for (A_long swatch = 1; swatch <= 22; ++swatch) {
      params.setPopup(kParamSwatch, swatch);
      for (A_long pattern = 1; pattern <= 26; ++pattern) {
        params.setPopup(kParamPattern, pattern);
        minihost::World dithered(input.width(), input.height(), depth);
        ASSERT_EQ(loaded.instance.render(input, dithered), PF_Err_NONE) << pattern << " " << swatch;

        params.setPopup(kParamPattern, 1);
        minihost::World again(input.width(), input.height(), depth);
        ASSERT_EQ(loaded.instance.render(dithered, again), PF_Err_NONE);
        EXPECT_EQ(again.packedBytes(), dithered.packedBytes())
            << "pattern " << pattern << " swatch " << swatch << " depth " << static_cast<int>(depth);
        EXPECT_TRUE(dithered.paddingIntact());
      }
    }
  }
  EXPECT_TRUE(loaded.host.problems().empty());
  EXPECT_EQ(loaded.host.liveHandles(), 1u);  // the instance's own palette
}
