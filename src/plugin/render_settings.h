// The controls' values as one frame reads them.
#pragma once

#include <cstdint>

#include "palette/color.h"

struct RenderSettings {
  int64_t pattern = 0;                 // "Pattern" value - 1: row of the pattern catalogue
  int64_t palette = 0;                 // "Swatch" value - 1: row of the palette catalogue
  Color3 threshold{0.0f, 0.0f, 0.0f};  // slider values / 100 (the palette's spread is added later)
  int32_t offsetX = 0;                 // "Offset X" negated, truncated toward zero
  int32_t offsetY = 0;                 // "Offset Y" truncated toward zero
  int64_t scale = 1;                   // "Scale" rounded to the nearest integer
};
