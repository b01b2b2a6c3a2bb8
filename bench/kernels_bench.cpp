// Frames per kernel family, palette kind and depth: one 1920x1080 frame through the effect's entry point,
// as the host renders it (pixel iteration on all cores), reported in pixels per second.
#include <benchmark/benchmark.h>

#include <bit>
#include <cstdint>
#include <string>
#include <vector>

#include "minihost/instance.h"
#include "plugin/param_indices.h"

namespace {

constexpr A_long kWidth = 1920;
constexpr A_long kHeight = 1080;

// A frame with smooth ramps and some texture, so every palette sees a spread of colours.
minihost::World MakeFrame(minihost::Depth depth) {
  minihost::World world(kWidth, kHeight, depth);
  uint32_t noise = 12345;
  for (A_long y = 0; y < kHeight; ++y) {
    for (A_long x = 0; x < kWidth; ++x) {
      noise = noise * 1664525u + 1013904223u;
      const unsigned r = static_cast<unsigned>(x * 255 / kWidth),
                     g = static_cast<unsigned>(y * 255 / kHeight), b = ((x + y) / 4 + (noise >> 28)) & 255u;
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

// 256 colours spread over the RGB cube, as a large custom palette loaded from a swatch file would be, in
// the flat form the effect stores: red, green and blue as little-endian floats, 12 bytes a colour.
std::vector<uint8_t> CustomPaletteFlat() {
  std::vector<uint8_t> flat;
  auto put = [&flat](int numerator) {
    const auto bits = std::bit_cast<uint32_t>(static_cast<float>(numerator) / 255.0f);
    for (int shift = 0; shift < 32; shift += 8) flat.push_back(static_cast<uint8_t>(bits >> shift));
  };
  for (int i = 0; i < 256; ++i) {
    put((i * 37) % 256);
    put((i * 91) % 256);
    put((i * 173) % 256);
  }
  return flat;
}

void RenderFrame(benchmark::State& state, A_long pattern, A_long swatch, minihost::Depth depth) {
  minihost::Host host;
  minihost::Effect effect(host, PALETTRIX_EFFECT_PATH);
  minihost::ParamSet params = effect.registeredParams();
  params.setPopup(kParamPattern, pattern);
  params.setPopup(kParamSwatch, swatch);
  // Every frame computes the custom palette's spread whichever swatch is chosen, so every run carries
  // the large palette, restored as a saved project restores it.
  minihost::Instance instance =
      minihost::Instance::load(effect, minihost::EncodeSavedState(params, CustomPaletteFlat()));
  minihost::World input = MakeFrame(depth);
  minihost::World output(kWidth, kHeight, depth);

  for (auto _ : state) {
    const PF_Err err = instance.render(input, output);
    if (err != PF_Err_NONE) state.SkipWithError(("render failed: " + std::to_string(err)).c_str());
    benchmark::DoNotOptimize(output.pf().data);
  }
  state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}

void RegisterAll() {
  const struct {
    const char* name;
    A_long value;
  } patterns[] = {{"Threshold", 1},
                  {"FloydSteinberg", 2},
                  {"JarvisJudiceNinke", 7},
                  {"Bayer8x8", 17},
                  {"ClusterDot4x4", 18}};
  const struct {
    const char* name;
    A_long value;
  } swatches[] = {{"6bitRGB", 6}, {"PICO8", 8}, {"VGA8bit", 13}, {"Custom256", 1}};
  for (const auto& p : patterns) {
    for (const auto& s : swatches) {
      for (auto depth : {minihost::Depth::Eight, minihost::Depth::Sixteen}) {
        const std::string name =
            std::string(p.name) + "/" + s.name + "/" + (depth == minihost::Depth::Eight ? "8bit" : "16bit");
        benchmark::RegisterBenchmark(name.c_str(), RenderFrame, p.value, s.value, depth)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
      }
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  RegisterAll();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
