// Addressing pixels of a PF_EffectWorld by rowbytes, and the checks a world must pass before the host
// touches its pixels. Shared by fill and iterate.
#pragma once

#include <algorithm>
#include <cstddef>

#include "sdk/ae_effect.h"

namespace minihost {

inline bool IsDeep(const PF_EffectWorld& world) { return (world.world_flags & PF_WorldFlag_DEEP) != 0; }

// True when the host can address every pixel of the world: sizes not negative, rows at least as wide
// as the pixels they hold, and storage present unless the world is empty.
inline bool WorldAddressable(const PF_EffectWorld& world, std::size_t pixelSize) {
  if (world.width < 0 || world.height < 0 || world.rowbytes < 0) return false;
  if (world.width == 0 || world.height == 0) return true;
  return world.data != nullptr &&
         static_cast<std::size_t>(world.rowbytes) >= static_cast<std::size_t>(world.width) * pixelSize;
}

template <typename Pixel>
Pixel* PixelAt(const PF_EffectWorld& world, A_long x, A_long y) {
  auto* base = reinterpret_cast<unsigned char*>(world.data);
  return reinterpret_cast<Pixel*>(base + static_cast<std::ptrdiff_t>(y) * world.rowbytes +
                                  static_cast<std::ptrdiff_t>(x) *
                                      static_cast<std::ptrdiff_t>(sizeof(Pixel)));
}

// The part of `rect` inside [0, width) x [0, height); empty rectangles come back with right <= left or
// bottom <= top.
inline PF_Rect ClipRect(const PF_Rect& rect, A_long width, A_long height) {
  return PF_Rect{std::max<A_long>(rect.left, 0), std::max<A_long>(rect.top, 0), std::min(rect.right, width),
                 std::min(rect.bottom, height)};
}

}  // namespace minihost
