// Nearest-colour search: the linear reference scan against the grid search, per query, on palettes from 16
// to 65,536 colours, and what building the grid costs. One iteration is one query (or one build).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "palette/color_tables.h"
#include "palette/nearest_color.h"
#include "palette/nearest_color_search.h"
#include "palette/palette_catalogue.h"
#include "support/seeded_generator.h"
#include "timing.h"

namespace {

enum class Palette { Pico8, Vga8Bit, Random256, Random65536 };

// Where the queries come from: spread evenly over the cube (every query in a different place, the worst
// case for caches), along a smooth ramp (neighbouring pixels of a picture), or over the cube and the
// overshoot error diffusion adds around it.
enum class Queries { Cube, Ramp, Overshoot };

using palettrix_test::SeededGenerator;

std::vector<Color3> Colors(Palette palette) {
  switch (palette) {
    case Palette::Pico8:
      return {kPico8.begin(), kPico8.end()};
    case Palette::Vga8Bit:
      return {kVga8Bit.begin(), kVga8Bit.end()};
    case Palette::Random256:
    case Palette::Random65536: {
      SeededGenerator random(7);
      std::vector<Color3> colors(palette == Palette::Random256 ? 256 : 65536);
      for (Color3& c : colors) {
        c = Color3(random.unit(), random.unit(), random.unit());
      }
      return colors;
    }
  }
  return {};
}

constexpr std::size_t kQueryCount = 1 << 16;

std::vector<Color3> MakeQueries(Queries kind) {
  SeededGenerator random(11);
  std::vector<Color3> queries(kQueryCount);
  for (std::size_t i = 0; i < kQueryCount; ++i) {
    switch (kind) {
      case Queries::Cube:
        queries[i] = Color3(random.unit(), random.unit(), random.unit());
        break;
      case Queries::Ramp: {
        const float x = static_cast<float>(i % 256) / 255.0f;
        const float y = static_cast<float>(i / 256) / 255.0f;
        queries[i] =
            Color3(x, y, 0.5f * (x + y)) + Color3(random.unit(), random.unit(), random.unit()) * 0.02f;
        break;
      }
      case Queries::Overshoot:
        queries[i] = Color3(random.unit(), random.unit(), random.unit()) * 1.6f - Color3(0.3f);
        break;
    }
  }
  return queries;
}

void BM_Reference(benchmark::State& state, Palette palette, Queries kind) {
  const std::vector<Color3> colors = Colors(palette);
  const std::vector<Color3> queries = MakeQueries(kind);
  std::size_t i = 0;
  Color3 out;
  for (auto _ : state) {
    benchmark::DoNotOptimize(NearestColor(out, queries[i++ % kQueryCount], colors.data(), colors.size()));
  }
}

void BM_Search(benchmark::State& state, Palette palette, Queries kind) {
  const std::vector<Color3> colors = Colors(palette);
  const NearestColorSearch search(colors);
  const std::vector<Color3> queries = MakeQueries(kind);
  std::size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(search.find(queries[i++ % kQueryCount]));
  }
}

// 8-bit pixels of a picture-like ramp, as the 8-bit kernels would hand them over.
void BM_SearchBytes(benchmark::State& state, Palette palette) {
  const std::vector<Color3> colors = Colors(palette);
  const NearestColorSearch search(colors);
  std::vector<std::array<uint8_t, 3>> pixels(kQueryCount);
  SeededGenerator noise(3);
  for (std::size_t i = 0; i < kQueryCount; ++i) {
    pixels[i] = {static_cast<uint8_t>(i % 256), static_cast<uint8_t>(i / 256),
                 static_cast<uint8_t>((i % 256 + i / 256) / 2 + (noise.next() >> 29))};
  }
  std::size_t i = 0;
  for (auto _ : state) {
    const std::array<uint8_t, 3>& p = pixels[i++ % kQueryCount];
    benchmark::DoNotOptimize(search.find8(p[0], p[1], p[2]));
  }
}

// The share of the unit grid's cells that one colour answers (0 without a unit grid): the render rows look
// those up without a scan, so a build that left fewer of them would make the kernels slower.
double DirectShare(const NearestColorSearch& search) {
  if (!search.hasUnitGrid()) return 0.0;
  constexpr uint32_t kOpen = 0x80000000u;
  const std::vector<uint32_t> colourWords(search.size(), 0);
  std::vector<uint32_t> words(search.unitCellCount());
  search.unitCellWords(colourWords.data(), kOpen, 0, 0, words.size(), words.data());
  const auto direct = std::count_if(words.begin(), words.end(), [](uint32_t w) { return (w & kOpen) == 0; });
  return static_cast<double>(direct) / static_cast<double>(words.size());
}

// Builds the search for `colors` at every iteration; reports the size and the direct share.
void Build(benchmark::State& state, std::span<const Color3> colors) {
  for (auto _ : state) {
    NearestColorSearch search(colors);
    benchmark::DoNotOptimize(search);
  }
  state.counters["direct"] = DirectShare(NearestColorSearch(colors));
  state.SetLabel(std::to_string(colors.size()) + " colours");
}

void BM_Build(benchmark::State& state, Palette palette) { Build(state, Colors(palette)); }

BENCHMARK_CAPTURE(BM_Reference, pico8_cube, Palette::Pico8, Queries::Cube);
BENCHMARK_CAPTURE(BM_Search, pico8_cube, Palette::Pico8, Queries::Cube);
BENCHMARK_CAPTURE(BM_Search, pico8_ramp, Palette::Pico8, Queries::Ramp);
BENCHMARK_CAPTURE(BM_Search, pico8_overshoot, Palette::Pico8, Queries::Overshoot);
BENCHMARK_CAPTURE(BM_SearchBytes, pico8, Palette::Pico8);

BENCHMARK_CAPTURE(BM_Reference, vga8bit_cube, Palette::Vga8Bit, Queries::Cube);
BENCHMARK_CAPTURE(BM_Search, vga8bit_cube, Palette::Vga8Bit, Queries::Cube);
BENCHMARK_CAPTURE(BM_Search, vga8bit_ramp, Palette::Vga8Bit, Queries::Ramp);
BENCHMARK_CAPTURE(BM_Search, vga8bit_overshoot, Palette::Vga8Bit, Queries::Overshoot);
BENCHMARK_CAPTURE(BM_SearchBytes, vga8bit, Palette::Vga8Bit);

BENCHMARK_CAPTURE(BM_Reference, random256_cube, Palette::Random256, Queries::Cube);
BENCHMARK_CAPTURE(BM_Search, random256_cube, Palette::Random256, Queries::Cube);
BENCHMARK_CAPTURE(BM_Search, random256_ramp, Palette::Random256, Queries::Ramp);
BENCHMARK_CAPTURE(BM_Search, random256_overshoot, Palette::Random256, Queries::Overshoot);

BENCHMARK_CAPTURE(BM_Reference, random65536_cube, Palette::Random65536, Queries::Cube);
BENCHMARK_CAPTURE(BM_Search, random65536_cube, Palette::Random65536, Queries::Cube);
BENCHMARK_CAPTURE(BM_Search, random65536_ramp, Palette::Random65536, Queries::Ramp);
BENCHMARK_CAPTURE(BM_Search, random65536_overshoot, Palette::Random65536, Queries::Overshoot);

BENCHMARK_CAPTURE(BM_Build, pico8, Palette::Pico8)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Build, vga8bit, Palette::Vga8Bit)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Build, random256, Palette::Random256)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Build, random65536, Palette::Random65536)->Unit(benchmark::kMillisecond);

// Building each table palette's search, as the first frame with that palette does.
void BM_BuildTable(benchmark::State& state, std::size_t row) { Build(state, PaletteCatalogue[row].colors); }

void RegisterTables() {
  for (std::size_t row = 0; row < kPaletteCount; ++row) {
    if (PaletteCatalogue[row].rule != PaletteRule::Table) continue;
    std::string name = std::string("BM_BuildTable/") + PaletteCatalogue[row].label;
    std::erase(name, ' ');
    benchmark::RegisterBenchmark(name.c_str(), BM_BuildTable, row)->Unit(benchmark::kMillisecond);
  }
}

}  // namespace

int main(int argc, char** argv) {
  RegisterTables();
  return bench::RunRegistered(argc, argv);
}
