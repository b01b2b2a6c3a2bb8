// How sequence and video runs fail: the exit status, one line naming the file or option, no output left
// behind and no existing output replaced; also when the disk fills up or the run is interrupted.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "media_fixture.h"

namespace media_test {
namespace {

class MediaErrors : public MediaTest {
 protected:
  int InterruptedRun(const std::string& output, int signal) const;
};

TEST_F(MediaErrors, FailuresNameTheCulpritAndLeaveNothingBehind) {
  WriteSequence("src", 1, 3, 8);
  WriteVideo("in.mkv", 3, 10, 0.3);
  WritePicture(Path("big.0004.png"), MovingSquare(32, 32, 1, 8));
  for (const char* n : {"1", "2", "3"}) {
    std::filesystem::copy_file(Path(std::string("src.000") + n + ".png"),
                               Path(std::string("big.000") + n + ".png"));
  }
  // A frame that cannot be read after two that can: the run fails with frames already on their way out.
  for (const char* n : {"1", "2"}) {
    std::filesystem::copy_file(Path(std::string("src.000") + n + ".png"),
                               Path(std::string("broken.000") + n + ".png"));
  }
  std::ofstream(Path("broken.0003.png")) << "not an image";
  std::ofstream(Path("bad.mkv")) << "not a video";
  std::ofstream(Path("keep.mkv")) << "an existing video";
  std::ofstream(Path("keep.0001.png")) << "an existing frame";
  ASSERT_EQ(mkfifo(Path("pipe.0001.png").c_str(), 0600), 0);
  const std::vector<std::string> before = Files();

  const std::string seq = P("src.####.png"), video = P("in.mkv");
  const struct {
    std::string args;
    int status;
    std::string mention;
  } cases[] = {
      {P("nothing.mkv") + " " + P("keep.mkv"), 3, "nothing.mkv: no such file"},
      {P("bad.mkv") + " " + P("keep.mkv"), 3, "bad.mkv: cannot read video"},
      {P("none.####.png") + " " + P("keep.mkv"), 3, "none.####.png: no such file"},
      {P("pipe.####.png") + " " + P("keep.mkv"), 3, "pipe.0001.png: not a regular file"},
      {P("big.####.png") + " " + P("keep.mkv"), 3, "frame 4 is 32x32"},
      {P("broken.####.png") + " " + P("keep.mkv") + " --jobs 1", 3, "broken.0003.png"},
      {P("broken.####.png") + " " + P("keep.####.png"), 3, "broken.0003.png"},
      {video + " " + P("keep.####.png") + " --frames 2-9", 3, "in.mkv: has 3 frames"},
      {seq + " " + P("keep.mkv") + " --codec nonesuch", 2, "--codec"},
      {seq + " " + P("keep.mkv") + " --codec flac", 2, "--codec"},
      {seq + " " + P("keep.mp4") + " --codec ffv1", 2, "--codec"},
      {seq + " " + P("keep.mp4") + " --crf 52", 2, "--crf: 52 is outside 0 to 51"},
      {seq + " " + P("keep.mkv") + " --crf 10", 2, "--crf: png"},
      {seq + " " + P("keep.####.png") + " --crf 10", 2, "--crf"},
      {seq + " " + P("keep.mkv") + " --fps 0", 2, "--fps"},
      {seq + " " + P("keep.mkv") + " --fps 1/0", 2, "--fps"},
      {video + " " + P("keep.mkv") + " --fps 25", 2, "--fps"},
      {seq + " " + P("keep.mkv") + " --jobs 0", 2, "--jobs"},
      {seq + " " + P("keep.webm"), 2, "keep.webm"},
      {seq + " " + P("keep.png"), 2, "keep.png"},
      // From one image a numbered name is one image; a video still needs a sequence or video.
      {P("src.0001.png") + " " + P("still.mkv"), 2, "still.mkv"},
      {P("src.0001.png") + " " + P("keep.png") + " --frames 1-2", 2, "--frames"},
      {seq + " " + P("missing/out.mkv"), 4, "missing/out.mkv"},
      {video + " " + P("missing/out.####.png"), 4, "missing/out.####.png"},
  };
  for (const auto& c : cases) {
    const Result r = Run("render " + c.args);
    EXPECT_EQ(r.status, c.status) << c.args << "\n" << r.err;
    EXPECT_NE(r.err.find(c.mention), std::string::npos) << c.args << "\n" << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
  }
  EXPECT_EQ(Files(), before);
  EXPECT_EQ(ReadFile(Path("keep.mkv")), "an existing video");
  EXPECT_EQ(ReadFile(Path("keep.0001.png")), "an existing frame");
}

TEST_F(MediaErrors, AFullDiskFailsTheRunWithoutPartialOutput) {
  WriteVideo("in.mkv", 6, 10, 0.5);
  const std::string look = " --pattern atkinson --swatch vga-8-bit --jobs 2";
  // Without a limit the run succeeds.
  ASSERT_EQ(Run("render " + P("in.mkv") + " " + P("free.####.png") + look).status, 0);
  for (int n = 1; n <= 6; ++n) {
    const std::filesystem::path frame = Path("free.000" + std::to_string(n) + ".png");
    EXPECT_GT(std::filesystem::file_size(frame), 1024u);
    std::filesystem::remove(frame);
  }

  std::ofstream(Path("keep.mkv")) << "an existing video";
  std::ofstream(Path("keep.0001.png")) << "an existing frame";
  const std::vector<std::string> before = Files();
  // A file size limit of 1 KiB stands in for a full disk: writes past it fail (EFBIG). Every frame file is
  // larger.
  for (const char* output : {"keep.mkv", "keep.####.png"}) {
    const std::string command = "sh -c \"trap '' XFSZ; ulimit -f 2; exec " + std::string(PALETTRIX_COMMAND) +
                                " render " + P("in.mkv") + " " + P(output) + look + "\" 2>" + P("err.log");
    const int raw = std::system(command.c_str());
    EXPECT_EQ(WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, 4) << output;
    const std::string err = ReadFile(Path("err.log"));
    std::filesystem::remove(Path("err.log"));
    EXPECT_NE(err.find("keep."), std::string::npos) << err;
    EXPECT_NE(err.find("File too large"), std::string::npos) << err;
  }
  EXPECT_EQ(Files(), before);
  EXPECT_EQ(ReadFile(Path("keep.mkv")), "an existing video");
  EXPECT_EQ(ReadFile(Path("keep.0001.png")), "an existing frame");
}

// Runs the command on a video that arrives through a pipe and never ends, waits until it has written a
// frame (under a temporary name), then sends `signal`.
int MediaErrors::InterruptedRun(const std::string& output, int signal) const {
  const std::filesystem::path pipe = dir_ / "pipe.mkv";
  std::filesystem::remove(pipe);
  EXPECT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  const pid_t child = fork();
  if (child == 0) {
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, STDERR_FILENO);
    execl(PALETTRIX_COMMAND, PALETTRIX_COMMAND, "render", pipe.c_str(), output.c_str(), "--jobs", "2",
          nullptr);
    _exit(127);
  }
  // Opening the pipe waits for the reader; a child that never opens it must not hang the test.
  int feed = -1;
  for (int tries = 0; tries < 2000 && feed < 0; ++tries) {
    feed = open(pipe.c_str(), O_WRONLY | O_NONBLOCK);
    if (feed < 0) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_GE(feed, 0);
  fcntl(feed, F_SETFL, 0);
  const std::string bytes = ReadFile(Path("in.mkv"));
  EXPECT_EQ(write(feed, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  // The pipe stays open: the run cannot end by itself. A temporary file shows that frames were written.
  bool started = false;
  for (int tries = 0; tries < 2000 && !started; ++tries) {
    for (const auto& entry : std::filesystem::directory_iterator(dir_)) {
      if (entry.path().filename().string().starts_with(".ptx")) started = true;
    }
    if (!started) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_TRUE(started);
  kill(child, signal);
  int raw = 0;
  waitpid(child, &raw, 0);
  close(feed);
  std::filesystem::remove(pipe);
  return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

TEST_F(MediaErrors, InterruptionRemovesTemporaryFilesAndKeepsExistingOutput) {
  WriteVideo("in.mkv", 30, 10, 0);
  std::ofstream(Path("keep.mkv")) << "an existing video";
  std::ofstream(Path("keep.0001.png")) << "an existing frame";
  const std::vector<std::string> before = Files();
  EXPECT_EQ(InterruptedRun(P("keep.####.png"), SIGINT), 130);
  EXPECT_EQ(Files(), before);
  EXPECT_EQ(InterruptedRun(P("keep.mkv"), SIGTERM), 143);
  EXPECT_EQ(Files(), before);
  EXPECT_EQ(ReadFile(Path("keep.mkv")), "an existing video");
  EXPECT_EQ(ReadFile(Path("keep.0001.png")), "an existing frame");
}

}  // namespace
}  // namespace media_test
