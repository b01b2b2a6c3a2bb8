// Conversions between pixel channels and colour components, one set per depth.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "palette/color.h"
#include "palette/rounding.h"
#include "render/image_view.h"

// 8-bit channel to float: a true division by 255, not a multiplication by its reciprocal; worked out for
// every value when the effect is built.
inline constexpr std::array<float, 256> kChannelFloats8 = [] {
  std::array<float, 256> values{};
  for (std::size_t k = 0; k < values.size(); ++k) values[k] = static_cast<float>(k) / 255.0f;
  return values;
}();
inline float ChannelToFloat(std::uint8_t value) { return kChannelFloats8[value]; }

// 16-bit channel (0..32768) to float: times 2^-15, which is exact.
inline float ChannelToFloat(std::uint16_t value) { return static_cast<float>(value) * (1.0f / 32768.0f); }

// A float channel enters as it is, out of range included, except that NaN enters as 0, +infinity as 1 and
// -infinity as 0: every value that enters is finite, so no error diffusion can spread an infinity or a NaN.
inline float ChannelToFloat(float value) {
  if (value != value) return 0.0f;
  if (value == __builtin_huge_valf()) return 1.0f;
  if (value == -__builtin_huge_valf()) return 0.0f;
  return value;
}

// Whether a pixel counts as transparent: its alpha enters as 0 (for a float alpha: 0, -0, NaN or -infinity).
template <typename Pixel>
inline bool Transparent(const Pixel& pixel) {
  if constexpr (kDepthOf<Pixel> == PixelDepth::ThirtyTwo) return ChannelToFloat(pixel.alpha) == 0.0f;
  return pixel.alpha == 0;
}

template <typename Pixel>
inline constexpr int kFullScale = sizeof(Pixel) == sizeof(Pixel8) ? 255 : 32768;

// Float to channel: scaled in single precision and truncated toward zero, held to the channel's range
// (HeldChannel).
template <typename Pixel>
inline decltype(Pixel::red) FloatToChannel(float value) {
  static_assert(kDepthOf<Pixel> != PixelDepth::ThirtyTwo, "float channels are stored by StoreColor");
  using Channel = decltype(Pixel::red);
  return static_cast<Channel>(HeldChannel(value, static_cast<float>(kFullScale<Pixel>)));
}

template <typename Pixel>
inline Color3 PixelToColor(const Pixel& pixel) {
  return Color3(ChannelToFloat(pixel.red), ChannelToFloat(pixel.green), ChannelToFloat(pixel.blue));
}

template <typename Pixel>
inline void StoreColor(Pixel& out, const Color3& color, decltype(Pixel::alpha) alpha) {
  out.alpha = alpha;
  if constexpr (kDepthOf<Pixel> == PixelDepth::ThirtyTwo) {
    // The float it is, held to 0..1 as the integer stores are held to their range (NaN gives 0).
    out.red = ClampToUnit(color.r);
    out.green = ClampToUnit(color.g);
    out.blue = ClampToUnit(color.b);
  } else {
    out.red = FloatToChannel<Pixel>(color.r);
    out.green = FloatToChannel<Pixel>(color.g);
    out.blue = FloatToChannel<Pixel>(color.b);
  }
}

// The ordered patterns' working colour: the bias times the threshold plus the colour, each product rounded
// before its sum (no fused multiply-add), then each channel clamped to 0..1.
inline Color3 BiasAndClamp(float bias, const Color3& threshold, const Color3& color) {
  const Color3 biased = bias * threshold + color;
  return Color3(ClampToUnit(biased.r), ClampToUnit(biased.g), ClampToUnit(biased.b));
}
