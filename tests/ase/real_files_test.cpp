// Swatch files written by other programs. Expected colours come from the bytes of each file decoded by hand,
// from the hex codes some writers put in the names, and for solarized from the published Solarized sRGB
// values.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "ase/ase_populate_rgb.h"
#include "ase/load.h"
#include "ase/load_swatch_colors.h"
#include "event_log.h"

namespace {

using namespace std::string_literals;

std::string DataPath(const char* file) { return std::string(PALETTRIX_ASE_DATA_DIR "/") + file; }

Color3 Hex(std::uint32_t rgb) {
  return Color3(static_cast<float>(rgb >> 16) / 255.0f, static_cast<float>(rgb >> 8 & 0xFF) / 255.0f,
                static_cast<float>(rgb & 0xFF) / 255.0f);
}

struct Spot {
  std::size_t index;
  Color3 rgb;
};

struct RealFile {
  const char* name;
  bool complete;  // what LoadFromFile reports
  std::size_t colors;
  float tolerance;
  std::vector<Spot> spots;
};

const std::vector<RealFile>& RealFiles() {
  static const std::vector<RealFile> files = {
      {"arolek-ase--out.ase", false, 0, 0.0f, {}},
      {"arolek-ase--test.ase",
       true,
       8,
       1e-6f,
       {{0, Color3(1.0f)},
        {1, Color3(0.53f)},
        {2, {1.0f, 0.0f, 1.0f}},
        {5, {1.0f, 0.0f, 0.0f}},
        {7, {0.0f, 0.0f, 1.0f}}}},
      {"ase-rb--output.ase", true, 0, 0.0f, {}},  // after its first group start, only unknown block types
      {"ase-util--global-color.ase", true, 1, 1e-6f, {{0, {0.48206306f, 1.0f, 0.87460136f}}}},
      {"ase-util--gray-color.ase", true, 1, 0.0f, {{0, Color3(0.5f)}}},
      {"ase-util--hex-test.ase",
       true,
       7,
       1e-5f,
       {{0, Hex(0x22B573)},
        {3, Hex(0x754C24)},
        {4, {0.3413448f, 0.0090492f, 0.5758711f}},
        {6, Hex(0xA5A5A5)}}},
      {"ase-util--lab-color.ase", true, 1, 1e-6f, {{0, {0.0f, 1.0f, 1.0f}}}},
      // Group starts without a name field throw the walk out of step: the bytes after them read as
      // unknown block types, and no entry is found.
      // Its group starts have no data at all; reading them as empty keeps every colour after them.
      {"cpc--BenjaminMoore_AmericasColors_en-us.ase",
       true,
       42,
       1e-6f,
       {{0, Hex(0xCBC5B1)}, {41, Hex(0xEAE6D1)}}},
      {"cpc--Raspberry.ase", true, 5, 1e-6f, {{0, Hex(0x730517)}, {4, Hex(0x1E7069)}}},
      {"cpc--argyle-socks.ase", true, 5, 0.5f / 255.0f, {{0, Hex(0xAEBB69)}, {3, Hex(0xADECFF)}}},
      {"cpc--color-cubes.ase", true, 329, 1e-6f, {{0, Hex(0xFFBFBF)}, {328, Hex(0xFF007F)}}},
      {"cpc--palette_complex.ase",
       true,
       21,
       1e-5f,
       {{1, Color3(1.0f)}, {7, Color3(0.0f)}, {8, Color3(1.0f)}, {10, {0.0224f, 0.2432f, 0.048f}}}},
      {"cpc--unsupported_version.ase", true, 3, 1e-6f, {{0, Hex(0x0E2E72)}, {2, Hex(0x3498DB)}}},
      {"hughsk--sample.ase",
       true,
       122,
       1e-5f,
       {{0, {1.0f, 0.0f, 0.0f}},
        {7, Color3(0.9f)},
        {16, {1.0f, 0.0f, 0.0f}},
        {116, Color3(0.125f)},
        {121, {0.3f, 0.15f, 0.0f}}}},
      {"nsfmc-swatch--empty_white_folder.ase", true, 0, 0.0f, {}},
      {"nsfmc-swatch--sampler.ase",
       true,
       5,
       1e-5f,
       {{0, Color3(1.0f)}, {1, Hex(0xC80032)}, {3, Color3(0.94655f)}, {4, Hex(0xF1A321)}}},
      // Solarized defines its colours in L*a*b*; the published sRGB codes are those values rounded.
      {"nsfmc-swatch--solarized.ase",
       true,
       26,
       1.0f / 255.0f,
       {{0, Hex(0x002B36)},
        {7, Hex(0xFDF6E3)},
        {9, Hex(0xCB4B16)},
        {13, Hex(0x268BD2)},
        {15, Hex(0x859900)},
        {16, Hex(0x002B36)}}},
      {"open-color--open-color_1.3.2.ase", true, 130, 1e-6f, {{0, Hex(0xF8F9FA)}, {129, Hex(0xD9480F)}}},
      {"palette2oco--invalid.ase", false, 0, 0.0f, {}},
  };
  return files;
}

TEST(AseRealFiles, CountsAndColours) {
  for (const RealFile& file : RealFiles()) {
    SCOPED_TRACE(file.name);
    ASEPopulateRGB collector;
    EXPECT_EQ(ase::LoadFromFile(collector, DataPath(file.name)), file.complete);
    ASSERT_EQ(collector.colors.size(), file.colors);
    EXPECT_EQ(LoadSwatchColors(DataPath(file.name)), collector.colors);
    for (const Spot& spot : file.spots) {
      for (int i = 0; i < 3; ++i) {
        EXPECT_NEAR(collector.colors[spot.index][i], spot.rgb[i], file.tolerance)
            << "colour " << spot.index << " channel " << i;
      }
    }
  }
}

// Group and entry names as the files store them: counted units, the writer's terminating zero included.
TEST(AseRealFiles, NamesAndGroups) {
  EventLog sampler;
  EXPECT_TRUE(ase::LoadFromFile(sampler, DataPath("nsfmc-swatch--sampler.ase")));
  ASSERT_EQ(sampler.Kinds(), "begin rgb rgb rgb gray rgb end");
  EXPECT_EQ(sampler.events[0].name, u"Whitefolder\0"s);
  EXPECT_EQ(sampler.events[2].name, u"lablab\0"s);

  EventLog raspberry;
  EXPECT_TRUE(ase::LoadFromFile(raspberry, DataPath("cpc--Raspberry.ase")));
  ASSERT_EQ(raspberry.Kinds(), "rgb rgb rgb rgb rgb");
  for (const AseEvent& e : raspberry.events) EXPECT_TRUE(e.name.empty());
}

}  // namespace
