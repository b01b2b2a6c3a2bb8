// A frame's pixels as the kernels see them: a base address, bytes per row, a size and a depth. Pixels are
// alpha, red, green, blue; 8 bits a channel (full scale 255), 16 bits (full scale 32768) or a
// single-precision float (1.0 is white; values outside 0..1, infinities and NaN may all arrive).
#pragma once

#include <cstddef>
#include <cstdint>

enum class PixelDepth : std::uint8_t { Eight, Sixteen, ThirtyTwo };

struct Pixel8 {
  std::uint8_t alpha, red, green, blue;
};
struct Pixel16 {
  std::uint16_t alpha, red, green, blue;
};
struct PixelFloat {
  float alpha, red, green, blue;
};
static_assert(sizeof(Pixel8) == 4 && sizeof(Pixel16) == 8 && sizeof(PixelFloat) == 16);

struct ImageView {
  void* data = nullptr;
  std::ptrdiff_t rowBytes = 0;  // may exceed width x pixel size, and may be negative
  std::int32_t width = 0;
  std::int32_t height = 0;
  PixelDepth depth = PixelDepth::Eight;

  template <typename Pixel>
  Pixel* row(std::int32_t y) const {
    return reinterpret_cast<Pixel*>(static_cast<unsigned char*>(data) +
                                    static_cast<std::ptrdiff_t>(y) * rowBytes);
  }
  template <typename Pixel>
  Pixel& at(std::int32_t x, std::int32_t y) const {
    return row<Pixel>(y)[x];
  }
  // A row must hold `width` pixels, or the view does not describe real pixels and none may be touched.
  template <typename Pixel>
  bool rowsHoldWidth() const {
    const auto bytes = static_cast<std::uint64_t>(rowBytes < 0 ? -rowBytes : rowBytes);
    return width <= 0 || bytes / sizeof(Pixel) >= static_cast<std::uint64_t>(width);
  }
  // Coordinates come in unsigned so that a negative one, wrapped, lies outside as well.
  bool contains(std::uint64_t x, std::uint64_t y) const {
    return width > 0 && height > 0 && x < static_cast<std::uint64_t>(width) &&
           y < static_cast<std::uint64_t>(height);
  }
};

template <typename Pixel>
inline constexpr PixelDepth kDepthOf = sizeof(Pixel) == sizeof(Pixel8)    ? PixelDepth::Eight
                                       : sizeof(Pixel) == sizeof(Pixel16) ? PixelDepth::Sixteen
                                                                          : PixelDepth::ThirtyTwo;
