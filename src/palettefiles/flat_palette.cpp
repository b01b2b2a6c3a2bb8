#include "palettefiles/flat_palette.h"

#include <bit>

std::vector<uint8_t> FlatPaletteBytes(const ColorList& colors) {
  std::vector<uint8_t> bytes;
  bytes.reserve(12 * colors.size());
  for (const Color3& color : colors) {
    for (float channel : {color.r, color.g, color.b}) {
      const uint32_t bits = std::bit_cast<uint32_t>(channel);
      for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<uint8_t>(bits >> (8 * i)));
    }
  }
  return bytes;
}

ColorList PaletteFromFlatBytes(const std::vector<uint8_t>& bytes) {
  ColorList colors;
  colors.reserve(bytes.size() / 12);
  for (std::size_t at = 0; at + 12 <= bytes.size(); at += 12) {
    float channels[3];
    for (int c = 0; c < 3; ++c) {
      uint32_t bits = 0;
      for (int i = 0; i < 4; ++i) bits |= static_cast<uint32_t>(bytes[at + 4 * c + i]) << (8 * i);
      channels[c] = std::bit_cast<float>(bits);
    }
    colors.push_back(Color3(channels[0], channels[1], channels[2]));
  }
  return colors;
}
