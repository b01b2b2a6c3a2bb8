// The mapping from a host's doubles to the controls' values, and the making of host text printable.
#include "frei0r/frei0r_params.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "frei0r/host_text.h"

namespace {

using Slider = FrameRenderer::Slider;

// `value` written as a host's text (FFmpeg's and melt's arguments, Kdenlive's project) and read back.
double AsText(const char* format, double value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return std::strtod(text, nullptr);
}

TEST(Frei0rParams, EveryWholeOffsetArrivesAsItself) {
  int wrong = 0;
  for (int x = -1000; x <= 1000; ++x) {
    const double computed = x / 1000.0;  // a host dividing, as Kdenlive does by its factor
    for (double value : {computed, AsText("%.3f", computed), AsText("%.17g", computed)}) {
      wrong += ControlValue(Slider::OffsetX, value, -1000, 1000) != x;
      wrong += ControlValue(Slider::OffsetY, value, -1000, 1000) != x;
    }
  }
  EXPECT_EQ(wrong, 0);
  // Between whole pixels, the nearer; halves away from zero; beyond the range, its end.
  EXPECT_EQ(ControlValue(Slider::OffsetX, 0.0064, -1000, 1000), 6.0);
  EXPECT_EQ(ControlValue(Slider::OffsetX, 0.0066, -1000, 1000), 7.0);
  EXPECT_EQ(ControlValue(Slider::OffsetX, -0.0065, -1000, 1000), -7.0);
  EXPECT_EQ(ControlValue(Slider::OffsetY, 2.5, -1000, 1000), 1000.0);
  EXPECT_EQ(ControlValue(Slider::OffsetY, -1e300, -1000, 1000), -1000.0);
}

// A threshold typed with two decimals arrives as the same double the command line reads from that text.
TEST(Frei0rParams, ThresholdsArriveAsTheirDecimalText) {
  int wrong = 0;
  for (int hundredths = -100000; hundredths <= 100000; hundredths += 7) {
    char typed[32];
    std::snprintf(typed, sizeof typed, "%.2f", hundredths / 100.0);
    const double expected = std::strtod(typed, nullptr);
    const double stored = expected / 1000.0;
    for (double value : {stored, AsText("%.6g", stored), AsText("%.17g", stored)}) {
      wrong += ControlValue(Slider::ThresholdRed, value, -1000, 1000) != expected;
    }
  }
  EXPECT_EQ(wrong, 0);
  EXPECT_EQ(ControlValue(Slider::ThresholdBlue, -7.0, -1000, 1000), -1000.0);
}

TEST(Frei0rParams, ScaleIsHeldToItsRangeAndLeftToTheEffectToRound) {
  EXPECT_EQ(ControlValue(Slider::Scale, 0.003, 1, 100), 3.0);
  EXPECT_EQ(ControlValue(Slider::Scale, 0.0025, 1, 100), 2.5);
  EXPECT_EQ(ControlValue(Slider::Scale, 0.0, 1, 100), 1.0);
  EXPECT_EQ(ControlValue(Slider::Scale, 1.0, 1, 100), 100.0);
}

TEST(Frei0rParams, HostTextIsQuotedPrintableAndShort) {
  EXPECT_EQ(QuotedHostText("spiral"), "\"spiral\"");
  // Control bytes and bytes that are not UTF-8 are escaped; UTF-8 stays.
  EXPECT_EQ(QuotedHostText("a\nb\x1b[2J\x7f"), "\"a\\x0Ab\\x1B[2J\\x7F\"");
  EXPECT_EQ(QuotedHostText("caf\xC3\xA9 \xC3 \xE2\x82\xAC \xED\xA0\x80 \xC0\xAF"),
            "\"caf\xC3\xA9 \\xC3 \xE2\x82\xAC \\xED\\xA0\\x80 \\xC0\\xAF\"");
  EXPECT_EQ(QuotedHostText(std::string(1000, 'x')), "\"" + std::string(120, 'x') + "...\"");
  EXPECT_EQ(QuotedHostText(std::string(120, 'y')), "\"" + std::string(120, 'y') + "\"");

  // A message keeps its start and its end.
  const std::string path(1 << 20, 'p');
  const std::string shortened = PrintableMessage("palette file: " + path + ": no such file");
  EXPECT_LT(shortened.size(), 420u);
  EXPECT_EQ(shortened.rfind("palette file: ppp", 0), 0u);
  EXPECT_NE(shortened.find("pp ... pp"), std::string::npos);
  EXPECT_EQ(shortened.substr(shortened.size() - 14), ": no such file");
  EXPECT_EQ(PrintableMessage("tab\there"), "tab\\x09here");
}

}  // namespace
