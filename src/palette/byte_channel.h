// Conversion of 8-bit channel values, as the colour tables and spreads are written, into colour components.
#pragma once

#include <cstdint>

#include "palette/color.h"

// The float nearest to k / 255: 0 gives 0.0 and 255 gives exactly 1.0.
constexpr float ChannelFromByte(std::uint32_t k) { return static_cast<float>(k) / 255.0f; }

// The byte k of a component that is exactly ChannelFromByte(k), k from 0 to 255.
constexpr std::uint32_t ByteFromChannel(float component) {
  return static_cast<std::uint32_t>(component * 255.0f + 0.5f);
}

// 0xRRGGBB to a colour, each channel through ChannelFromByte.
constexpr Color3 ColorFromHex(std::uint32_t rgb) {
  return Color3(ChannelFromByte((rgb >> 16) & 0xFFu), ChannelFromByte((rgb >> 8) & 0xFFu),
                ChannelFromByte(rgb & 0xFFu));
}
