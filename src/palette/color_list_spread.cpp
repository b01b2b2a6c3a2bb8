#include "palette/color_list_spread.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

Color3& ColorListSpread(Color3& out, const Color3* colors, std::size_t count) {
  Color3 result(0.0f, 0.0f, 0.0f);
  if (count >= 2) {
    // The caller's list keeps its order; each channel's sort starts from the order the previous one left.
    ColorList sorted(colors, colors + count);
    for (int channel = 0; channel < 3; ++channel) {
      // Swatch files can carry NaN components; ordering them last keeps the comparison a strict weak
      // order, which std::sort needs to stay within the range. Their gaps are NaN and never win the max.
      std::sort(sorted.begin(), sorted.end(), [channel](const Color3& a, const Color3& b) {
        return a[channel] < b[channel] || (!std::isnan(a[channel]) && std::isnan(b[channel]));
      });
      for (std::size_t j = 0; j + 1 < sorted.size(); ++j) {
        result[channel] = std::max(result[channel], sorted[j + 1][channel] - sorted[j][channel]);
      }
    }
  }
  out = result;
  return out;
}
