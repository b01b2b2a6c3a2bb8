// The stored form of the custom palette: 12 bytes a colour, red, green and blue as little-endian IEEE-754
// single-precision floats, no header or padding. The same bytes on every platform, so projects travel.
#pragma once

#include <cstddef>
#include <cstdint>

#include "palette/color.h"

inline constexpr std::size_t kFlatColorSize = 12;

// Appends the whole records of `size` bytes to `colors`; trailing bytes of a partial record are ignored.
void AppendFlatColors(ColorList& colors, const uint8_t* bytes, std::size_t size);

// Writes colors.size() records into `bytes`, which holds at least colors.size() * kFlatColorSize bytes.
void WriteFlatColors(const ColorList& colors, uint8_t* bytes);
