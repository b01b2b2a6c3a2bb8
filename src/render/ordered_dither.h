// Ordered dithering: each pixel takes the colour of its scale x scale block's top-left pixel, biased by
// the matrix cell at its pattern position, then goes to the palette.
#pragma once

#include <cstdint>

#include "render/dither_matrices.h"
#include "render/pixel_kernel.h"
#include "render/world_pixel.h"

// Into 0..1, lower bound first so that a NaN channel becomes 0.
inline float ClampToUnit(float value) {
  const float floored = value > 0.0f ? value : 0.0f;
  return floored < 1.0f ? floored : 1.0f;
}

// The source pixel handed over is not used: the colour comes from the block origin in the input world,
// which is read only where it lies inside that world (a host may iterate over a larger output).
template <typename Pixel, const DitherMatrix& kMatrix>
PF_Err OrderedDitherPixel(void* refcon, A_long x, A_long y, Pixel* /*in*/, Pixel* out) {
  const auto& settings = *static_cast<const RenderSettings*>(refcon);
  const auto scale = static_cast<uint64_t>(settings.scale);
  const uint64_t blockX = static_cast<uint64_t>(x) / scale * scale;
  const uint64_t blockY = static_cast<uint64_t>(y) / scale * scale;
  if (!InsideWorld(*settings.input, blockX, blockY)) return PF_Err_NONE;
  const Pixel& origin =
      WorldPixel<Pixel>(*settings.input, static_cast<A_long>(blockX), static_cast<A_long>(blockY));

  // The offset sums wrap in 32 bits and are divided as unsigned numbers: left of or above 0 the tiling
  // does not continue as floor division would.
  const uint64_t column = (static_cast<uint32_t>(x) + static_cast<uint32_t>(settings.offsetX)) / scale;
  const uint64_t row = (static_cast<uint32_t>(y) + static_cast<uint32_t>(settings.offsetY)) / scale;
  const uint8_t cell = kMatrix.cells[(row % kMatrix.rows) * kMatrix.columns + column % kMatrix.columns];
  const float bias = static_cast<float>(cell) / kMatrix.divisor - 0.5f;

  const Color3 biased = bias * settings.threshold + PixelToColor(origin);
  const Color3 clamped(ClampToUnit(biased.r), ClampToUnit(biased.g), ClampToUnit(biased.b));
  Color3 q;
  StoreColor(*out, Quantize(q, clamped, settings), origin.alpha);
  return PF_Err_NONE;
}

template <const DitherMatrix& kMatrix>
inline constexpr PF_IteratePixel8Func OrderedDitherPixel8 = OrderedDitherPixel<PF_Pixel8, kMatrix>;
template <const DitherMatrix& kMatrix>
inline constexpr PF_IteratePixel16Func OrderedDitherPixel16 = OrderedDitherPixel<PF_Pixel16, kMatrix>;

template <typename Pixel, const DitherMatrix& kMatrix>
PF_Err OrderedDither(PF_EffectWorld* input, PF_EffectWorld* output, RenderSettings& settings) {
  // A scale below 1 would divide by zero in every pixel; settled once for the frame.
  if (settings.scale < 1) settings.scale = 1;
  return RunPixelKernel<Pixel, OrderedDitherPixel<Pixel, kMatrix>>(input, output, settings);
}
