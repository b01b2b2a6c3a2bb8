#include "frei0r/frei0r_params.h"

#include <frei0r.h>

#include <algorithm>
#include <cmath>

const std::array<Frei0rParamInfo, kParamCount> kFrei0rParams = {{
    {"pattern", F0R_PARAM_STRING,
     "Dither pattern: its name (Threshold, Floyd Steinberg, Atkinson, Bayer 8x8, Cluster Dot 4x4 ...; any "
     "case, - or _ for a space) or its number, 1 to 26. Default: Bayer 8x8"},
    {"swatch", F0R_PARAM_STRING,
     "Palette: its name (Custom, 1-bit Gray, 6-bit RGB, PICO-8, Gameboy, CGA, VGA 8-bit, NES ...; any case, "
     "- or _ for a space) or its number, 1 to 22. Custom takes the colours of the palette parameter. "
     "Default: 6-bit RGB"},
    {"palette file", F0R_PARAM_STRING,
     "The colours of the Custom swatch: a palette file's path (.ase .gpl .pal .hex .act .png), or the "
     "colours themselves as #RRGGBB values separated by spaces, commas or semicolons. Default: none"},
    {"offset x", F0R_PARAM_DOUBLE,
     "Offset X in thousands of pixels (0.025 = 25 pixels), -1 to 1: shifts the ordered patterns right, to "
     "the nearest whole pixel. Default: 0"},
    {"offset y", F0R_PARAM_DOUBLE,
     "Offset Y in thousands of pixels (0.025 = 25 pixels), -1 to 1: shifts the ordered patterns up, to the "
     "nearest whole pixel. Default: 0"},
    {"scale", F0R_PARAM_DOUBLE,
     "Scale in thousands of pixels (0.003 = 3 pixels), 0.001 to 0.1: the ordered patterns' cell and block "
     "size; Threshold and the error-diffusion patterns ignore it. Default: 0.001"},
    {"threshold red", F0R_PARAM_DOUBLE,
     "Threshold Red in thousands of percent (0.05 = 50 percent), -1 to 1: how far the ordered patterns move "
     "red. Default: 0"},
    {"threshold green", F0R_PARAM_DOUBLE,
     "Threshold Green in thousands of percent (0.05 = 50 percent), -1 to 1: how far the ordered patterns "
     "move green. Default: 0"},
    {"threshold blue", F0R_PARAM_DOUBLE,
     "Threshold Blue in thousands of percent (0.05 = 50 percent), -1 to 1: how far the ordered patterns move "
     "blue. Default: 0"},
}};

std::optional<FrameRenderer::Slider> SliderOf(int param) {
  switch (param) {
    case kParamOffsetX:
      return FrameRenderer::Slider::OffsetX;
    case kParamOffsetY:
      return FrameRenderer::Slider::OffsetY;
    case kParamScale:
      return FrameRenderer::Slider::Scale;
    case kParamThresholdRed:
      return FrameRenderer::Slider::ThresholdRed;
    case kParamThresholdGreen:
      return FrameRenderer::Slider::ThresholdGreen;
    case kParamThresholdBlue:
      return FrameRenderer::Slider::ThresholdBlue;
    default:
      return std::nullopt;
  }
}

double ControlValue(FrameRenderer::Slider slider, double value, double low, double high) {
  const double units = std::clamp(value * kUnitsPerDouble, low, high);
  switch (slider) {
    case FrameRenderer::Slider::OffsetX:
    case FrameRenderer::Slider::OffsetY:
      return std::round(units);
    case FrameRenderer::Slider::ThresholdRed:
    case FrameRenderer::Slider::ThresholdGreen:
    case FrameRenderer::Slider::ThresholdBlue:
      return std::round(units * 1e6) / 1e6;
    case FrameRenderer::Slider::Scale:
      break;
  }
  return units;
}
