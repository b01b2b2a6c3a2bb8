#include "palettefiles/flat_palette.h"

#include "palette/flat_palette.h"

std::vector<uint8_t> FlatPaletteBytes(const ColorList& colors) {
  std::vector<uint8_t> bytes(colors.size() * kFlatColorSize);
  WriteFlatColors(colors, bytes.data());
  return bytes;
}

ColorList PaletteFromFlatBytes(const std::vector<uint8_t>& bytes) {
  ColorList colors;
  AppendFlatColors(colors, bytes.data(), bytes.size());
  return colors;
}
