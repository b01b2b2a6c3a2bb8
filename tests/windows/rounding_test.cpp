// The generated palettes' rounding must not depend on the platform's math library (mingw-w64's roundf
// rounds 0.49999997 up). Expected values follow from the rule, halves away from zero.
#include "palette/rounding.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

::testing::AssertionResult Same(float actual, float expected) {
  if (std::isnan(expected) ? std::isnan(actual)
                           : actual == expected && std::signbit(actual) == std::signbit(expected)) {
    return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure() << "got " << actual << ", expected " << expected;
}

}  // namespace

TEST(RoundHalfAway, EveryHalfAndItsNeighbours) {
  EXPECT_TRUE(Same(RoundHalfAway(0.49999997f), 0.0f));  // the largest float below 0.5
  EXPECT_TRUE(Same(RoundHalfAway(0.5f), 1.0f));
  EXPECT_TRUE(Same(RoundHalfAway(-0.49999997f), -0.0f));
  EXPECT_TRUE(Same(RoundHalfAway(-0.5f), -1.0f));
  EXPECT_TRUE(Same(RoundHalfAway(0.0f), 0.0f));
  EXPECT_TRUE(Same(RoundHalfAway(-0.0f), -0.0f));
  EXPECT_TRUE(Same(RoundHalfAway(-0.25f), -0.0f));
  for (int k = -2000; k <= 2000; ++k) {
    // k + 0.5 is exact; its neighbours one unit in the last place away round to k and k + 1.
    const float half = static_cast<float>(k) + 0.5f;
    const float below = std::nextafter(half, -1e9f), above = std::nextafter(half, 1e9f);
    const float away = k >= 0 ? static_cast<float>(k + 1) : static_cast<float>(k);
    const float up = k == -1 ? -0.0f : static_cast<float>(k + 1);  // -0.49999997 keeps its sign
    EXPECT_TRUE(Same(RoundHalfAway(half), away)) << half;
    EXPECT_TRUE(Same(RoundHalfAway(below), static_cast<float>(k))) << below;
    EXPECT_TRUE(Same(RoundHalfAway(above), up)) << above;
  }
}

TEST(RoundHalfAway, WholeNumbersInfinitiesAndNaNStay) {
  for (float whole : {8388607.0f, 8388608.0f, 8388609.0f, 1e30f, -8388608.0f, -1e30f}) {
    EXPECT_TRUE(Same(RoundHalfAway(whole), whole)) << whole;
  }
  EXPECT_TRUE(Same(RoundHalfAway(8388607.5f), 8388608.0f));
  EXPECT_TRUE(Same(RoundHalfAway(-8388607.5f), -8388608.0f));
  EXPECT_TRUE(
      Same(RoundHalfAway(std::numeric_limits<float>::infinity()), std::numeric_limits<float>::infinity()));
  EXPECT_TRUE(
      Same(RoundHalfAway(-std::numeric_limits<float>::infinity()), -std::numeric_limits<float>::infinity()));
  EXPECT_TRUE(
      Same(RoundHalfAway(std::numeric_limits<float>::quiet_NaN()), std::numeric_limits<float>::quiet_NaN()));
}
