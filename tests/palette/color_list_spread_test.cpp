#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>

#include "palette_test_support.h"
#include "support/seeded_generator.h"

namespace {

TEST(ColorListSpread, LargestGapBetweenSortedValuesPerChannel) {
  // Red 0, 1, 0.2 is unsorted as given: neighbours in list order would give 1, not 0.8.
  const ColorList colors = {Color3(0.0f), Color3(1.0f, 0.5f, 0.2f), Color3(0.2f, 0.5f, 1.0f)};
  const ColorList before = colors;
  Color3 out;
  ColorListSpread(out, colors.data(), colors.size());
  EXPECT_FLOAT_EQ(out.r, 0.8f);
  EXPECT_FLOAT_EQ(out.g, 0.5f);
  EXPECT_FLOAT_EQ(out.b, 0.8f);
  EXPECT_EQ(colors, before);
}

TEST(ColorListSpread, FewerThanTwoColoursGiveZero) {
  const Color3 one(0.3f, 0.6f, 0.9f);
  Color3 out(5.0f);
  EXPECT_EQ(ColorListSpread(out, nullptr, 0), Color3(0.0f));
  out = Color3(5.0f);
  EXPECT_EQ(ColorListSpread(out, &one, 1), Color3(0.0f));
}

TEST(ColorListSpread, NanComponentsAreLeftOut) {
  // Swatch files may carry NaN. Compared with a bare `<`, NaNs are barriers the sort cannot move numbers
  // across, so the numbers stay unsorted; the list is long enough to go through partitioning as well.
  const float nan = std::numeric_limits<float>::quiet_NaN();
  ColorList colors;
  palettrix_test::SeededGenerator random(12345);
  for (int i = 0; i < 200; ++i) {
    const bool poisoned = (random.next() >> 28) < 4;
    const float red = static_cast<float>(i * 3 % 5) * 0.25f;  // 0, 0.75, 0.5, 0.25, 1, 0, ...
    colors.emplace_back(poisoned ? nan : red, 0.5f, static_cast<float>(i % 3) * 0.5f);
  }
  Color3 out;
  ColorListSpread(out, colors.data(), colors.size());
  EXPECT_EQ(out, Color3(0.25f, 0.0f, 0.5f));
}

}  // namespace
