#include <gtest/gtest.h>

#include "palette_test_support.h"

namespace {

Color3 Grey(float level) { return Color3(level, level, level); }

TEST(GreyRamp, OneBitRoundsLumaWithItsOwnWeightsAndOrder) {
  // L sits within a bit of 0.5 here; another order of additions or other weights flips the result.
  EXPECT_EQ(Quantize(row::kGray1Bit, Bytes(1, 179, 196)), Grey(0.0f));
  EXPECT_EQ(Quantize(row::kGray1Bit, Bytes(2, 201, 75)), Grey(1.0f));
  EXPECT_EQ(Quantize(row::kGray1Bit, Bytes(0, 201, 81)), Grey(0.0f));
  EXPECT_EQ(Quantize(row::kGray1Bit, Color3(0.5f, 0.5f, 0.5f)), Grey(1.0f));  // L = 0.515
  EXPECT_EQ(Quantize(row::kGray1Bit, Color3(0.0f, 1.0f, 0.0f)), Grey(1.0f));  // L = 0.59
  EXPECT_EQ(Quantize(row::kGray1Bit, Color3(1.0f, 0.0f, 0.0f)), Grey(0.0f));
  EXPECT_EQ(Quantize(row::kGray1Bit, Color3(0.0f, 0.0f, 1.0f)), Grey(0.0f));
}

TEST(GreyRamp, TwoAndFourBitHaveFiveAndSeventeenLevels) {
  // White has L = 1.03, which still rounds to the top level.
  EXPECT_EQ(Quantize(row::kGray2Bit, Color3(1.0f)), Grey(1.0f));
  EXPECT_EQ(Quantize(row::kGray4Bit, Color3(1.0f)), Grey(1.0f));
  // Grey 100: L = 0.40392, 4L = 1.62, 16L = 6.46. Grey 200: L = 0.80784, 4L = 3.23, 16L = 12.93.
  EXPECT_EQ(Quantize(row::kGray2Bit, Bytes(100, 100, 100)), Grey(0.5f));
  EXPECT_EQ(Quantize(row::kGray4Bit, Bytes(100, 100, 100)), Grey(0.375f));
  EXPECT_EQ(Quantize(row::kGray2Bit, Bytes(200, 200, 200)), Grey(0.75f));
  EXPECT_EQ(Quantize(row::kGray4Bit, Bytes(200, 200, 200)), Grey(0.8125f));
}

TEST(RgbCube, HalvesRoundAwayFromZeroAndDivideTruly) {
  EXPECT_EQ(Quantize(row::kRgb6Bit, Color3(0.5f)), Color3(2.0f / 3.0f));  // R(1.5) = 2
  EXPECT_EQ(Quantize(row::kWebSafe, Color3(0.5f)), Color3(0.6f));         // R(2.5) = 3, not 2
  EXPECT_EQ(Quantize(row::kRgb3Bit, Color3(0.5f)), Color3(1.0f));
  EXPECT_EQ(Quantize(row::kRgb3Bit, Color3(-0.5f, 0.49f, 0.0f)), Color3(-1.0f, 0.0f, 0.0f));
  // 3 / 7 is 0.42857143; 3 * (1 / 7) would be 0.42857146.
  EXPECT_EQ(Quantize(row::kRgb9Bit, Color3(0.43f, 0.86f, 0.0f)), Color3(0.42857143f, 0.85714287f, 0.0f));
  // Nothing is clamped.
  EXPECT_EQ(Quantize(row::kRgb3Bit, Color3(1.6f, 0.2f, 0.9f)), Color3(2.0f, 0.0f, 1.0f));
}

}  // namespace
