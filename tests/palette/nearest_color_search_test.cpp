#include "palette/nearest_color_search.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <span>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "palette/color_tables.h"
#include "palette/nearest_color.h"
#include "palette/nearest_color_grids.h"
#include "palette/nearest_halves_avx2.h"
#include "palette/nearest_scan_avx2.h"
#include "support/seeded_generator.h"

namespace {

// Sanitizer and unoptimised builds run the same cases on a twentieth of the points.
#if defined(__SANITIZE_ADDRESS__) || !defined(__OPTIMIZE__)
constexpr std::size_t kScale = 20;
#else
constexpr std::size_t kScale = 1;
#endif

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kMax = std::numeric_limits<float>::max();

// The shared generator, giving colours too.
class Generator : public palettrix_test::SeededGenerator {
 public:
  using SeededGenerator::SeededGenerator;
  Color3 color(float lo = 0.0f, float hi = 1.0f) {
    return Color3(between(lo, hi), between(lo, hi), between(lo, hi));
  }
};

Color3 Bytes(int r, int g, int b) {
  return Color3(static_cast<float>(r) / 255.0f, static_cast<float>(g) / 255.0f,
                static_cast<float>(b) / 255.0f);
}

bool SameBits(const Color3& a, const Color3& b) { return std::memcmp(&a, &b, sizeof(Color3)) == 0; }

std::string Describe(const Color3& c) {
  std::ostringstream text;
  text.precision(9);
  text << '(' << c.r << ", " << c.g << ", " << c.b << ')';
  return text.str();
}

// The reference rule, reporting where the colour came from. NearestColor reports only the colour, so every
// point also checks that the two agree.
int32_t ReferenceIndex(std::span<const Color3> palette, const Color3& in) {
  int32_t found = -1;
  float best = kMax;
  for (std::size_t i = 0; i < palette.size(); ++i) {
    const float dr = palette[i].r - in.r;
    const float dg = palette[i].g - in.g;
    const float db = palette[i].b - in.b;
    const float distance = (dr * dr + dg * dg) + db * db;
    if (distance < best) {
      best = distance;
      found = static_cast<int32_t>(i);
    }
  }
  return found;
}

// Compares index and colour, bit for bit, on every point; reports how many differ and the first of them.
::testing::AssertionResult MatchesReference(const NearestColorSearch& search, std::span<const Color3> palette,
                                            const std::vector<Color3>& points) {
  std::size_t wrong = 0;
  std::string first;
  for (const Color3& in : points) {
    const int32_t expected = ReferenceIndex(palette, in);
    Color3 reference;
    NearestColor(reference, in, palette.data(), palette.size());
    Color3 out(-7.0f);
    const int32_t found = search.find(in);
    search.nearest(out, in);
    const bool referencesAgree =
        SameBits(reference, expected < 0 ? in : palette[static_cast<std::size_t>(expected)]);
    if (!referencesAgree || found != expected || !SameBits(out, reference)) {
      if (wrong++ == 0) {
        first = Describe(in) + ": index " + std::to_string(found) + " instead of " +
                std::to_string(expected) + ", colour " + Describe(out) + " instead of " +
                Describe(reference) + (referencesAgree ? "" : " (ReferenceIndex and NearestColor disagree)");
      }
    }
  }
  if (wrong == 0) {
    return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure()
         << wrong << " of " << points.size() << " points differ; first " << first;
}

// Points of every kind the search must get right: spread over the cube and the overshoot around it, on the
// grid's cell edges, 8-bit colours, the palette's own colours and their float neighbours, midpoints of pairs
// (ties), and far, huge, infinite and NaN inputs.
std::vector<Color3> Points(std::span<const Color3> palette, std::size_t spread, Generator& random) {
  std::vector<Color3> points;
  for (std::size_t i = 0; i < spread; ++i) {
    points.push_back(random.color());
    points.push_back(random.color(-0.6f, 1.6f));
  }
  for (std::size_t i = 0; i < spread / 4; ++i) {
    points.push_back(Bytes(static_cast<int>(random.below(256)), static_cast<int>(random.below(256)),
                           static_cast<int>(random.below(256))));
    // Edges of cells 1/16, 1/32 and 1/64 wide from -0.5, and the floats either side of them.
    const auto edge = [&random] {
      const float at = -0.5f + static_cast<float>(random.below(129)) / 64.0f;
      const float side[] = {at, std::nextafter(at, -kInf), std::nextafter(at, kInf)};
      return side[random.below(3)];
    };
    points.push_back(Color3(edge(), edge(), edge()));
    points.push_back(Color3(edge(), random.between(-0.5f, 1.5f), edge()));
    points.push_back(random.color(-100.0f, 100.0f));
    // Error diffusion's overshoot, near and far, and the edges of the cells of the grids around the cube:
    // 2^(k - 2) wide from 0.5 - 2^(k + 1), for k from 0 to 10.
    const float reach = std::ldexp(1.0f, static_cast<int>(random.below(13)));
    points.push_back(random.color(0.5f - reach, 0.5f + reach));
    const auto farEdge = [&random] {
      const float width = std::ldexp(1.0f, static_cast<int>(random.below(11)) - 2);
      const float at = 0.5f + width * (static_cast<float>(random.below(17)) - 8.0f);
      const float side[] = {at, std::nextafter(at, -kInf), std::nextafter(at, kInf)};
      return side[random.below(3)];
    };
    points.push_back(Color3(farEdge(), farEdge(), farEdge()));
    points.push_back(
        Color3(farEdge(), random.between(0.5f - reach, 0.5f + reach), random.between(-0.6f, 1.6f)));
  }
  for (std::size_t i = 0; i < palette.size(); i += 1 + palette.size() / spread) {
    const Color3& c = palette[i];
    points.push_back(c);
    points.push_back(Color3(std::nextafter(c.r, kInf), c.g, std::nextafter(c.b, -kInf)));
  }
  for (std::size_t i = 0; palette.size() >= 2 && i < spread / 2; ++i) {
    const Color3 middle =
        (palette[random.below(palette.size())] + palette[random.below(palette.size())]) * 0.5f;
    points.push_back(middle);
    points.push_back(Color3(middle.r, std::nextafter(middle.g, kInf), middle.b));
  }
  const float specials[] = {kNaN, kInf,  -kInf, kMax, -kMax, 1e20f, -1e20f, 1e19f,
                            1.5f, -0.5f, -0.0f, 0.5f, 2.0f,  1.0f,  0.0f,   std::nextafter(1.0f, 2.0f)};
  for (float special : specials) {
    for (int channel = 0; channel < 3; ++channel) {
      Color3 c = random.color();
      c[channel] = special;
      points.push_back(c);
    }
    points.push_back(Color3(special));
  }
  return points;
}

// How many points of each kind a palette gets: fewer for large palettes, whose reference scans are long.
std::size_t SpreadFor(std::size_t colors, std::size_t most) {
  return std::max<std::size_t>(200, std::min(most, 20000000 / std::max<std::size_t>(colors, 1)) / kScale);
}

std::vector<Color3> RandomPalette(std::size_t count, Generator& random, float lo = 0.0f, float hi = 1.0f) {
  std::vector<Color3> palette;
  for (std::size_t i = 0; i < count; ++i) {
    palette.push_back(random.color(lo, hi));
  }
  return palette;
}

// Every colour equally far from the sphere's centre, up to rounding: the cells there keep them all.
std::vector<Color3> Sphere(std::size_t count, Generator& random) {
  std::vector<Color3> palette;
  for (std::size_t i = 0; i < count; ++i) {
    const float z = random.between(-1.0f, 1.0f);
    const float a = random.between(0.0f, 6.2831853f);
    const float s = std::sqrt(1.0f - z * z);
    palette.push_back(Color3(0.5f) + Color3(s * std::cos(a), s * std::sin(a), z) * 0.25f);
  }
  return palette;
}

TEST(NearestColorSearch, MatchesTheReferenceOnEveryTable) {
  const std::pair<const char*, std::span<const Color3>> tables[] = {
      {"PICO-8", kPico8},
      {"Gameboy", kGameboy},
      {"AppleII", kAppleII},
      {"CGA", kCga},
      {"VGA 2-bit", kVga2Bit},
      {"VGA 8-bit", kVga8Bit},
      {"VIC-20", kVic20},
      {"Amstrad CPC", kAmstradCpc},
      {"MSX", kMsx},
      {"ZX Spectrum", kZxSpectrum},
      {"Commodore 64", kCommodore64},
      {"Commodore 64 - Orrel", kCommodore64Orrel},
      {"NES", kNes},
      {"FamiCube - Iven", kFamiCubeIven}};
  Generator random(1);
  for (const auto& [name, table] : tables) {
    const NearestColorSearch search(table);
    EXPECT_TRUE(MatchesReference(search, table, Points(table, SpreadFor(table.size(), 400000), random)))
        << name;
    // Every 8-bit colour on a lattice that includes 0 and 255, through find8 as well.
    std::vector<Color3> lattice;
    std::size_t wrong8 = 0;
    const int step = kScale == 1 ? 5 : 15;
    for (int r = 0; r < 256; r += step) {
      for (int g = 0; g < 256; g += step) {
        for (int b = 0; b < 256; b += step) {
          lattice.push_back(Bytes(r, g, b));
          wrong8 += search.find8(static_cast<uint8_t>(r), static_cast<uint8_t>(g), static_cast<uint8_t>(b)) !=
                            ReferenceIndex(table, lattice.back())
                        ? 1
                        : 0;
        }
      }
    }
    EXPECT_TRUE(MatchesReference(search, table, lattice)) << name;
    EXPECT_EQ(wrong8, 0u) << name;
  }
}

TEST(NearestColorSearch, MatchesTheReferenceOnUnusualPalettes) {
  Generator random(2);
  std::vector<Color3> greyRamp;
  for (int k = 0; k <= 16; ++k) {
    greyRamp.push_back(Color3(static_cast<float>(k) / 16.0f));
  }
  std::vector<Color3> tinyBox;
  for (int i = 0; i < 500; ++i) {
    tinyBox.push_back(Color3(0.4f) + random.color() * 1e-5f);
  }
  const float step = std::nextafter(0.5f, 1.0f);
  const std::pair<std::string, std::vector<Color3>> palettes[] = {
      {"empty", {}},
      {"one colour", {Color3(0.3f, 0.6f, 0.9f)}},
      {"one colour outside the cube", {Color3(-3.0f, 0.5f, 7.0f)}},
      {"a float step apart", {Color3(0.5f), Color3(step, 0.5f, 0.5f)}},
      {"a float step apart, reversed", {Color3(step, 0.5f, 0.5f), Color3(0.5f)}},
      // Equal colours, signed zeros among them: the first of equals always wins.
      {"duplicates",
       {Color3(0.0f), Color3(-0.0f, 0.0f, 0.0f), Color3(1.0f), Color3(0.0f), Color3(0.25f, 0.5f, 0.75f),
        Color3(1.0f), Color3(0.25f, 0.5f, 0.75f), Color3(-0.0f)}},
      // Colours that are never taken, and ones whose distances overflow inside the cube.
      {"NaN, infinite and huge colours",
       {Color3(kNaN, 0.5f, 0.5f), Color3(kInf), Color3(-kInf, 0.0f, 0.0f), Color3(1e19f, 0.0f, 0.0f),
        Color3(0.0f, -2e19f, 0.0f), Color3(kMax)}},
      {"one colour too far to reach", {Color3(0.0f, -2e19f, 0.0f)}},
      {"huge and ordinary",
       {Color3(1e19f), Color3(0.9f, 0.1f, 0.4f), Color3(kNaN), Color3(0.2f, 0.8f, 0.4f)}},
      {"only NaN", {Color3(kNaN), Color3(kNaN, 0.0f, 0.0f)}},
      {"on cell edges",
       {Color3(0.0f), Color3(0.0625f, 0.125f, 0.5f), Color3(0.03125f, 0.5f, 0.5f), Color3(1.0f)}},
      {"grey ramp", greyRamp},
      {"inside a tiny box", tinyBox},
      {"on a sphere", Sphere(1000, random)},
      {"around the cube", RandomPalette(300, random, -0.7f, 1.7f)},
  };
  for (const auto& [name, palette] : palettes) {
    const NearestColorSearch search(palette);
    EXPECT_TRUE(MatchesReference(search, palette, Points(palette, SpreadFor(palette.size(), 100000), random)))
        << name;
  }
}

TEST(NearestColorSearch, MatchesTheReferenceOnLargePalettes) {
  Generator random(3);
  // Colours on a sphere nearly tie over wide regions and need long candidate lists; 24,000 of them outgrow
  // the memory set aside for the lists, and the grid is rebuilt coarser.
  const std::pair<std::string, std::vector<Color3>> palettes[] = {
      {"256 random", RandomPalette(256, random)},
      {"10,000 random", RandomPalette(10000, random)},
      {"65,536 random", RandomPalette(65536, random)},
      {"sphere", Sphere(kScale == 1 ? 24000 : 2000, random)},
  };
  for (const auto& [name, palette] : palettes) {
    const NearestColorSearch search(palette);
    EXPECT_EQ(search.size(), palette.size());
    EXPECT_TRUE(MatchesReference(search, palette, Points(palette, SpreadFor(palette.size(), 400000), random)))
        << name;
  }
}

// Colours that leave a grid's cells crowded: ramps (every colour on one line, so every cell of any grid
// meets many of them), repeats, and tight clusters.
std::vector<Color3> Ramp(std::size_t count, const Color3& from, const Color3& to) {
  std::vector<Color3> palette;
  for (std::size_t k = 0; k < count; ++k) {
    const float t = static_cast<float>(k) / static_cast<float>(count - 1);
    palette.push_back(from + (to - from) * t);
  }
  return palette;
}

std::vector<Color3> DrawnFrom(const std::vector<Color3>& few, std::size_t count, Generator& random) {
  std::vector<Color3> palette;
  for (std::size_t i = 0; i < count; ++i) {
    palette.push_back(few[random.below(few.size())]);
  }
  return palette;
}

std::vector<Color3> Clusters(std::size_t clusters, std::size_t count, float size, Generator& random) {
  const std::vector<Color3> centres = RandomPalette(clusters, random, 0.1f, 0.9f);
  std::vector<Color3> palette;
  for (std::size_t i = 0; i < count; ++i) {
    palette.push_back(centres[random.below(clusters)] + (random.color() - Color3(0.5f)) * size);
  }
  return palette;
}

TEST(NearestColorSearch, MatchesTheReferenceOnCrowdedPalettes) {
  Generator random(5);
  std::vector<Color3> descending = Ramp(16384, Color3(0.0f), Color3(1.0f));
  std::reverse(descending.begin(), descending.end());
  // A ramp of a few colours repeated: each colour appears many times, first somewhere in the middle.
  std::vector<Color3> repeatedRamp;
  for (int round = 0; round < 12; ++round) {
    const std::vector<Color3> ramp =
        Ramp(500 + static_cast<std::size_t>(round), Color3(0.1f, 0.9f, 0.3f), Color3(0.8f, 0.2f, 0.6f));
    repeatedRamp.insert(repeatedRamp.end(), ramp.begin(), ramp.end());
  }
  const std::pair<std::string, std::vector<Color3>> palettes[] = {
      {"65,536 greys", Ramp(65536, Color3(0.0f), Color3(1.0f))},
      {"16,384 greys", Ramp(16384, Color3(0.0f), Color3(1.0f))},
      {"16,384 greys, white first", descending},
      {"a ramp across the cube", Ramp(20000, Color3(0.9f, 0.05f, 0.3f), Color3(0.2f, 1.0f, 0.7f))},
      {"a short ramp", Ramp(8000, Color3(0.5f, 0.5f, 0.5f), Color3(0.52f, 0.5f, 0.49f))},
      {"ramps repeated", repeatedRamp},
      {"65,536 identical", std::vector<Color3>(65536, Color3(0.2f, 0.6f, 0.4f))},
      {"65,536 from 16", DrawnFrom(RandomPalette(16, random), 65536, random)},
      {"65,536 from 5000", DrawnFrom(RandomPalette(5000, random), 65536, random)},
      {"8 tight clusters", Clusters(8, 65536, 0.01f, random)},
      {"3 very tight clusters", Clusters(3, 30000, 1e-4f, random)},
      {"clusters and random",
       [&random] {
         std::vector<Color3> palette = Clusters(4, 20000, 0.02f, random);
         const std::vector<Color3> spread = RandomPalette(5000, random);
         palette.insert(palette.begin() + 7000, spread.begin(), spread.end());
         return palette;
       }()},
  };
  for (const auto& [name, palette] : palettes) {
    const NearestColorSearch search(palette);
    std::vector<Color3> points = Points(palette, SpreadFor(palette.size(), 400000), random);
    // Where the ramps are crowded: between neighbouring colours, and a float step either side.
    for (std::size_t i = 0; i + 1 < palette.size(); i += 1 + palette.size() / 300) {
      const Color3 middle = (palette[i] + palette[i + 1]) * 0.5f;
      points.push_back(middle);
      points.push_back(Color3(std::nextafter(middle.r, kInf), middle.g, std::nextafter(middle.b, -kInf)));
      points.push_back(middle + Color3(0.3f, -0.2f, 0.05f));
      points.push_back(middle + Color3(-40.0f, 25.0f, 3.0f));
    }
    EXPECT_TRUE(MatchesReference(search, palette, points)) << name;
    std::size_t wrong8 = 0;
    for (std::size_t i = 0; i < 3000 / kScale; ++i) {
      const int r = static_cast<int>(random.below(256));
      const int g = static_cast<int>(random.below(256));
      const int b = i % 2 == 0 ? r : static_cast<int>(random.below(256));  // greys half of the time
      wrong8 += search.find8(static_cast<uint8_t>(r), static_cast<uint8_t>(g), static_cast<uint8_t>(b)) !=
                        ReferenceIndex(palette, Bytes(r, g, b))
                    ? 1
                    : 0;
    }
    EXPECT_EQ(wrong8, 0u) << name;
  }
}

// Crowded cells and points beyond the grid start the tree's walk from a guess, a colour near the cell; the
// answer must not depend on it. Colours on a lattice of step 1/1024 in tight clusters, in shuffled palette
// order, some repeated: a point whose red lies halfway between two lattice colours that differ only in red,
// its green and blue anywhere (in the clusters, beside them, or far beyond the grid), is exactly as far from
// both (the same squares, summed in the same order), so only the first in palette order is right.
TEST(NearestColorSearch, TreeGuessesNeverDecideTies) {
  Generator random(21);
  std::vector<Color3> palette;
  for (int cluster = 0; cluster < 6; ++cluster) {
    const Color3 corner = random.color(0.1f, 0.85f);
    const int base[3] = {static_cast<int>(corner.r * 1024), static_cast<int>(corner.g * 1024),
                         static_cast<int>(corner.b * 1024)};
    for (int k = 0; k < 20 * 20 * 20; ++k) {
      palette.push_back(Color3(static_cast<float>(base[0] + k % 20),
                               static_cast<float>(base[1] + k / 20 % 20),
                               static_cast<float>(base[2] + k / 400)) /
                        1024.0f);
    }
  }
  for (std::size_t i = palette.size() - 1; i > 0; --i) std::swap(palette[i], palette[random.below(i + 1)]);
  for (int k = 0; k < 2000; ++k) palette.push_back(palette[random.below(palette.size())]);
  const NearestColorSearch search(palette);
  std::vector<Color3> points;
  for (std::size_t i = 0; i < 6000 / kScale; ++i) {
    const Color3& a = palette[random.below(palette.size())];
    // Up to 2^13 away, where the float rounding of the walk's box bounds is widest.
    const float reach = std::ldexp(1.0f, static_cast<int>(random.below(24)) - 10);
    const Color3 off = a + random.color(-1.0f, 1.0f) * reach;
    points.push_back(Color3(a.r + 0.5f / 1024.0f, off.g, off.b));
  }
  EXPECT_TRUE(MatchesReference(search, palette, points));
}

// The unit grid's cells as the colour that answers all of each, or -1 where the cell leaves the point to a
// scan; and its cells per axis.
struct UnitCells {
  int perAxis = 0;
  std::vector<int32_t> direct;
};

UnitCells DirectUnitCells(const NearestColorSearch& search) {
  UnitCells cells;
  if (!search.hasUnitGrid()) {
    return cells;
  }
  constexpr uint32_t kOpen = 0x80000000u;
  std::vector<uint32_t> colourWords(search.size());
  for (std::size_t i = 0; i < colourWords.size(); ++i) {
    colourWords[i] = static_cast<uint32_t>(i);
  }
  std::vector<uint32_t> words(search.unitCellCount());
  search.unitCellWords(colourWords.data(), kOpen, 0, 0, words.size(), words.data());
  while (static_cast<std::size_t>(cells.perAxis) * cells.perAxis * cells.perAxis < words.size()) {
    ++cells.perAxis;
  }
  for (const uint32_t word : words) {
    cells.direct.push_back((word & kOpen) != 0 ? -1 : static_cast<int32_t>(word));
  }
  return cells;
}

// Points of the unit cell (x, y, z) of a grid `n` cells a side, which holds [k / n, (k + 1) / n) on each
// axis (1 itself in the last): on each axis its lower edge, the float above it, its middle and the last float
// below its upper edge, and every combination of them, corners included.
void AddCellPoints(int n, int x, int y, int z, std::vector<Color3>& points) {
  const auto axis = [n](int k) {
    const float lo = static_cast<float>(k) / static_cast<float>(n);
    const float hi = static_cast<float>(k + 1) / static_cast<float>(n);
    return std::array<float, 4>{lo, std::nextafter(lo, kInf), 0.5f * (lo + hi),
                                k + 1 == n ? hi : std::nextafter(hi, 0.0f)};
  };
  for (const float r : axis(x)) {
    for (const float g : axis(y)) {
      for (const float b : axis(z)) {
        points.push_back(Color3(r, g, b));
      }
    }
  }
}

// The edge and corner points of up to `most` unit cells that one colour answers and that touch a cell the
// grid leaves open (where a wrongly direct cell would most likely be).
std::vector<Color3> DirectCellEdges(const NearestColorSearch& search, std::size_t most) {
  const UnitCells cells = DirectUnitCells(search);
  const int n = cells.perAxis;
  std::vector<std::array<int, 3>> boundary;
  const auto at = [&cells, n](int x, int y, int z) {
    return cells.direct[static_cast<std::size_t>((z * n + y) * n + x)];
  };
  for (int z = 0; z < n; ++z) {
    for (int y = 0; y < n; ++y) {
      for (int x = 0; x < n; ++x) {
        if (at(x, y, z) < 0) continue;
        const bool open = (x > 0 && at(x - 1, y, z) < 0) || (x + 1 < n && at(x + 1, y, z) < 0) ||
                          (y > 0 && at(x, y - 1, z) < 0) || (y + 1 < n && at(x, y + 1, z) < 0) ||
                          (z > 0 && at(x, y, z - 1) < 0) || (z + 1 < n && at(x, y, z + 1) < 0);
        if (open) boundary.push_back({x, y, z});
      }
    }
  }
  std::vector<Color3> points;
  const std::size_t stride = 1 + boundary.size() / std::max<std::size_t>(most, 1);
  for (std::size_t i = 0; i < boundary.size(); i += stride) {
    AddCellPoints(n, boundary[i][0], boundary[i][1], boundary[i][2], points);
  }
  return points;
}

TEST(NearestColorSearch, DirectCellsHoldOnTheirEdgesAndCorners) {
  Generator random(7);
  const std::pair<std::string, std::vector<Color3>> palettes[] = {
      {"PICO-8", {kPico8.begin(), kPico8.end()}},
      {"CGA", {kCga.begin(), kCga.end()}},
      {"Amstrad CPC", {kAmstradCpc.begin(), kAmstradCpc.end()}},
      {"NES", {kNes.begin(), kNes.end()}},
      {"FamiCube - Iven", {kFamiCubeIven.begin(), kFamiCubeIven.end()}},
      {"VGA 8-bit", {kVga8Bit.begin(), kVga8Bit.end()}},
      {"20 random", RandomPalette(20, random)},
      {"256 random", RandomPalette(256, random)},
  };
  for (const auto& [name, palette] : palettes) {
    const NearestColorSearch search(palette);
    const std::vector<Color3> points = DirectCellEdges(search, 4000 / kScale);
    EXPECT_GT(points.size(), 1000u / kScale) << name;
    EXPECT_TRUE(MatchesReference(search, palette, points)) << name;
  }
}

TEST(NearestColorSearch, NearTiesAcrossCellEdges) {
  // Pairs of colours mirrored about a corner of the 64-a-side unit grid, so that the plane where they tie
  // passes through the corner: along one axis (the plane is a face of the cells there, and the points on
  // it are exact ties), through the corner at a slant (near-ties), and a float step off it. Each pair is
  // listed nearer-first in half of the cases. Every point of the eight cells around each corner is checked.
  Generator random(8);
  std::vector<Color3> palette;
  std::vector<std::array<int, 3>> corners;
  for (int pair = 0; pair < 60; ++pair) {
    const std::array<int, 3> corner = {1 + static_cast<int>(random.below(62)),
                                       1 + static_cast<int>(random.below(62)),
                                       1 + static_cast<int>(random.below(62))};
    const Color3 c(static_cast<float>(corner[0]) / 64.0f, static_cast<float>(corner[1]) / 64.0f,
                   static_cast<float>(corner[2]) / 64.0f);
    Color3 offset;
    switch (pair % 3) {
      case 0:
        offset = Color3(0.0f);
        offset[pair % 9 / 3] = static_cast<float>(1 + random.below(64)) / 1024.0f;
        break;
      case 1:
        offset = (random.color() - Color3(0.5f)) * 0.05f;
        break;
      default:
        offset = (random.color() - Color3(0.5f)) * 0.05f;
        offset.r = std::nextafter(offset.r, kInf);
        break;
    }
    const Color3 a = c + offset;
    const Color3 b = c - offset;
    palette.push_back(pair % 2 == 0 ? a : b);
    palette.push_back(pair % 2 == 0 ? b : a);
    corners.push_back(corner);
  }
  const NearestColorSearch search(palette);
  ASSERT_EQ(DirectUnitCells(search).perAxis, 64);
  std::vector<Color3> points;
  for (const auto& corner : corners) {
    for (int o = 0; o < 8; ++o) {
      AddCellPoints(64, corner[0] - 1 + (o & 1), corner[1] - 1 + (o >> 1 & 1), corner[2] - 1 + (o >> 2),
                    points);
    }
  }
  EXPECT_TRUE(MatchesReference(search, palette, points));
  EXPECT_TRUE(MatchesReference(search, palette, DirectCellEdges(search, 4000 / kScale)));

  // Two colours whose tie plane lies just beyond a face of the 32-a-side grid (half a float step, or 2^-19,
  // twice the slack the cell boxes get), both far from the face along another channel: in exact arithmetic
  // one of them is nearer everywhere in the cell beside the plane, but in single precision the large common
  // term swallows the difference, so that points on the cell's edge tie, and the first colour listed wins.
  for (int trial = 0; trial < 48; ++trial) {
    const int axis = trial % 3;
    const int k = 1 + static_cast<int>(random.below(31));
    const float face = static_cast<float>(k) / 32.0f;
    const bool floatStep = trial % 8 < 4;
    const float offset =
        static_cast<float>(1 + random.below(floatStep ? 32 : 4)) / (floatStep ? 256.0f : 512.0f);
    Color3 a(random.between(0.0f, 1.0f));
    a[(axis + 1) % 3] = 0.95f;
    a[(axis + 2) % 3] = random.between(0.0f, 1.0f);
    Color3 b = a;
    // The plane beyond the face on the side of b's cells in half the trials, of a's in the others.
    const bool beyondLow = trial % 2 == 0;
    const auto up = [floatStep](float v) { return floatStep ? std::nextafter(v, kInf) : v + 0x1p-18f; };
    const auto down = [floatStep](float v) { return floatStep ? std::nextafter(v, -kInf) : v - 0x1p-18f; };
    a[axis] = beyondLow ? face + offset : up(face + offset);
    b[axis] = beyondLow ? down(face - offset) : face - offset;
    const std::vector<Color3> pair = trial % 4 < 2 ? std::vector<Color3>{a, b} : std::vector<Color3>{b, a};
    const NearestColorSearch twoColours(pair);
    const int n = DirectUnitCells(twoColours).perAxis;
    ASSERT_EQ(n, 32);
    std::vector<Color3> beside;
    for (int u = 0; u < n; u += 1 + static_cast<int>(kScale)) {
      for (int v = 0; v < n; ++v) {
        for (int side = k - 1; side <= k; ++side) {
          int cell[3];
          cell[axis] = side;
          cell[(axis + 1) % 3] = u;
          cell[(axis + 2) % 3] = v;
          AddCellPoints(n, cell[0], cell[1], cell[2], beside);
        }
      }
    }
    EXPECT_TRUE(MatchesReference(twoColours, pair, beside)) << "trial " << trial;
  }
}

// How many colours lie at the least float distance from `in`, by the reference rule's arithmetic.
std::size_t AtLeastDistance(std::span<const Color3> palette, const Color3& in) {
  std::vector<float> distances;
  for (const Color3& c : palette) {
    const float dr = c.r - in.r;
    const float dg = c.g - in.g;
    const float db = c.b - in.b;
    distances.push_back((dr * dr + dg * dg) + db * db);
  }
  const float least = *std::min_element(distances.begin(), distances.end());
  return static_cast<std::size_t>(std::count(distances.begin(), distances.end(), least));
}

// Error diffusion over a ramp drives points far off it, where the float distances of a long stretch of the
// ramp's colours round to the same least value and only the first of them in palette order is the answer:
// greys (exactly on one line) in order, reversed and shuffled (palette order unrelated to the order along
// the line), and a ramp whose colours stray from their line by rounding. The points lie 0.01 to 10^4 off the
// ramp, their foot anywhere along it and a little beyond its ends.
TEST(NearestColorSearch, FarPointsOffARampTakeTheFirstOfEqualDistances) {
  Generator random(8);
  std::vector<Color3> greys = Ramp(65536, Color3(0.0f), Color3(1.0f));
  std::vector<Color3> reversed(greys.rbegin(), greys.rend());
  std::vector<Color3> shuffled = Ramp(16384, Color3(0.0f), Color3(1.0f));
  for (std::size_t i = shuffled.size() - 1; i > 0; --i) std::swap(shuffled[i], shuffled[random.below(i + 1)]);
  const Color3 black(0.0f), white(1.0f), start(0.9f, 0.05f, 0.3f), end(0.2f, 1.0f, 0.7f);
  const struct {
    std::string name;
    std::vector<Color3> palette;
    Color3 from, to;
  } ramps[] = {
      {"65,536 greys", std::move(greys), black, white},
      {"65,536 greys, white first", std::move(reversed), black, white},
      {"16,384 greys shuffled", std::move(shuffled), black, white},
      {"a ramp across the cube", Ramp(20000, start, end), start, end},
  };
  for (const auto& [name, palette, from, to] : ramps) {
    const NearestColorSearch search(palette);
    std::vector<Color3> points;
    std::size_t tied = 0;  // points where more than one colour is at the least float distance
    for (std::size_t i = 0; i < 1500 / kScale; ++i) {
      const Color3 foot = from + (to - from) * random.between(-0.05f, 1.05f);
      const Color3 away = random.color(-1.0f, 1.0f);
      const float reach = std::ldexp(1.0f, static_cast<int>(random.below(21)) - 7);
      const Color3 in = foot + away * reach;
      points.push_back(in);
      tied += AtLeastDistance(palette, in) > 1 ? 1 : 0;
    }
    EXPECT_TRUE(MatchesReference(search, palette, points)) << name;
    EXPECT_GT(tied, points.size() / 8) << name << ": too few ties to test the rule";
  }
}

// The key of the first colour at the least float distance among `colors` (index `indices[i]` each, -1 for
// an unused lane, never taken): the least distance's bits << 32 | that index, or the largest float's bits
// and all ones when no distance is below the largest float. By the rule's definition, colour by colour.
uint64_t ReferenceKey(std::span<const Color3> colors, std::span<const int32_t> indices, const Color3& in) {
  uint64_t key = (uint64_t{0x7F7FFFFF} << 32) | 0xFFFFFFFFu;
  for (std::size_t i = 0; i < colors.size(); ++i) {
    const float dr = colors[i].r - in.r;
    const float dg = colors[i].g - in.g;
    const float db = colors[i].b - in.b;
    const float distance = (dr * dr + dg * dg) + db * db;
    if (indices[i] < 0 || !(distance < kMax)) continue;
    uint32_t bits;
    std::memcpy(&bits, &distance, sizeof bits);
    key = std::min(key, (uint64_t{bits} << 32) | static_cast<uint32_t>(indices[i]));
  }
  return key;
}

// The 8-lane scans of long runs (taken where the CPU has AVX2) give the rule's key bit for bit: runs of 1 to
// 41 blocks (odd counts read a block twice), colours drawn from a few, so that many distances tie exactly,
// in palette order block after block (LeastKey) and in any order (LeastKeyAnyOrder), with unused lanes,
// colours whose distances overflow and NaN or infinite channels among them, from points near and far.
TEST(NearestColorSearch, WideRunScansGiveTheRulesKey) {
  if (!NearestAvx2Available()) GTEST_SKIP() << "no AVX2";
  Generator random(12);
  const Color3 few[] = {Color3(0.25f),
                        Color3(0.5f, 0.25f, 0.75f),
                        Color3(0.75f),
                        Color3(1e20f, 0.0f, 0.0f),
                        Color3(kNaN, 0.5f, 0.5f),
                        Color3(0.5f, kInf, 0.5f),
                        Color3(0.0f, 0.5f, 1.0f)};
  for (int trial = 0; trial < 400; ++trial) {
    const std::size_t count = 1 + random.below(41);
    const bool inOrder = trial % 2 == 0;
    std::vector<int32_t> indices(count * 4);
    for (std::size_t i = 0; i < indices.size(); ++i)
      indices[i] = static_cast<int32_t>(i * 3 + random.below(3));
    if (!inOrder) {
      for (std::size_t i = indices.size() - 1; i > 0; --i)
        std::swap(indices[i], indices[random.below(i + 1)]);
    }
    const std::size_t unused = random.below(4);  // the last block's last lanes, as the tree leaves them
    std::vector<Color3> colors(indices.size());
    std::vector<NearestGrids::Block> blocks(count);
    for (std::size_t i = 0; i < colors.size(); ++i) {
      const bool used = i + unused < colors.size();
      colors[i] = random.below(3) == 0 ? random.color(-1.0f, 2.0f) : few[random.below(std::size(few))];
      colors[i] = used ? colors[i] : Color3(std::numeric_limits<float>::infinity());
      indices[i] = used ? indices[i] : -1;
      NearestGrids::Block& block = blocks[i / 4];
      block.r[i % 4] = colors[i].r;
      block.g[i % 4] = colors[i].g;
      block.b[i % 4] = colors[i].b;
      block.index[i % 4] = indices[i];
    }
    for (int p = 0; p < 8; ++p) {
      const float reach = std::ldexp(1.0f, static_cast<int>(random.below(24)) - 8);
      const Color3 in = p == 0 ? few[0] : Color3(0.5f) + random.color(-1.0f, 1.0f) * reach;
      const uint64_t expected = ReferenceKey(colors, indices, in);
      const uint64_t got =
          inOrder
              ? nearest_avx2::LeastKey(blocks.data(), static_cast<uint32_t>(count), in.r, in.g, in.b)
              : nearest_avx2::LeastKeyAnyOrder(blocks.data(), static_cast<uint32_t>(count), in.r, in.g, in.b);
      EXPECT_EQ(got, expected) << "trial " << trial << ", " << count << " blocks, point " << Describe(in);
    }
  }
}

// Where two searches' grids differ (the unit grid's cells and blocks, the outer grid's and each shell's),
// bit for bit, or "" where they do not. A grid's blocks are those its cells reach.
std::string GridDifference(const NearestColorSearch& a, const NearestColorSearch& b) {
  const NearestGrids x = a.gridsWithShells();
  const NearestGrids y = b.gridsWithShells();
  const auto sameBlocks = [](const NearestGrids::Block* p, const NearestGrids::Block* q, std::size_t count) {
    return count == 0 || std::memcmp(p, q, count * sizeof(NearestGrids::Block)) == 0;
  };
  if (a.unitCellCount() != b.unitCellCount() || x.unit.shift != y.unit.shift) return "unit grid size";
  if (a.hasUnitGrid()) {
    const std::size_t cells = a.unitCellCount() + 1;
    if (std::memcmp(x.unit.cells, y.unit.cells, cells * sizeof(uint16_t)) != 0) return "unit cells";
    std::size_t blocks = 0;
    for (std::size_t k = 0; k < cells; ++k) {
      const uint16_t cell = x.unit.cells[k];
      blocks = (cell & NearestGrids::kUnitDirect) == 0 ? std::max<std::size_t>(blocks, cell) : blocks;
    }
    if (!sameBlocks(x.unit.blocks, y.unit.blocks, blocks)) return "unit blocks";
  }
  if (x.shellCount != y.shellCount) return "shell count";
  for (int g = -1; g < x.shellCount; ++g) {
    const NearestGrids::OuterGrid& p = g < 0 ? x.outer : x.shells[g];
    const NearestGrids::OuterGrid& q = g < 0 ? y.outer : y.shells[g];
    const std::string name = g < 0 ? "outer grid" : "shell " + std::to_string(g);
    if (p.perAxis != q.perAxis) return name + " size";
    const auto cells = static_cast<std::size_t>(p.perAxis) * p.perAxis * p.perAxis;
    if (std::memcmp(p.cells, q.cells, cells * sizeof(NearestGrids::Cell)) != 0) return name + " cells";
    std::size_t blocks = 0;
    for (std::size_t k = 0; k < cells; ++k) {
      const NearestGrids::Cell cell = p.cells[k];
      const bool listed = cell.count != 0 && cell.count != NearestGrids::kTreeCell;
      blocks = listed ? std::max<std::size_t>(blocks, std::size_t{cell.first} + cell.count) : blocks;
    }
    if (!sameBlocks(p.blocks, q.blocks, blocks)) return name + " blocks";
  }
  return "";
}

// The grids built with AVX2 are those of the baseline build, cell for cell and block for block (so the same
// cells answer directly): every table, and palettes with ties (colours on a lattice, equidistant from cell
// corners), duplicates, clusters, near-ties over wide regions (a sphere, more than the eight strongest rivals
// in one half), colours beyond the cube (the shells), and overflowing ones.
TEST(NearestColorSearch, WideBuildGivesTheBaselineGrids) {
  if (!NearestAvx2Available()) GTEST_SKIP() << "no AVX2";
  Generator random(13);
  std::vector<Color3> lattice;
  for (const float r : {0.0f, 0.25f, 0.5f, 0.75f, 1.0f})
    for (const float g : {0.0f, 0.25f, 0.5f, 0.75f, 1.0f})
      for (const float b : {0.0f, 0.25f, 0.5f, 0.75f, 1.0f}) lattice.push_back(Color3(r, g, b));
  std::vector<Color3> withDuplicates = RandomPalette(200, random);
  for (std::size_t i = 0; i < 56; ++i) withDuplicates.push_back(withDuplicates[random.below(200)]);
  std::vector<std::pair<std::string, std::vector<Color3>>> palettes = {
      {"PICO-8", {kPico8.begin(), kPico8.end()}},
      {"CGA", {kCga.begin(), kCga.end()}},
      {"VGA 2-bit", {kVga2Bit.begin(), kVga2Bit.end()}},
      {"VGA 8-bit", {kVga8Bit.begin(), kVga8Bit.end()}},
      {"Commodore 64", {kCommodore64.begin(), kCommodore64.end()}},
      {"NES", {kNes.begin(), kNes.end()}},
      {"FamiCube - Iven", {kFamiCubeIven.begin(), kFamiCubeIven.end()}},
      {"20 random", RandomPalette(20, random)},
      {"256 random", RandomPalette(256, random)},
      {"2000 random", RandomPalette(2000, random)},
      {"a lattice", lattice},
      {"duplicates", withDuplicates},
      {"256 from 12", DrawnFrom(RandomPalette(12, random), 256, random)},
      {"clusters", Clusters(6, 256, 0.02f, random)},
      {"on a sphere", Sphere(400, random)},
      {"around the cube", RandomPalette(300, random, -0.7f, 1.7f)},
      {"huge and ordinary",
       {Color3(1e19f), Color3(0.9f, 0.1f, 0.4f), Color3(kNaN), Color3(0.2f, 0.8f, 0.4f),
        Color3(0.0f, -2e19f, 0.0f), Color3(0.5f)}},
  };
  for (const auto& [name, palette] : palettes) {
    const NearestColorSearch wide(palette, NearestColorSearch::Build::Widest);
    const NearestColorSearch baseline(palette, NearestColorSearch::Build::Baseline);
    EXPECT_EQ(GridDifference(wide, baseline), "") << name;
  }
}

// Where a box's decisions change, the AVX2 choice of each half's candidates is still the reference's:
// random boxes 2 to 16 unit cells wide and 2 to 32 colours around them; one colour is moved along a line,
// and the point where some half's choice changes is narrowed down to adjacent doubles, where a gap lies
// within a rounding of its margin and any change in the order of the arithmetic shows. Both choices are
// compared at every point tried.
TEST(NearestColorSearch, WideHalvesChooseAsTheBaselineWhereTheChoiceChanges) {
  if (!NearestAvx2Available()) GTEST_SKIP() << "no AVX2";
  Generator random(14);
  std::size_t compared = 0;
  std::size_t differing = 0;
  std::size_t edges = 0;
  const std::size_t trials = 300 / kScale;
  for (std::size_t trial = 0; trial < trials; ++trial) {
    const int span = 2 << random.below(4);
    const double cell = 1.0 / 64.0;
    const double half = span / 2 * cell;
    double lo[3][2];
    double hi[3][2];
    double centre[3];
    for (int c = 0; c < 3; ++c) {
      const double corner =
          static_cast<double>(random.below(static_cast<std::uint64_t>(64 / span))) * span * cell;
      for (int d = 0; d < 2; ++d) {
        lo[c][d] = corner + d * half - 0x1p-20;
        hi[c][d] = corner + d * half + half + 0x1p-20;
      }
      centre[c] = corner + half;
    }
    const std::size_t count = 2 + random.below(31);
    std::vector<double> channel[3];
    for (std::size_t i = 0; i < count; ++i) {
      for (int c = 0; c < 3; ++c) channel[c].push_back(centre[c] + random.between(-3.0f, 3.0f) * half);
    }
    const double start[3] = {channel[0][0], channel[1][0], channel[2][0]};
    double direction[3];
    for (double& v : direction) v = random.between(-4.0f, 4.0f) * half;
    // Both choices with colour 0 at start + t direction; the reference's is kept in `kept`.
    const auto choose = [&](double t, std::uint32_t(&kept)[8]) {
      for (int c = 0; c < 3; ++c) channel[c][0] = start[c] + t * direction[c];
      const double* const columns[3] = {channel[0].data(), channel[1].data(), channel[2].data()};
      std::uint32_t wide[8];
      nearest_halves_check::SelectHalves(false, columns, count, lo, hi, kept);
      nearest_halves_check::SelectHalves(true, columns, count, lo, hi, wide);
      ++compared;
      differing += std::equal(kept, kept + 8, wide) ? 0 : 1;
    };
    // Every change along the line, one in each of 16 stretches.
    std::uint32_t before[8];
    choose(0.0, before);
    for (int stretch = 1; stretch <= 16; ++stretch) {
      double a = (stretch - 1) / 16.0;
      double b = stretch / 16.0;
      std::uint32_t atA[8];
      std::uint32_t atB[8];
      std::copy(before, before + 8, atA);
      choose(b, atB);
      std::copy(atB, atB + 8, before);
      if (std::equal(atA, atA + 8, atB)) continue;
      ++edges;
      for (;;) {
        const double mid = 0.5 * (a + b);
        if (mid == a || mid == b) break;
        std::uint32_t atMid[8];
        choose(mid, atMid);
        (std::equal(atMid, atMid + 8, atA) ? a : b) = mid;
      }
      std::uint32_t near[8];
      for (double t = std::nextafter(a, -1.0), k = 0; k < 4; t = std::nextafter(t, 2.0), ++k) choose(t, near);
    }
  }
  EXPECT_EQ(differing, 0u) << "of " << compared << " boxes";
  EXPECT_GT(edges, 3 * trials) << "too few changes of choice to test";
}

TEST(NearestColorSearch, EqualColoursGiveTheFirst) {
  // Worked by hand: equal colours are at equal distances from every input, so the earliest of them wins.
  Generator random(6);
  std::vector<Color3> palette = RandomPalette(9000, random);
  const Color3 twice(0.25f, 0.5f, 0.75f);
  palette[4321] = twice;
  palette[8999] = twice;
  palette[6000] = twice;
  const NearestColorSearch search(palette);
  EXPECT_EQ(search.find(twice), 4321);
  EXPECT_EQ(search.find(Color3(40.0f, -30.0f, 2.0f)), ReferenceIndex(palette, Color3(40.0f, -30.0f, 2.0f)));
  std::vector<Color3> same(70000, Color3(0.5f));
  same[0] = Color3(kNaN);
  same[1] = Color3(0.5f, 0.5f, 0.25f);
  const NearestColorSearch repeated(same);
  EXPECT_EQ(repeated.find(Color3(0.5f)), 2);
  EXPECT_EQ(repeated.find(Color3(0.5f, 0.5f, 0.0f)), 1);
  // Blue differences of 2.5 and 2.75 vanish beside 2e12 in single precision: a tie, which entry 1 wins.
  EXPECT_EQ(repeated.find(Color3(1e6f, -1e6f, 3.0f)), 1);
  EXPECT_EQ(repeated.find(Color3(1e6f, -1e6f, 0.5f)), 1);
  EXPECT_EQ(repeated.find8(255, 255, 255), 2);  // 0.75 against 1.0625
  EXPECT_EQ(repeated.find8(0, 0, 0), 1);        // 0.5625 against 0.75
  EXPECT_EQ(repeated.find(Color3(0.5f, kInf, 0.5f)), -1);
  // The greys k / 65535 and the grey halfway between two of them: both are at the same distance, and the
  // first wins.
  const std::vector<Color3> greys = Ramp(65536, Color3(0.0f), Color3(1.0f));
  const NearestColorSearch ramp(greys);
  const Color3 half = Color3(0.5f);
  EXPECT_EQ(ramp.find(half), ReferenceIndex(greys, half));
  EXPECT_EQ(ramp.find8(255, 255, 255), 65535);
  EXPECT_EQ(ramp.find8(0, 0, 0), 0);
  EXPECT_EQ(ramp.find(Color3(2.0f, 2.0f, 2.0f)), 65535);
  EXPECT_EQ(ramp.find(Color3(-1.0f, -1.0f, -1.0f)), 0);
}

TEST(NearestColorSearch, KnownAnswers) {
  // Each of these lies within a few ulps of a tie with a later entry.
  EXPECT_EQ(NearestColorSearch(kPico8).find(Bytes(204, 14, 182)), 14);
  EXPECT_EQ(NearestColorSearch(kCga).find8(217, 113, 38), 12);
  EXPECT_EQ(NearestColorSearch(kVga8Bit).find8(221, 221, 103), 65);
  // As far from white (entry 0) as from bright cyan, and nearer than every other entry.
  EXPECT_EQ(NearestColorSearch(kZxSpectrum).find(Color3(0.5f, 1.25f, 1.25f)), 0);
  const Color3 pair[] = {Color3(0.0f), Color3(1.0f, 0.0f, 0.0f)};
  const Color3 swapped[] = {pair[1], pair[0]};
  EXPECT_EQ(NearestColorSearch(pair).find(Color3(0.5f, 0.0f, 0.0f)), 0);
  EXPECT_EQ(NearestColorSearch(swapped).find(Color3(0.5f, 0.0f, 0.0f)), 0);
  // Nothing taken: no colours, a NaN or infinite channel, or 1e20 whose squared difference overflows.
  const NearestColorSearch cga(kCga);
  EXPECT_EQ(NearestColorSearch().find(Color3(0.5f)), -1);
  EXPECT_EQ(cga.find(Color3(0.5f, kNaN, 0.5f)), -1);
  EXPECT_EQ(cga.find(Color3(0.5f, 0.5f, -kInf)), -1);
  EXPECT_EQ(cga.find(Color3(1e20f, 0.0f, 0.0f)), -1);
  Color3 colour(1e20f, 0.0f, 0.0f);
  EXPECT_TRUE(SameBits(cga.nearest(colour, colour), Color3(1e20f, 0.0f, 0.0f)));
  colour = Bytes(221, 221, 103);
  EXPECT_TRUE(SameBits(NearestColorSearch(kVga8Bit).nearest(colour, colour), kVga8Bit[65]));
}

TEST(NearestColorSearch, EveryEightBitColourAsFind) {
  const NearestColorSearch searches[] = {NearestColorSearch(kPico8), NearestColorSearch(kVga8Bit)};
  for (const NearestColorSearch& search : searches) {
    std::size_t wrong = 0;
    for (int r = 0; r < 256; r += static_cast<int>(kScale)) {
      for (int g = 0; g < 256; ++g) {
        for (int b = 0; b < 256; ++b) {
          wrong += search.find8(static_cast<uint8_t>(r), static_cast<uint8_t>(g), static_cast<uint8_t>(b)) !=
                           search.find(Bytes(r, g, b))
                       ? 1
                       : 0;
        }
      }
    }
    EXPECT_EQ(wrong, 0u) << search.size() << " colours";
  }
}

TEST(NearestColorSearch, CopiesMovesAndThreadsAnswerAlike) {
  Generator random(4);
  const std::vector<Color3> palette = RandomPalette(300, random);
  const std::vector<Color3> points = Points(palette, SpreadFor(palette.size(), 20000), random);
  std::vector<int32_t> expected;
  for (const Color3& in : points) {
    expected.push_back(ReferenceIndex(palette, in));
  }
  auto original = std::make_unique<NearestColorSearch>(palette);
  NearestColorSearch copy = *original;
  NearestColorSearch moved = std::move(*original);
  original.reset();
  std::vector<std::size_t> wrong(4, 0);
  std::vector<std::thread> threads;
  for (std::size_t t = 0; t < wrong.size(); ++t) {
    threads.emplace_back([&, t] {
      const NearestColorSearch& search = t % 2 == 0 ? copy : moved;
      for (std::size_t i = 0; i < points.size(); ++i) {
        wrong[t] += search.find(points[i]) != expected[i] ? 1 : 0;
      }
    });
  }
  for (std::thread& thread : threads) {
    thread.join();
  }
  EXPECT_EQ(wrong, std::vector<std::size_t>(4, 0));
  EXPECT_EQ(copy.colors().size(), palette.size());
  EXPECT_TRUE(SameBits(copy.colors()[299], palette[299]));
}

}  // namespace
