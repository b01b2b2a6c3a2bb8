#include "palette/nearest_color_search.h"

#include <limits>

NearestColorSearch::NearestColorSearch(std::span<const Color3> colors)
    : colors_(colors.begin(), colors.end()) {}

int32_t NearestColorSearch::find(const Color3& in) const {
  int32_t found = -1;
  float best = std::numeric_limits<float>::max();
  for (std::size_t i = 0; i < colors_.size(); ++i) {
    const float dr = colors_[i].r - in.r, dg = colors_[i].g - in.g, db = colors_[i].b - in.b;
    const float d = (dr * dr + dg * dg) + db * db;
    if (d < best) {
      best = d;
      found = static_cast<int32_t>(i);
    }
  }
  return found;
}

Color3& NearestColorSearch::nearest(Color3& out, const Color3& in) const {
  const int32_t i = find(in);
  out = i < 0 ? in : colors_[static_cast<std::size_t>(i)];
  return out;
}

int32_t NearestColorSearch::find8(uint8_t r, uint8_t g, uint8_t b) const {
  return find(
      Color3(static_cast<float>(r) / 255.0f, static_cast<float>(g) / 255.0f, static_cast<float>(b) / 255.0f));
}
