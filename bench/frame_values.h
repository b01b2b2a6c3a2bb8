// What the benchmarks' frame and 256-colour custom palette hold, in bytes, for every suite to build them
// from: the host suites as minihost worlds and a saved custom palette (bench_frame.h), rows_bench as plain
// pixels and colours.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "support/seeded_generator.h"

namespace bench {

struct Bytes3 {
  unsigned r, g, b;
};

// The frame's pixels in scan order: red follows x, green follows y, blue runs diagonally with a little
// seeded noise. Call once for each pixel, row by row.
class FrameBytes {
 public:
  FrameBytes(std::int32_t width, std::int32_t height) : width_(width), height_(height) {}
  Bytes3 next(std::int32_t x, std::int32_t y) {
    return {static_cast<unsigned>(x * 255 / width_), static_cast<unsigned>(y * 255 / height_),
            (static_cast<unsigned>(x + y) / 4 + (noise_.next() >> 28)) & 255u};
  }

 private:
  std::int32_t width_, height_;
  palettrix_test::SeededGenerator noise_{12345};
};

// Colour i of the custom palette of up to 256 colours, spread over the RGB cube by fixed strides, as a large
// swatch file would; each channel a byte value k stands for k / 255.
inline Bytes3 StrideColorBytes(std::uint32_t i) { return {i * 37 % 256, i * 91 % 256, i * 173 % 256}; }

// The benchmarks' frame as the kernels see pixels (alpha, red, green, blue): opaque, 8-bit values scaled
// to the host's 16-bit range for 16-bit pixels, and to byte / 255 for float pixels.
template <typename Pixel>
std::vector<Pixel> KernelFrame(std::int32_t width, std::int32_t height) {
  using Channel = decltype(Pixel{}.red);
  constexpr bool kFloat = sizeof(Pixel) == 16;
  constexpr unsigned kScale = sizeof(Pixel) == 4 ? 1 : 128;
  constexpr unsigned kOpaque = sizeof(Pixel) == 4 ? 255 : 32768;
  const auto channel = [](unsigned value) {
    if constexpr (kFloat) return static_cast<float>(value) / 255.0f;
    return static_cast<Channel>(value * kScale);
  };
  std::vector<Pixel> frame;
  frame.reserve(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
  FrameBytes bytes(width, height);
  for (std::int32_t y = 0; y < height; ++y) {
    for (std::int32_t x = 0; x < width; ++x) {
      const auto [r, g, b] = bytes.next(x, y);
      frame.push_back(
          {kFloat ? Channel(1) : static_cast<Channel>(kOpaque), channel(r), channel(g), channel(b)});
    }
  }
  return frame;
}

}  // namespace bench
