// The fourteen ordered-dither matrices. A cell of value v biases a colour by v / divisor - 0.5.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

struct DitherMatrix {
  uint32_t columns;                // horizontal period, in cells
  uint32_t rows;                   // vertical period, in cells
  float divisor;                   // what cell values are divided by
  std::span<const uint8_t> cells;  // row by row: column c of row r is element r * columns + c
};

// clang-format off
inline constexpr uint8_t kBayer2x2Cells[] = {
    1, 3,  //
    4, 2,
};

inline constexpr uint8_t kBayer3x3Cells[] = {
    1, 8, 4,  //
    7, 6, 3,  //
    5, 2, 9,
};

// Holds 0 to 14 over 15: its bias runs from -0.5 to below +0.5.
inline constexpr uint8_t kBayer5x3Cells[] = {
    0,  12, 7,  3,  9,   //
    14, 8,  1,  5,  11,  //
    6,  4,  10, 13, 2,
};

inline constexpr uint8_t kBayer4x4Cells[] = {
    1,  9,  3,  11,  //
    13, 5,  15, 7,   //
    4,  12, 2,  10,  //
    16, 8,  14, 6,
};

inline constexpr uint8_t kBayer8x8Cells[] = {
    1,  49, 13, 61, 4,  52, 16, 64,  //
    33, 17, 45, 29, 36, 20, 48, 32,  //
    9,  57, 5,  53, 12, 60, 8,  56,  //
    41, 25, 37, 21, 44, 28, 40, 24,  //
    3,  51, 15, 63, 2,  50, 14, 62,  //
    35, 19, 47, 31, 34, 18, 46, 30,  //
    11, 59, 7,  55, 10, 58, 6,  54,  //
    43, 27, 39, 23, 42, 26, 38, 22,
};

inline constexpr uint8_t kClusterDot4x4Cells[] = {
    13, 6,  7,  14,  //
    5,  1,  2,  8,   //
    12, 4,  3,  9,   //
    16, 11, 10, 15,
};

inline constexpr uint8_t kClusterDot8x8Cells[] = {
    25, 11, 13, 27, 36, 48, 50, 38,  //
    9,  1,  3,  15, 46, 60, 62, 52,  //
    23, 7,  5,  17, 44, 58, 64, 54,  //
    31, 21, 19, 29, 34, 42, 56, 40,  //
    35, 47, 49, 37, 26, 12, 14, 28,  //
    45, 59, 61, 51, 10, 2,  4,  16,  //
    43, 57, 63, 53, 24, 8,  6,  18,  //
    33, 41, 55, 39, 32, 22, 20, 30,
};

inline constexpr uint8_t kHorizontal2x2Cells[] = {
    1, 1,  //
    2, 2,
};

// One line of eight values, 0 to 7 over 8: a column of "Horizontal 8x1", a row of "Vertical 1x8".
inline constexpr uint8_t kEightLineCells[] = {0, 4, 2, 6, 1, 5, 3, 7};

inline constexpr uint8_t kHorizontal12x4Cells[] = {
    7, 8, 8, 8, 8, 7, 6, 6, 5, 5, 5, 6,  //
    2, 1, 1, 1, 1, 2, 3, 4, 4, 4, 3, 3,  //
    6, 6, 5, 5, 5, 6, 7, 8, 8, 8, 8, 7,  //
    3, 4, 4, 4, 3, 3, 2, 1, 1, 1, 1, 2,
};

inline constexpr uint8_t kVertical2x2Cells[] = {
    1, 2,  //
    1, 2,
};

// "Horizontal 12x4" with rows and columns exchanged.
inline constexpr uint8_t kVertical4x12Cells[] = {
    7, 2, 6, 3,  //
    8, 1, 6, 4,  //
    8, 1, 5, 4,  //
    8, 1, 5, 4,  //
    8, 1, 5, 3,  //
    7, 2, 6, 3,  //
    6, 3, 7, 2,  //
    6, 4, 8, 1,  //
    5, 4, 8, 1,  //
    5, 4, 8, 1,  //
    5, 3, 8, 1,  //
    6, 3, 7, 2,
};

inline constexpr uint8_t kDiagonal5x5Cells[] = {
    4, 2, 1, 3, 5,  //
    2, 1, 3, 5, 4,  //
    1, 3, 5, 4, 2,  //
    3, 5, 4, 2, 1,  //
    5, 4, 2, 1, 3,
};

// clang-format on

inline constexpr DitherMatrix kBayer2x2{2, 2, 5.0f, kBayer2x2Cells};
inline constexpr DitherMatrix kBayer3x3{3, 3, 10.0f, kBayer3x3Cells};
inline constexpr DitherMatrix kBayer5x3{5, 3, 15.0f, kBayer5x3Cells};
inline constexpr DitherMatrix kBayer4x4{4, 4, 17.0f, kBayer4x4Cells};
inline constexpr DitherMatrix kBayer8x8{8, 8, 65.0f, kBayer8x8Cells};
inline constexpr DitherMatrix kClusterDot4x4{4, 4, 17.0f, kClusterDot4x4Cells};
inline constexpr DitherMatrix kClusterDot8x8{8, 8, 65.0f, kClusterDot8x8Cells};
inline constexpr DitherMatrix kHorizontal2x2{2, 2, 3.0f, kHorizontal2x2Cells};
inline constexpr DitherMatrix kHorizontal8x1{1, 8, 8.0f, kEightLineCells};
inline constexpr DitherMatrix kHorizontal12x4{12, 4, 9.0f, kHorizontal12x4Cells};
inline constexpr DitherMatrix kVertical2x2{2, 2, 3.0f, kVertical2x2Cells};
inline constexpr DitherMatrix kVertical1x8{8, 1, 8.0f, kEightLineCells};
inline constexpr DitherMatrix kVertical4x12{4, 12, 9.0f, kVertical4x12Cells};
inline constexpr DitherMatrix kDiagonal5x5{5, 5, 6.0f, kDiagonal5x5Cells};

// A cell is found by remainders of the period, so every cell the sizes promise must exist.
constexpr bool CellsFillThePeriod(const DitherMatrix& m) {
  return m.columns >= 1 && m.columns <= 12 && m.rows >= 1 && m.rows <= 12 &&
         m.cells.size() == std::size_t{m.columns} * m.rows && m.divisor > 0.0f;
}

static_assert(CellsFillThePeriod(kBayer2x2));
static_assert(CellsFillThePeriod(kBayer3x3));
static_assert(CellsFillThePeriod(kBayer5x3));
static_assert(CellsFillThePeriod(kBayer4x4));
static_assert(CellsFillThePeriod(kBayer8x8));
static_assert(CellsFillThePeriod(kClusterDot4x4));
static_assert(CellsFillThePeriod(kClusterDot8x8));
static_assert(CellsFillThePeriod(kHorizontal2x2));
static_assert(CellsFillThePeriod(kHorizontal8x1));
static_assert(CellsFillThePeriod(kHorizontal12x4));
static_assert(CellsFillThePeriod(kVertical2x2));
static_assert(CellsFillThePeriod(kVertical1x8));
static_assert(CellsFillThePeriod(kVertical4x12));
static_assert(CellsFillThePeriod(kDiagonal5x5));
