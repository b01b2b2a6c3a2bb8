// Frames per kernel family, palette kind and depth: one 1920x1080 frame through the effect's entry point,
// as the host renders it (pixel iteration on all cores), reported in pixels per second.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "minihost/instance.h"
#include "palette/color.h"
#include "render/param_indices.h"

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
      const unsigned r = static_cast<unsigned>(x * 255 / kWidth), g = static_cast<unsigned>(y * 255 / kHeight),
                     b = ((x + y) / 4 + (noise >> 28)) & 255u;
      if (depth == minihost::Depth::Eight) {
        world.pixel8(x, y) = {255, static_cast<A_u_char>(r), static_cast<A_u_char>(g), static_cast<A_u_char>(b)};
      } else {
        world.pixel16(x, y) = {32768, static_cast<A_u_short>(r * 128), static_cast<A_u_short>(g * 128),
                               static_cast<A_u_short>(b * 128)};
      }
    }
  }
  return world;
}

// 256 colours spread over the RGB cube, as a large custom palette loaded from a swatch file would be.
ColorList CustomPalette() {
  ColorList colors;
  for (int i = 0; i < 256; ++i) {
    colors.emplace_back(static_cast<float>((i * 37) % 256) / 255.0f, static_cast<float>((i * 91) % 256) / 255.0f,
                        static_cast<float>((i * 173) % 256) / 255.0f);
  }
  return colors;
}

void RenderFrame(benchmark::State& state, A_long pattern, A_long swatch, minihost::Depth depth) {
  minihost::Host host;
  minihost::Effect effect(host, PALETTRIX_EFFECT_PATH);
  minihost::ParamSet params = minihost::DefaultEffectParams();
  params.setPopup(kParamPattern, pattern);
  params.setPopup(kParamSwatch, swatch);
  minihost::World input = MakeFrame(depth);
  minihost::World output(kWidth, kHeight, depth);
  params[kParamInput].u.ld = input.pf();

  // The custom palette in its live form: a handle holding the address of the list.
  ColorList custom = CustomPalette();
  ColorList* address = &custom;
  PF_Handle sequenceData = host.newHandle(sizeof address);
  std::memcpy(host.handleData(sequenceData), &address, sizeof address);

  for (auto _ : state) {
    PF_InData in = host.makeInData(&params);
    in.width = kWidth;
    in.height = kHeight;
    in.extent_hint = output.pf().extent_hint;
    in.sequence_data = sequenceData;
    PF_OutData out{};
    const PF_Err err = host.call(effect.entryPoint(), PF_Cmd_RENDER, in, out, params.array(), &output.pf(), nullptr);
    if (err != PF_Err_NONE) state.SkipWithError(("render failed: " + std::to_string(err)).c_str());
    benchmark::DoNotOptimize(output.pf().data);
  }
  state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
  host.disposeHandle(sequenceData);
}

void RegisterAll() {
  const struct {
    const char* name;
    A_long value;
  } patterns[] = {{"Threshold", 1}, {"FloydSteinberg", 2}, {"JarvisJudiceNinke", 7},
                  {"Bayer8x8", 17}, {"ClusterDot4x4", 18}};
  const struct {
    const char* name;
    A_long value;
  } swatches[] = {{"6bitRGB", 6}, {"PICO8", 8}, {"VGA8bit", 13}, {"Custom256", 1}};
  for (const auto& p : patterns) {
    for (const auto& s : swatches) {
      for (auto depth : {minihost::Depth::Eight, minihost::Depth::Sixteen}) {
        const std::string name = std::string(p.name) + "/" + s.name + "/" +
                                 (depth == minihost::Depth::Eight ? "8bit" : "16bit");
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
