#include "cli/png_chunks.h"

#include <libdeflate.h>

#include <algorithm>
#include <memory>
#include <new>
#include <stdexcept>

namespace {

struct CompressorDeleter {
  void operator()(libdeflate_compressor* compressor) const { libdeflate_free_compressor(compressor); }
};

constexpr std::size_t kIdatBytes = std::size_t{1} << 20;

}  // namespace

void PutBig32(std::vector<unsigned char>& out, std::uint32_t value) {
  for (const int shift : {24, 16, 8, 0}) out.push_back(static_cast<unsigned char>(value >> shift));
}

void PutBig16(std::vector<unsigned char>& out, std::uint16_t value) {
  out.push_back(static_cast<unsigned char>(value >> 8));
  out.push_back(static_cast<unsigned char>(value));
}

void PutPngChunk(std::vector<unsigned char>& out, const char (&type)[5],
                 std::span<const unsigned char> data) {
  PutBig32(out, static_cast<std::uint32_t>(data.size()));
  const std::size_t typeAt = out.size();
  out.insert(out.end(), type, type + 4);
  out.insert(out.end(), data.begin(), data.end());
  PutBig32(out, static_cast<std::uint32_t>(libdeflate_crc32(0, &out[typeAt], data.size() + 4)));
}

void PutPngImageData(std::vector<unsigned char>& out, std::span<const unsigned char> zlib) {
  for (std::size_t at = 0; at < zlib.size(); at += kIdatBytes) {
    PutPngChunk(out, "IDAT", zlib.subspan(at, std::min(kIdatBytes, zlib.size() - at)));
  }
}

std::vector<unsigned char> DeflatePng(std::span<const unsigned char> rows) {
  const std::unique_ptr<libdeflate_compressor, CompressorDeleter> compressor(
      libdeflate_alloc_compressor(kPngCompressionLevel));
  if (!compressor) throw std::bad_alloc();
  std::vector<unsigned char> zlib(libdeflate_zlib_compress_bound(compressor.get(), rows.size()));
  zlib.resize(libdeflate_zlib_compress(compressor.get(), rows.data(), rows.size(), zlib.data(), zlib.size()));
  // The bound is always enough; nothing written means the library failed.
  if (zlib.empty()) throw std::runtime_error("the image data could not be compressed");
  return zlib;
}
