// PNG palette images: an indexed image's own palette, or the distinct colours of any other image's pixels.
#include <png.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <fstream>
#include <optional>
#include <unordered_set>
#include <vector>

#include "bytes/byte_order.h"
#include "bytes/pixels_per_byte.h"
#include "palettefiles/palette_file.h"
#include "palettefiles/palette_file_errors.h"
#include "palettefiles/png_errors.h"

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

// Adds the distinct colours of a row (`width` pixels of `channels` samples of T: grey or red, green, blue,
// then alpha when `alpha`) to `colors` in the order met, fully transparent pixels left out; false once there
// are more than kMaxPaletteColors.
template <typename T>
bool AddDistinctColors(const T* row, std::size_t width, int channels, bool alpha, float full,
                       std::unordered_set<uint64_t>& seen, ColorList& colors) {
  for (std::size_t x = 0; x < width; ++x) {
    const T* p = row + x * static_cast<std::size_t>(channels);
    // Fully transparent pixels are the padding around the colours, not colours.
    if (alpha && p[channels - 1] == 0) continue;
    const uint64_t r = p[0], g = channels >= 3 ? p[1] : p[0], b = channels >= 3 ? p[2] : p[0];
    if (!seen.insert(r << 32 | g << 16 | b).second) continue;
    if (seen.size() > kMaxPaletteColors) return false;
    colors.push_back(
        Color3(static_cast<float>(r) / full, static_cast<float>(g) / full, static_cast<float>(b) / full));
  }
  return true;
}

// A palette image larger than a 16K frame is surely not one.
constexpr unsigned long long kMaxPaletteImagePixels = 15360ull * 8640ull;

}  // namespace

namespace {

// The file and libpng's reading state, released however reading ends.
struct PngReading {
  std::FILE* file = nullptr;
  png_structp png = nullptr;
  png_infop info = nullptr;
  ~PngReading() {
    if (png != nullptr) png_destroy_read_struct(&png, info != nullptr ? &info : nullptr, nullptr);
    if (file != nullptr) std::fclose(file);
  }
};

// How reading the pixels ended.
enum class PngRead { Done, TooLarge, TooMany, Failed };

// The pixels' distinct colours, row by row. Channels keep their stored values: no gamma or colour
// conversion, 16-bit samples as 16 bits. Nothing with a destructor is made in this frame once libpng is
// called (its errors jump back here past it): the buffers are the caller's, and so are the messages.
// `width` and `height` receive the image's size; Failed leaves libpng's message in `errors`.
PngRead ReadPngPixels(PngReading& reading, PngErrors& errors, std::uintmax_t fileBytes,
                      std::vector<unsigned char>& pixels, std::vector<png_bytep>& rows,
                      std::unordered_set<uint64_t>& seen, ColorList& colors, png_uint_32& width,
                      png_uint_32& height) {
  png_structp png = reading.png;
  png_infop info = reading.info;
  if (setjmp(errors.jump) != 0) return PngRead::Failed;
  png_init_io(png, reading.file);
  png_set_user_limits(png, 0x7FFFFFFF, 0x7FFFFFFF);
  png_read_info(png, info);
  width = png_get_image_width(png, info);
  height = png_get_image_height(png, info);
  // Checked before a pixel is decoded: a palette image is small, and a damaged header or a decompression
  // bomb must not cost minutes and gigabytes.
  const unsigned long long count = static_cast<unsigned long long>(width) * height;
  if (count > kMaxPaletteImagePixels || MoreThanBytesCanHold(count, fileBytes)) return PngRead::TooLarge;
  const int type = png_get_color_type(png, info);
  const int depth = png_get_bit_depth(png, info);
  // Low-depth greys widened to bytes, transparency chunks turned into an alpha channel, 16-bit samples
  // read as the machine stores them.
  if (type == PNG_COLOR_TYPE_GRAY && depth < 8) png_set_expand_gray_1_2_4_to_8(png);
  if (png_get_valid(png, info, PNG_INFO_tRNS)) png_set_tRNS_to_alpha(png);
  if (depth == 16 && std::endian::native == std::endian::little) png_set_swap(png);
  const int passes = png_set_interlace_handling(png);
  png_read_update_info(png, info);
  const int channels = png_get_channels(png, info);
  const bool alpha = (png_get_color_type(png, info) & PNG_COLOR_MASK_ALPHA) != 0;
  const std::size_t rowBytes = png_get_rowbytes(png, info);
  // Interlaced rows are complete only after the last pass: then the whole image, which the size bound keeps
  // small, else one row at a time.
  pixels.resize(passes > 1 ? rowBytes * height : rowBytes);
  if (passes > 1) {
    rows.resize(height);
    for (png_uint_32 y = 0; y < height; ++y) rows[y] = pixels.data() + rowBytes * y;
    png_read_image(png, rows.data());
  }
  for (png_uint_32 y = 0; y < height; ++y) {
    unsigned char* at = passes > 1 ? rows[y] : pixels.data();
    if (passes == 1) png_read_row(png, at, nullptr);
    const bool fits = depth == 16 ? AddDistinctColors(reinterpret_cast<const uint16_t*>(at), width, channels,
                                                      alpha, 65535.0f, seen, colors)
                                  : AddDistinctColors(at, width, channels, alpha, 255.0f, seen, colors);
    if (!fits) return PngRead::TooMany;
  }
  return PngRead::Done;
}

}  // namespace

ColorList ReadPngPalette(const std::filesystem::path& path, const std::string& name) {
  if (std::optional<ColorList> indexed = IndexedPalette(path, name)) return std::move(*indexed);
  std::error_code ec;
  const std::uintmax_t fileBytes = std::filesystem::file_size(path, ec);
  PngReading reading;
  PngErrors errors;
  reading.file = std::fopen(path.c_str(), "rb");
  if (reading.file == nullptr) FailFile(name, "cannot read");
  reading.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &errors, OnPngError, OnPngWarning);
  if (reading.png != nullptr) reading.info = png_create_info_struct(reading.png);
  if (reading.info == nullptr) FailFile(name, "cannot read image (out of memory)");
  std::vector<unsigned char> pixels;
  std::vector<png_bytep> rows;
  std::unordered_set<uint64_t> seen;
  ColorList colors;
  png_uint_32 width = 0;
  png_uint_32 height = 0;
  const PngRead read =
      ReadPngPixels(reading, errors, ec ? 0 : fileBytes, pixels, rows, seen, colors, width, height);
  const std::string size = std::to_string(width) + "x" + std::to_string(height);
  switch (read) {
    case PngRead::Done:
      break;
    case PngRead::Failed:
      FailFile(name, std::string("cannot read image (") + errors.message + ")");
    case PngRead::TooLarge:
      if (static_cast<unsigned long long>(width) * height > kMaxPaletteImagePixels) {
        FailFile(name, size + " pixels is too large for a palette image (at most " +
                           std::to_string(kMaxPaletteImagePixels) + " pixels)");
      }
      FailFile(name, "declares " + size + " pixels, more than its " + std::to_string(fileBytes) +
                         " bytes can hold");
    case PngRead::TooMany:
      FailFile(name, "has more than " + std::to_string(kMaxPaletteColors) +
                         " different colours; a palette image has one pixel or one block a colour");
  }
  return colors;
}
