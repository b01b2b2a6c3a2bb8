// The frame shared by the plain threshold and the ordered kernels: the whole frame goes to the host's
// pixel iteration with a per-pixel callback and the settings as user data.
#pragma once

#include "palette/palette_table.h"
#include "render/pixel_convert.h"
#include "render/render_settings.h"

template <typename Pixel>
inline Color3 PixelToColor(const Pixel& pixel) {
  return Color3(ChannelToFloat(pixel.red), ChannelToFloat(pixel.green), ChannelToFloat(pixel.blue));
}

template <typename Pixel>
inline void StoreColor(Pixel& out, const Color3& color, decltype(Pixel::alpha) alpha) {
  out.alpha = alpha;
  out.red = DepthTraits<Pixel>::ToChannel(color.r);
  out.green = DepthTraits<Pixel>::ToChannel(color.g);
  out.blue = DepthTraits<Pixel>::ToChannel(color.b);
}

inline Color3& Quantize(Color3& out, const Color3& in, const RenderSettings& settings) {
  return PaletteTable[static_cast<std::size_t>(settings.palette)].quantize(out, in, settings);
}

// One call of iterate (8-bit) or iterate16 (deep) over the whole output world; its result is passed back.
template <typename Pixel, typename DepthTraits<Pixel>::PixelFunc kCallback>
PF_Err RunPixelKernel(PF_EffectWorld* input, PF_EffectWorld* output, RenderSettings& settings) {
  PF_UtilCallbacks* utils = settings.inData->utils;
  const A_long progressEnd = output->extent_hint.bottom - output->extent_hint.top;
  return (utils->*DepthTraits<Pixel>::iterate)(settings.inData, 0, progressEnd, input, nullptr, &settings,
                                                 kCallback, output);
}
