// Everything a kernel needs to know about one frame, fixed before it starts and only read while it runs.
#pragma once

#include <cstddef>
#include <cstdint>

#include "palette/color.h"
#include "palette/palette.h"
#include "render/isa.h"

struct FrameDescription {
  std::size_t pattern = 0;             // row of the pattern catalogue
  Palette palette;                     // the palette to quantise with, its search structure borrowed
  Color3 threshold{0.0f, 0.0f, 0.0f};  // per channel: the threshold controls / 100 plus the palette's spread
  std::int32_t offsetX = 0;            // pattern shift, pixels (the "Offset X" control negated)
  std::int32_t offsetY = 0;
  std::int64_t scale = 1;  // block and pattern cell size, pixels; below 1 counts as 1
  Isa isa = Isa::Scalar;   // the instruction set the fast rows run with
};
