#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "plugin/build_date.h"
#include "support/effect_under_test.h"

namespace {

// The asctime form: weekday, month, day padded with a space, hh:mm:ss, year ("Mon Dec  7 08:11:49 2026").
bool IsAsctime(const std::string& text) {
  const std::string weekdays = "SunMonTueWedThuFriSat", months = "JanFebMarAprMayJunJulAugSepOctNovDec";
  const std::string shape = "www mmm Dd dd:dd:dd dddd";
  if (text.size() != shape.size()) return false;
  const auto named = [](const std::string& names, const std::string& name) {
    const std::size_t at = names.find(name);
    return at != std::string::npos && at % 3 == 0;
  };
  if (!named(weekdays, text.substr(0, 3)) || !named(months, text.substr(4, 3))) return false;
  for (std::size_t i = 0; i < shape.size(); ++i) {
    const char c = text[i];
    const bool ok = shape[i] == 'd'                      ? (c >= '0' && c <= '9')
                    : shape[i] == 'D'                    ? (c == ' ' || (c >= '1' && c <= '3'))
                    : shape[i] == 'w' || shape[i] == 'm' ? true
                                                         : c == shape[i];
    if (!ok) return false;
  }
  return true;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::stringstream stream(text);
  for (std::string line; std::getline(stream, line, '\n');) lines.push_back(line);
  return lines;
}

}  // namespace

TEST(About, FiveLinesThatFitTheHostsMessageField) {
  LoadedEffect loaded;
  const std::string about = loaded.effect.about();
  EXPECT_LE(about.size() + 1, 256u);
  EXPECT_EQ(about.find('%'), std::string::npos);

  const auto lines = Lines(about);
  ASSERT_EQ(lines.size(), 5u) << about;
  EXPECT_TRUE(lines[0].starts_with("Palettrix by Vorn Effects (") && lines[0].ends_with(")")) << lines[0];
  EXPECT_TRUE(lines[1].starts_with("(Build date: ") && lines[1].ends_with(")") &&
              IsAsctime(lines[1].substr(13, lines[1].size() - 14)))
      << lines[1];
  EXPECT_TRUE(lines[2].starts_with(" ") && lines[2].find("Commodore 64 - Orrel") != std::string::npos);
  EXPECT_TRUE(lines[3].starts_with(" ") && lines[3].find("FamiCube") != std::string::npos);
  EXPECT_TRUE(lines[4].starts_with(" ") && lines[4].find("tinyfiledialogs") != std::string::npos);
  EXPECT_TRUE(loaded.host.problems().empty());
}

TEST(About, BuildDateTakesTheWeekdayFromTheCalendar) {
  EXPECT_STREQ(build_date::Format("Dec  7 2026", "08:11:49").data(), "Mon Dec  7 08:11:49 2026");
  EXPECT_STREQ(build_date::Format("Jan  1 2000", "00:00:00").data(), "Sat Jan  1 00:00:00 2000");
  EXPECT_STREQ(build_date::Format("Feb 29 2024", "23:59:59").data(), "Thu Feb 29 23:59:59 2024");
  EXPECT_STREQ(build_date::Format("Mar  1 2100", "12:00:00").data(), "Mon Mar  1 12:00:00 2100");
}
