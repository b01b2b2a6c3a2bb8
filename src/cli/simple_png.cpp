#include "cli/simple_png.h"

#include <libdeflate.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <memory>
#include <string_view>
#include <vector>

#include "bytes/byte_order.h"
#include "cli/interrupt.h"

namespace {

constexpr std::array<unsigned char, 8> kSignature = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

// Chunks besides IHDR, IDAT and IEND after which the general reader still gives the samples as stored.
constexpr std::array<std::string_view, 11> kHarmless = {"pHYs", "tIME", "tEXt", "zTXt", "iTXt", "gAMA",
                                                        "sRGB", "cHRM", "iCCP", "sBIT", "bKGD"};

// Rows decoded at a time: small enough to stay in the cache on their way into the pixel world.
constexpr int kBandRows = 32;

}  // namespace

std::optional<SimplePng> SimplePngHeader(std::span<const unsigned char> bytes) {
  constexpr std::size_t kHeaderEnd = 8 + 8 + 13 + 4;
  if (bytes.size() < kHeaderEnd || !std::equal(kSignature.begin(), kSignature.end(), bytes.begin()) ||
      byte_order::ReadBig<std::uint32_t>(bytes.data() + 8) != 13 ||
      std::string_view(reinterpret_cast<const char*>(bytes.data()) + 12, 4) != "IHDR" ||
      libdeflate_crc32(0, bytes.data() + 12, 17) != byte_order::ReadBig<std::uint32_t>(bytes.data() + 29)) {
    return std::nullopt;
  }
  const unsigned char* ihdr = bytes.data() + 16;
  const std::uint32_t width = byte_order::ReadBig<std::uint32_t>(ihdr);
  const std::uint32_t height = byte_order::ReadBig<std::uint32_t>(ihdr + 4);
  const int depth = ihdr[8], colourType = ihdr[9];
  // Sizes beyond PNG's own bound are damage, left for the general reader to report.
  if (width == 0 || height == 0 || width > 0x7FFFFFFFu || height > 0x7FFFFFFFu || depth != 8 ||
      (colourType != 2 && colourType != 6) || ihdr[10] != 0 || ihdr[11] != 0 || ihdr[12] != 0) {
    return std::nullopt;
  }
  bool data = false;
  for (std::size_t at = kHeaderEnd;;) {
    if (bytes.size() - at < 12) return std::nullopt;
    const std::uint32_t length = byte_order::ReadBig<std::uint32_t>(bytes.data() + at);
    if (length > 0x7FFFFFFFu || bytes.size() - at - 12 < length) return std::nullopt;
    const std::string_view type(reinterpret_cast<const char*>(bytes.data()) + at + 4, 4);
    if (type == "IEND") break;
    if (type == "IDAT") {
      data = true;
    } else if (std::find(kHarmless.begin(), kHarmless.end(), type) == kHarmless.end()) {
      return std::nullopt;
    }
    at += 12 + static_cast<std::size_t>(length);
  }
  if (!data) return std::nullopt;
  return SimplePng{static_cast<int>(width), static_cast<int>(height), colourType == 6 ? 4 : 3};
}

namespace {

struct DecompressorDeleter {
  void operator()(libdeflate_decompressor* decompressor) const { libdeflate_free_decompressor(decompressor); }
};

// Undoes a row's filter in place (PNG's five: none, sub, up, average, Paeth), `previous` being the row above
// as already restored (zeros above the first). False for a filter type that does not exist.
bool Unfilter(int type, std::uint8_t* row, const std::uint8_t* previous, std::size_t bytes,
              std::size_t pixel) {
  switch (type) {
    case 0:
      return true;
    case 1:
      for (std::size_t i = pixel; i < bytes; ++i) row[i] = static_cast<std::uint8_t>(row[i] + row[i - pixel]);
      return true;
    case 2:
      for (std::size_t i = 0; i < bytes; ++i) row[i] = static_cast<std::uint8_t>(row[i] + previous[i]);
      return true;
    case 3:
      for (std::size_t i = 0; i < bytes; ++i) {
        const unsigned left = i >= pixel ? row[i - pixel] : 0u;
        row[i] = static_cast<std::uint8_t>(row[i] + ((left + previous[i]) >> 1));
      }
      return true;
    case 4:
      for (std::size_t i = 0; i < bytes; ++i) {
        const int a = i >= pixel ? row[i - pixel] : 0, b = previous[i],
                  c = i >= pixel ? previous[i - pixel] : 0;
        const int p = a + b - c;
        const int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
        const int predicted = pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
        row[i] = static_cast<std::uint8_t>(row[i] + predicted);
      }
      return true;
    default:
      return false;
  }
}

}  // namespace

bool DecodeSimplePng(std::span<const unsigned char> bytes, const SimplePng& header,
                     const std::function<void(int, int, const std::uint8_t*, std::size_t)>& band) {
  // Every chunk's checksum, and the image data: one run of IDAT chunks.
  std::vector<std::uint8_t> joined;
  std::span<const unsigned char> data;
  bool dataEnded = false;
  std::size_t parts = 0;
  for (std::size_t at = 8;;) {
    const std::uint32_t length = byte_order::ReadBig<std::uint32_t>(bytes.data() + at);
    const unsigned char* chunk = bytes.data() + at + 4;
    if (libdeflate_crc32(0, chunk, length + 4u) != byte_order::ReadBig<std::uint32_t>(chunk + 4 + length)) {
      return false;
    }
    const std::string_view type(reinterpret_cast<const char*>(chunk), 4);
    if (type == "IEND") break;
    if (type == "IDAT") {
      if (dataEnded) return false;
      // One chunk is used where it lies; several are joined.
      if (parts == 1) joined.assign(data.begin(), data.end());
      if (parts >= 1) joined.insert(joined.end(), chunk + 4, chunk + 4 + length);
      data = parts == 0 ? std::span<const unsigned char>(chunk + 4, length)
                        : std::span<const unsigned char>(joined);
      ++parts;
    } else if (parts > 0) {
      dataEnded = true;
    }
    at += 12 + static_cast<std::size_t>(length);
  }

  const std::size_t pixel = static_cast<std::size_t>(header.channels);
  const std::size_t rowBytes = static_cast<std::size_t>(header.width) * pixel;
  const std::size_t stride = rowBytes + 1;  // each row after its filter type
  const std::size_t rawBytes = stride * static_cast<std::size_t>(header.height);
  // Kept from frame to frame, up to a 4K frame's size: fresh memory costs more to map than to fill.
  constexpr std::size_t kKeptBytes = std::size_t{64} << 20;
  thread_local std::vector<std::uint8_t> kept;
  std::vector<std::uint8_t> once;
  std::vector<std::uint8_t>& raw = rawBytes <= kKeptBytes ? kept : once;
  if (raw.size() < rawBytes) raw.resize(rawBytes);
  thread_local const std::unique_ptr<libdeflate_decompressor, DecompressorDeleter> decompressor(
      libdeflate_alloc_decompressor());
  if (!decompressor) return false;
  std::size_t used = 0;
  // Exactly the image's bytes, from exactly the image data: a stream longer, shorter or followed by
  // anything is left to the general reader.
  if (libdeflate_zlib_decompress_ex(decompressor.get(), data.data(), data.size(), raw.data(), rawBytes, &used,
                                    nullptr) != LIBDEFLATE_SUCCESS ||
      used != data.size()) {
    return false;
  }
  const std::vector<std::uint8_t> zeros(rowBytes, 0);
  for (int first = 0; first < header.height; first += kBandRows) {
    ThrowIfInterrupted();
    const int rows = std::min(kBandRows, header.height - first);
    for (int y = first; y < first + rows; ++y) {
      std::uint8_t* row = raw.data() + stride * static_cast<std::size_t>(y);
      const std::uint8_t* previous = y == 0 ? zeros.data() : row - stride + 1;
      if (!Unfilter(row[0], row + 1, previous, rowBytes, pixel)) return false;
    }
    band(first, rows, raw.data() + stride * static_cast<std::size_t>(first) + 1, stride);
  }
  return true;
}
