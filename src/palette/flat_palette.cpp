#include "palette/flat_palette.h"

#include "bytes/byte_order.h"

void AppendFlatColors(ColorList& colors, const uint8_t* bytes, std::size_t size) {
  const std::size_t count = size / kFlatColorSize;
  colors.reserve(colors.size() + count);
  for (std::size_t i = 0; i < count; ++i) {
    const uint8_t* record = bytes + i * kFlatColorSize;
    colors.emplace_back(byte_order::ReadLittleFloat(record), byte_order::ReadLittleFloat(record + 4),
                        byte_order::ReadLittleFloat(record + 8));
  }
}

void WriteFlatColors(const ColorList& colors, uint8_t* bytes) {
  for (const Color3& color : colors) {
    byte_order::WriteLittleFloat(bytes, color.r);
    byte_order::WriteLittleFloat(bytes + 4, color.g);
    byte_order::WriteLittleFloat(bytes + 8, color.b);
    bytes += kFlatColorSize;
  }
}
