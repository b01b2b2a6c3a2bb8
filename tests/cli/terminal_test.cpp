// The command's terminal text and its safe output file, on their own.
#include "cli/terminal.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "cli/exit_status.h"
#include "cli/safe_output.h"

namespace {

namespace fs = std::filesystem;

TEST(Terminal, ControlCharactersAreEscapedAndLongTextCutInTheMiddle) {
  EXPECT_EQ(ForTerminal("plain text: 100%"), "plain text: 100%");
  EXPECT_EQ(ForTerminal(std::string("a\x1b[2Jb\0c\x7f", 9)), "a\\x1B[2Jb\\x00c\\x7F");
  EXPECT_EQ(ForTerminal("tab\there\nnext\rline"), "tab\\there\\nnext\\rline");
  // UTF-8 passes; broken sequences, overlong forms, surrogates and C1 controls do not.
  EXPECT_EQ(ForTerminal("caf\xc3\xa9 \xe2\x82\xac"), "caf\xc3\xa9 \xe2\x82\xac");
  EXPECT_EQ(ForTerminal("\xc3"), "\\xC3");
  EXPECT_EQ(ForTerminal("\xc0\xaf"), "\\xC0\\xAF");
  EXPECT_EQ(ForTerminal("\xed\xa0\x80"), "\\xED\\xA0\\x80");
  EXPECT_EQ(ForTerminal("\xc2\x9b"), "\\xC2\\x9B");
  EXPECT_EQ(ForTerminal("abcdefghij", 10), "abcdefghij");
  EXPECT_EQ(ForTerminal("abcdefghijk", 10), "abcde...ghijk");
}

TEST(Terminal, NumbersAreShownWithEveryDigitTheyNeed) {
  EXPECT_EQ(ExactNumber(51), "51");
  EXPECT_EQ(ExactNumber(51.0000001), "51.0000001");
  EXPECT_EQ(ExactNumber(-1000), "-1000");
  EXPECT_EQ(ExactNumber(0.01), "0.01");
  EXPECT_EQ(ExactNumber(0.1 + 0.2), "0.30000000000000004");
}

class SafeOutput : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("palettrix-safe-output-" + std::to_string(getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir_)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
  fs::path dir_;
};

TEST_F(SafeOutput, TemporaryFilesAreNewShortHiddenAndUnpredictable) {
  const fs::path target = dir_ / (std::string(251, 'n') + ".png");
  OutputFile a(target), b(target);
  for (const OutputFile* file : {&a, &b}) {
    EXPECT_EQ(file->temp().parent_path(), dir_);
    const std::string name = file->temp().filename().string();
    EXPECT_EQ(name.size(), 4u + 8u + 4u) << name;  // ".ptx", eight random letters, the extension
    EXPECT_TRUE(name.starts_with(".ptx") && name.ends_with(".png")) << name;
    struct stat info {};
    ASSERT_EQ(lstat(file->temp().c_str(), &info), 0);
    EXPECT_TRUE(S_ISREG(info.st_mode));
  }
  EXPECT_NE(a.temp(), b.temp());
}

TEST_F(SafeOutput, CommitRenamesAndEveryOtherEndRemoves) {
  const fs::path target = dir_ / "out.txt";
  {
    OutputFile file(target);
    file.write("first");
  }
  EXPECT_TRUE(Names().empty());  // destroyed uncommitted: nothing left
  {
    OutputFile file(target);
    file.write("second");
    file.commit();
  }
  EXPECT_EQ(Names(), std::vector<std::string>{"out.txt"});
  std::ifstream in(target);
  std::string text;
  in >> text;
  EXPECT_EQ(text, "second");
  // A target that turned into a pipe meanwhile is refused at the commit, and the temporary file goes.
  const fs::path pipe = dir_ / "pipe";
  {
    OutputFile file(pipe);
    file.write("x");
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    try {
      file.commit();
      ADD_FAILURE();
    } catch (const CliError& e) {
      EXPECT_EQ(e.status(), kExitOutput);
      EXPECT_EQ(e.message(), pipe.string() + ": cannot write: it is a FIFO, not a regular file");
    }
  }
  EXPECT_EQ(Names(), (std::vector<std::string>{"out.txt", "pipe"}));
}

TEST_F(SafeOutput, AMissingFolderIsNamed) {
  try {
    OutputFile file(dir_ / "missing" / "out.png");
    ADD_FAILURE();
  } catch (const CliError& e) {
    EXPECT_EQ(e.status(), kExitOutput);
    EXPECT_EQ(e.message(), (dir_ / "missing" / "out.png").string() + ": cannot write (no folder " +
                               (dir_ / "missing").string() + ")");
  }
}

}  // namespace
