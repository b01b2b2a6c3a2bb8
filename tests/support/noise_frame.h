// Test frames for renders compared byte for byte.
#pragma once

#include <cstdint>

#include "minihost/world.h"
#include "support/seeded_generator.h"

// A frame of deterministic noise over smooth ramps: every pattern meets both.
inline minihost::World NoiseFrame(A_long width, A_long height, minihost::Depth depth, uint32_t seed) {
  minihost::World world(width, height, depth);
  palettrix_test::SeededGenerator random(seed);
  auto next = [&random] { return random.next() >> 8; };
  for (A_long y = 0; y < height; ++y) {
    for (A_long x = 0; x < width; ++x) {
      const uint32_t noise = next();
      if (depth == minihost::Depth::Eight) {
        world.pixel8(x, y) =
            PF_Pixel8{static_cast<A_u_char>(noise), static_cast<A_u_char>(x * 255 / width),
                      static_cast<A_u_char>((noise >> 8) & 0x7F), static_cast<A_u_char>(y * 255 / height)};
      } else {
        world.pixel16(x, y) = PF_Pixel16{
            static_cast<A_u_short>(noise % 32769), static_cast<A_u_short>(x * 32768 / width),
            static_cast<A_u_short>((noise >> 4) % 32769), static_cast<A_u_short>(y * 32768 / height)};
      }
    }
  }
  return world;
}
