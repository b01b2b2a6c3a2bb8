#include "cli/indexed_frame.h"

#include <algorithm>
#include <array>
#include <utility>

namespace {

// A small open-addressing table from colour to index: 256 colours at most in 1024 slots, so probes stay
// short and the table stays in the first-level cache.
class ColourTable {
 public:
  explicit ColourTable(std::uint32_t* palette) : palette_(palette) { slots_.fill(kEmpty); }

  // The index of `key`, numbering it next when it is new; -1 when the table already holds 256 colours.
  int find(std::uint32_t key) {
    std::uint32_t slot = (key * 0x9E3779B1u) >> (32 - kBits);
    for (;; slot = (slot + 1) & (kSlots - 1)) {
      const std::int16_t index = slots_[slot];
      if (index == kEmpty) break;
      if (palette_[index] == key) return index;
    }
    if (count_ == 256) return -1;
    palette_[count_] = key;
    slots_[slot] = static_cast<std::int16_t>(count_);
    return count_++;
  }
  int count() const { return count_; }

 private:
  static constexpr int kBits = 10;
  static constexpr std::uint32_t kSlots = 1u << kBits;
  static constexpr std::int16_t kEmpty = -1;
  std::array<std::int16_t, kSlots> slots_;
  std::uint32_t* palette_;
  int count_ = 0;
};

std::uint32_t Key(std::uint8_t red, std::uint8_t green, std::uint8_t blue, std::uint8_t alpha,
                  AlphaBits bits) {
  switch (bits) {
    case AlphaBits::None:
      return ColorKey(red, green, blue, 0xFF);
    case AlphaBits::Eight:
      return ColorKey(red, green, blue, alpha);
    case AlphaBits::One:
      return alpha < 128 ? kTransparentKey : ColorKey(red, green, blue, 0xFF);
  }
  return 0;
}

// Indexes `height` rows of `width` pixels, each pixel's key from `keyAt(row, x)`.
template <typename KeyAt>
std::optional<int> IndexRows(int width, int height, std::uint8_t* indices, std::ptrdiff_t stride,
                             std::uint32_t* palette, KeyAt keyAt) {
  ColourTable table(palette);
  // Dithered rows mostly alternate between two colours: the last two colours met are tried before the
  // table. Both start as the first pixel's.
  std::uint32_t recent[2] = {0, 0};
  int recentIndex[2] = {-1, -1};
  if (width > 0 && height > 0) {
    recent[0] = recent[1] = keyAt(0, 0);
    recentIndex[0] = recentIndex[1] = table.find(recent[0]);
  }
  for (int y = 0; y < height; ++y) {
    std::uint8_t* row = indices + static_cast<std::ptrdiff_t>(y) * stride;
    for (int x = 0; x < width; ++x) {
      const std::uint32_t key = keyAt(y, x);
      if (key != recent[0]) {
        if (key != recent[1]) {
          const int found = table.find(key);
          if (found < 0) return std::nullopt;
          recent[1] = key;
          recentIndex[1] = found;
        }
        std::swap(recent[0], recent[1]);
        std::swap(recentIndex[0], recentIndex[1]);
      }
      row[x] = static_cast<std::uint8_t>(recentIndex[0]);
    }
  }
  std::fill(palette + table.count(), palette + 256, 0xFF000000u);
  return table.count();
}

std::optional<IndexedFrame> AsFrame(std::optional<int> count, const std::array<std::uint32_t, 256>& palette,
                                    std::vector<std::uint8_t>&& index) {
  if (!count) return std::nullopt;
  return IndexedFrame{{palette.begin(), palette.begin() + *count}, std::move(index)};
}

}  // namespace

bool IndexedFrame::holds(std::uint32_t key) const {
  return std::find(colors.begin(), colors.end(), key) != colors.end();
}

std::optional<int> IndexWorld(const PF_EffectWorld& world, AlphaBits alphaBits, std::uint8_t* indices,
                              std::ptrdiff_t stride, std::uint32_t* palette) {
  const auto* base = reinterpret_cast<const std::uint8_t*>(world.data);
  return IndexRows(world.width, world.height, indices, stride, palette, [&](int y, int x) {
    // PF_Pixel8 holds alpha, red, green, blue, a byte each.
    const std::uint8_t* p = base + static_cast<std::ptrdiff_t>(y) * world.rowbytes + 4 * x;
    return Key(p[1], p[2], p[3], p[0], alphaBits);
  });
}

std::optional<IndexedFrame> IndexWorld(const PF_EffectWorld& world, AlphaBits alphaBits) {
  std::array<std::uint32_t, 256> palette{};
  std::vector<std::uint8_t> index(static_cast<std::size_t>(world.width) *
                                  static_cast<std::size_t>(world.height));
  return AsFrame(IndexWorld(world, alphaBits, index.data(), world.width, palette.data()), palette,
                 std::move(index));
}
