// The hosts' own descriptions of the plug-in (Kdenlive's XML, Shotcut's panel) list the Pattern and Swatch
// choices by hand, in the effect's order: they must stay the effect's labels.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "palette/palette_catalogue.h"
#include "render/pattern_catalogue.h"

namespace {

std::string Slurp(const char* path) {
  std::ifstream file(path);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

// The text between `open` and the next `close`, for each `open`.
std::vector<std::string> Each(const std::string& text, const std::string& open, const std::string& close) {
  std::vector<std::string> found;
  for (std::size_t at = text.find(open); at != std::string::npos; at = text.find(open, at + 1)) {
    const std::size_t start = at + open.size();
    found.push_back(text.substr(start, text.find(close, start) - start));
  }
  return found;
}

std::vector<std::string> Split(const std::string& list, const std::string& separator) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (std::size_t at; (at = list.find(separator, start)) != std::string::npos;
       start = at + separator.size()) {
    parts.push_back(list.substr(start, at - start));
  }
  parts.push_back(list.substr(start));
  return parts;
}

template <typename Catalogue>
std::vector<std::string> Labels(const Catalogue& catalogue) {
  std::vector<std::string> labels;
  for (const auto& row : catalogue) labels.emplace_back(row.label);
  return labels;
}

// Kdenlive's lists are separated by commas, so a label's own comma is left out, and "&" is XML's "&amp;".
std::vector<std::string> AsKdenliveShows(std::vector<std::string> labels) {
  for (std::string& label : labels) {
    std::string shown;
    for (const char c : label) {
      if (c == ',') continue;
      shown += c == '&' ? std::string("&amp;") : std::string(1, c);
    }
    label = shown;
  }
  return labels;
}

TEST(HostDescriptions, ListTheEffectsPatternsAndSwatchesInOrder) {
  const std::vector<std::string> patterns = Labels(PatternCatalogue), swatches = Labels(PaletteCatalogue);

  const std::vector<std::string> kdenlive = Each(Slurp(PALETTRIX_KDENLIVE_XML), "<paramlistdisplay>", "<");
  ASSERT_GE(kdenlive.size(), 2u);  // Pattern, Swatch, then any other list
  EXPECT_EQ(Split(kdenlive[0], ","), AsKdenliveShows(patterns));
  EXPECT_EQ(Split(kdenlive[1], ","), AsKdenliveShows(swatches));

  const std::string qml = Slurp(PALETTRIX_SHOTCUT_UI);
  const std::vector<std::string> shotcutPatterns = Each(qml, "property var patterns: ['", "']"),
                                 shotcutSwatches = Each(qml, "property var swatches: ['", "']");
  ASSERT_EQ(shotcutPatterns.size(), 1u);
  ASSERT_EQ(shotcutSwatches.size(), 1u);
  EXPECT_EQ(Split(shotcutPatterns[0], "', '"), patterns);
  EXPECT_EQ(Split(shotcutSwatches[0], "', '"), swatches);
}

}  // namespace
