#include <gtest/gtest.h>

#include "palette_test_support.h"

namespace {

struct CustomFixture {
  void* listAddress = nullptr;  // stands in for the sequence-data block
  PF_InData inData{};
  ColorList colors;
  RenderSettings settings;

  CustomFixture() {
    inData.sequence_data = &listAddress;
    settings.inData = &inData;
    settings.customColors = &colors;
    settings.customSpread = Color3(0.1f, 0.2f, 0.3f);
  }
};

TEST(CustomPalette, BlackAndZeroSpreadWithoutColours) {
  const Color3 white(1.0f);
  const Color3 black(0.0f);
  EXPECT_EQ(Quantize(row::kCustom, white), black);  // no host context at all
  EXPECT_EQ(Spread(row::kCustom), black);

  CustomFixture empty;
  EXPECT_EQ(Quantize(row::kCustom, white, empty.settings), black);
  EXPECT_EQ(Spread(row::kCustom, empty.settings), black);

  CustomFixture noHandle;
  noHandle.colors = {white};
  noHandle.inData.sequence_data = nullptr;
  EXPECT_EQ(Quantize(row::kCustom, white, noHandle.settings), black);
  EXPECT_EQ(Spread(row::kCustom, noHandle.settings), black);

  CustomFixture noList;
  noList.settings.customColors = nullptr;
  EXPECT_EQ(Quantize(row::kCustom, white, noList.settings), black);
}

TEST(CustomPalette, SearchesTheListAndReportsTheFramesSpread) {
  CustomFixture custom;
  custom.colors = {Color3(0.2f, 0.4f, 0.6f)};
  EXPECT_EQ(Quantize(row::kCustom, Color3(1.0f), custom.settings), custom.colors[0]);
  EXPECT_EQ(Quantize(row::kCustom, Color3(-3.0f), custom.settings), custom.colors[0]);
  EXPECT_EQ(Spread(row::kCustom, custom.settings), Color3(0.1f, 0.2f, 0.3f));

  custom.colors = {Color3(0.0f), Color3(1.0f)};
  EXPECT_EQ(Quantize(row::kCustom, Color3(0.7f), custom.settings), Color3(1.0f));
  EXPECT_EQ(Quantize(row::kCustom, Color3(0.5f), custom.settings), Color3(0.0f));  // tie: first wins
}

}  // namespace
