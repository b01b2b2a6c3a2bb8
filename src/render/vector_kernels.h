// The kernels built once for each instruction set: the rows of the threshold and ordered patterns (pixels
// converted, biased, clamped, quantised and stored several at a time) and the bands of error diffusion (a
// row in each lane). Each gives the bytes the reference per-pixel definitions give.
#pragma once

#include <cstdint>

#include "palette/color.h"
#include "palette/palette.h"
#include "render/diffusion_tables.h"
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

// The entries of the first two rows of a band of error diffusion, kept for the band above to add its shares
// to: entry i holds, in place k, row k's entry of column i - k * lag.
struct SpillEntry {
  float r[2];
  float g[2];
  float b[2];
};

// One band of error diffusion: as many rows as the instruction set's vectors have lanes, walked together.
struct BandJob {
  const Palette* palette = nullptr;
  const unsigned char* in = nullptr;  // the band's first input row
  std::ptrdiff_t inRowBytes = 0;
  unsigned char* out = nullptr;  // the band's first output row
  std::ptrdiff_t outRowBytes = 0;
  std::int32_t outRows = 0;             // output rows from the band's first on; none when 0 or less
  std::int32_t outWidth = 0;            // output columns
  std::int32_t width = 0;               // input columns, below 2^26; the rows less than 2^27 bytes apart
  std::int32_t rows = 0;                // input rows in the band, 1 to the lanes
  const SpillEntry* spillIn = nullptr;  // width + lag entries: this band's first rows
  SpillEntry* spillOut = nullptr;       // the same for the band below; null when there is none
  // Steps are counted from -2 (each row starts two columns early). waitAbove returns once the band above has
  // finished every step before `step`, or false when the frame is stopping (null for the first band);
  // publish says this band has finished every step before `step`.
  void* context = nullptr;
  bool (*waitAbove)(void* context, std::int64_t step) = nullptr;
  void (*publish)(void* context, std::int64_t step) = nullptr;
};

// Steps a band takes between looking at the band above and telling the band below.
inline constexpr std::int32_t kBandStride = 64;

using BandFunction = void (*)(const BandJob& job);

struct FastRows {
  RowFunction row8;
  RowFunction row16;
  RowFunction row32;  // float pixels
};

const FastRows& FastRowsFor(Isa isa);

// Each instruction set's kernels, in a namespace of its own: rows_scalar.cpp (the baseline build, what
// every CPU runs) and rows_sse4.cpp, rows_avx2.cpp and rows_avx512.cpp, each built with its set's flags
// from fast_rows.inc and, for the sets with bands, diffusion_bands.inc. Everything those files define lies
// in their namespace (the build checks it), so no code built with wider flags can stand in for a baseline
// function. Only the sets with 4 or 8 lanes have bands.
#define PALETTRIX_DECLARE_ROWS(ns) \
  namespace ns {                   \
  void Row8(const RowJob& job);    \
  void Row16(const RowJob& job);   \
  void Row32(const RowJob& job);   \
  template <const auto& kTable>    \
  void Band8(const BandJob& job);  \
  template <const auto& kTable>    \
  void Band16(const BandJob& job); \
  template <const auto& kTable>    \
  void Band32(const BandJob& job); \
  }
PALETTRIX_DECLARE_ROWS(isa_scalar)
PALETTRIX_DECLARE_ROWS(isa_sse4)
PALETTRIX_DECLARE_ROWS(isa_avx2)
PALETTRIX_DECLARE_ROWS(isa_avx512)
#undef PALETTRIX_DECLARE_ROWS
