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
  // Where pixel (0, 0) lies in the layer. Threshold and ordered kernels place the pattern, the blocks and
  // the input's pixels by layer position, so any part of a frame renders as the same part of the whole;
  // error diffusion takes both views as one frame starting at its first pixel and ignores them.
  std::int32_t originX = 0;
  std::int32_t originY = 0;

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

// The first position of the block that holds `position`: blocks of `size` tile the layer from position 0,
// also left of and above it (floor division).
inline std::int64_t BlockOrigin(std::int64_t position, std::uint64_t size) {
  const auto s = static_cast<std::int64_t>(size);
  const std::int64_t q = position / s;
  return (q - (position % s < 0 ? 1 : 0)) * s;
}

// The layer span [first, end) of one axis that a threshold or ordered kernel writes: positions the output
// and the input both have whose block starts inside the input. A block that starts before the input's
// first pixel stays clear; one that runs past its last is cut off there, as the frame's edge cuts it.
struct Span {
  std::int64_t first = 0;
  std::int64_t end = 0;
};
inline Span WrittenSpan(std::int64_t outFirst, std::int64_t outCount, std::int64_t inFirst,
                        std::int64_t inCount, std::uint64_t block) {
  const std::int64_t firstBlock = BlockOrigin(inFirst, block) < inFirst
                                      ? BlockOrigin(inFirst, block) + static_cast<std::int64_t>(block)
                                      : inFirst;
  Span span{outFirst > firstBlock ? outFirst : firstBlock,
            outFirst + outCount < inFirst + inCount ? outFirst + outCount : inFirst + inCount};
  if (span.end < span.first) span.end = span.first;
  return span;
}

template <typename Pixel>
inline constexpr PixelDepth kDepthOf = sizeof(Pixel) == sizeof(Pixel8)    ? PixelDepth::Eight
                                       : sizeof(Pixel) == sizeof(Pixel16) ? PixelDepth::Sixteen
                                                                          : PixelDepth::ThirtyTwo;
