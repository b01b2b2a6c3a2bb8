#include "cli/indexed_frame.h"

#include <array>
#include <cstring>

namespace {

// A small open-addressing table from colour to index: 256 colours at most in 1024 slots, so probes stay
// short and the table stays in the first-level cache.
class ColourTable {
 public:
  ColourTable() { slots_.fill(kEmpty); }

  // The index of `argb`, numbering it next when it is new; -1 when the table already holds 256 colours.
  int find(std::uint32_t argb, std::uint32_t* palette) {
    std::uint32_t slot = (argb * 0x9E3779B1u) >> (32 - kBits);
    for (;; slot = (slot + 1) & (kSlots - 1)) {
      const std::int16_t index = slots_[slot];
      if (index == kEmpty) break;
      if (palette[index] == argb) return index;
    }
    if (count_ == 256) return -1;
    palette[count_] = argb;
    slots_[slot] = static_cast<std::int16_t>(count_);
    return count_++;
  }
  int count() const { return count_; }

 private:
  static constexpr int kBits = 10;
  static constexpr std::uint32_t kSlots = 1u << kBits;
  static constexpr std::int16_t kEmpty = -1;
  std::array<std::int16_t, kSlots> slots_;
  int count_ = 0;
};

}  // namespace

bool IndexWorld(const PF_EffectWorld& world, bool alpha, std::uint8_t* indices, std::ptrdiff_t stride,
                std::uint32_t* palette) {
  ColourTable table;
  const std::uint32_t opaque = alpha ? 0 : 0xFF000000u;
  // Dithered rows repeat colours in short runs: the previous pixel's colour is checked before the table.
  std::uint32_t last = 0;
  int lastIndex = -1;
  const auto* base = reinterpret_cast<const std::uint8_t*>(world.data);
  for (A_long y = 0; y < world.height; ++y) {
    const std::uint8_t* pixel = base + static_cast<std::ptrdiff_t>(y) * world.rowbytes;
    std::uint8_t* row = indices + static_cast<std::ptrdiff_t>(y) * stride;
    for (A_long x = 0; x < world.width; ++x, pixel += 4) {
      // PF_Pixel8 holds alpha, red, green, blue, a byte each.
      const std::uint32_t argb = (alpha ? static_cast<std::uint32_t>(pixel[0]) << 24 : opaque) |
                                 static_cast<std::uint32_t>(pixel[1]) << 16 |
                                 static_cast<std::uint32_t>(pixel[2]) << 8 | pixel[3];
      if (argb != last || lastIndex < 0) {
        lastIndex = table.find(argb, palette);
        if (lastIndex < 0) return false;
        last = argb;
      }
      row[x] = static_cast<std::uint8_t>(lastIndex);
    }
  }
  for (int i = table.count(); i < 256; ++i) palette[i] = 0xFF000000u;
  return true;
}
