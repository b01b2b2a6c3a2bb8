// The per-frame record handed to every kernel and palette operation.
#pragma once

#include <cstdint>
#include <memory>

#include "palette/color.h"
#include "sdk/ae_effect.h"

struct RenderSettings {
  int64_t pattern = 0;  // "Pattern" value - 1: row of both kernel tables
  int64_t palette = 0;  // "Swatch" value - 1: row of PaletteTable
  Color3 threshold{0.0f, 0.0f, 0.0f};  // slider values / 100, plus the palette's spread
  int32_t offsetX = 0;                 // "Offset X" negated, truncated toward zero
  int32_t offsetY = 0;                 // "Offset Y" truncated toward zero
  int64_t scale = 1;                   // "Scale" rounded to the nearest integer
  const ColorList* customColors = nullptr;  // borrowed while the sequence-data handle is locked
  Color3 customSpread{0.0f, 0.0f, 0.0f};
  PF_InData* inData = nullptr;            // borrowed
  PF_EffectWorld* input = nullptr;        // borrowed: the world of parameter 0
  std::unique_ptr<Color3[]> scratch;      // error-diffusion work buffer, owned
};
