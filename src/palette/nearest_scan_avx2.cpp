// The tree's 8-lane scans; built with AVX2's flags. Everything defined here lies in namespace nearest_avx2,
// and it uses nothing but the compiler's builtins, so that no shared inline function is built with these
// flags.
#include "palette/nearest_scan_avx2.h"

namespace nearest_avx2 {
namespace {

typedef float F8 __attribute__((vector_size(32)));
typedef std::int32_t I8 __attribute__((vector_size(32)));
typedef float F4 __attribute__((vector_size(16)));
typedef std::int32_t I4 __attribute__((vector_size(16)));

constexpr float kFloatMax = 3.40282347e38f;
constexpr std::uint64_t kNoKey = (static_cast<std::uint64_t>(0x7F7FFFFFu) << 32) | 0xFFFFFFFFu;

// Four lanes of `a` then four of `b`, from two 16-byte loads.
template <typename Whole, typename Four>
inline Whole Join(const void* a, const void* b) {
  Four x, y;
  __builtin_memcpy(&x, a, sizeof x);
  __builtin_memcpy(&y, b, sizeof y);
  return __builtin_shufflevector(x, y, 0, 1, 2, 3, 4, 5, 6, 7);
}

// The least over 8 lanes of (distance bits << 32 | index), kNoKey for lanes that took nothing.
inline std::uint64_t KeyOfLanes(const F8& best, const I8& found) {
  std::uint64_t key = kNoKey;
  for (int lane = 0; lane < 8; ++lane) {
    const std::uint64_t laneKey =
        (static_cast<std::uint64_t>(__builtin_bit_cast(std::uint32_t, best[lane])) << 32) |
        static_cast<std::uint32_t>(found[lane]);
    key = laneKey < key ? laneKey : key;
  }
  return key;
}

// Each lane keeps the least of its distances and the first colour at it: with `anyOrder`, an equal distance
// is taken when its colour comes earlier in the palette; without, lanes meet their colours in palette order
// and keep the first strictly smaller distance. A distance of NaN, or not below the largest float, is never
// taken. Blocks k and k + 1 go side by side, in two sets of lanes (blocks 0-1, 4-5, ... and 2-3, 6-7, ...)
// whose chains of comparisons do not wait on each other; an odd last block is read twice, which changes
// nothing (its colour, at its own index, is neither nearer nor earlier than itself).
template <bool kAnyOrder>
std::uint64_t Scan(const NearestGrids::Block* blocks, std::uint32_t count, float r, float g, float b) {
  const F8 vr = F8{} + r, vg = F8{} + g, vb = F8{} + b;
  F8 best[2] = {F8{} + kFloatMax, F8{} + kFloatMax};
  I8 found[2] = {I8{} - 1, I8{} - 1};
  const auto take = [&](const NearestGrids::Block& x, const NearestGrids::Block& y, int set) {
    const F8 dr = Join<F8, F4>(x.r, y.r) - vr;
    const F8 dg = Join<F8, F4>(x.g, y.g) - vg;
    const F8 db = Join<F8, F4>(x.b, y.b) - vb;
    const I8 index = Join<I8, I4>(x.index, y.index);
    const F8 distance = (dr * dr + dg * dg) + db * db;
    I8 nearer = distance < best[set];
    if constexpr (kAnyOrder) nearer |= (distance == best[set]) & (index < found[set]);
    best[set] = nearer ? distance : best[set];
    found[set] = nearer ? index : found[set];
  };
  std::uint32_t k = 0;
  for (; k + 4 <= count; k += 4) {
    take(blocks[k], blocks[k + 1], 0);
    take(blocks[k + 2], blocks[k + 3], 1);
  }
  for (; k + 2 <= count; k += 2) take(blocks[k], blocks[k + 1], 0);
  if (k < count) take(blocks[k], blocks[k], 1);
  // Merged by the key's own order, which for either rule is the order of the answers.
  const std::uint64_t first = KeyOfLanes(best[0], found[0]);
  const std::uint64_t second = KeyOfLanes(best[1], found[1]);
  return second < first ? second : first;
}

}  // namespace

std::uint64_t LeastKey(const NearestGrids::Block* blocks, std::uint32_t count, float r, float g, float b) {
  return Scan<false>(blocks, count, r, g, b);
}

std::uint64_t LeastKeyAnyOrder(const NearestGrids::Block* blocks, std::uint32_t count, float r, float g,
                               float b) {
  return Scan<true>(blocks, count, r, g, b);
}

}  // namespace nearest_avx2
