#include "frei0r/frei0r_params.h"

#include <frei0r.h>

const std::array<Frei0rParamInfo, kParamCount> kFrei0rParams = {{
    {"pattern", F0R_PARAM_STRING,
     "Dither pattern: a label as 'palettrix list patterns' prints it (any case, - or _ for a space) or its "
     "number, 1 to 26. Default: Bayer 8x8"},
    {"swatch", F0R_PARAM_STRING,
     "Palette: a label as 'palettrix list swatches' prints it (any case, - or _ for a space) or its number, "
     "1 to 22. Default: 6-bit RGB"},
    {"palette file", F0R_PARAM_STRING,
     "Path of a palette file (.ase .gpl .pal .hex .act .png) to load as the custom palette; loading it "
     "makes Custom the swatch. Default: none"},
    {"offset x", F0R_PARAM_DOUBLE,
     "Offset X: shifts the ordered patterns right; 0 to 1 maps onto -1000 to 1000 pixels (0.5 = 0, the "
     "default)"},
    {"offset y", F0R_PARAM_DOUBLE,
     "Offset Y: shifts the ordered patterns up; 0 to 1 maps onto -1000 to 1000 pixels (0.5 = 0, the "
     "default)"},
    {"scale", F0R_PARAM_DOUBLE,
     "Scale: pattern cell and block size; 0 to 1 maps onto 1 to 100 pixels (0 = 1, the default)"},
    {"threshold red", F0R_PARAM_DOUBLE,
     "Threshold Red: how far the ordered patterns move red; 0 to 1 maps onto -1000 to 1000 percent "
     "(0.5 = 0, the default)"},
    {"threshold green", F0R_PARAM_DOUBLE,
     "Threshold Green: how far the ordered patterns move green; 0 to 1 maps onto -1000 to 1000 percent "
     "(0.5 = 0, the default)"},
    {"threshold blue", F0R_PARAM_DOUBLE,
     "Threshold Blue: how far the ordered patterns move blue; 0 to 1 maps onto -1000 to 1000 percent "
     "(0.5 = 0, the default)"},
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

double FromUnit(double unit, double low, double high) { return low + (high - low) * unit; }

double ToUnit(double value, double low, double high) { return (value - low) / (high - low); }
