// The plug-in's frei0r parameters: what hosts list and set. Popups become strings (a label or a number),
// the palette a string holding a palette file's path or the colours themselves, and every slider a double:
// the control's own value in thousands (25 pixels is 0.025, 50 percent 0.05, a scale of 3 is 0.003).
//
// Doubles carry the control's value rather than a 0-to-1 position on its range because the hosts' panels
// can show nothing else faithfully: Kdenlive shows a double times a factor, with no offset, so a range that
// runs below zero cannot be shown from a position on it; thousands keep every magnitude within 1, so that
// GStreamer, whose frei0r element offers doubles from 0 to 1 only, still reaches every scale and every
// offset and threshold from 0 up.
#pragma once

#include <array>
#include <optional>

#include "frei0r/frame_renderer.h"

enum Frei0rParam : int {
  kParamPattern,
  kParamSwatch,
  kParamPalette,
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

// The control's units in one unit of a double.
inline constexpr double kUnitsPerDouble = 1000.0;

// The effect's slider a double parameter drives; none for the string parameters.
std::optional<FrameRenderer::Slider> SliderOf(int param);

// The control's value a double stands for: `value` x kUnitsPerDouble held to [low, high], then offsets
// rounded to the nearest whole pixel (the effect truncates them) and thresholds to six decimals (so that
// 0.01234 gives the same 12.34 that the text "12.34" does). `value` is not NaN.
double ControlValue(FrameRenderer::Slider slider, double value, double low, double high);
