#include "palette/nearest_color.h"

#include <cstddef>
#include <limits>

Color3& NearestColor(Color3& out, const Color3& in, const Color3* colors, std::size_t count) {
  // A copy, so that the search stays correct when the caller passes one object as both out and in.
  const Color3 target = in;
  out = target;
  float best = std::numeric_limits<float>::max();
  for (std::size_t i = 0; i < count; ++i) {
    const Color3& candidate = colors[i];
    const float dr = candidate.r - target.r;
    const float dg = candidate.g - target.g;
    const float db = candidate.b - target.b;
    const float distance = (dr * dr + dg * dg) + db * db;
    // Strictly less: ties keep the earlier colour, and a NaN distance is never taken.
    if (distance < best) {
      best = distance;
      out = candidate;
    }
  }
  return out;
}
