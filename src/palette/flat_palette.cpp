#include "palette/flat_palette.h"

#include <bit>

namespace {

float ReadFloat(const uint8_t* bytes) {
  const uint32_t bits = static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
                        static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
  return std::bit_cast<float>(bits);
}

void WriteFloat(float value, uint8_t* bytes) {
  const uint32_t bits = std::bit_cast<uint32_t>(value);
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<uint8_t>(bits >> (8 * i));
}

}  // namespace

void AppendFlatColors(ColorList& colors, const uint8_t* bytes, std::size_t size) {
  const std::size_t count = size / kFlatColorSize;
  colors.reserve(colors.size() + count);
  for (std::size_t i = 0; i < count; ++i) {
    const uint8_t* record = bytes + i * kFlatColorSize;
    colors.emplace_back(ReadFloat(record), ReadFloat(record + 4), ReadFloat(record + 8));
  }
}

void WriteFlatColors(const ColorList& colors, uint8_t* bytes) {
  for (const Color3& color : colors) {
    WriteFloat(color.r, bytes);
    WriteFloat(color.g, bytes + 4);
    WriteFloat(color.b, bytes + 8);
    bytes += kFlatColorSize;
  }
}
