// The scan both nearest-colour searches end in: a few blocks of four candidates, side by side on vector
// lanes, decided exactly as the linear NearestColor scan decides. Private to the palette library.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>

#include "palette/color.h"

namespace block_scan {

// Above every key of a colour taken, and -1 as an index: a colour is taken only at a distance below the
// largest float.
inline constexpr uint64_t kNoKey = (static_cast<uint64_t>(0x7F7FFFFFu) << 32) | 0xFFFFFFFFu;

// Four lanes of floats or ints: the compiler maps these onto the target's vector registers, and each lane
// rounds exactly like a scalar operation. A cast between the two reinterprets the bits.
using Lanes = float __attribute__((vector_size(16)));
using LaneInts = int32_t __attribute__((vector_size(16)));

template <typename Value, typename Vector>
inline Vector Load(const Value* from) {
  Vector lanes;
  std::memcpy(&lanes, from, sizeof lanes);
  return lanes;
}

// The least key (distance bits << 32 | index) among the candidates of `count` blocks, each block holding r,
// g, b and index arrays of four, unused lanes an infinite colour. Distances are computed exactly like
// NearestColor's, and each lane keeps the first of its strictly smaller ones, so with the candidates in
// palette order each lane holds the first of its own least distances; the answer is then the earliest
// colour among the lanes at the overall least, the least key. Kept distances are never negative or NaN, so
// their bit patterns order like their values; a lane that took nothing holds the largest float and -1, and
// gives kNoKey.
template <typename Block>
inline uint64_t LeastKey(const Block* blocks, std::size_t count, const Color3& in) {
  constexpr float kFloatMax = std::numeric_limits<float>::max();
  const Lanes r = {in.r, in.r, in.r, in.r};
  const Lanes g = {in.g, in.g, in.g, in.g};
  const Lanes b = {in.b, in.b, in.b, in.b};
  Lanes best = {kFloatMax, kFloatMax, kFloatMax, kFloatMax};
  LaneInts found = {-1, -1, -1, -1};
  for (std::size_t k = 0; k < count; ++k) {
    const Block& block = blocks[k];
    const Lanes dr = Load<float, Lanes>(block.r) - r;
    const Lanes dg = Load<float, Lanes>(block.g) - g;
    const Lanes db = Load<float, Lanes>(block.b) - b;
    const Lanes distance = (dr * dr + dg * dg) + db * db;
    // All ones where the distance is strictly smaller; a NaN distance compares false.
    const LaneInts take = distance < best;
    best = (Lanes)((take & (LaneInts)distance) | (~take & (LaneInts)best));
    found = (take & Load<int32_t, LaneInts>(block.index)) | (~take & found);
  }
  const LaneInts bestBits = (LaneInts)best;
  uint64_t key = kNoKey;
  for (int lane = 0; lane < 4; ++lane) {
    key = std::min(key, (static_cast<uint64_t>(static_cast<uint32_t>(bestBits[lane])) << 32) |
                            static_cast<uint32_t>(found[lane]));
  }
  return key;
}

}  // namespace block_scan
