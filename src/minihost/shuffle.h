// Seeded orders for the host's "shuffled" option, which proves that an effect's callbacks do not depend
// on the order in which the host calls them.
#pragma once

#include <array>
#include <cstdint>

namespace minihost {

// The SplitMix64 generator: advances `state` and returns the next number.
inline uint64_t SplitMix64(uint64_t& state) {
  uint64_t z = (state += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

// A permutation of 0..count-1 fixed by a seed, computed one position at a time in constant memory, so
// that any count an effect may ask for (up to 2^31 - 1) can be shuffled. A four-round Feistel network
// permutes the smallest even power of two that holds `count`; positions it sends outside 0..count-1 are
// sent through it again until they land inside ("cycle walking"), which keeps the map a permutation. The
// power of two is less than four times `count`, so a position needs under four passes on average.
class SeededPermutation {
 public:
  SeededPermutation(uint64_t count, uint64_t seed) : count_(count) {
    while ((uint64_t{1} << (2 * half_)) < count) ++half_;
    mask_ = (uint64_t{1} << half_) - 1;
    for (uint64_t& key : keys_) key = SplitMix64(seed);
  }

  // The position `at` is sent to; `at` must be below count.
  uint64_t operator()(uint64_t at) const {
    do at = once(at);
    while (at >= count_);
    return at;
  }

 private:
  uint64_t once(uint64_t x) const {
    uint64_t left = x >> half_;
    uint64_t right = x & mask_;
    for (uint64_t key : keys_) {
      uint64_t mixed = right ^ key;
      const uint64_t next = left ^ (SplitMix64(mixed) & mask_);
      left = right;
      right = next;
    }
    return (left << half_) | right;
  }

  uint64_t count_;
  unsigned half_ = 1;
  uint64_t mask_ = 1;
  std::array<uint64_t, 4> keys_{};
};

}  // namespace minihost
