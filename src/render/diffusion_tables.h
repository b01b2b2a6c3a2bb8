// The eleven error-diffusion tables: where each share of a pixel's quantisation error goes, and how much.
// Each weight is written as its fraction; a float division of two small integers gives the float
// nearest to the fraction, also where the denominator is not a power of two.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

struct DiffusionEntry {
  int8_t dx;     // column of the receiving pixel, relative to the current one
  int8_t dy;     // row of the receiving pixel: 0 this row, 1 the next, 2 the one after
  float weight;  // share of the current pixel's error
};

inline constexpr std::array<DiffusionEntry, 4> kFloydSteinberg{{
    {1, 0, 7.0f / 16.0f},
    {-1, 1, 3.0f / 16.0f},
    {0, 1, 5.0f / 16.0f},
    {1, 1, 1.0f / 16.0f},
}};

inline constexpr std::array<DiffusionEntry, 3> kFalseFloydSteinberg{{
    {1, 0, 3.0f / 8.0f},
    {1, 1, 1.0f / 4.0f},
    {0, 1, 3.0f / 8.0f},
}};

// The next-row shares go two and one columns to the left; the pixel straight below gets none.
inline constexpr std::array<DiffusionEntry, 3> kFilterLite{{
    {1, 0, 1.0f / 2.0f},
    {-2, 1, 1.0f / 4.0f},
    {-1, 1, 1.0f / 4.0f},
}};

inline constexpr std::array<DiffusionEntry, 4> kZhigangFan{{
    {1, 0, 7.0f / 16.0f},
    {0, 1, 5.0f / 16.0f},
    {-1, 1, 3.0f / 16.0f},
    {-2, 1, 1.0f / 16.0f},
}};

inline constexpr std::array<DiffusionEntry, 4> kShiauFan{{
    {1, 0, 1.0f / 2.0f},
    {0, 1, 1.0f / 4.0f},
    {-1, 1, 1.0f / 8.0f},
    {-2, 1, 1.0f / 8.0f},
}};

inline constexpr std::array<DiffusionEntry, 12> kJarvisJudiceNinke{{
    {1, 0, 7.0f / 48.0f},
    {2, 0, 5.0f / 48.0f},
    {2, 1, 3.0f / 48.0f},
    {1, 1, 5.0f / 48.0f},
    {0, 1, 7.0f / 48.0f},
    {-1, 1, 5.0f / 48.0f},
    {-2, 1, 3.0f / 48.0f},
    {2, 2, 1.0f / 48.0f},
    {1, 2, 3.0f / 48.0f},
    {0, 2, 5.0f / 48.0f},
    {-1, 2, 3.0f / 48.0f},
    {-2, 2, 1.0f / 48.0f},
}};

inline constexpr std::array<DiffusionEntry, 12> kStucki{{
    {1, 0, 8.0f / 42.0f},
    {2, 0, 4.0f / 42.0f},
    {2, 1, 2.0f / 42.0f},
    {1, 1, 4.0f / 42.0f},
    {0, 1, 8.0f / 42.0f},
    {-1, 1, 4.0f / 42.0f},
    {-2, 1, 2.0f / 42.0f},
    {2, 2, 1.0f / 42.0f},
    {1, 2, 2.0f / 42.0f},
    {0, 2, 4.0f / 42.0f},
    {-1, 2, 2.0f / 42.0f},
    {-2, 2, 1.0f / 42.0f},
}};

inline constexpr std::array<DiffusionEntry, 7> kBurkes{{
    {1, 0, 8.0f / 32.0f},
    {2, 0, 4.0f / 32.0f},
    {2, 1, 2.0f / 32.0f},
    {1, 1, 4.0f / 32.0f},
    {0, 1, 8.0f / 32.0f},
    {-1, 1, 4.0f / 32.0f},
    {-2, 1, 2.0f / 32.0f},
}};

inline constexpr std::array<DiffusionEntry, 10> kSierra{{
    {1, 0, 5.0f / 32.0f},
    {2, 0, 3.0f / 32.0f},
    {2, 1, 2.0f / 32.0f},
    {1, 1, 4.0f / 32.0f},
    {0, 1, 5.0f / 32.0f},
    {-1, 1, 4.0f / 32.0f},
    {-2, 1, 2.0f / 32.0f},
    {1, 2, 2.0f / 32.0f},
    {0, 2, 3.0f / 32.0f},
    {-1, 2, 2.0f / 32.0f},
}};

inline constexpr std::array<DiffusionEntry, 7> kTwoRowSierra{{
    {1, 0, 4.0f / 16.0f},
    {2, 0, 3.0f / 16.0f},
    {2, 1, 1.0f / 16.0f},
    {1, 1, 2.0f / 16.0f},
    {0, 1, 3.0f / 16.0f},
    {-1, 1, 2.0f / 16.0f},
    {-2, 1, 1.0f / 16.0f},
}};

// Six eighths: a quarter of every pixel's error is deliberately dropped.
inline constexpr std::array<DiffusionEntry, 6> kAtkinson{{
    {1, 0, 1.0f / 8.0f},
    {2, 0, 1.0f / 8.0f},
    {1, 1, 1.0f / 8.0f},
    {0, 1, 1.0f / 8.0f},
    {-1, 1, 1.0f / 8.0f},
    {0, 2, 1.0f / 8.0f},
}};

// The diffusion pass visits each pixel once in scan order, so a share must go to a pixel not yet visited,
// and a receiver named twice would make the result depend on the order of the entries.
template <std::size_t N>
constexpr bool SharesGoForwardToDistinctPixels(const std::array<DiffusionEntry, N>& table) {
  for (std::size_t i = 0; i < N; ++i) {
    const DiffusionEntry& e = table[i];
    if (e.dy < 0 || e.dy > 2 || (e.dy == 0 && e.dx < 1) || !(e.weight > 0.0f)) return false;
    for (std::size_t j = 0; j < i; ++j) {
      if (table[j].dx == e.dx && table[j].dy == e.dy) return false;
    }
  }
  return N >= 3 && N <= 12;
}

static_assert(SharesGoForwardToDistinctPixels(kFloydSteinberg));
static_assert(SharesGoForwardToDistinctPixels(kFalseFloydSteinberg));
static_assert(SharesGoForwardToDistinctPixels(kFilterLite));
static_assert(SharesGoForwardToDistinctPixels(kZhigangFan));
static_assert(SharesGoForwardToDistinctPixels(kShiauFan));
static_assert(SharesGoForwardToDistinctPixels(kJarvisJudiceNinke));
static_assert(SharesGoForwardToDistinctPixels(kStucki));
static_assert(SharesGoForwardToDistinctPixels(kBurkes));
static_assert(SharesGoForwardToDistinctPixels(kSierra));
static_assert(SharesGoForwardToDistinctPixels(kTwoRowSierra));
static_assert(SharesGoForwardToDistinctPixels(kAtkinson));

// Every table, for code that is built once for each of them. (clang-format reflows such a list
// differently on each pass, so it is kept as written.)
// clang-format off
#define PALETTRIX_DIFFUSION_TABLES(X)                                                                   \
  X(kFloydSteinberg) X(kFalseFloydSteinberg) X(kFilterLite) X(kZhigangFan) X(kShiauFan)                 \
  X(kJarvisJudiceNinke) X(kStucki) X(kBurkes) X(kSierra) X(kTwoRowSierra) X(kAtkinson)
// clang-format on

namespace diffusion {

// How far a table reaches: the widest column offset, and the most rows down.
template <std::size_t N>
constexpr int Reach(const std::array<DiffusionEntry, N>& table) {
  int reach = 0;
  for (const DiffusionEntry& e : table) reach = e.dx < -reach ? -e.dx : e.dx > reach ? e.dx : reach;
  return reach;
}
template <std::size_t N>
constexpr int RowsDown(const std::array<DiffusionEntry, N>& table) {
  int rows = 0;
  for (const DiffusionEntry& e : table) rows = e.dy > rows ? e.dy : rows;
  return rows;
}

// The weight of the share to (dx, dy), or 0 when the table has none.
template <std::size_t N>
constexpr float ShareTo(const std::array<DiffusionEntry, N>& table, int dx, int dy) {
  for (const DiffusionEntry& e : table) {
    if (e.dx == dx && e.dy == dy) return e.weight;
  }
  return 0.0f;
}

// How far each row trails the one above when several rows are walked at once, a step taking one column of
// each: far enough that a row has given every share it gives to an entry before the row below gives one,
// and that an entry is complete from above when its row reads it two columns early.
template <std::size_t N>
constexpr int BandLag(const std::array<DiffusionEntry, N>& table) {
  return 2 * Reach(table) + 1;
}

}  // namespace diffusion
