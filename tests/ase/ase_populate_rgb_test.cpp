#include "ase/ase_populate_rgb.h"

#include <gtest/gtest.h>

#include <sstream>

#include "ase/load.h"
#include "ase_bytes.h"

namespace {

TEST(AsePopulateRgb, OneColourPerEntryWithGroupsFlattened) {
  AseBytes file;
  file.Header(10)
      .GroupStart(u"one")
      .Color(u"", "RGB ", {0.1f, 0.2f, 0.3f})
      .Color(u"", "RGB ", {1.2f, -0.1f, 0.5f})  // kept as stored, not clamped
      .Color(u"", "Gray", {0.5f})
      .GroupEnd()
      .Color(u"", "CMYK", {0.0f, 0.0f, 0.0f, 1.0f})
      .Color(u"", "CMYK", {1.0f, 0.0f, 0.0f, 0.0f})
      .Color(u"", "CMYK", {0.5f, 0.0f, 0.0f, 0.5f})
      .Color(u"", "CMYK", {-0.5f, 0.25f, 2.0f, 0.0f})
      .Color(u"", "LAB ", {1.0f, 0.0f, 0.0f});
  const ColorList expected = {
      {0.1f, 0.2f, 0.3f}, {1.2f, -0.1f, 0.5f}, {0.5f, 0.5f, 0.5f},  {0.0f, 0.0f, 0.0f},
      {0.0f, 1.0f, 1.0f}, {0.25f, 0.5f, 0.5f}, {1.5f, 0.75f, 0.0f},  // a negative ink gives more than full
                                                                     // light; past full coverage is black
  };
  ASEPopulateRGB collector;
  std::istringstream in(file.str());
  EXPECT_TRUE(ase::LoadFromStream(collector, in));
  ASSERT_EQ(collector.colors.size(), expected.size() + 1);
  EXPECT_EQ(ColorList(collector.colors.begin(), collector.colors.end() - 1), expected);
  for (int i = 0; i < 3; ++i) EXPECT_NEAR(collector.colors.back()[i], 1.0f, 1e-3f);  // L*a*b* white
}

}  // namespace
