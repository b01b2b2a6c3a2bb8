// Positions of the effect's controls in the parameter array, fixed by the order of registration.
#pragma once

#include "sdk/ae_types.h"

inline constexpr PF_ParamIndex kParamInput = 0;
inline constexpr PF_ParamIndex kParamPatternGroup = 1;
inline constexpr PF_ParamIndex kParamPattern = 2;
inline constexpr PF_ParamIndex kParamPropertiesGroup = 3;
inline constexpr PF_ParamIndex kParamOffsetX = 4;
inline constexpr PF_ParamIndex kParamOffsetY = 5;
inline constexpr PF_ParamIndex kParamScale = 6;
inline constexpr PF_ParamIndex kParamThresholdRed = 7;
inline constexpr PF_ParamIndex kParamThresholdGreen = 8;
inline constexpr PF_ParamIndex kParamThresholdBlue = 9;
inline constexpr PF_ParamIndex kParamPropertiesEnd = 10;
inline constexpr PF_ParamIndex kParamPatternEnd = 11;
inline constexpr PF_ParamIndex kParamPaletteGroup = 12;
inline constexpr PF_ParamIndex kParamSwatch = 13;
inline constexpr PF_ParamIndex kParamCustomPaletteGroup = 14;
inline constexpr PF_ParamIndex kParamResetPalette = 15;
inline constexpr PF_ParamIndex kParamCustomPaletteEnd = 16;
inline constexpr PF_ParamIndex kParamPaletteEnd = 17;
inline constexpr A_long kParamCount = 18;
