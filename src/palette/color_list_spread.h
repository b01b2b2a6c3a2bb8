// The spread of a list of colours: how far apart its colours lie in each channel.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <span>

#include "palette/color.h"

// Per channel, the largest gap between neighbouring values once the colours are sorted by that channel.
// Fewer than two colours give (0, 0, 0).
Color3& ColorListSpread(Color3& out, const Color3* colors, std::size_t count);

// The same for a table known when the effect is built: sorting one channel's values alone gives the same
// neighbours as sorting the colours by that channel, so the gaps are the same. Tables hold no NaN.
template <std::size_t N>
constexpr Color3 TableSpread(std::span<const Color3, N> colors) {
  Color3 result(0.0f, 0.0f, 0.0f);
  std::array<float, N> values{};
  for (int channel = 0; channel < 3; ++channel) {
    for (std::size_t i = 0; i < N; ++i) {
      values[i] = channel == 0   ? colors[i].x
                  : channel == 1 ? colors[i].y
                                 : colors[i].z;  // x, y, z: the members glm initialises
    }
    std::sort(values.begin(), values.end());
    float widest = 0.0f;
    for (std::size_t j = 0; j + 1 < N; ++j) widest = std::max(widest, values[j + 1] - values[j]);
    (channel == 0 ? result.x : channel == 1 ? result.y : result.z) = widest;
  }
  return result;
}
