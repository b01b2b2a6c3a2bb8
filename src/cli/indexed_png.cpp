#include "cli/indexed_png.h"

#include <array>
#include <new>
#include <stdexcept>
#include <string>

#include "cli/indexed_frame.h"
#include "palettefiles/png_errors.h"

namespace {

void Append(png_structp png, png_bytep data, png_size_t length) {
  auto* out = static_cast<std::vector<unsigned char>*>(png_get_io_ptr(png));
  // No exception crosses libpng's frames: a failure becomes libpng's own error.
  try {
    out->insert(out->end(), data, data + length);
  } catch (const std::bad_alloc&) {
    png_error(png, "out of memory");
  }
}

void Flush(png_structp) {}

struct WriteState {
  png_structp png = nullptr;
  png_infop info = nullptr;
  ~WriteState() {
    if (png != nullptr) png_destroy_write_struct(&png, info != nullptr ? &info : nullptr);
  }
};

// The palette, its transparency and the rows of indices, made before libpng is called.
struct Indexed {
  std::array<png_color, 256> colors{};
  std::array<png_byte, 256> alpha{};
  int count = 0;
  int bits = 8;
  std::vector<png_byte> packed;  // rows of indices, `bits` each, each row starting on a byte
  std::size_t rowBytes = 0;
};

// Nothing with a destructor lives in this frame once libpng is called (its errors jump back here past it).
bool Write(WriteState& state, PngErrors& errors, const Indexed& indexed, int width, int height, bool alpha,
           std::vector<png_bytep>& rows) {
  png_structp png = state.png;
  png_infop info = state.info;
  if (setjmp(errors.jump) != 0) return false;
  png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), indexed.bits,
               PNG_COLOR_TYPE_PALETTE, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_set_PLTE(png, info, indexed.colors.data(), indexed.count);
  if (alpha) png_set_tRNS(png, info, indexed.alpha.data(), indexed.count, nullptr);
  png_write_info(png, info);
  png_write_image(png, rows.data());
  png_write_end(png, nullptr);
  return true;
}

}  // namespace

bool EncodeIndexedPng(std::span<const uint8_t> pixels, int width, int height, int channels,
                      std::vector<unsigned char>& png) {
  png.clear();
  const bool alpha = channels == 4;
  // Each pixel's index, colours numbered as they are first met.
  const std::optional<IndexedFrame> frame = IndexPixels(pixels, width, height, channels, AlphaBits::Eight);
  if (!frame) return false;
  const std::vector<uint8_t>& index = frame->index;
  Indexed indexed;
  indexed.count = static_cast<int>(frame->colors.size());
  for (std::size_t i = 0; i < frame->colors.size(); ++i) {
    const uint32_t key = frame->colors[i];
    indexed.colors[i] = {KeyRed(key), KeyGreen(key), KeyBlue(key)};
    indexed.alpha[i] = KeyAlpha(key);
  }
  indexed.bits = indexed.count <= 2 ? 1 : indexed.count <= 4 ? 2 : indexed.count <= 16 ? 4 : 8;
  const std::size_t perByte = 8 / static_cast<std::size_t>(indexed.bits);
  indexed.rowBytes = (static_cast<std::size_t>(width) + perByte - 1) / perByte;
  indexed.packed.assign(indexed.rowBytes * static_cast<std::size_t>(height), 0);
  for (std::size_t y = 0; y < static_cast<std::size_t>(height); ++y) {
    png_byte* row = &indexed.packed[y * indexed.rowBytes];
    for (std::size_t x = 0; x < static_cast<std::size_t>(width); ++x) {
      // The first pixel in the highest bits, as PNG packs them.
      const std::size_t shift = 8 - static_cast<std::size_t>(indexed.bits) * (x % perByte + 1);
      row[x / perByte] =
          static_cast<png_byte>(row[x / perByte] | index[y * static_cast<std::size_t>(width) + x] << shift);
    }
  }
  std::vector<png_bytep> rows(static_cast<std::size_t>(height));
  for (std::size_t y = 0; y < rows.size(); ++y) rows[y] = &indexed.packed[y * indexed.rowBytes];

  PngErrors errors;
  WriteState state;
  state.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &errors, OnPngError, OnPngWarning);
  if (state.png != nullptr) state.info = png_create_info_struct(state.png);
  if (state.info == nullptr) throw std::runtime_error("out of memory");
  png_set_write_fn(state.png, &png, Append, Flush);
  if (!Write(state, errors, indexed, width, height, alpha, rows)) {
    png.clear();
    throw std::runtime_error(errors.message);
  }
  return true;
}
