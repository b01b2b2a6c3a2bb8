#include "cli/simple_png.h"

#include <libdeflate.h>
#include <spng.h>

#include <algorithm>
#include <array>
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

struct ContextDeleter {
  void operator()(spng_ctx* context) const { spng_ctx_free(context); }
};

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

bool DecodeSimplePng(std::span<const unsigned char> bytes, const SimplePng& header,
                     const std::function<void(int, int, const std::uint8_t*)>& band) {
  const std::unique_ptr<spng_ctx, ContextDeleter> context(spng_ctx_new(0));
  if (!context) return false;
  spng_ctx* png = context.get();
  if (spng_set_png_buffer(png, bytes.data(), bytes.size()) != 0) return false;
  spng_ihdr ihdr{};
  if (spng_get_ihdr(png, &ihdr) != 0 || ihdr.width != static_cast<std::uint32_t>(header.width) ||
      ihdr.height != static_cast<std::uint32_t>(header.height)) {
    return false;
  }
  const std::size_t rowBytes =
      static_cast<std::size_t>(header.width) * static_cast<std::size_t>(header.channels);
  std::size_t size = 0;
  if (spng_decoded_image_size(png, SPNG_FMT_PNG, &size) != 0 ||
      size != rowBytes * static_cast<std::size_t>(header.height)) {
    return false;
  }
  // The samples as stored: no gamma, no expansion.
  if (spng_decode_image(png, nullptr, 0, SPNG_FMT_PNG, SPNG_DECODE_PROGRESSIVE) != 0) return false;
  std::vector<std::uint8_t> samples(rowBytes * static_cast<std::size_t>(std::min(kBandRows, header.height)));
  for (int first = 0; first < header.height; first += kBandRows) {
    ThrowIfInterrupted();
    const int rows = std::min(kBandRows, header.height - first);
    for (int y = 0; y < rows; ++y) {
      const int status =
          spng_decode_row(png, samples.data() + rowBytes * static_cast<std::size_t>(y), rowBytes);
      // The last row ends the image; any other end before it is damage.
      if (status == SPNG_EOI ? first + y != header.height - 1 : status != 0) return false;
    }
    band(first, rows, samples.data());
  }
  // The chunks after the image data, their checksums included.
  return spng_decode_chunks(png) == 0;
}
