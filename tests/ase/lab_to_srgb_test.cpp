#include "ase/lab_to_srgb.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

void ExpectNear(const Color3& got, const Color3& want, float tolerance) {
  for (int i = 0; i < 3; ++i) EXPECT_NEAR(got[i], want[i], tolerance) << "channel " << i;
}

TEST(LabToSrgb, NeutralsOnBothLightnessScales) {
  // L* 50 is relative luminance (66/116)^3 = 0.184187, which the sRGB curve encodes as 0.46633.
  const Color3 midGrey(0.46633f);
  ExpectNear(LabToSrgb(0.5f, 0.0f, 0.0f), midGrey, 5e-4f);
  ExpectNear(LabToSrgb(50.0f, 0.0f, 0.0f), midGrey, 5e-4f);
  ExpectNear(LabToSrgb(1.0f, 0.0f, 0.0f), Color3(1.0f), 1e-3f);  // 1 is full lightness, not L* 1
  ExpectNear(LabToSrgb(100.0f, 0.0f, 0.0f), Color3(1.0f), 1e-3f);
  EXPECT_EQ(LabToSrgb(0.0f, 0.0f, 0.0f), Color3(0.0f));
}

TEST(LabToSrgb, ChromaticColoursAndTheGamutEdge) {
  // sRGB red is L*a*b* (54.29, 80.80, 69.89) under D50.
  ExpectNear(LabToSrgb(0.5429f, 80.80f, 69.89f), Color3(1.0f, 0.0f, 0.0f), 2e-3f);
  // Far past cyan, outside sRGB: red clips to 0, green and blue to 1.
  ExpectNear(LabToSrgb(1.0f, -128.0f, -128.0f), Color3(0.0f, 1.0f, 1.0f), 1e-6f);
  // A damaged value must not put NaN into the palette.
  EXPECT_EQ(LabToSrgb(std::numeric_limits<float>::quiet_NaN(), 0.0f, 0.0f), Color3(0.0f));
}

}  // namespace
