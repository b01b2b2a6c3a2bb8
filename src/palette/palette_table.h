// The catalogue of the 22 palettes the "Swatch" popup offers, and the colour-list helpers it rests on.
#pragma once

#include <array>
#include <cstddef>

#include "palette/color.h"

struct RenderSettings;

// One row of the catalogue. Both operations write into the caller's output colour and give it back;
// they never allocate, lock or fail.
struct PaletteEntry {
  Color3& (*quantize)(Color3& out, const Color3& in, const RenderSettings& settings);
  Color3& (*spread)(Color3& out, const RenderSettings& settings);
};

inline constexpr std::size_t kPaletteCount = 22;

// Indexed by RenderSettings::palette ("Swatch" value - 1); row 0 is the custom palette.
extern const std::array<PaletteEntry, kPaletteCount> PaletteTable;

// The first colour at the least squared distance from `in`; `in` itself when none is taken.
Color3& NearestColor(Color3& out, const Color3& in, const Color3* colors, std::size_t count);

// Per channel, the largest gap between neighbouring values once the colours are sorted by that channel.
Color3& ColorListSpread(Color3& out, const Color3* colors, std::size_t count);
