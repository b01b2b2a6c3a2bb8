// The open-file dialog hands back a UTF-8 path; a swatch file under a name outside ASCII must open through
// it on every platform (on Windows by its wide-character form, not the ANSI code page).
#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>

#include "ase/load_swatch_colors.h"

namespace fs = std::filesystem;

namespace {

fs::path Utf8Path(const std::string& utf8) { return fs::path(std::u8string(utf8.begin(), utf8.end())); }

class SwatchPath : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device random;
    for (int attempt = 0; attempt < 100 && dir_.empty(); ++attempt) {
      const fs::path candidate =
          fs::temp_directory_path() / ("palettrix-swatch-path-" + std::to_string(random()));
      if (fs::create_directory(candidate)) dir_ = candidate;
    }
    ASSERT_FALSE(dir_.empty());
  }
  void TearDown() override {
    std::error_code ec;
    if (!dir_.empty()) fs::remove_all(dir_, ec);
  }

  // The UTF-8 bytes of the path to `name` inside the test's own directory.
  std::string PathBytes(const std::string& utf8Name) const {
    const std::u8string dir = dir_.u8string();
    return std::string(dir.begin(), dir.end()) + "/" + utf8Name;
  }

  fs::path dir_;
};

const std::string kSource = PALETTRIX_ASE_DATA "/cpc--Raspberry.ase";

}  // namespace

TEST_F(SwatchPath, AFileNamedOutsideAsciiOpensByItsUtf8Path) {
  const ColorList expected = LoadSwatchColors(kSource);
  ASSERT_EQ(expected.size(), 5u);
  // "Farben – Grün 色.ase": Latin-1, a dash beyond Latin-1, and a CJK character.
  const std::string name = "Farben \xE2\x80\x93 Gr\xC3\xBCn \xE8\x89\xB2.ase";
  fs::copy_file(kSource, dir_ / Utf8Path(name));
  const ColorList colors = LoadSwatchColors(PathBytes(name));
  EXPECT_EQ(colors, expected);
}

TEST_F(SwatchPath, APathThatNamesNoFileGivesNoColours) {
  EXPECT_TRUE(LoadSwatchColors(PathBytes("absent.ase")).empty());
  EXPECT_TRUE(LoadSwatchColors("").empty());
#ifdef _WIN32
  // Not UTF-8 (a lone continuation byte), and a zero that would cut the name down to an existing file.
  fs::copy_file(kSource, dir_ / "real.ase");
  ASSERT_EQ(LoadSwatchColors(PathBytes("real.ase")).size(), 5u);
  EXPECT_TRUE(LoadSwatchColors(PathBytes("real\x80.ase")).empty());
  EXPECT_TRUE(LoadSwatchColors(PathBytes("real.ase") + std::string(1, '\0') + "junk").empty());
#endif
}
