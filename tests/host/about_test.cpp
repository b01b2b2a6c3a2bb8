#include <gtest/gtest.h>

#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "host/build_date.h"
#include "support/effect_under_test.h"

namespace {

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
  EXPECT_TRUE(std::regex_match(lines[0], std::regex(R"(Palettrix by Vorn Effects \([^()]+\))"))) << lines[0];
  EXPECT_TRUE(std::regex_match(
      lines[1], std::regex(R"(\(Build date: (Sun|Mon|Tue|Wed|Thu|Fri|Sat) (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) [ 123]\d \d\d:\d\d:\d\d \d{4}\))")))
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
