#include "cli/test_card.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

struct Rgb {
  double r, g, b;
};

Rgb Hue(double h) {
  const double k[3] = {5.0, 3.0, 1.0};
  double c[3];
  for (int i = 0; i < 3; ++i) {
    const double m = std::fmod(k[i] + h * 6.0, 6.0);
    c[i] = 1.0 - std::max(0.0, std::min({m, 4.0 - m, 1.0}));
  }
  return {c[0], c[1], c[2]};
}

Rgb Mix(const Rgb& a, const Rgb& b, double t) {
  return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

// The card in unit coordinates: u across, v down, both 0..1.
Rgb CardColor(double u, double v, double aspect) {
  if (v < 0.12) return {u, u, u};                                  // grey ramp
  if (v < 0.24) return Hue(u);                                     // pure hues
  if (v < 0.36) return Mix(Hue(u), {1, 1, 1}, (v - 0.24) / 0.12);  // hues to white

  // Lower part: a colour wheel on the left, soft shapes over a warm-to-cool gradient on the right.
  const double y = (v - 0.36) / 0.64;
  const double wx = (u - 0.2) * aspect / 0.64, wy = y - 0.5;
  const double radius = std::sqrt(wx * wx + wy * wy) * 2.0;
  if (u < 0.42) {
    if (radius <= 1.0) {
      const double angle = std::atan2(wy, wx) / (2.0 * std::numbers::pi) + 0.5;
      return Mix({1, 1, 1}, Hue(angle), radius);
    }
    const double shade = 0.15 + 0.1 * y;
    return {shade, shade, shade};
  }
  const double s = (u - 0.42) / 0.58;
  Rgb base = Mix({0.95, 0.55, 0.25}, {0.15, 0.25, 0.6}, s);
  base = Mix(base, {0.05, 0.05, 0.1}, y * 0.6);
  auto blob = [&](double cx, double cy, double size) {
    const double dx = (s - cx) * aspect * 0.58 / 0.64, dy = y - cy;
    return std::exp(-(dx * dx + dy * dy) / (size * size));
  };
  const double sun = blob(0.3, 0.35, 0.18), leaf = blob(0.65, 0.6, 0.14), skin = blob(0.5, 0.25, 0.08);
  base = Mix(base, {1.0, 0.9, 0.3}, sun);
  base = Mix(base, {0.2, 0.7, 0.3}, leaf);
  base = Mix(base, {0.95, 0.75, 0.65}, skin);
  return base;
}

}  // namespace

minihost::World MakeTestCard(A_long width, A_long height, minihost::Depth depth) {
  minihost::World world(width, height, depth);
  const double aspect = static_cast<double>(width) / height;
  for (A_long y = 0; y < height; ++y) {
    for (A_long x = 0; x < width; ++x) {
      const Rgb c = CardColor((x + 0.5) / width, (y + 0.5) / height, aspect);
      auto channel = [](double value, double full) {
        return std::lround(std::clamp(value, 0.0, 1.0) * full);
      };
      if (depth == minihost::Depth::Eight) {
        world.pixel8(x, y) = {255, static_cast<A_u_char>(channel(c.r, 255)),
                              static_cast<A_u_char>(channel(c.g, 255)),
                              static_cast<A_u_char>(channel(c.b, 255))};
      } else {
        world.pixel16(x, y) = {32768, static_cast<A_u_short>(channel(c.r, 32768)),
                               static_cast<A_u_short>(channel(c.g, 32768)),
                               static_cast<A_u_short>(channel(c.b, 32768))};
      }
    }
  }
  return world;
}
