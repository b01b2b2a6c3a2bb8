// Conversions between pixel channels and Color3 components, one set per depth.
#pragma once

#include "sdk/ae_effect.h"

// 8-bit channel to float: a true division by 255, not a multiplication by its reciprocal.
inline float ChannelToFloat(A_u_char value) { return static_cast<float>(value) / 255.0f; }

// 16-bit channel (0..32768) to float: times 2^-15, which is exact.
inline float ChannelToFloat(A_u_short value) { return static_cast<float>(value) * (1.0f / 32768.0f); }

// Float to channel: scaled in single precision and truncated toward zero, held to the channel's range
// (a value above full scale must not wrap to a dark low byte); NaN gives 0.
template <typename Channel, int kFullScale>
inline Channel FloatToChannel(float value) {
  const float scaled = value * static_cast<float>(kFullScale);
  if (!(scaled > 0.0f)) return 0;
  if (scaled >= static_cast<float>(kFullScale)) return static_cast<Channel>(kFullScale);
  return static_cast<Channel>(scaled);
}

// What differs between the 8-bit and the 16-bit kernels, fixed at build time.
template <typename Pixel>
struct DepthTraits;

template <>
struct DepthTraits<PF_Pixel8> {
  using Channel = A_u_char;
  using PixelFunc = PF_IteratePixel8Func;
  static constexpr auto iterate = &PF_UtilCallbacks::iterate;
  static Channel ToChannel(float value) { return FloatToChannel<Channel, PF_MAX_CHAN8>(value); }
};

template <>
struct DepthTraits<PF_Pixel16> {
  using Channel = A_u_short;
  using PixelFunc = PF_IteratePixel16Func;
  static constexpr auto iterate = &PF_UtilCallbacks::iterate16;
  static Channel ToChannel(float value) { return FloatToChannel<Channel, PF_MAX_CHAN16>(value); }
};
