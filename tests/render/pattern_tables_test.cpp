// The built diffusion tables and dither matrices, entry by entry, against the ones typed in by hand.
#include <gtest/gtest.h>

#include <span>
#include <string>

#include "dither_reference.h"
#include "render/diffusion_tables.h"
#include "render/dither_matrices.h"
#include "render/pattern_catalogue.h"

using dither_test::Diffusions;
using dither_test::Matrices;

TEST(DiffusionTables, EveryShareWithItsStoredWeight) {
  const std::span<const DiffusionEntry> built[] = {
      kFloydSteinberg, kFalseFloydSteinberg, kFilterLite, kZhigangFan,
      kShiauFan,       kJarvisJudiceNinke,   kStucki,     kBurkes,
      kSierra,         kTwoRowSierra,        kAtkinson};
  ASSERT_EQ(std::size(built), Diffusions().size());
  for (std::size_t t = 0; t < Diffusions().size(); ++t) {
    const auto& expected = Diffusions()[t];
    ASSERT_EQ(built[t].size(), expected.shares.size()) << expected.label;
    for (std::size_t i = 0; i < expected.shares.size(); ++i) {
      EXPECT_EQ(built[t][i].dx, expected.shares[i].dx) << expected.label << " entry " << i;
      EXPECT_EQ(built[t][i].dy, expected.shares[i].dy) << expected.label << " entry " << i;
      EXPECT_EQ(built[t][i].weight, expected.shares[i].weight) << expected.label << " entry " << i;
    }
  }
}

TEST(DitherMatrices, EveryCellSizeAndDivisor) {
  const DitherMatrix* built[] = {&kBayer2x2,      &kBayer3x3,       &kBayer5x3,      &kBayer4x4,
                                 &kBayer8x8,      &kClusterDot4x4,  &kClusterDot8x8, &kHorizontal2x2,
                                 &kHorizontal8x1, &kHorizontal12x4, &kVertical2x2,   &kVertical1x8,
                                 &kVertical4x12,  &kDiagonal5x5};
  ASSERT_EQ(std::size(built), Matrices().size());
  for (std::size_t m = 0; m < Matrices().size(); ++m) {
    const auto& expected = Matrices()[m];
    EXPECT_EQ(built[m]->columns, expected.columns) << expected.label;
    EXPECT_EQ(built[m]->rows, expected.rows) << expected.label;
    EXPECT_EQ(built[m]->divisor, expected.divisor) << expected.label;
    ASSERT_EQ(built[m]->cells.size(), expected.cells.size()) << expected.label;
    for (std::size_t i = 0; i < expected.cells.size(); ++i) {
      EXPECT_EQ(built[m]->cells[i], expected.cells[i]) << expected.label << " cell " << i;
    }
  }
}

// The pattern catalogue in popup order: the labels the host shows, and which patterns the offsets, scale
// and thresholds shape (the ordered ones, from "Bayer 2x2" on).
TEST(PatternCatalogue, LabelsFamiliesAndControlsInPopupOrder) {
  const char* const labels[] = {"Threshold",
                                "Floyd Steinberg",
                                "False Floyd Steinberg",
                                "Filter Lite",
                                "Zhigang Fan",
                                "Shiau-Fan",
                                "Jarvis, Judice & Ninke",
                                "Stucki",
                                "Burkes",
                                "Sierra",
                                "Two Row Sierra",
                                "Atkinson",
                                "Bayer 2x2",
                                "Bayer 3x3",
                                "Bayer 5x3",
                                "Bayer 4x4",
                                "Bayer 8x8",
                                "Cluster Dot 4x4",
                                "Cluster Dot 8x8",
                                "Horizontal 2x2",
                                "Horizontal 8x1",
                                "Horizontal 12x4",
                                "Vertical 2x2",
                                "Vertical 1x8",
                                "Vertical 4x12",
                                "Diagonal 5x5"};
  ASSERT_EQ(std::size(labels), kPatternCount);
  for (std::size_t i = 0; i < kPatternCount; ++i) {
    const PatternRow& row = PatternCatalogue[i];
    EXPECT_EQ(std::string(row.label), labels[i]);
    const PatternFamily family = i == 0    ? PatternFamily::Threshold
                                 : i <= 11 ? PatternFamily::ErrorDiffusion
                                           : PatternFamily::Ordered;
    EXPECT_EQ(row.family, family) << labels[i];
    EXPECT_EQ(row.usesPatternControls(), i >= 12) << labels[i];
    EXPECT_EQ(row.matrix != nullptr, family == PatternFamily::Ordered) << labels[i];
    EXPECT_EQ(row.shares.empty(), family != PatternFamily::ErrorDiffusion) << labels[i];
  }
  EXPECT_EQ(FirstOrderedPattern(), 12u);
}
