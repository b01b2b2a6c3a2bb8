#include "cli/indexed_frame.h"

#include <algorithm>
#include <unordered_map>

bool IndexedFrame::holds(uint32_t key) const {
  return std::find(colors.begin(), colors.end(), key) != colors.end();
}

std::optional<IndexedFrame> IndexPixels(std::span<const uint8_t> pixels, int width, int height, int channels,
                                        AlphaBits alphaBits) {
  const std::size_t count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
  const auto step = static_cast<std::size_t>(channels);
  IndexedFrame frame;
  frame.index.resize(count);
  std::unordered_map<uint32_t, uint8_t> seen;
  // Runs of one colour are common in dithered frames: the previous pixel's key is tried first.
  uint32_t last = 0;
  uint8_t lastIndex = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const uint8_t* p = &pixels[i * step];
    const uint8_t alpha = channels == 4 ? p[3] : uint8_t{0xFF};
    uint32_t key = ColorKey(p[0], p[1], p[2], alpha);
    if (alphaBits == AlphaBits::One) key = alpha < 128 ? kTransparentKey : key | 0xFF000000u;
    if (key != last || i == 0) {
      const auto [at, added] = seen.try_emplace(key, static_cast<uint8_t>(frame.colors.size()));
      if (added) {
        if (frame.colors.size() == 256) return std::nullopt;
        frame.colors.push_back(key);
      }
      last = key;
      lastIndex = at->second;
    }
    frame.index[i] = lastIndex;
  }
  return frame;
}
