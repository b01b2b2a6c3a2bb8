// The plug-in's frei0r parameters: what hosts list and set. Popups become strings (a label or a number),
// the palette becomes a file path, and every slider becomes a double from 0 to 1 mapped linearly onto the
// control's valid range, the frei0r convention generic hosts build their sliders from.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "frei0r/frame_renderer.h"

enum Frei0rParam : int {
  kParamPattern,
  kParamSwatch,
  kParamPaletteFile,
  kParamOffsetX,
  kParamOffsetY,
  kParamScale,
  kParamThresholdRed,
  kParamThresholdGreen,
  kParamThresholdBlue,
  kParamCount
};

struct Frei0rParamInfo {
  const char* name;
  int type;  // F0R_PARAM_STRING or F0R_PARAM_DOUBLE
  const char* explanation;
};

extern const std::array<Frei0rParamInfo, kParamCount> kFrei0rParams;

// The effect's slider a double parameter drives; none for the string parameters.
std::optional<FrameRenderer::Slider> SliderOf(int param);

// A host's 0..1 value mapped onto [low, high]: low + (high - low) x unit, in double precision, so 0 gives
// low, 1 gives high and 0.5 the middle exactly. The caller has clamped `unit`.
double FromUnit(double unit, double low, double high);
// The unit value that gives `value`: (value - low) / (high - low).
double ToUnit(double value, double low, double high);
