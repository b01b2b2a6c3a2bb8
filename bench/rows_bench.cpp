// The kernels called directly, without a host: one pattern at one depth over a 1920×1080 frame (the same
// generated frame as the other suites), on the calling thread alone or on two threads of this program's
// own. No effect, no minihost, no copies around the render call: on a busy machine these numbers stay
// steadier than the host's, which makes them the ones to compare two builds of the kernels by. Names read
// PATTERN/PALETTE/DEPTH/THREADS, for example "Bayer8x8/VGA8bit/8bit/1thread" (32bit: float pixels).
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "frame_values.h"
#include "palette/nearest_color_search.h"
#include "palette/palette.h"
#include "palette/palette_catalogue.h"
#include "render/pattern_catalogue.h"
#include "timing.h"

namespace {

constexpr std::int32_t kWidth = 1920;
constexpr std::int32_t kHeight = 1080;

// The benchmarks' 256-colour custom palette, as colours.
const NearestColorSearch& Custom256() {
  static const NearestColorSearch search = [] {
    std::vector<Color3> colors;
    for (std::uint32_t i = 0; i < 256; ++i) {
      const bench::Bytes3 color = bench::StrideColorBytes(i);
      colors.emplace_back(static_cast<float>(color.r) / 255.0f, static_cast<float>(color.g) / 255.0f,
                          static_cast<float>(color.b) / 255.0f);
    }
    return NearestColorSearch(colors);
  }();
  return search;
}

// Two threads: the calling one and one started for each frame, taking the tasks in turn.
Workers TwoThreads() {
  Workers workers;
  workers.count = 2;
  workers.run = [](void*, std::int32_t tasks, Workers::Task task, void* taskContext) {
    std::atomic<std::int32_t> next{0};
    const auto work = [&](std::int32_t worker) {
      for (std::int32_t i; (i = next.fetch_add(1)) < tasks;) task(taskContext, worker, i);
    };
    std::thread helper(work, 1);
    work(0);
    helper.join();
  };
  return workers;
}

struct Choice {
  const char* name;
  std::size_t row;  // in the pattern or palette catalogue; the palette's 0 is the custom palette above
};

template <typename Pixel>
void RenderFrame(benchmark::State& state, Choice pattern, Choice palette, int threads) {
  const std::vector<Pixel> input = bench::KernelFrame<Pixel>(kWidth, kHeight);
  std::vector<Pixel> output(input.size());
  constexpr PixelDepth kDepth = kDepthOf<Pixel>;
  const ImageView in{const_cast<Pixel*>(input.data()), kWidth * std::ptrdiff_t{sizeof(Pixel)}, kWidth,
                     kHeight, kDepth};
  const ImageView out{output.data(), kWidth * std::ptrdiff_t{sizeof(Pixel)}, kWidth, kHeight, kDepth};
  FrameDescription frame;
  frame.pattern = pattern.row;
  frame.palette = PaletteFor(palette.row, nullptr);
  if (palette.row == 0) {
    frame.palette.rule = QuantizeRule::NearestColor;
    frame.palette.search = &Custom256();
    frame.palette.spread = Color3(0.1f);
  }
  frame.threshold = frame.palette.spread;
  frame.isa = BestIsa();
  const Workers workers = threads == 1 ? Workers{} : TwoThreads();
  const PatternRow& row = PatternCatalogue[pattern.row];
  const Kernel kernel = kDepth == PixelDepth::Eight     ? row.kernel8
                        : kDepth == PixelDepth::Sixteen ? row.kernel16
                                                        : row.kernel32;
  kernel(frame, in, out, workers);  // untimed: builds a table's search on first use
  for (auto _ : state) benchmark::DoNotOptimize(kernel(frame, in, out, workers));
  state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}

}  // namespace

int main(int argc, char** argv) {
  const Choice patterns[] = {
      {"Threshold", 0}, {"Bayer8x8", 16}, {"FloydSteinberg", 1}, {"JarvisJudiceNinke", 6}};
  const Choice palettes[] = {{"6bitRGB", 5}, {"PICO8", 7}, {"VGA8bit", 12}, {"Custom256", 0}};
  // The rows above must still be these patterns and palettes.
  const char* const patternLabels[] = {"Threshold", "Bayer 8x8", "Floyd Steinberg", "Jarvis, Judice & Ninke"};
  const char* const paletteLabels[] = {"6-bit RGB", "PICO-8", "VGA 8-bit", "Custom"};
  for (std::size_t k = 0; k < 4; ++k) {
    if (std::string(PatternCatalogue[patterns[k].row].label) != patternLabels[k] ||
        std::string(PaletteCatalogue[palettes[k].row].label) != paletteLabels[k]) {
      std::fprintf(stderr, "rows_bench: the catalogues have changed; row %zu is not %s / %s\n", k,
                   patternLabels[k], paletteLabels[k]);
      return 1;
    }
  }
  for (const Choice& pattern : patterns) {
    for (const Choice& palette : palettes) {
      for (const int bits : {8, 16, 32}) {
        for (const int threads : {1, 2}) {
          const std::string name = std::string(pattern.name) + "/" + palette.name + "/" +
                                   std::to_string(bits) + "bit/" + std::to_string(threads) +
                                   (threads == 1 ? "thread" : "threads");
          const auto render = bits == 8    ? RenderFrame<Pixel8>
                              : bits == 16 ? RenderFrame<Pixel16>
                                           : RenderFrame<PixelFloat>;
          bench::TimedPerFrame(benchmark::RegisterBenchmark(name.c_str(), render, pattern, palette, threads));
        }
      }
    }
  }
  return bench::RunRegistered(argc, argv);
}
