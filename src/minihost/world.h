// Pixel worlds owned by the host: 8-bit (PF_Pixel8), deep (PF_Pixel16, 0..32768) or float (PF_PixelFloat,
// 1.0 white; SmartFX only), with rows padded beyond width x pixel size so that code which ignores rowbytes
// shows up. A float world carries no depth flag (the host's records have none for it): only its maker
// knows it is float, so it never goes to PF_Cmd_RENDER or to the 8/16-bit pixel transfers.
#pragma once

#include <cstddef>
#include <vector>

#include "sdk/ae_effect.h"

namespace minihost {

enum class Depth { Eight = 8, Sixteen = 16, ThirtyTwo = 32 };

class World {
 public:
  static constexpr A_long kDefaultRowPadding = 40;

  // Pixels start as transparent black; the row padding holds a fixed pattern that paddingIntact() checks.
  // Throws HostError for negative sizes or sizes above PF_MAX_WORLD_WIDTH/HEIGHT.
  World(A_long width, A_long height, Depth depth, A_long rowPadding = kDefaultRowPadding);
  World(const World& other);
  World& operator=(const World& other);
  World(World&&) noexcept;
  World& operator=(World&&) noexcept;
  ~World();

  A_long width() const { return world_.width; }
  A_long height() const { return world_.height; }
  Depth depth() const { return depth_; }
  A_long rowbytes() const { return world_.rowbytes; }

  PF_EffectWorld& pf() { return world_; }
  const PF_EffectWorld& pf() const { return world_; }

  PF_Pixel8& pixel8(A_long x, A_long y);
  const PF_Pixel8& pixel8(A_long x, A_long y) const;
  PF_Pixel16& pixel16(A_long x, A_long y);
  const PF_Pixel16& pixel16(A_long x, A_long y) const;
  PF_PixelFloat& pixelFloat(A_long x, A_long y);
  const PF_PixelFloat& pixelFloat(A_long x, A_long y) const;

  // True when no byte of the row padding was written.
  bool paddingIntact() const;
  // The pixel bytes only, row after row without padding (for comparing and hashing results).
  std::vector<unsigned char> packedBytes() const;

 private:
  void bind();
  Depth depth_;
  std::vector<unsigned char> storage_;
  PF_EffectWorld world_{};
};

}  // namespace minihost
