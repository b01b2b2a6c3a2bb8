// PNG palette images: an indexed image's own palette, or the distinct colours of any other image's pixels.
#include <OpenImageIO/imageio.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <fstream>
#include <optional>
#include <unordered_set>
#include <vector>

#include "bytes/byte_order.h"
#include "bytes/pixels_per_byte.h"
#include "palettefiles/image_checks.h"
#include "palettefiles/palette_file.h"
#include "palettefiles/palette_file_errors.h"

namespace OIIO = OIIO_NAMESPACE;

namespace {

constexpr unsigned char kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr int kIndexedColorType = 3;

const std::array<uint32_t, 256>& CrcTable() {
  static const std::array<uint32_t, 256> table = [] {
    std::array<uint32_t, 256> t{};
    for (uint32_t n = 0; n < 256; ++n) {
      uint32_t c = n;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[n] = c;
    }
    return t;
  }();
  return table;
}

uint32_t Crc(const std::vector<unsigned char>& bytes) {
  uint32_t c = 0xFFFFFFFFu;
  for (unsigned char b : bytes) c = CrcTable()[(c ^ b) & 0xFF] ^ (c >> 8);
  return c ^ 0xFFFFFFFFu;
}

struct Chunk {
  std::string type;
  std::vector<unsigned char> data;
};

// The next chunk, with its checksum verified. A length beyond the end of the file is refused before any
// memory is set aside for it.
Chunk ReadChunk(std::ifstream& in, std::uintmax_t fileSize, const std::string& name) {
  unsigned char head[8];
  if (!in.read(reinterpret_cast<char*>(head), sizeof head)) FailFile(name, "the PNG file is truncated");
  const uint32_t length = byte_order::ReadBig<uint32_t>(head);
  Chunk chunk{std::string(reinterpret_cast<const char*>(head + 4), 4), {}};
  const auto position = static_cast<std::uintmax_t>(in.tellg());
  if (position > fileSize || length > fileSize - position) {
    FailFile(name, "the PNG file is truncated inside chunk " + chunk.type);
  }
  // Type and data, which the checksum covers.
  std::vector<unsigned char> covered(head + 4, head + 8);
  covered.resize(4 + static_cast<std::size_t>(length));
  unsigned char crc[4];
  if (!in.read(reinterpret_cast<char*>(covered.data() + 4), length) ||
      !in.read(reinterpret_cast<char*>(crc), 4)) {
    FailFile(name, "the PNG file is truncated inside chunk " + chunk.type);
  }
  if (Crc(covered) != byte_order::ReadBig<uint32_t>(crc))
    FailFile(name, "PNG chunk " + chunk.type + " is damaged (bad CRC)");
  chunk.data.assign(covered.begin() + 4, covered.end());
  return chunk;
}

// The palette of an indexed image, without its fully transparent entries; none for other images.
std::optional<ColorList> IndexedPalette(const std::filesystem::path& path, const std::string& name) {
  std::error_code ec;
  const std::uintmax_t fileSize = std::filesystem::file_size(path, ec);
  std::ifstream in(path, std::ios::binary);
  if (ec || !in.is_open()) FailFile(name, "cannot read");
  unsigned char signature[8];
  in.read(reinterpret_cast<char*>(signature), sizeof signature);
  if (in.gcount() == 0) FailFile(name, "the file is empty");
  if (in.gcount() != 8 || !std::equal(signature, signature + 8, kSignature)) {
    FailFile(name, "not a PNG image (no PNG signature)");
  }
  const Chunk header = ReadChunk(in, fileSize, name);
  if (header.type != "IHDR" || header.data.size() != 13) FailFile(name, "the PNG file has no valid IHDR");
  if (header.data[9] != kIndexedColorType) return std::nullopt;

  std::vector<unsigned char> palette, alpha;
  for (;;) {
    Chunk chunk = ReadChunk(in, fileSize, name);
    if (chunk.type == "PLTE") palette = std::move(chunk.data);
    if (chunk.type == "tRNS") alpha = std::move(chunk.data);
    if (chunk.type == "IDAT" || chunk.type == "IEND") break;
  }
  if (palette.empty()) FailFile(name, "an indexed PNG image without a palette (PLTE) chunk");
  if (palette.size() % 3 != 0 || palette.size() > 3 * 256) {
    FailFile(name, "its PNG palette chunk has " + std::to_string(palette.size()) +
                       " bytes, not 3 for each of 1 to 256 colours");
  }
  ColorList colors;
  for (std::size_t i = 0; i < palette.size() / 3; ++i) {
    // Entries without a tRNS value are opaque.
    if (i < alpha.size() && alpha[i] == 0) continue;
    colors.push_back(Color3(FromEightBit(palette[3 * i]), FromEightBit(palette[3 * i + 1]),
                            FromEightBit(palette[3 * i + 2])));
  }
  return colors;
}

template <typename T>
ColorList DistinctPixelColors(OIIO::ImageInput& in, const std::string& name) {
  const OIIO::ImageSpec& spec = in.spec();
  const int channels = spec.nchannels;
  const int alpha = AlphaChannel(spec);
  const OIIO::TypeDesc type = sizeof(T) == 1 ? OIIO::TypeDesc::UINT8 : OIIO::TypeDesc::UINT16;
  const float full = sizeof(T) == 1 ? 255.0f : 65535.0f;
  std::vector<T> row(static_cast<std::size_t>(spec.width) * channels);
  std::unordered_set<uint64_t> seen;
  ColorList colors;
  for (int y = 0; y < spec.height; ++y) {
    if (!in.read_scanline(spec.y + y, spec.z, type, row.data())) {
      FailFile(name, "cannot read image (" + in.geterror() + ")");
    }
    for (int x = 0; x < spec.width; ++x) {
      const T* p = &row[static_cast<std::size_t>(x) * channels];
      // Fully transparent pixels are the padding around the colours, not colours.
      if (alpha >= 0 && p[alpha] == 0) continue;
      const uint64_t r = p[0], g = channels >= 3 ? p[1] : p[0], b = channels >= 3 ? p[2] : p[0];
      if (!seen.insert(r << 32 | g << 16 | b).second) continue;
      if (seen.size() > kMaxPaletteColors) {
        FailFile(name, "has more than " + std::to_string(kMaxPaletteColors) +
                           " different colours; a palette image has one pixel or one block a colour");
      }
      colors.push_back(
          Color3(static_cast<float>(r) / full, static_cast<float>(g) / full, static_cast<float>(b) / full));
    }
  }
  return colors;
}

// A palette image larger than a 16K frame is surely not one.
constexpr unsigned long long kMaxPaletteImagePixels = 15360ull * 8640ull;

}  // namespace

ColorList ReadPngPalette(const std::filesystem::path& path, const std::string& name) {
  if (std::optional<ColorList> indexed = IndexedPalette(path, name)) return std::move(*indexed);
  OIIO::ImageSpec config;
  config.attribute("oiio:UnassociatedAlpha", 1);
  // The PNG reader alone: when it fails, the library would otherwise try the file with every reader it has.
  auto in = OIIO::ImageInput::create("png", false, &config);
  OIIO::ImageSpec spec;
  if (!in) FailFile(name, "cannot read image (no PNG reader)");
  if (!in->open(path.string(), spec, config)) FailFile(name, "cannot read image (" + in->geterror() + ")");
  if (in->spec().nchannels < 1) FailFile(name, "the image has no channels");
  // Checked before a pixel is decoded: a palette image is small, and a damaged header or a decompression
  // bomb must not cost minutes and gigabytes.
  const unsigned long long pixels = static_cast<unsigned long long>(std::max(in->spec().width, 0)) *
                                    static_cast<unsigned long long>(std::max(in->spec().height, 0));
  std::error_code ec;
  const std::uintmax_t fileBytes = std::filesystem::file_size(path, ec);
  if (pixels > kMaxPaletteImagePixels) {
    FailFile(name, std::to_string(in->spec().width) + "x" + std::to_string(in->spec().height) +
                       " pixels is too large for a palette image (at most " +
                       std::to_string(kMaxPaletteImagePixels) + " pixels)");
  }
  if (!ec && MoreThanBytesCanHold(pixels, fileBytes)) {
    FailFile(name, "declares " + std::to_string(in->spec().width) + "x" + std::to_string(in->spec().height) +
                       " pixels, more than its " + std::to_string(fileBytes) + " bytes can hold");
  }
  return in->spec().format.size() == 1 ? DistinctPixelColors<uint8_t>(*in, name)
                                       : DistinctPixelColors<uint16_t>(*in, name);
}
