#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "palette/color_tables.h"
#include "palette_test_support.h"

namespace {

TEST(NearestColor, EqualDistancesGoToTheEarlierColour) {
  const Color3 pair[] = {Color3(0.0f), Color3(1.0f, 0.0f, 0.0f)};
  const Color3 swapped[] = {pair[1], pair[0]};
  const Color3 middle(0.5f, 0.0f, 0.0f);
  Color3 out;
  EXPECT_EQ(NearestColor(out, middle, pair, 2), pair[0]);
  EXPECT_EQ(NearestColor(out, middle, swapped, 2), swapped[0]);
  // The same rule inside the tables: each of these lies within a few ulps of a tie with a later entry.
  EXPECT_EQ(Quantize(row::kPico8, Bytes(204, 14, 182)), kPico8[14]);
  EXPECT_EQ(Quantize(row::kCga, Bytes(217, 113, 38)), kCga[12]);
  EXPECT_EQ(Quantize(row::kVga8Bit, Bytes(221, 221, 103)), kVga8Bit[65]);
  // As far from white (entry 0) as from bright cyan, and nearer than every other entry.
  EXPECT_EQ(Quantize(row::kZxSpectrum, Color3(0.5f, 1.25f, 1.25f)), Hex("FFFFFF"));
}

TEST(NearestColor, GivesTheInputBackWhenNothingIsTaken) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  Color3 out;
  EXPECT_EQ(NearestColor(out, Color3(0.2f, 0.3f, 0.4f), nullptr, 0), Color3(0.2f, 0.3f, 0.4f));
  NearestColor(out, Color3(nan, 0.0f, 0.0f), kCga.data(), kCga.size());
  EXPECT_TRUE(std::isnan(out.r));
  const float huge = std::numeric_limits<float>::max();
  EXPECT_EQ(NearestColor(out, Color3(huge), kCga.data(), kCga.size()), Color3(huge));
  // A NaN colour in the list is passed over.
  const Color3 withNan[] = {Color3(nan), Color3(0.9f)};
  EXPECT_EQ(NearestColor(out, Color3(0.0f), withNan, 2), Color3(0.9f));
}

TEST(NearestColor, OutputMayBeTheInputObject) {
  Color3 colour = Bytes(221, 221, 103);
  EXPECT_EQ(NearestColor(colour, colour, kVga8Bit.data(), kVga8Bit.size()), kVga8Bit[65]);
}

TEST(TablePalettes, EdgeCasesOfParticularTables) {
  EXPECT_EQ(Quantize(row::kVga8Bit, Color3(1.0f)), Hex("FCFCFC"));
  EXPECT_EQ(Quantize(row::kVic20, Color3(0.01f)), Hex("000000"));
  EXPECT_EQ(Quantize(row::kVic20, Color3(1.0f)), Hex("87D6DD"));  // the table has no white
  // 0.25 is nearer to 00 than to 80 (128 / 255 > 0.5): d = 0.1875 against 0.18848 for 000080.
  EXPECT_EQ(Quantize(row::kAmstradCpc, Color3(0.25f)), Hex("000000"));
}

}  // namespace
