// "Threshold": every pixel straight to the palette, no bias and no carried error.
#pragma once

#include "render/pixel_kernel.h"

template <typename Pixel>
PF_Err PlainThresholdPixel(void* refcon, A_long /*x*/, A_long /*y*/, Pixel* in, Pixel* out) {
  const auto& settings = *static_cast<const RenderSettings*>(refcon);
  Color3 q;
  StoreColor(*out, Quantize(q, PixelToColor(*in), settings), in->alpha);
  return PF_Err_NONE;
}

inline constexpr PF_IteratePixel8Func PlainThresholdPixel8 = PlainThresholdPixel<PF_Pixel8>;
inline constexpr PF_IteratePixel16Func PlainThresholdPixel16 = PlainThresholdPixel<PF_Pixel16>;

template <typename Pixel>
PF_Err PlainThreshold(PF_EffectWorld* input, PF_EffectWorld* output, RenderSettings& settings) {
  return RunPixelKernel<Pixel, PlainThresholdPixel<Pixel>>(input, output, settings);
}
