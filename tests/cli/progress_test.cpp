// The progress line: its text, and that it shows on a terminal only, unless --quiet.
#include "cli/progress.h"

#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include "media_fixture.h"

namespace media_test {
namespace {

TEST(ProgressLine, CountsRateAndTimeLeft) {
  EXPECT_EQ(FormatProgress(0, 250, 0.0), "frame 0/250");
  EXPECT_EQ(FormatProgress(12, 250, 0.5), "frame 12/250, 24.0 fps, 0:10 left");  // 238 / 24 = 9.9 s
  EXPECT_EQ(FormatProgress(12, std::nullopt, 0.5), "frame 12, 24.0 fps");
  EXPECT_EQ(FormatProgress(1, 100000, 1.0), "frame 1/100000, 1.0 fps, 27:46:39 left");
  // An estimated count that the frames overtake follows them.
  EXPECT_EQ(FormatProgress(300, 250, 10.0), "frame 300/300, 30.0 fps, 0:00 left");
  // Another step's words; they go before the count does.
  EXPECT_EQ(FormatProgress(12, 30, 0.5, 100, "writing frame"), "writing frame 12/30, 24.0 fps, 0:01 left");
  EXPECT_EQ(FormatProgress(12, 30, 0.5, 18, "writing frame"), "12/30");
}

// Narrower than the line: the rate goes first, then the time left, then the word; a count is cut last.
TEST(ProgressLine, FitsTheWidthGiven) {
  EXPECT_EQ(FormatProgress(12, 250, 0.5, 33), "frame 12/250, 24.0 fps, 0:10 left");
  EXPECT_EQ(FormatProgress(12, 250, 0.5, 32), "frame 12/250, 0:10 left");
  EXPECT_EQ(FormatProgress(12, 250, 0.5, 22), "frame 12/250");
  EXPECT_EQ(FormatProgress(12, 250, 0.5, 11), "12/250");
  EXPECT_EQ(FormatProgress(12, 250, 0.5, 5), "12/25");
  EXPECT_EQ(FormatProgress(12, 250, 0.5, 0), "");
  EXPECT_EQ(FormatProgress(12, std::nullopt, 0.5, 17), "frame 12");
}

class ProgressTerminal : public MediaTest {
 protected:
  // Runs the command with stderr (and stdout) on a pseudo-terminal and returns what it printed there.
  std::string OnTerminal(const std::vector<std::string>& args, int& status, unsigned short columns = 0) {
    int master = -1;
    winsize size{24, columns, 0, 0};
    const pid_t child = forkpty(&master, nullptr, nullptr, columns > 0 ? &size : nullptr);
    if (child == 0) {
      std::vector<char*> argv{const_cast<char*>(PALETTRIX_COMMAND)};
      for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
      argv.push_back(nullptr);
      execv(PALETTRIX_COMMAND, argv.data());
      _exit(127);
    }
    std::string text;
    char buffer[4096];
    // The terminal reports end of output as an error once the child has closed it.
    for (;;) {
      pollfd fd{master, POLLIN, 0};
      if (poll(&fd, 1, 30000) <= 0) break;
      const ssize_t got = read(master, buffer, sizeof buffer);
      if (got <= 0) break;
      text.append(buffer, static_cast<std::size_t>(got));
    }
    int raw = 0;
    waitpid(child, &raw, 0);
    close(master);
    status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return text;
  }
};

TEST_F(ProgressTerminal, ShowsOnATerminalUnlessQuiet) {
  WriteSequence("src", 1, 3, 8);
  int status = -1;
  const std::string shown = OnTerminal({"render", P("src.####.png"), P("out.####.png")}, status);
  EXPECT_EQ(status, 0) << shown;
  EXPECT_NE(shown.find("\rframe 3/3, "), std::string::npos) << shown;
  EXPECT_TRUE(shown.ends_with("left\r\n")) << shown;  // the terminal turns the final newline into \r\n
  const std::string quiet = OnTerminal({"render", P("src.####.png"), P("quiet.####.png"), "--quiet"}, status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(quiet, "");
}

// On a terminal 20 columns wide every drawing of the line takes 19 at most, so none wraps onto a new row.
TEST_F(ProgressTerminal, FitsANarrowTerminal) {
  WriteSequence("src", 1, 3, 8);
  int status = -1;
  const std::string shown = OnTerminal({"render", P("src.####.png"), P("out.####.png")}, status, 20);
  EXPECT_EQ(status, 0) << shown;
  EXPECT_NE(shown.find("\rframe 3/3"), std::string::npos) << shown;
  std::size_t start = 0;
  while (start < shown.size()) {
    std::size_t end = shown.find_first_of("\r\n", start);
    if (end == std::string::npos) end = shown.size();
    EXPECT_LE(end - start, 19u) << shown;
    start = end + 1;
  }
}

}  // namespace
}  // namespace media_test
