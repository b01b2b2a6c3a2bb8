// Large custom palettes of awkward shapes through the kernels, beside a random palette of the same size: the
// nearest-colour search must not fall off a cliff when many colours lie close together, repeat, or line up.
// One 256x256 frame (the other suites' generated picture) on the calling thread; names read
// SHAPE/PATTERN/DEPTH, for example "greys65536/Bayer8x8/8bit". Each search is built once, before timing.
//
//   random65536     65,536 colours spread evenly over the cube (the yardstick)
//   greys65536      the 65,536 greys k / 65535, in order
//   greys16384      the 16,384 greys k / 16383
//   identical65536  one colour 65,536 times
//   sixteen65536    65,536 colours drawn from 16
//   clusters65536   65,536 colours in 8 tight balls
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "frame_values.h"
#include "palette/nearest_color_search.h"
#include "palette/palette.h"
#include "render/pattern_catalogue.h"
#include "support/seeded_generator.h"
#include "timing.h"

namespace {

constexpr std::int32_t kSide = 256;

std::vector<Color3> Shape(const std::string& name) {
  std::vector<Color3> colors;
  palettrix_test::SeededGenerator random(5);
  if (name == "random65536") {
    for (int i = 0; i < 65536; ++i) colors.emplace_back(random.unit(), random.unit(), random.unit());
  } else if (name == "greys65536" || name == "greys16384") {
    const int count = name == "greys65536" ? 65536 : 16384;
    for (int k = 0; k < count; ++k)
      colors.emplace_back(static_cast<float>(k) / static_cast<float>(count - 1));
  } else if (name == "identical65536") {
    colors.assign(65536, Color3(0.2f, 0.6f, 0.4f));
  } else if (name == "sixteen65536") {
    std::vector<Color3> few;
    for (int i = 0; i < 16; ++i) few.emplace_back(random.unit(), random.unit(), random.unit());
    for (int i = 0; i < 65536; ++i) colors.push_back(few[random.below(16)]);
  } else if (name == "clusters65536") {
    std::vector<Color3> centres;
    for (int i = 0; i < 8; ++i) centres.emplace_back(random.unit(), random.unit(), random.unit());
    for (int i = 0; i < 65536; ++i) {
      const Color3 offset(random.unit() - 0.5f, random.unit() - 0.5f, random.unit() - 0.5f);
      colors.push_back(centres[random.below(8)] + offset * 0.01f);
    }
  }
  return colors;
}

const NearestColorSearch& SearchFor(const std::string& name) {
  static std::map<std::string, std::unique_ptr<NearestColorSearch>> searches;
  auto& search = searches[name];
  if (!search) search = std::make_unique<NearestColorSearch>(Shape(name));
  return *search;
}

template <typename Pixel>
void RenderFrame(benchmark::State& state, std::string shape, std::size_t pattern) {
  const std::vector<Pixel> input = bench::KernelFrame<Pixel>(kSide, kSide);
  std::vector<Pixel> output(input.size());
  constexpr PixelDepth kDepth = sizeof(Pixel) == 4 ? PixelDepth::Eight : PixelDepth::Sixteen;
  const ImageView in{const_cast<Pixel*>(input.data()), kSide * std::ptrdiff_t{sizeof(Pixel)}, kSide, kSide,
                     kDepth};
  const ImageView out{output.data(), kSide * std::ptrdiff_t{sizeof(Pixel)}, kSide, kSide, kDepth};
  FrameDescription frame;
  frame.pattern = pattern;
  frame.palette.rule = QuantizeRule::NearestColor;
  frame.palette.search = &SearchFor(shape);
  frame.palette.spread = Color3(0.05f);
  frame.threshold = frame.palette.spread;
  frame.isa = BestIsa();
  const Kernel kernel =
      kDepth == PixelDepth::Eight ? PatternCatalogue[pattern].kernel8 : PatternCatalogue[pattern].kernel16;
  for (auto _ : state) benchmark::DoNotOptimize(kernel(frame, in, out, Workers{}));
  state.SetItemsProcessed(state.iterations() * kSide * kSide);
}

}  // namespace

int main(int argc, char** argv) {
  struct Choice {
    const char* name;
    std::size_t row;
  };
  const Choice patterns[] = {{"Threshold", 0}, {"Bayer8x8", 16}, {"FloydSteinberg", 1}};
  const char* const shapes[] = {"random65536",    "greys65536",   "greys16384",
                                "identical65536", "sixteen65536", "clusters65536"};
  for (const char* shape : shapes) {
    for (const Choice& pattern : patterns) {
      for (const bool deep : {false, true}) {
        const std::string name = std::string(shape) + "/" + pattern.name + "/" + (deep ? "16bit" : "8bit");
        auto* b = deep ? benchmark::RegisterBenchmark(name.c_str(), RenderFrame<Pixel16>, shape, pattern.row)
                       : benchmark::RegisterBenchmark(name.c_str(), RenderFrame<Pixel8>, shape, pattern.row);
        bench::TimedPerFrame(b);
      }
    }
  }
  return bench::RunRegistered(argc, argv);
}
