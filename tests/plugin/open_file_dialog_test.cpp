// The dialog layer with stand-in dialog programs first on PATH.
#include "plugin/open_file_dialog.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace {

const FileDialogRequest kRequest{"Open Palette", "", {"*.ase"}, "Adobe Swatch Exchange (*.ase)"};

class OpenFileDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("palettrix-dialog-test-" + std::to_string(getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    const char* path = std::getenv("PATH");
    savedPath_ = path != nullptr ? path : "";
    setenv("PATH", dir_.c_str(), 1);
  }
  void TearDown() override {
    setenv("PATH", savedPath_.c_str(), 1);
    fs::remove_all(dir_);
  }

  // A stand-in that writes each argument on a line of args.txt, then prints `output` and exits with `status`.
  void StandIn(const std::string& name, const std::string& output, int status) {
    const fs::path program = dir_ / name;
    std::string quoted;
    for (char c : output) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    std::ofstream script(program);
    script << "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > '" << (dir_ / "args.txt").string()
           << "'\nprintf '%s\\n' '" << quoted << "'\nexit " << status << "\n";
    script.close();
    fs::permissions(program, fs::perms::owner_all);
  }

  std::string Args() const {
    std::ifstream in(dir_ / "args.txt");
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  fs::path dir_;
  std::string savedPath_;
};

}  // namespace

TEST(OpenFileDialogArguments, TitleFilterAndSingleSelectionAsSeparateArguments) {
  EXPECT_EQ(ZenityArguments(kRequest),
            (std::vector<std::string>{"zenity", "--file-selection", "--title=Open Palette",
                                      "--file-filter=Adobe Swatch Exchange (*.ase) | *.ase"}));
  EXPECT_EQ(KdialogArguments(kRequest),
            (std::vector<std::string>{"kdialog", "--title", "Open Palette", "--getopenfilename", ".",
                                      "*.ase|Adobe Swatch Exchange (*.ase)"}));
}

TEST_F(OpenFileDialogTest, ThePathTheUserChoseComesBack) {
  StandIn("zenity", "/home/someone/palettes/it's a $HOME; palette.ase", 0);
  EXPECT_EQ(OpenFileDialog(kRequest), "/home/someone/palettes/it's a $HOME; palette.ase");
  EXPECT_EQ(Args(),
            "--file-selection\n--title=Open Palette\n--file-filter=Adobe Swatch Exchange (*.ase) | *.ase\n");
}

TEST_F(OpenFileDialogTest, ACancelGivesNothing) {
  StandIn("zenity", "", 1);
  EXPECT_EQ(OpenFileDialog(kRequest), std::nullopt);
  StandIn("zenity", "/printed/but/cancelled.ase", 1);
  EXPECT_EQ(OpenFileDialog(kRequest), std::nullopt);
}

TEST_F(OpenFileDialogTest, KdialogServesWhenZenityIsAbsentAndNeitherMeansNothing) {
  EXPECT_EQ(OpenFileDialog(kRequest), std::nullopt);
  StandIn("kdialog", "/from/kdialog.ase", 0);
  EXPECT_EQ(OpenFileDialog(kRequest), "/from/kdialog.ase");
  EXPECT_EQ(Args(), "--title\nOpen Palette\n--getopenfilename\n.\n*.ase|Adobe Swatch Exchange (*.ase)\n");
}
