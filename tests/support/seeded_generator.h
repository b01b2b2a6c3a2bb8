// The one source of pseudo-random values for tests and benchmarks: the same numbers from the same seed on
// every platform and standard library. A 32-bit linear congruential generator (multiplier 1664525,
// increment 1013904223); its low bits repeat with short periods, so every derived value comes from the
// high bits.
#pragma once

#include <cstdint>

namespace palettrix_test {

class SeededGenerator {
 public:
  // A seed beyond 32 bits has its halves folded together; smaller seeds are the first state as given.
  explicit constexpr SeededGenerator(std::uint64_t seed)
      : state_(static_cast<std::uint32_t>(seed ^ (seed >> 32))) {}

  // The next state, all 32 bits; take values from its top.
  constexpr std::uint32_t next() {
    state_ = state_ * 1664525u + 1013904223u;
    return state_;
  }
  // A whole number from 0 to n - 1, for n from 1 to 2^32: the top of next() x n.
  constexpr std::uint32_t below(std::uint64_t n) {
    return static_cast<std::uint32_t>((std::uint64_t{next()} * n) >> 32);
  }
  // [0, 1) in steps of 2^-24.
  constexpr float unit() { return static_cast<float>(next() >> 8) * 0x1p-24f; }
  constexpr float between(float lo, float hi) { return lo + (hi - lo) * unit(); }

 private:
  std::uint32_t state_;
};

}  // namespace palettrix_test
