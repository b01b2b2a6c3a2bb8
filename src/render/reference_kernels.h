// The reference per-pixel definitions of the three kernel families: one pixel at a time, on one thread, the
// palette searched by a scan of its colours. They are what the fast kernels must reproduce byte for byte,
// and they stay in the library as the path anything can fall back to.
#pragma once

#include <cstdint>

#include "render/diffusion_tables.h"
#include "render/dither_matrices.h"
#include "render/frame_description.h"
#include "render/image_view.h"
#include "render/pixel_convert.h"

namespace reference {

// Threshold and ordered kernels cover the pixels the input and the output both have; pixels of a world
// whose depth differs from the input's are never written.
template <typename Pixel = Pixel8>
bool Renderable(const ImageView& input, const ImageView& output) {
  return input.depth == output.depth && input.rowsHoldWidth<Pixel>() && output.rowsHoldWidth<Pixel>();
}

// "Threshold": the pixel straight to the palette, no bias and no carried error.
template <typename Pixel>
void ThresholdPixel(const FrameDescription& frame, const Pixel& in, Pixel& out) {
  Color3 q;
  StoreColor(out, QuantizeReference(frame.palette, q, PixelToColor(in)), in.alpha);
}

// Ordered, at layer position (x, y): the colour of the scale x scale block's top-left pixel, biased by the
// matrix cell at the pixel's pattern position, clamped to 0..1, then to the palette. Blocks tile the layer
// from position 0; a pixel outside the input, or whose block starts outside it, is left as it is.
template <typename Pixel>
void OrderedDitherPixel(const FrameDescription& frame, const DitherMatrix& matrix, const ImageView& input,
                        std::int32_t x, std::int32_t y, Pixel& out) {
  const auto scale = static_cast<std::uint64_t>(frame.scale < 1 ? 1 : frame.scale);
  const std::int64_t blockX = BlockOrigin(x, scale) - input.originX;
  const std::int64_t blockY = BlockOrigin(y, scale) - input.originY;
  if (!input.contains(static_cast<std::uint64_t>(blockX), static_cast<std::uint64_t>(blockY)) ||
      !input.contains(static_cast<std::uint64_t>(std::int64_t{x} - input.originX),
                      static_cast<std::uint64_t>(std::int64_t{y} - input.originY)))
    return;
  const Pixel& origin = input.at<Pixel>(static_cast<std::int32_t>(blockX), static_cast<std::int32_t>(blockY));

  // The offset sums wrap in 32 bits and are divided as unsigned numbers: left of or above 0 the tiling
  // does not continue as floor division would.
  const std::uint64_t column =
      (static_cast<std::uint32_t>(x) + static_cast<std::uint32_t>(frame.offsetX)) / scale;
  const std::uint64_t row =
      (static_cast<std::uint32_t>(y) + static_cast<std::uint32_t>(frame.offsetY)) / scale;
  const std::uint8_t cell = matrix.cells[(row % matrix.rows) * matrix.columns + column % matrix.columns];
  const float bias = static_cast<float>(cell) / matrix.divisor - 0.5f;

  const Color3 clamped = BiasAndClamp(bias, frame.threshold, PixelToColor(origin));
  Color3 q;
  StoreColor(out, QuantizeReference(frame.palette, q, clamped), origin.alpha);
}

// Every output pixel by its layer position; pixels the input does not have stay as they are.
template <typename Pixel>
void Threshold(const FrameDescription& frame, const ImageView& input, const ImageView& output) {
  if (!Renderable<Pixel>(input, output)) return;
  for (std::int32_t v = 0; v < output.height; ++v) {
    for (std::int32_t u = 0; u < output.width; ++u) {
      const std::int64_t x = std::int64_t{output.originX} + u - input.originX;
      const std::int64_t y = std::int64_t{output.originY} + v - input.originY;
      if (!input.contains(static_cast<std::uint64_t>(x), static_cast<std::uint64_t>(y))) continue;
      ThresholdPixel(frame, input.at<Pixel>(static_cast<std::int32_t>(x), static_cast<std::int32_t>(y)),
                     output.at<Pixel>(u, v));
    }
  }
}

template <typename Pixel>
void OrderedDither(const FrameDescription& frame, const DitherMatrix& matrix, const ImageView& input,
                   const ImageView& output) {
  if (!Renderable<Pixel>(input, output)) return;
  for (std::int32_t v = 0; v < output.height; ++v) {
    for (std::int32_t u = 0; u < output.width; ++u) {
      OrderedDitherPixel(frame, matrix, input, static_cast<std::int32_t>(std::int64_t{output.originX} + u),
                         static_cast<std::int32_t>(std::int64_t{output.originY} + v), output.at<Pixel>(u, v));
    }
  }
}

// Error diffusion over a work buffer of the whole input frame, walked in scan order: each pixel's colour
// plus the error it has received goes to the palette, and the difference is handed on to pixels not yet
// visited. Output pixels are written where the output has them. Throws std::bad_alloc when the buffer
// cannot be had.
template <typename Pixel>
void DiffuseError(const FrameDescription& frame, std::span<const DiffusionEntry> table,
                  const ImageView& input, const ImageView& output);

}  // namespace reference
