// The catalogue against the palettes as they are documented: labels in popup order, and the spreads of
// the table palettes (worked out from their colours when the effect is built) against the gaps found by
// hand in the tables, in 1/255, each the float nearest to its k / 255.
#include "palette/palette_catalogue.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(PaletteCatalogue, LabelsRulesAndSpreadsInPopupOrder) {
  const struct {
    const char* label;
    PaletteRule rule;
    int r, g, b;  // spread, in 1/255 (the custom palette's comes from its colours)
  } expected[] = {
      {"Custom", PaletteRule::Custom, 0, 0, 0},
      {"1-bit Gray", PaletteRule::GreyRamp, 255, 255, 255},
      {"2-bit Gray", PaletteRule::GreyRamp, 63, 63, 63},
      {"4-bit Gray", PaletteRule::GreyRamp, 15, 15, 15},
      {"3-bit RGB", PaletteRule::RgbCube, 255, 255, 255},
      {"6-bit RGB", PaletteRule::RgbCube, 85, 85, 85},
      {"9-bit RGB", PaletteRule::RgbCube, 32, 32, 32},
      {"PICO-8", PaletteRule::Table, 61, 39, 73},
      {"Gameboy", PaletteRule::Table, 91, 74, 33},
      {"AppleII", PaletteRule::Table, 50, 53, 63},
      {"CGA", PaletteRule::Table, 85, 85, 85},
      {"VGA 2-bit", PaletteRule::Table, 170, 170, 170},
      {"VGA 8-bit", PaletteRule::Table, 20, 20, 20},
      {"VIC-20", PaletteRule::Table, 29, 46, 41},
      {"Amstrad CPC", PaletteRule::Table, 128, 128, 128},
      {"MSX", PaletteRule::Table, 58, 85, 65},
      {"ZX Spectrum", PaletteRule::Table, 170, 170, 170},
      {"Commodore 64", PaletteRule::Table, 82, 66, 57},
      {"Commodore 64 - Orrel", PaletteRule::Table, 71, 45, 74},
      {"NES", PaletteRule::Table, 60, 24, 36},
      {"FamiCube - Iven", PaletteRule::Table, 15, 21, 19},
      {"Web Safe", PaletteRule::RgbCube, 51, 51, 51},
  };
  ASSERT_EQ(std::size(expected), kPaletteCount);
  for (std::size_t i = 0; i < kPaletteCount; ++i) {
    const PaletteRow& row = PaletteCatalogue[i];
    SCOPED_TRACE(row.label);
    EXPECT_EQ(std::string(row.label), expected[i].label);
    EXPECT_EQ(row.rule, expected[i].rule);
    // Exactly the float nearest to k / 255, for the tables too: not a difference of two table floats,
    // which can lie an ulp away from it.
    EXPECT_EQ(row.spread.r, static_cast<float>(expected[i].r) / 255.0f);
    EXPECT_EQ(row.spread.g, static_cast<float>(expected[i].g) / 255.0f);
    EXPECT_EQ(row.spread.b, static_cast<float>(expected[i].b) / 255.0f);
  }
  EXPECT_EQ(PaletteCatalogue[kCustomPalette].rule, PaletteRule::Custom);
}

}  // namespace
