// The set-up the plug-in's tests share: the effect loaded through minihost, and instances whose custom
// palette holds given colours, made as a host makes them from a saved project.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cstdint>
#include <vector>

#include "minihost/saved_state.h"
#include "support/effect_under_test.h"

using Colors = std::vector<std::array<float, 3>>;

// Colours in their stored form: 12 bytes each, little-endian floats.
inline std::vector<uint8_t> Flat(const Colors& colors) {
  std::vector<uint8_t> bytes;
  for (const auto& color : colors) {
    for (float channel : color) {
      const uint32_t bits = std::bit_cast<uint32_t>(channel);
      for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<uint8_t>(bits >> (8 * i)));
    }
  }
  return bytes;
}

class CustomPaletteTest : public ::testing::Test {
 protected:
  explicit CustomPaletteTest(minihost::Host::Options options = {}) : loaded_(options) {}

  // An instance whose custom palette holds `colors`, as a loaded project would have it.
  minihost::Instance WithPalette(const Colors& colors) {
    return minihost::Instance::load(
        loaded_.effect, minihost::EncodeSavedState(loaded_.effect.registeredParams(), Flat(colors)));
  }

  LoadedEffect loaded_;
};
