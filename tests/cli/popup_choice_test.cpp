#include "cli/popup_choice.h"

#include <gtest/gtest.h>

#include "cli/exit_status.h"

TEST(PopupChoice, LabelsMatchWithoutCaseWithDashOrUnderscoreForSpace) {
  const std::vector<std::string> choices = {"Threshold", "Floyd Steinberg", "Shiau-Fan",
                                            "Jarvis, Judice & Ninke"};
  EXPECT_EQ(ParsePopupChoice("--pattern", "threshold", choices), 1);
  EXPECT_EQ(ParsePopupChoice("--pattern", "FLOYD_STEINBERG", choices), 2);
  EXPECT_EQ(ParsePopupChoice("--pattern", "floyd-steinberg", choices), 2);
  EXPECT_EQ(ParsePopupChoice("--pattern", "Shiau-Fan", choices), 3);
  EXPECT_EQ(ParsePopupChoice("--pattern", "shiau fan", choices), 3);
  EXPECT_EQ(ParsePopupChoice("--pattern", "jarvis,-judice-&-ninke", choices), 4);
  EXPECT_EQ(ParsePopupChoice("--pattern", "4", choices), 4);
}

TEST(PopupChoice, UnknownLabelsAndNumbersOutsideTheChoicesAreUsageErrors) {
  const std::vector<std::string> choices = {"Custom", "1-bit Gray"};
  for (const char* text : {"0", "3", "-1", "grey", "", "1.5", "2x"}) {
    try {
      ParsePopupChoice("--swatch", text, choices);
      ADD_FAILURE() << text;
    } catch (const CliError& e) {
      EXPECT_EQ(e.status(), kExitUsage);
      EXPECT_EQ(std::string(e.what()).rfind("--swatch: ", 0), 0u) << e.what();
    }
  }
  // "1-bit Gray" is a label, not the number 1 followed by text.
  EXPECT_EQ(ParsePopupChoice("--swatch", "1-BIT_gray", choices), 2);
}
