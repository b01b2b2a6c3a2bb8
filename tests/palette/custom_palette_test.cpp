#include "palette/custom_palette.h"

#include <gtest/gtest.h>

#include "palette_test_support.h"

namespace {

TEST(CustomPalette, BlackAndZeroSpreadWithoutColours) {
  const Color3 white(1.0f);
  const Color3 black(0.0f);
  EXPECT_EQ(Quantize(row::kCustom, white), black);  // no sequence data at all
  EXPECT_EQ(Spread(row::kCustom), black);

  const CustomPalette empty(ColorList{});
  EXPECT_EQ(Quantize(row::kCustom, white, &empty), black);
  EXPECT_EQ(Spread(row::kCustom, &empty), black);
}

TEST(CustomPalette, SearchesTheListAndReportsItsSpread) {
  const CustomPalette one({Color3(0.2f, 0.4f, 0.6f)});
  EXPECT_EQ(Quantize(row::kCustom, Color3(1.0f), &one), one.colors()[0]);
  EXPECT_EQ(Quantize(row::kCustom, Color3(-3.0f), &one), one.colors()[0]);
  EXPECT_EQ(Spread(row::kCustom, &one), Color3(0.0f));

  const CustomPalette pair({Color3(0.0f), Color3(1.0f)});
  EXPECT_EQ(Quantize(row::kCustom, Color3(0.7f), &pair), Color3(1.0f));
  EXPECT_EQ(Quantize(row::kCustom, Color3(0.5f), &pair), Color3(0.0f));  // tie: first wins

  // (0, 0, 0), (1, 0.5, 0.2), (0.2, 0.5, 1): the widest gaps are 0.8, 0.5 and 0.8.
  const CustomPalette three({Color3(0.0f), Color3(1.0f, 0.5f, 0.2f), Color3(0.2f, 0.5f, 1.0f)});
  EXPECT_EQ(Spread(row::kCustom, &three), Color3(1.0f - 0.2f, 0.5f, 1.0f - 0.2f));
}

}  // namespace
