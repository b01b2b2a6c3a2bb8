// The fast rows of the threshold and ordered kernels: pixels converted, biased, clamped, quantised and
// stored several at a time, built once for each instruction set. Each gives the bytes the plain per-pixel
// definitions give.
#pragma once

#include <cstdint>

#include "palette/color.h"
#include "palette/palette.h"
#include "render/isa.h"

struct RowJob {
  const Palette* palette = nullptr;
  // For the nearest-colour rule: each of the search's colours as a pixel of this depth with alpha 0.
  const void* colorPixels = nullptr;
  // Each cell of the search's unit grid as the pixel of the colour that answers it, or with alpha all ones
  // and the cell in the colour bits.
  const void* cellPixels = nullptr;
  // Room the nearest-colour rule works in: kScratchRows rows of count + kScratchSlack 32-bit words.
  std::uint32_t* scratch = nullptr;
  Color3 threshold{0.0f, 0.0f, 0.0f};
  const float* bias = nullptr;  // one bias a pixel for the ordered patterns; null for "Threshold"
  const void* in = nullptr;     // the source pixels, one for each output pixel
  void* out = nullptr;
  std::int32_t count = 0;
};

inline constexpr std::size_t kScratchRows = 5;
inline constexpr std::size_t kScratchSlack = 16;  // a whole chunk of the widest instruction set

using RowFunction = void (*)(const RowJob& job);

struct FastRows {
  RowFunction row8;
  RowFunction row16;
};

const FastRows& FastRowsFor(Isa isa);

// One instruction set's rows, in a namespace of its own; each is built from fast_rows.inc with its flags.
#define PALETTRIX_DECLARE_ROWS(ns) \
  namespace ns {                   \
  void Row8(const RowJob& job);    \
  void Row16(const RowJob& job);   \
  }
PALETTRIX_DECLARE_ROWS(rows_scalar)
PALETTRIX_DECLARE_ROWS(rows_sse4)
PALETTRIX_DECLARE_ROWS(rows_avx2)
PALETTRIX_DECLARE_ROWS(rows_avx512)
#undef PALETTRIX_DECLARE_ROWS
