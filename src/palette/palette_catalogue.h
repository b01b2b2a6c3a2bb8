// The catalogue of the 22 palettes the "Swatch" popup offers, in popup order: each row's label, the rule
// it quantises by, and its spread. Labels, counts and spreads are taken from here by everything that
// needs them; nothing else types them in.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "palette/byte_channel.h"
#include "palette/color.h"
#include "palette/color_list_spread.h"
#include "palette/color_tables.h"

enum class PaletteRule : std::uint8_t {
  Custom,    // the instance's own colour list
  GreyRamp,  // one grey of `levels` + 1, from the luma
  RgbCube,   // each channel to one of `levels` + 1 evenly spaced levels
  Table,     // the nearest colour of a fixed table
};

struct PaletteRow {
  const char* label;
  PaletteRule rule;
  int levels;                      // the grey ramp's factor or the cube's N; 0 for the other rules
  std::span<const Color3> colors;  // the table (Table rows only)
  Color3 spread;                   // per channel; the custom palette's comes from its colours instead
};

inline constexpr std::size_t kPaletteCount = 22;
inline constexpr std::size_t kCustomPalette = 0;  // "Custom": row 0, popup value 1

namespace palette_catalogue_detail {

// The generated palettes' spreads, in 1/255. They are near the level step but not always equal to it
// ("9-bit RGB" has 32/255, not 1/7).
constexpr Color3 Bytes(std::uint32_t k) { return Color3(ChannelFromByte(k)); }

template <std::size_t N>
constexpr PaletteRow Table(const char* label, const std::array<Color3, N>& colors) {
  return {label, PaletteRule::Table, 0, colors, TableSpread(std::span<const Color3, N>(colors))};
}

}  // namespace palette_catalogue_detail

inline constexpr std::array<PaletteRow, kPaletteCount> PaletteCatalogue = [] {
  using namespace palette_catalogue_detail;
  return std::array<PaletteRow, kPaletteCount>{{
      {"Custom", PaletteRule::Custom, 0, {}, Color3(0.0f)},
      {"1-bit Gray", PaletteRule::GreyRamp, 1, {}, Bytes(255)},
      {"2-bit Gray", PaletteRule::GreyRamp, 4, {}, Bytes(63)},
      {"4-bit Gray", PaletteRule::GreyRamp, 16, {}, Bytes(15)},
      {"3-bit RGB", PaletteRule::RgbCube, 1, {}, Bytes(255)},
      {"6-bit RGB", PaletteRule::RgbCube, 3, {}, Bytes(85)},
      {"9-bit RGB", PaletteRule::RgbCube, 7, {}, Bytes(32)},
      Table("PICO-8", kPico8),
      Table("Gameboy", kGameboy),
      Table("AppleII", kAppleII),
      Table("CGA", kCga),
      Table("VGA 2-bit", kVga2Bit),
      Table("VGA 8-bit", kVga8Bit),
      // The two blacks at the end of its table are left out of the spread.
      {"VIC-20", PaletteRule::Table, 0, kVic20, TableSpread(std::span<const Color3, 14>(kVic20.data(), 14))},
      Table("Amstrad CPC", kAmstradCpc),
      Table("MSX", kMsx),
      Table("ZX Spectrum", kZxSpectrum),
      Table("Commodore 64", kCommodore64),
      Table("Commodore 64 - Orrel", kCommodore64Orrel),
      Table("NES", kNes),
      Table("FamiCube - Iven", kFamiCubeIven),
      {"Web Safe", PaletteRule::RgbCube, 5, {}, Bytes(51)},
  }};
}();
