// Palettes made from counted colours: the counting table, the cases worked by hand (few colours, separate
// clusters, the coarser grid, rounding), and the pruned centre search against measuring every centre.
#include "palette/make_palette.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "palette_test_support.h"
#include "support/seeded_generator.h"

namespace {

constexpr std::uint32_t Pack(std::uint32_t r, std::uint32_t g, std::uint32_t b) {
  return r << 16 | g << 8 | b;
}

void ExpectPalette(const ColorList& got, const std::vector<Color3>& expected, const char* what) {
  ASSERT_EQ(got.size(), expected.size()) << what;
  for (std::size_t i = 0; i < expected.size(); ++i)
    EXPECT_EQ(got[i], expected[i]) << what << ", colour " << i;
}

}  // namespace

TEST(ColorCounts, CountsEveryColourThroughTheTableGrowing) {
  ColorCounts counts;
  // 100,000 colours pass the first table's 4,096 slots many times over; every third one is counted again,
  // some of them after the table has grown.
  constexpr std::uint32_t kColors = 100000;
  for (std::uint32_t i = 0; i < kColors; ++i) counts.add(i * 167);
  for (std::uint32_t i = 0; i < kColors; i += 3) counts.add(i * 167, 5);
  counts.add(0xFFFFFF);
  EXPECT_EQ(counts.distinct(), kColors + 1);
  EXPECT_EQ(counts.total(), kColors + 5 * 33334u + 1);
  const std::vector<ColorCounts::Entry> entries = counts.entries();
  ASSERT_EQ(entries.size(), kColors + 1);
  for (std::uint32_t i = 0; i < kColors; ++i) {
    ASSERT_EQ(entries[i].rgb, i * 167);
    ASSERT_EQ(entries[i].count, i % 3 == 0 ? 6u : 1u) << i;
  }
  EXPECT_EQ(entries.back().rgb, 0xFFFFFFu);
}

TEST(MakePalette, FewColoursAreTheColoursThemselvesMostUsedFirst) {
  ColorCounts counts;
  counts.add(Pack(255, 0, 0), 2);
  counts.add(Pack(0, 0, 255), 7);
  counts.add(Pack(1, 2, 3), 2);
  counts.add(Pack(0, 0, 0), 1);
  // Equal counts: the lower packed value first.
  const std::vector<Color3> all = {Bytes(0, 0, 255), Bytes(1, 2, 3), Bytes(255, 0, 0), Bytes(0, 0, 0)};
  ExpectPalette(MakePalette(counts, 4), all, "exactly as many");
  ExpectPalette(MakePalette(counts, 256), all, "more room than colours");
  ExpectPalette(MakePalette(ColorCounts(), 16), {}, "nothing counted");
  // Two colours one step apart stay apart.
  ColorCounts close;
  close.add(Pack(100, 100, 100), 3);
  close.add(Pack(100, 100, 101), 3);
  ExpectPalette(MakePalette(close, 2), {Bytes(100, 100, 100), Bytes(100, 100, 101)}, "one step apart");
}

TEST(MakePalette, SeparateClustersGiveTheirMeans) {
  ColorCounts counts;
  // Weighted means: (3 x 10 + 14) / 4 = 11, (3 x 20 + 24) / 4 = 21, (3 x 30 + 34) / 4 = 31; and
  // (200 + 211) / 2 = 205.5, which rounds half away from zero to 206; (100 + 110) / 2 = 105;
  // (50 + 60) / 2 = 55. Four pixels each: the lower packed value first.
  counts.add(Pack(10, 20, 30), 3);
  counts.add(Pack(14, 24, 34), 1);
  counts.add(Pack(200, 100, 50), 2);
  counts.add(Pack(211, 110, 60), 2);
  ExpectPalette(MakePalette(counts, 2), {Bytes(11, 21, 31), Bytes(206, 105, 55)}, "two clusters");
  ExpectPalette(MakePalette(counts, 2, CentreSearch::Plain), {Bytes(11, 21, 31), Bytes(206, 105, 55)},
                "two clusters, plain search");
  // Three: the near pair (distance 4 x sqrt 3) stays one, the far pair (distance sqrt 321) splits, and the
  // heavier of them comes first.
  counts.add(Pack(211, 110, 60), 1);
  ExpectPalette(MakePalette(counts, 3), {Bytes(11, 21, 31), Bytes(211, 110, 60), Bytes(200, 100, 50)},
                "three clusters");
}

TEST(MakePalette, CoarserGridKeepsEachClustersMean) {
  // 40,000 colours, more than the clustering takes one by one: it works from the means of grid cubes, and a
  // cluster made of whole cubes keeps its mean. Block A: red 0..99, green 0..199, blue 0, mean
  // (49.5, 99.5, 0); block B: red 156..255, green 56..255, blue 255, mean (205.5, 155.5, 255).
  ColorCounts counts;
  for (std::uint32_t r = 0; r < 100; ++r) {
    for (std::uint32_t g = 0; g < 200; ++g) {
      counts.add(Pack(r, g, 0));
      counts.add(Pack(156 + r, 56 + g, 255));
    }
  }
  ASSERT_GT(counts.distinct(), kMostClusterPoints);
  ExpectPalette(MakePalette(counts, 2), {Bytes(50, 100, 0), Bytes(206, 156, 255)}, "two blocks");
}

TEST(MakePalette, PrunedSearchGivesThePlainSearchsPalette) {
  // Random counts over a few clumps (so that the clusters move for several iterations), a few hundred to
  // more than the clustering takes one by one; every palette size the command allows at its ends and
  // between.
  palettrix_test::SeededGenerator random(20261209);
  for (const std::uint32_t colors : {300u, 5000u, 60000u}) {
    ColorCounts counts;
    for (std::uint32_t i = 0; i < colors; ++i) {
      const std::uint32_t clump = random.below(6) * 40;
      counts.add(Pack(clump + random.below(60), random.below(256), clump + random.below(80)),
                 1 + random.below(20));
    }
    for (const std::size_t size : {2u, 3u, 16u, 64u, 256u}) {
      const ColorList pruned = MakePalette(counts, size);
      const ColorList plain = MakePalette(counts, size, CentreSearch::Plain);
      EXPECT_EQ(pruned.size(), size) << colors << " colours into " << size;
      ExpectPalette(pruned, plain, "pruned against plain");
    }
  }
}
