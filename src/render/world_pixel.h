// Addressing a pixel of a host world directly, for kernels that read or write outside the host's pixel
// iteration: by the world's own base address and bytes per row.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "sdk/ae_effect.h"

// Coordinates come in unsigned so that a negative one, wrapped, lies outside as well.
inline bool InsideWorld(const PF_EffectWorld& world, uint64_t x, uint64_t y) {
  return world.width > 0 && world.height > 0 && x < static_cast<uint64_t>(world.width) &&
         y < static_cast<uint64_t>(world.height);
}

// True when the world's flags say it holds pixels of this type; a world of the other depth has pixels of
// another size, so addressing it with this type would run past its rows.
template <typename Pixel>
bool HoldsPixels(const PF_EffectWorld& world) {
  constexpr bool kDeep = std::is_same_v<Pixel, PF_Pixel16>;
  return ((world.world_flags & PF_WorldFlag_DEEP) != 0) == kDeep;
}

// The pixel (x, y), which must lie inside the world.
template <typename Pixel>
Pixel& WorldPixel(const PF_EffectWorld& world, A_long x, A_long y) {
  const std::ptrdiff_t offset = static_cast<std::ptrdiff_t>(y) * world.rowbytes +
                                static_cast<std::ptrdiff_t>(x) * static_cast<std::ptrdiff_t>(sizeof(Pixel));
  return *reinterpret_cast<Pixel*>(reinterpret_cast<unsigned char*>(world.data) + offset);
}
