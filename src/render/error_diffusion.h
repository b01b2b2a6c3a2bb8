// Error diffusion: the input is loaded into a float work buffer through the host's pixel iteration, then
// walked in scan order, each pixel's quantisation error handed on to pixels not yet visited.
#pragma once

#include <cstddef>
#include <cstdint>

#include "render/diffusion_tables.h"
#include "render/pixel_kernel.h"
#include "render/work_buffer.h"
#include "render/world_pixel.h"

// Fill pass: the pixel's colour into its entry, unless it is transparent (its entry stays black). A host
// may hand over pixels beyond the input world, which have no entry.
template <typename Pixel>
PF_Err FillWorkBuffer(void* refcon, A_long x, A_long y, Pixel* in, Pixel* /*out*/) {
  auto& settings = *static_cast<RenderSettings*>(refcon);
  const PF_EffectWorld& input = *settings.input;
  if (in->alpha == 0 || !InsideWorld(input, static_cast<uint64_t>(x), static_cast<uint64_t>(y))) {
    return PF_Err_NONE;
  }
  const std::size_t index =
      static_cast<std::size_t>(y) * static_cast<std::size_t>(input.width) + static_cast<std::size_t>(x);
  settings.scratch[index] = PixelToColor(*in);
  return PF_Err_NONE;
}

inline constexpr PF_IteratePixel8Func FillWorkBuffer8 = FillWorkBuffer<PF_Pixel8>;
inline constexpr PF_IteratePixel16Func FillWorkBuffer16 = FillWorkBuffer<PF_Pixel16>;

// One kernel per diffusion table and depth. The work buffer covers the whole input world; output pixels
// are written only where the output world has them at this depth, so a smaller output or one of the other
// depth is never written past its end.
template <typename Pixel, const auto& kTable>
PF_Err DiffuseError(PF_EffectWorld* input, PF_EffectWorld* output, RenderSettings& settings) {
  const A_long width = input->width;
  const A_long height = input->height;
  settings.scratch = NewWorkBuffer(WorkBufferEntries(width, height));

  // An interrupted fill is not an error here: entries it did not reach stay black and the frame is still
  // diffused whole.
  const PF_Err fillResult = RunPixelKernel<Pixel, FillWorkBuffer<Pixel>>(input, output, settings);

  Color3* const buffer = settings.scratch.get();
  const bool writable = HoldsPixels<Pixel>(*output);
  const auto columns = static_cast<uint64_t>(width);
  const auto rows = static_cast<uint64_t>(height);
  for (A_long y = 0; y < height; ++y) {
    const bool rowInOutput = writable && y < output->height;
    for (A_long x = 0; x < width; ++x) {
      const Color3 c = buffer[static_cast<uint64_t>(y) * columns + static_cast<uint64_t>(x)];
      Color3 q;
      Quantize(q, c, settings);
      if (rowInOutput && x < output->width) {
        StoreColor(WorldPixel<Pixel>(*output, x, y), q, WorldPixel<Pixel>(*input, x, y).alpha);
      }
      // From the palette colour as quantised, not from the channels just stored.
      const Color3 error = c - q;
      for (const DiffusionEntry& share : kTable) {
        // A sum left of column 0 wraps far beyond the width, so one unsigned test per axis suffices.
        const auto tx = static_cast<uint64_t>(int64_t{x} + share.dx);
        const auto ty = static_cast<uint64_t>(int64_t{y} + share.dy);
        if (tx < columns && ty < rows) buffer[ty * columns + tx] += error * share.weight;
      }
    }
  }
  settings.scratch.reset();
  return fillResult;
}
