// A frame of 8-bit pixels as indices into a table of the colours it holds: what indexed files (PNG, GIF)
// store. The effect's frames hold only palette colours, so most fit in 256 entries exactly.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

// A colour and its alpha as one key: red in the low byte, alpha in the high one.
constexpr uint32_t ColorKey(uint8_t red, uint8_t green, uint8_t blue, uint8_t alpha) {
  return static_cast<uint32_t>(red) | static_cast<uint32_t>(green) << 8 | static_cast<uint32_t>(blue) << 16 |
         static_cast<uint32_t>(alpha) << 24;
}
constexpr uint8_t KeyRed(uint32_t key) { return static_cast<uint8_t>(key); }
constexpr uint8_t KeyGreen(uint32_t key) { return static_cast<uint8_t>(key >> 8); }
constexpr uint8_t KeyBlue(uint32_t key) { return static_cast<uint8_t>(key >> 16); }
constexpr uint8_t KeyAlpha(uint32_t key) { return static_cast<uint8_t>(key >> 24); }

// The one key of every transparent pixel where alpha is a single bit.
inline constexpr uint32_t kTransparentKey = 0;

enum class AlphaBits {
  Eight,  // every colour and alpha pair is a colour of its own (PNG's tRNS)
  One,    // alpha below half is transparent whatever the colour (kTransparentKey), else opaque (GIF)
};

struct IndexedFrame {
  std::vector<uint32_t> colors;  // keys, in the order first met, at most 256
  std::vector<uint8_t> index;    // a pixel each, rows top to bottom

  uint32_t colorAt(std::size_t pixel) const { return colors[index[pixel]]; }
  bool holds(uint32_t key) const;
};

// The frame's colours and indices; none when it holds more than 256 colours. `pixels` are width x height
// pixels of `channels` (3: red, green, blue; 4: and alpha) samples; without alpha every pixel is opaque.
std::optional<IndexedFrame> IndexPixels(std::span<const uint8_t> pixels, int width, int height, int channels,
                                        AlphaBits alphaBits);
