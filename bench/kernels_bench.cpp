// Frames through the effect's entry point, as a host renders them (minihost, bench::kHostThreads threads
// of pixel iteration), per pattern family, palette, depth and frame size; reported in ms a frame on the
// clock ("Time"), processor ms a frame summed over all threads ("CPU"), and pixels per second. Benchmarks are
// named PATTERN/SWATCH/DEPTH/SIZE, for example "FloydSteinberg/VGA8bit/16bit/1920x1080".
//
//   patterns  Threshold, Bayer8x8, ClusterDot4x4, FloydSteinberg, JarvisJudiceNinke
//   swatches  6bitRGB, PICO8, VGA8bit, Custom256 (a custom palette of 256 colours),
//             Custom65536 (a custom palette of 65,536 colours; only with --palettrix_huge)
//   sizes     1920x1080 at both depths, every pattern and swatch;
//             3840x2160 at 8 bits with Threshold, Bayer8x8 and FloydSteinberg
//
// Options besides Google Benchmark's own:
//   --palettrix_huge   also register the 65,536-colour cases (1920x1080, 8 bits, Threshold, Bayer8x8 and
//                      FloydSteinberg). They are left out by default because building the search for
//                      that many colours takes about half a second each time a benchmark sets up.
// Useful filters: --benchmark_filter=/8bit/1920x1080 (one depth and size), --benchmark_filter=PICO8,
// --benchmark_filter=Custom65536 (with --palettrix_huge: the huge cases alone).
//
// Each benchmark renders one untimed frame first, then runs until it has taken at least half a second
// (--benchmark_min_time overrides it) and never less than one frame: a slow frame is measured once, a
// fast one often enough to be steady. Google Benchmark may call a benchmark more than once while it
// settles the number of frames; each call sets up a new instance and warms it again.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "bench_frame.h"
#include "timing.h"

namespace {

struct Size {
  const char* name;
  A_long width, height;
};
constexpr Size kHd{"1920x1080", 1920, 1080};
constexpr Size kUhd{"3840x2160", 3840, 2160};

struct Choice {
  const char* name;
  A_long value;
};
constexpr Choice kThreshold{"Threshold", bench::kPatternThreshold};
constexpr Choice kBayer8x8{"Bayer8x8", bench::kPatternBayer8x8};
constexpr Choice kClusterDot4x4{"ClusterDot4x4", bench::kPatternClusterDot4x4};
constexpr Choice kFloydSteinberg{"FloydSteinberg", bench::kPatternFloydSteinberg};
constexpr Choice kJarvisJudiceNinke{"JarvisJudiceNinke", bench::kPatternJarvisJudiceNinke};

// A palette: the swatch chosen and the size of the custom palette the instance carries. Every frame
// works out the custom palette's spread whichever swatch is chosen, so the built-in swatches run with the
// 256-colour custom palette loaded, as a project with a custom palette would.
struct Palette {
  const char* name;
  A_long swatch;
  int customColors;
};
constexpr Palette k6BitRgb{"6bitRGB", bench::kSwatch6BitRgb, 256};
constexpr Palette kPico8{"PICO8", bench::kSwatchPico8, 256};
constexpr Palette kVga8Bit{"VGA8bit", bench::kSwatchVga8Bit, 256};
constexpr Palette kCustom256{"Custom256", bench::kSwatchCustom, 256};
constexpr Palette kCustom65536{"Custom65536", bench::kSwatchCustom, 65536};

void RenderFrame(benchmark::State& state, Choice pattern, Palette palette, minihost::Depth depth, Size size) {
  bench::EffectRig rig(pattern.value, palette.swatch, bench::CustomPaletteFlat(palette.customColors));
  minihost::World input = bench::MakeFrame(size.width, size.height, depth);
  minihost::World output(size.width, size.height, depth);
  rig.TimeRenders(state, input, output);
}

void Register(Choice pattern, Palette palette, minihost::Depth depth, Size size) {
  const std::string name = std::string(pattern.name) + "/" + palette.name + "/" +
                           (depth == minihost::Depth::Eight ? "8bit" : "16bit") + "/" + size.name;
  bench::TimedPerFrame(
      benchmark::RegisterBenchmark(name.c_str(), RenderFrame, pattern, palette, depth, size));
}

void RegisterAll(bool huge) {
  const Choice allPatterns[] = {kThreshold, kBayer8x8, kClusterDot4x4, kFloydSteinberg, kJarvisJudiceNinke};
  // One of each family: plain, ordered, error diffusion.
  const Choice fewPatterns[] = {kThreshold, kBayer8x8, kFloydSteinberg};
  const Palette palettes[] = {k6BitRgb, kPico8, kVga8Bit, kCustom256};

  for (const Choice& p : allPatterns) {
    for (const Palette& s : palettes) {
      for (auto depth : {minihost::Depth::Eight, minihost::Depth::Sixteen}) Register(p, s, depth, kHd);
    }
  }
  for (const Choice& p : fewPatterns) {
    for (const Palette& s : palettes) Register(p, s, minihost::Depth::Eight, kUhd);
  }
  if (huge) {
    for (const Choice& p : fewPatterns) Register(p, kCustom65536, minihost::Depth::Eight, kHd);
  }
}

}  // namespace

int main(int argc, char** argv) {
  // Our own option is taken out before Google Benchmark reads the rest; the default minimum time goes
  // first, so that a --benchmark_min_time given on the command line overrides it.
  std::vector<char*> args{argv[0]};
  std::string minTime = "--benchmark_min_time=0.5";
  args.push_back(minTime.data());
  bool huge = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--palettrix_huge") == 0) {
      huge = true;
    } else {
      args.push_back(argv[i]);
    }
  }
  int count = static_cast<int>(args.size());
  args.push_back(nullptr);

  RegisterAll(huge);
  return bench::RunRegistered(count, args.data());
}
