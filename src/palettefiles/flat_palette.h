// The custom palette's flat form, as the effect stores it in a saved project (palette/flat_palette.h holds
// the codec), as byte vectors. Every front end that hands the effect a palette through an instance's saved
// state writes it with these.
#pragma once

#include <cstdint>
#include <vector>

#include "palette/color.h"

std::vector<uint8_t> FlatPaletteBytes(const ColorList& colors);
// Bytes beyond the last whole colour are ignored, as the effect ignores them.
ColorList PaletteFromFlatBytes(const std::vector<uint8_t>& bytes);
