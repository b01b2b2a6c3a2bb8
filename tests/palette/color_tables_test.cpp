#include "palette/color_tables.h"

#include <gtest/gtest.h>

#include <cmath>
#include <span>
#include <string>

#include "palette_test_support.h"

namespace {

struct TableCase {
  const char* name;
  std::size_t palette;
  std::span<const Color3> colors;
  std::size_t size;
  const char* first;
  const char* last;
};

const TableCase kTables[] = {
    {"PICO-8", 7, kPico8, 16, "000000", "FFCCAA"},
    {"Gameboy", 8, kGameboy, 4, "0F380F", "9BBC0F"},
    {"AppleII", 9, kAppleII, 14, "000000", "FFFFFF"},
    {"CGA", 10, kCga, 16, "000000", "FFFFFF"},
    {"VGA 2-bit", 11, kVga2Bit, 4, "000000", "AAAAAA"},
    {"VGA 8-bit", 12, kVga8Bit, 246, "000000", "2C3040"},
    {"VIC-20", 13, kVic20, 16, "8B5429", "000000"},
    {"Amstrad CPC", 14, kAmstradCpc, 27, "000000", "FFFFFF"},
    {"MSX", 15, kMsx, 15, "000000", "FFFFFF"},
    {"ZX Spectrum", 16, kZxSpectrum, 15, "FFFFFF", "AAAAAA"},
    {"Commodore 64", 17, kCommodore64, 16, "000000", "ADADAD"},
    {"Commodore 64 - Orrel", 18, kCommodore64Orrel, 16, "000000", "959595"},
    {"NES", 19, kNes, 55, "7C7C7C", "F8D8F8"},
    {"FamiCube - Iven", 20, kFamiCubeIven, 64, "000000", "FFFFFF"},
};

TEST(ColorTables, SizesEndsAndMembership) {
  for (const TableCase& table : kTables) {
    SCOPED_TRACE(table.name);
    ASSERT_EQ(table.colors.size(), table.size);
    EXPECT_EQ(table.colors.front(), Hex(table.first));
    EXPECT_EQ(table.colors.back(), Hex(table.last));
    // Also shows that the row searches this table and the whole of it.
    for (const Color3& entry : table.colors) {
      EXPECT_EQ(Quantize(table.palette, entry), entry);
    }
  }
}

TEST(ColorTables, SpreadsAreTheLargestSortedGapsOfTheTables) {
  for (const TableCase& table : kTables) {
    SCOPED_TRACE(table.name);
    // The two trailing blacks of VIC-20 do not count.
    const std::size_t count = std::string(table.name) == "VIC-20" ? 14 : table.colors.size();
    Color3 gaps;
    ColorListSpread(gaps, table.colors.data(), count);
    const Color3 spread = Spread(table.palette);
    // The gap between two k / 255 floats is only near its own k / 255; the spread is that float exactly
    // ("VGA 8-bit": 0.0784313679 found, 20 / 255 = 0.0784313753 held).
    for (int c = 0; c < 3; ++c) {
      EXPECT_NEAR(gaps[c], spread[c], 1e-6f) << "channel " << c;
      EXPECT_EQ(spread[c], static_cast<float>(std::lround(gaps[c] * 255.0f)) / 255.0f) << "channel " << c;
    }
  }
}

TEST(ColorTables, AmstradOrderIsNineGreenPlusThreeRedPlusBlue) {
  const float levels[] = {0.0f, 128.0f / 255.0f, 1.0f};
  for (int g = 0; g < 3; ++g) {
    for (int r = 0; r < 3; ++r) {
      for (int b = 0; b < 3; ++b) {
        EXPECT_EQ(kAmstradCpc[9 * g + 3 * r + b], Color3(levels[r], levels[g], levels[b]));
      }
    }
  }
}

TEST(ColorTables, VgaEightBitRunsFollowTheirRules) {
  const char* const defaults[] = {"000000", "0000A8", "00A800", "00A8A8", "A80000", "A800A8",
                                  "A85400", "A8A8A8", "545454", "5454FC", "54FC54", "54FCFC",
                                  "FC5454", "FC54FC", "FCFC54", "FCFCFC"};
  for (int i = 0; i < 16; ++i) {
    EXPECT_EQ(kVga8Bit[i], Hex(defaults[i])) << "entry " << i;
  }
  const int greys[] = {0x14, 0x20, 0x2C, 0x38, 0x44, 0x50, 0x60, 0x70, 0x80, 0x90, 0xA0, 0xB4, 0xC8, 0xE0};
  for (int i = 0; i < 14; ++i) {
    EXPECT_EQ(kVga8Bit[16 + i], Color3(static_cast<float>(greys[i]) / 255.0f)) << "entry " << 16 + i;
  }
  const int rings[9][5] = {
      {0x00, 0x40, 0x7C, 0xBC, 0xFC}, {0x7C, 0x9C, 0xBC, 0xDC, 0xFC}, {0xB4, 0xC4, 0xD8, 0xE8, 0xFC},
      {0x00, 0x1C, 0x38, 0x54, 0x70}, {0x38, 0x44, 0x54, 0x60, 0x70}, {0x50, 0x58, 0x60, 0x68, 0x70},
      {0x00, 0x10, 0x20, 0x30, 0x40}, {0x20, 0x28, 0x30, 0x38, 0x40}, {0x2C, 0x30, 0x34, 0x3C, 0x40}};
  const int steps[24][3] = {{0, 0, 4}, {1, 0, 4}, {2, 0, 4}, {3, 0, 4}, {4, 0, 4}, {4, 0, 3},
                            {4, 0, 2}, {4, 0, 1}, {4, 0, 0}, {4, 1, 0}, {4, 2, 0}, {4, 3, 0},
                            {4, 4, 0}, {3, 4, 0}, {2, 4, 0}, {1, 4, 0}, {0, 4, 0}, {0, 4, 1},
                            {0, 4, 2}, {0, 4, 3}, {0, 4, 4}, {0, 3, 4}, {0, 2, 4}, {0, 1, 4}};
  for (int q = 0; q < 9; ++q) {
    for (int s = 0; s < 24; ++s) {
      const int* level = rings[q];
      const Color3 expected(static_cast<float>(level[steps[s][0]]) / 255.0f,
                            static_cast<float>(level[steps[s][1]]) / 255.0f,
                            static_cast<float>(level[steps[s][2]]) / 255.0f);
      EXPECT_EQ(kVga8Bit[30 + 24 * q + s], expected) << "ring " << q << " step " << s;
    }
  }
}

}  // namespace
