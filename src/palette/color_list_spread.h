// The spread of a list of colours: how far apart its colours lie in each channel.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "palette/byte_channel.h"
#include "palette/color.h"

// Per channel, the largest gap between neighbouring values once the colours are sorted by that channel.
// Fewer than two colours give (0, 0, 0).
Color3& ColorListSpread(Color3& out, const Color3* colors, std::size_t count);

// The same for a table known when the effect is built, whose components are all exact k / 255. Each
// channel's widest gap is found between the byte values k and given as the float nearest to its own
// k / 255, as the catalogue's spreads are defined: the difference of two such floats can lie an ulp away
// from that, and an ulp of spread moves the ordered patterns' bias enough to change which of two nearly
// equidistant colours is nearest. Sorting one channel's values alone gives the same neighbours as sorting
// the colours by that channel, so the gaps are the same.
template <std::size_t N>
constexpr Color3 TableSpread(std::span<const Color3, N> colors) {
  Color3 result(0.0f, 0.0f, 0.0f);
  std::array<std::uint32_t, N> bytes{};
  for (int channel = 0; channel < 3; ++channel) {
    for (std::size_t i = 0; i < N; ++i) {
      bytes[i] = ByteFromChannel(channel == 0   ? colors[i].x
                                 : channel == 1 ? colors[i].y
                                                : colors[i].z);  // x, y, z: the members glm initialises
    }
    std::sort(bytes.begin(), bytes.end());
    std::uint32_t widest = 0;
    for (std::size_t j = 0; j + 1 < N; ++j) widest = std::max(widest, bytes[j + 1] - bytes[j]);
    (channel == 0 ? result.x : channel == 1 ? result.y : result.z) = ChannelFromByte(widest);
  }
  return result;
}
