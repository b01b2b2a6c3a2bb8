// What every benchmark renders and how: the same generated frame, the effect loaded by minihost with the
// same number of host threads, so that numbers from different suites can sit side by side.
#pragma once

#include <benchmark/benchmark.h>

#include <bit>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "driver/effect_driver.h"
#include "frame_values.h"
#include "minihost/world.h"

namespace bench {

// Threads the host gives pixel iteration: the build machines have two cores, and a fixed count keeps
// numbers from machines of different sizes comparable.
inline constexpr unsigned kHostThreads = 2;

// "Pattern" and "Swatch" choices (1-based, as the popups hold them) the suites render.
inline constexpr A_long kPatternThreshold = 1;
inline constexpr A_long kPatternFloydSteinberg = 2;
inline constexpr A_long kPatternJarvisJudiceNinke = 7;
inline constexpr A_long kPatternBayer8x8 = 17;
inline constexpr A_long kPatternClusterDot4x4 = 18;

inline constexpr A_long kSwatchCustom = 1;
inline constexpr A_long kSwatch6BitRgb = 6;
inline constexpr A_long kSwatchPico8 = 8;
inline constexpr A_long kSwatchVga8Bit = 13;

// A frame with smooth ramps and some texture, so every palette sees a spread of colours: red follows x,
// green follows y, blue runs diagonally with a little seeded noise. Opaque throughout.
inline minihost::World MakeFrame(A_long width, A_long height, minihost::Depth depth) {
  minihost::World world(width, height, depth);
  FrameBytes bytes(width, height);
  for (A_long y = 0; y < height; ++y) {
    for (A_long x = 0; x < width; ++x) {
      const auto [r, g, b] = bytes.next(x, y);
      if (depth == minihost::Depth::Eight) {
        world.pixel8(x, y) = {255, static_cast<A_u_char>(r), static_cast<A_u_char>(g),
                              static_cast<A_u_char>(b)};
      } else {
        world.pixel16(x, y) = {32768, static_cast<A_u_short>(r * 128), static_cast<A_u_short>(g * 128),
                               static_cast<A_u_short>(b * 128)};
      }
    }
  }
  return world;
}

// A custom palette of `count` colours in the flat form the effect stores (red, green and blue as
// little-endian floats, 12 bytes a colour), each channel a byte value k as k / 255. 256 colours spread
// over the RGB cube by fixed strides, as a large swatch file would; larger counts take seeded random
// bytes, so a search structure meets no regular grid.
inline std::vector<uint8_t> CustomPaletteFlat(int count) {
  std::vector<uint8_t> flat;
  flat.reserve(static_cast<std::size_t>(count) * 12);
  auto put = [&flat](uint32_t byte) {
    const auto bits = std::bit_cast<uint32_t>(static_cast<float>(byte) / 255.0f);
    for (int shift = 0; shift < 32; shift += 8) flat.push_back(static_cast<uint8_t>(bits >> shift));
  };
  palettrix_test::SeededGenerator random(2463534242u);
  for (int i = 0; i < count; ++i) {
    if (count <= 256) {
      const Bytes3 color = StrideColorBytes(static_cast<uint32_t>(i));
      put(color.r);
      put(color.g);
      put(color.b);
    } else {
      put(random.next() >> 24);
      put(random.next() >> 24);
      put(random.next() >> 24);
    }
  }
  return flat;
}

// The effect loaded into a host of kHostThreads threads, and one instance of it with the given pattern
// and swatch, whose custom palette is `customFlat` as a saved project restores it.
struct EffectRig {
  driver::EffectDriver driver;

  EffectRig(A_long pattern, A_long swatch, const std::vector<uint8_t>& customFlat)
      : driver(PALETTRIX_EFFECT_PATH, minihost::Host::Options{.threads = kHostThreads}) {
    driver.setPopup("Pattern", pattern);
    driver.setPopup("Swatch", swatch);
    driver.setCustomPaletteFlat(customFlat);
  }

  // Renders `input` into `output` once before the clock starts (what a host pays once: first touches of
  // memory, anything the effect builds on its first frame), then once per iteration; pixels per second.
  void TimeRenders(benchmark::State& state, minihost::World& input, minihost::World& output) {
    if (const PF_Err err = driver.render(input, output); err != PF_Err_NONE) {
      state.SkipWithError(("render failed: " + std::to_string(err)).c_str());
      return;
    }
    for (auto _ : state) {
      if (const PF_Err err = driver.render(input, output); err != PF_Err_NONE) {
        state.SkipWithError(("render failed: " + std::to_string(err)).c_str());
        break;
      }
      benchmark::DoNotOptimize(output.pf().data);
      benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * input.width() * input.height());
  }
};

}  // namespace bench
