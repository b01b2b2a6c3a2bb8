#include "cli/indexed_png.h"

#include <algorithm>
#include <array>
#include <memory>

#include "cli/indexed_frame.h"
#include "cli/png_chunks.h"

namespace {

// Packs a row of indices `Bits` each, the first pixel in the highest bits as PNG has them; a last byte's
// unused bits are 0.
template <int Bits>
void Pack(const unsigned char* from, std::size_t columns, unsigned char* row) {
  constexpr std::size_t kPerByte = 8 / Bits;
  std::size_t x = 0;
  for (; x + kPerByte <= columns; x += kPerByte) {
    unsigned value = 0;
    for (std::size_t k = 0; k < kPerByte; ++k) value = value << Bits | from[x + k];
    *row++ = static_cast<unsigned char>(value);
  }
  if (x < columns) {
    unsigned value = 0;
    for (std::size_t k = 0; k < kPerByte; ++k) value = value << Bits | (x + k < columns ? from[x + k] : 0u);
    *row = static_cast<unsigned char>(value);
  }
}

}  // namespace

bool EncodeIndexedPng(const minihost::World& world, bool alpha, std::vector<unsigned char>& png) {
  png.clear();
  const std::size_t columns = static_cast<std::size_t>(world.width());
  const std::size_t height = static_cast<std::size_t>(world.height());
  // Each pixel's index, colours numbered as they are first met.
  auto index = std::make_unique_for_overwrite<unsigned char[]>(columns * height);
  std::array<std::uint32_t, 256> palette;
  const std::optional<int> count =
      IndexWorld(world.pf(), alpha ? AlphaBits::Eight : AlphaBits::None, index.get(),
                 static_cast<std::ptrdiff_t>(columns), palette.data());
  if (!count) return false;

  // Rows of indices compress best unfiltered: an index says nothing about its neighbour's value. Each row
  // starts with its filter byte, 0 (none), and holds its indices `bits` each, starting on a byte.
  const int bits = *count <= 2 ? 1 : *count <= 4 ? 2 : *count <= 16 ? 4 : 8;
  const std::size_t perByte = 8 / static_cast<std::size_t>(bits);
  const std::size_t stride = (columns + perByte - 1) / perByte + 1;
  std::vector<unsigned char> rows(stride * height, 0);
  for (std::size_t y = 0; y < height; ++y) {
    unsigned char* row = &rows[y * stride + 1];
    const unsigned char* from = &index[y * columns];
    switch (bits) {
      case 1:
        Pack<1>(from, columns, row);
        break;
      case 2:
        Pack<2>(from, columns, row);
        break;
      case 4:
        Pack<4>(from, columns, row);
        break;
      default:
        std::copy(from, from + columns, row);
    }
  }
  index.reset();
  const std::vector<unsigned char> zlib = DeflatePng(rows);
  rows = {};

  std::vector<unsigned char> colors, alphas;
  for (int i = 0; i < *count; ++i) {
    const std::uint32_t key = palette[static_cast<std::size_t>(i)];
    colors.insert(colors.end(), {KeyRed(key), KeyGreen(key), KeyBlue(key)});
    alphas.push_back(KeyAlpha(key));
  }
  png.reserve(zlib.size() + zlib.size() / (1 << 20) * 12 + 3 * 256 + 256 + 128);
  png.assign(std::begin(kPngSignature), std::end(kPngSignature));
  std::vector<unsigned char> header;
  PutBig32(header, static_cast<std::uint32_t>(columns));
  PutBig32(header, static_cast<std::uint32_t>(height));
  // Palette colour type; then compression 0, filter method 0, no interlace.
  header.insert(header.end(), {static_cast<unsigned char>(bits), 3, 0, 0, 0});
  PutPngChunk(png, "IHDR", header);
  PutPngChunk(png, "PLTE", colors);
  if (alpha) PutPngChunk(png, "tRNS", alphas);
  PutPngImageData(png, zlib);
  PutPngChunk(png, "IEND", {});
  return true;
}
