#include "cli/indexed_png.h"

#include <libdeflate.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <new>
#include <stdexcept>

namespace {

// Rows of indices compress best unfiltered: an index says nothing about its neighbour's value. libdeflate's
// level 6 made dithered 1080p frames about a fifth smaller than zlib's default level, in a quarter of the
// time; levels above 7 cost several times as much for a few per cent.
constexpr int kCompressionLevel = 6;
// IDAT chunks of at most this many bytes, as encoders commonly split them.
constexpr std::size_t kIdatBytes = std::size_t{1} << 20;

void PutBig32(std::vector<unsigned char>& out, uint32_t value) {
  out.push_back(static_cast<unsigned char>(value >> 24));
  out.push_back(static_cast<unsigned char>(value >> 16));
  out.push_back(static_cast<unsigned char>(value >> 8));
  out.push_back(static_cast<unsigned char>(value));
}

// A chunk: its length, its type, its data and the CRC-32 of the type and the data.
void PutChunk(std::vector<unsigned char>& out, const char (&type)[5], const unsigned char* data,
              std::size_t size) {
  PutBig32(out, static_cast<uint32_t>(size));
  const std::size_t typeAt = out.size();
  out.insert(out.end(), type, type + 4);
  out.insert(out.end(), data, data + size);
  PutBig32(out, static_cast<uint32_t>(libdeflate_crc32(0, &out[typeAt], size + 4)));
}

struct CompressorDeleter {
  void operator()(libdeflate_compressor* compressor) const { libdeflate_free_compressor(compressor); }
};

// The palette, its transparency and the image data before compression: each row's filter byte (none)
// and its indices, `bits` each, the row starting on a byte.
struct Indexed {
  std::array<unsigned char, 3 * 256> colors{};
  std::array<unsigned char, 256> alpha{};
  int count = 0;
  int bits = 8;
  std::vector<unsigned char> rows;
  std::size_t rowBytes = 0;
};

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

// A pixel as one number, the bytes of PF_Pixel8 in memory order: alpha, red, green, blue.
uint32_t KeyOf(const PF_Pixel8& pixel) {
  uint32_t key;
  std::memcpy(&key, &pixel, sizeof key);
  return key;
}

}  // namespace

bool EncodeIndexedPng(const minihost::World& world, bool alpha, std::vector<unsigned char>& png) {
  png.clear();
  const std::size_t columns = static_cast<std::size_t>(world.width());
  const std::size_t height = static_cast<std::size_t>(world.height());
  // Without alpha every pixel counts as opaque.
  const uint32_t opaque = alpha ? 0 : KeyOf(PF_Pixel8{0xFF, 0, 0, 0});
  // Each pixel's index, colours numbered as they are first met.
  Indexed indexed;
  auto index = std::make_unique_for_overwrite<unsigned char[]>(columns * height);
  // The colours met so far, by open addressing in a table twice as large as the 256 a palette holds: a
  // dithered frame changes colour at nearly every pixel, so the lookup must be cheap.
  constexpr std::size_t kSlots = 512;
  std::array<uint32_t, kSlots> slotKey{};
  std::array<int, kSlots> slotIndex;
  slotIndex.fill(-1);
  const auto lookUp = [&](uint32_t key) -> int {
    std::size_t slot = (key * 0x9E3779B1u) >> 23;  // the top 9 bits: 0 to 511
    while (slotIndex[slot] >= 0 && slotKey[slot] != key) slot = (slot + 1) % kSlots;
    if (slotIndex[slot] < 0) {
      if (indexed.count == 256) return -1;
      slotKey[slot] = key;
      slotIndex[slot] = indexed.count;
      PF_Pixel8 pixel;
      std::memcpy(&pixel, &key, sizeof pixel);
      const auto entry = static_cast<std::size_t>(indexed.count);
      indexed.colors[3 * entry] = pixel.red;
      indexed.colors[3 * entry + 1] = pixel.green;
      indexed.colors[3 * entry + 2] = pixel.blue;
      indexed.alpha[entry] = pixel.alpha;
      ++indexed.count;
    }
    return slotIndex[slot];
  };
  // Dithered frames mostly alternate between two colours: the last two colours met are tried first. Both
  // start as the first pixel's.
  uint32_t recent[2];
  recent[0] = recent[1] = KeyOf(world.pixel8(0, 0)) | opaque;
  unsigned char recentIndex[2] = {static_cast<unsigned char>(lookUp(recent[0])), 0};
  recentIndex[1] = recentIndex[0];
  std::vector<uint32_t> keys(columns);
  for (std::size_t y = 0; y < height; ++y) {
    std::memcpy(keys.data(), &world.pixel8(0, static_cast<A_long>(y)), columns * sizeof(uint32_t));
    unsigned char* out = &index[y * columns];
    for (std::size_t x = 0; x < columns; ++x) {
      const uint32_t key = keys[x] | opaque;
      if (key == recent[0]) {
        out[x] = recentIndex[0];
        continue;
      }
      if (key != recent[1]) {
        const int found = lookUp(key);
        if (found < 0) return false;
        recent[1] = key;
        recentIndex[1] = static_cast<unsigned char>(found);
      }
      std::swap(recent[0], recent[1]);
      std::swap(recentIndex[0], recentIndex[1]);
      out[x] = recentIndex[0];
    }
  }
  indexed.bits = indexed.count <= 2 ? 1 : indexed.count <= 4 ? 2 : indexed.count <= 16 ? 4 : 8;
  const std::size_t perByte = 8 / static_cast<std::size_t>(indexed.bits);
  indexed.rowBytes = (columns + perByte - 1) / perByte;
  const std::size_t stride = indexed.rowBytes + 1;
  // Each row starts with its filter byte: 0, none.
  indexed.rows.assign(stride * height, 0);
  for (std::size_t y = 0; y < height; ++y) {
    unsigned char* row = &indexed.rows[y * stride + 1];
    const unsigned char* from = &index[y * columns];
    switch (indexed.bits) {
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

  const std::unique_ptr<libdeflate_compressor, CompressorDeleter> compressor(
      libdeflate_alloc_compressor(kCompressionLevel));
  if (!compressor) throw std::bad_alloc();
  std::vector<unsigned char> idat(libdeflate_zlib_compress_bound(compressor.get(), indexed.rows.size()));
  idat.resize(libdeflate_zlib_compress(compressor.get(), indexed.rows.data(), indexed.rows.size(),
                                       idat.data(), idat.size()));
  // The bound is always enough; nothing written means the library failed.
  if (idat.empty()) throw std::runtime_error("the image data could not be compressed");
  indexed.rows = {};

  static constexpr unsigned char kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  png.reserve(idat.size() + idat.size() / kIdatBytes * 12 + 3 * 256 + 256 + 128);
  png.assign(kSignature, kSignature + 8);
  std::array<unsigned char, 13> header{};
  const auto big32 = [](unsigned char* at, uint32_t value) {
    for (int i = 0; i < 4; ++i) at[i] = static_cast<unsigned char>(value >> (24 - 8 * i));
  };
  big32(&header[0], static_cast<uint32_t>(columns));
  big32(&header[4], static_cast<uint32_t>(height));
  header[8] = static_cast<unsigned char>(indexed.bits);
  header[9] = 3;  // colour type: palette; then compression 0, filter method 0, no interlace
  PutChunk(png, "IHDR", header.data(), header.size());
  PutChunk(png, "PLTE", indexed.colors.data(), 3 * static_cast<std::size_t>(indexed.count));
  if (alpha) PutChunk(png, "tRNS", indexed.alpha.data(), static_cast<std::size_t>(indexed.count));
  for (std::size_t at = 0; at < idat.size(); at += kIdatBytes) {
    PutChunk(png, "IDAT", idat.data() + at, std::min(kIdatBytes, idat.size() - at));
  }
  PutChunk(png, "IEND", nullptr, 0);
  return true;
}
