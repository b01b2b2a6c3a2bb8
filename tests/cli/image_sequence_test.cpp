// Image sequences read ahead and written by several encoders at once: frames keep their order and names,
// and a failure or an interruption part-way leaves no file behind.
#include "cli/image_sequence.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "cli/exit_status.h"
#include "cli/interrupt.h"
#include "cli/safe_output.h"

namespace fs = std::filesystem;

namespace {

class ImageSequence : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("palettrix-sequence-" + std::to_string(getpid()) + "-" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  SequencePattern Pattern(const std::string& name) const { return *SequencePattern::Parse(dir_ / name); }

  // Every name in the folder, hidden ones included, sorted.
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir_)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  fs::path dir_;
};

// Frame `number`'s picture: few colours (stored indexed), different in every frame and every pixel.
minihost::World Picture(long number, int width = 37, int height = 21) {
  minihost::World world(width, height, minihost::Depth::Eight);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      world.pixel8(x, y) =
          PF_Pixel8{255, static_cast<A_u_char>(number), static_cast<A_u_char>((x + y) % 5 * 50),
                    static_cast<A_u_char>(x % 3 * 100)};
    }
  }
  return world;
}

// How many pixels of `path` differ from frame `number`'s picture.
int WrongPixels(const fs::path& path, long number) {
  const LoadedImage image = ReadImage(path, nullptr);
  const minihost::World expected = Picture(number);
  if (image.world.width() != expected.width() || image.world.height() != expected.height()) return -1;
  int wrong = 0;
  for (int y = 0; y < expected.height(); ++y) {
    for (int x = 0; x < expected.width(); ++x) {
      const PF_Pixel8 a = image.world.pixel8(x, y), b = expected.pixel8(x, y);
      wrong += a.red != b.red || a.green != b.green || a.blue != b.blue || a.alpha != b.alpha;
    }
  }
  return wrong;
}

}  // namespace

TEST_F(ImageSequence, EncodersKeepEveryFrameUnderATemporaryNameUntilFinishThenUnderItsOwn) {
  for (const unsigned encoders : {1u, 3u}) {
    SCOPED_TRACE(std::to_string(encoders) + " encoders");
    {
      SequenceSink sink(Pattern("out.%03d.png"), PngColors::IndexedWhereTheyFit, encoders);
      for (long n = 7; n <= 14; ++n) sink.write(Frame{n, Picture(n), false});
      // Eight hidden temporary files, none under a frame's name.
      const std::vector<std::string> before = Names();
      EXPECT_EQ(before.size(), 8u);
      for (const std::string& name : before) EXPECT_EQ(name.front(), '.') << name;
      sink.finish();
    }
    std::vector<std::string> expected;
    for (long n = 7; n <= 14; ++n)
      expected.push_back("out.0" + std::to_string(n / 10) + std::to_string(n % 10) + ".png");
    ASSERT_EQ(Names(), expected);
    for (long n = 7; n <= 14; ++n) EXPECT_EQ(WrongPixels(dir_ / expected[n - 7], n), 0) << n;
    for (const std::string& name : expected) fs::remove(dir_ / name);
  }
}

TEST_F(ImageSequence, AFrameThatCannotBeWrittenPartWayLeavesNoFrame) {
  // Frame 5's name is taken by a folder: that write fails while frames before it are still being encoded.
  fs::create_directory(dir_ / "out.5.png");
  {
    SequenceSink sink(Pattern("out.%d.png"), PngColors::IndexedWhereTheyFit, 3);
    for (long n = 1; n <= 4; ++n) sink.write(Frame{n, Picture(n), false});
    try {
      sink.write(Frame{5, Picture(5), false});
      ADD_FAILURE() << "frame 5 was accepted";
    } catch (const CliError& e) {
      EXPECT_EQ(e.status(), kExitOutput);
      EXPECT_NE(std::string(e.what()).find("out.5.png"), std::string::npos) << e.what();
    }
  }
  EXPECT_EQ(Names(), std::vector<std::string>{"out.5.png"});
}

// A write that fails inside an encoder (here past a file-size limit) is thrown by a later write or by
// finish, naming its file, and nothing is left. In a child process: the limit is the whole process's.
TEST_F(ImageSequence, AnEncodingThatFailsIsReportedLaterAndLeavesNoFrame) {
  const auto run = [this] {
    IgnoreFileSizeSignal();
    const rlimit limit{4096, 4096};
    setrlimit(RLIMIT_FSIZE, &limit);
    int status = 0;
    try {
      SequenceSink sink(Pattern("out.%d.png"), PngColors::IndexedWhereTheyFit, 2);
      // Frame 3 is too large for the limit: random colours do not compress.
      for (long n = 1; n <= 6; ++n) {
        minihost::World world = Picture(n);
        if (n == 3) {
          world = minihost::World(200, 200, minihost::Depth::Eight);
          unsigned seed = 1;
          for (int y = 0; y < 200; ++y) {
            for (int x = 0; x < 200; ++x) {
              seed = seed * 1103515245u + 12345u;
              world.pixel8(x, y) =
                  PF_Pixel8{255, static_cast<A_u_char>(seed >> 24), static_cast<A_u_char>(seed >> 16),
                            static_cast<A_u_char>(seed >> 8)};
            }
          }
        }
        sink.write(Frame{n, std::move(world), false});
      }
      sink.finish();
    } catch (const CliError& e) {
      status =
          e.status() == kExitOutput && std::string(e.what()).find("out.3.png") != std::string::npos ? 1 : 2;
    }
    // Without the exit handlers: some libraries' wait for threads that only the parent has.
    _exit(status == 1 && fs::is_empty(dir_) ? 0 : 10 + status);
  };
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(run(), ::testing::ExitedWithCode(0), "");
}

// An interruption stops the encoders: the frames written before it are not renamed, and none is left. In a
// child process: the signal's mark is the whole process's.
TEST_F(ImageSequence, AnInterruptionPartWayLeavesNoFrame) {
  const auto run = [this] {
    InstallInterruptHandlers();
    int status = 0;
    try {
      SequenceSink sink(Pattern("out.%d.png"), PngColors::IndexedWhereTheyFit, 2);
      for (long n = 1; n <= 3; ++n) sink.write(Frame{n, Picture(n), false});
      std::raise(SIGTERM);
      for (long n = 4; n <= 6; ++n) sink.write(Frame{n, Picture(n), false});
      sink.finish();
    } catch (const CliError& e) {
      status = e.status() == 128 + SIGTERM ? 1 : 2;
    }
    // Without the exit handlers: some libraries' wait for threads that only the parent has.
    _exit(status == 1 && fs::is_empty(dir_) ? 0 : 10 + status);
  };
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(run(), ::testing::ExitedWithCode(0), "");
}

TEST_F(ImageSequence, FramesReadAheadComeInOrderAndADamagedOneIsNamedInItsTurn) {
  for (long n = 1; n <= 9; ++n) WriteImage(dir_ / ("in." + std::to_string(n) + ".png"), Picture(n), false);
  // Frame 6 ends in the middle of its image data.
  const fs::path damaged = dir_ / "in.6.png";
  const auto size = fs::file_size(damaged);
  fs::resize_file(damaged, size - 30);
  for (const unsigned readers : {1u, 4u}) {
    SCOPED_TRACE(std::to_string(readers) + " readers");
    SequenceSource source(Pattern("in.%d.png"), std::nullopt, std::nullopt, readers);
    for (long n = 1; n <= 5; ++n) {
      std::optional<Frame> frame = source.next();
      ASSERT_TRUE(frame);
      EXPECT_EQ(frame->number, n);
      WriteImage(dir_ / "check.png", frame->world, false);
      EXPECT_EQ(WrongPixels(dir_ / "check.png", n), 0) << n;
    }
    try {
      source.next();
      ADD_FAILURE() << "the damaged frame was given";
    } catch (const CliError& e) {
      EXPECT_EQ(e.status(), kExitInput);
      EXPECT_NE(std::string(e.what()).find("in.6.png"), std::string::npos) << e.what();
    }
  }
}
