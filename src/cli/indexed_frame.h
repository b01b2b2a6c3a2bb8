// Frames of few colours as indices into a table of the colours they hold: what indexed files store (PNG's
// palette, GIF's colour tables, FFmpeg's pal8 pictures). The frames the effect renders hold only palette
// colours, so most fit in 256 entries exactly.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "sdk/ae_effect.h"

// A colour and its alpha as one key, 0xAARRGGBB in a native word, as FFmpeg holds a pal8 palette entry.
constexpr std::uint32_t ColorKey(std::uint8_t red, std::uint8_t green, std::uint8_t blue,
                                 std::uint8_t alpha) {
  return static_cast<std::uint32_t>(alpha) << 24 | static_cast<std::uint32_t>(red) << 16 |
         static_cast<std::uint32_t>(green) << 8 | blue;
}
constexpr std::uint8_t KeyRed(std::uint32_t key) { return static_cast<std::uint8_t>(key >> 16); }
constexpr std::uint8_t KeyGreen(std::uint32_t key) { return static_cast<std::uint8_t>(key >> 8); }
constexpr std::uint8_t KeyBlue(std::uint32_t key) { return static_cast<std::uint8_t>(key); }
constexpr std::uint8_t KeyAlpha(std::uint32_t key) { return static_cast<std::uint8_t>(key >> 24); }

// The one key of every transparent pixel where alpha is a single bit.
inline constexpr std::uint32_t kTransparentKey = 0;

// How alpha counts in a pixel's key.
enum class AlphaBits {
  None,   // not at all: every pixel is opaque
  Eight,  // every colour and alpha pair is a colour of its own (PNG's tRNS, pal8)
  One,    // alpha below half is transparent whatever the colour (kTransparentKey), else opaque (GIF)
};

struct IndexedFrame {
  std::vector<std::uint32_t> colors;  // keys, in the order first met, at most 256
  std::vector<std::uint8_t> index;    // a pixel each, rows top to bottom

  std::uint32_t colorAt(std::size_t pixel) const { return colors[index[pixel]]; }
  bool holds(std::uint32_t key) const;
};

// Indexes the pixels of an 8-bit world into `indices` (rows `stride` bytes apart) and `palette` (256 keys),
// colours numbered as they are first met, rows top to bottom; entries past the colours in use are opaque
// black, so that an opaque frame's file needs no transparency. Returns the colours in use, or none, with
// `indices` and `palette` undefined, when the world holds more than 256.
std::optional<int> IndexWorld(const PF_EffectWorld& world, AlphaBits alphaBits, std::uint8_t* indices,
                              std::ptrdiff_t stride, std::uint32_t* palette);

// The same as a frame of its own; none for more than 256 colours.
std::optional<IndexedFrame> IndexWorld(const PF_EffectWorld& world, AlphaBits alphaBits);
