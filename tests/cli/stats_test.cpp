// render --stats: one line on stderr after a successful run, with the frame count of images, sequences and
// video, per-frame averages that fit inside the run's own wall time, and nothing when the run fails.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <optional>
#include <sstream>

#include "cli/run_stats.h"
#include "media_fixture.h"

namespace media_test {
namespace {

using namespace std::chrono_literals;

struct Stats {
  long frames = 0;
  double decode = 0, effect = 0, encode = 0, total = 0;
  long megabytes = 0;
};

// Digits, a point, one digit.
bool OneDecimal(const std::string& word) {
  const std::size_t point = word.find('.');
  return point != std::string::npos && point > 0 && point + 2 == word.size() &&
         std::all_of(word.begin(), word.end(), [](char c) { return c == '.' || (c >= '0' && c <= '9'); });
}

// The line --stats prints, when `err` is exactly that one line.
std::optional<Stats> ParseStats(const std::string& err) {
  if (std::count(err.begin(), err.end(), '\n') != 1 || err.back() != '\n') return std::nullopt;
  Stats s;
  int end = -1;
  std::sscanf(err.c_str(),
              "stats: %ld frames, decode %lf ms/frame, effect %lf ms/frame, encode %lf ms/frame, total %lf "
              "ms/frame, peak memory %ld MB%n",
              &s.frames, &s.decode, &s.effect, &s.encode, &s.total, &s.megabytes, &end);
  if (end < 0 || static_cast<std::size_t>(end) + 1 != err.size()) return std::nullopt;
  std::istringstream words(err);
  std::string word, previous;
  while (words >> word) {
    if (previous == "decode" || previous == "effect" || previous == "encode" || previous == "total") {
      if (!OneDecimal(word)) return std::nullopt;
    }
    previous = word;
  }
  return s;
}

TEST(StatsLine, AveragesEachStepOverTheFrames) {
  StepTimes times;
  times.frames = 3;
  times.decode = 10ms;   // 3.33 ms a frame
  times.effect = 45ms;   // 15
  times.encode = 200ms;  // 66.67
  // 1 s over 3 frames; 204800 KB is 200 MB.
  EXPECT_EQ(FormatStats(times, 1s, 204800),
            "stats: 3 frames, decode 3.3 ms/frame, effect 15.0 ms/frame, encode 66.7 ms/frame, total 333.3 "
            "ms/frame, peak memory 200 MB");
  // Memory to the nearest megabyte: 1535 KB is 1.499 MB, 1536 KB is 1.5 MB.
  times.frames = 1;
  EXPECT_NE(FormatStats(times, 1s, 1535).find("peak memory 1 MB"), std::string::npos);
  EXPECT_NE(FormatStats(times, 1s, 1536).find("peak memory 2 MB"), std::string::npos);
}

using StatsCommand = MediaTest;

TEST_F(StatsCommand, OneLineWithTheFrameCountForImagesSequencesAndVideo) {
  const std::string look = " --pattern floyd-steinberg --swatch pico-8 --stats";
  WritePicture(Path("still.png"), MovingSquare(64, 48, 1, 8));
  WriteSequence("src", 1, 3, 8);
  WriteVideo("in.mkv", 5, 10, 0.5);

  // One image: the three steps run one after the other, inside the run's wall time.
  Result r = Run("render " + P("still.png") + " " + P("out.png") + look);
  ASSERT_EQ(r.status, 0) << r.err;
  std::optional<Stats> s = ParseStats(r.err);
  ASSERT_TRUE(s) << r.err;
  EXPECT_EQ(s->frames, 1);
  EXPECT_LE(s->decode + s->effect + s->encode, s->total + 0.2);  // each rounded to 0.05
  EXPECT_GT(s->megabytes, 0);

  // With one job the steps overlap each other but each runs on one thread at a time, so none can add up
  // to more than the run.
  for (const std::string output : {"seq.####.png", "seq.mkv"}) {
    r = Run("render " + P("src.####.png") + " " + P(output) + look + " --jobs 1");
    ASSERT_EQ(r.status, 0) << r.err;
    s = ParseStats(r.err);
    ASSERT_TRUE(s) << r.err;
    EXPECT_EQ(s->frames, 3) << output;
    EXPECT_LE(s->decode, s->total) << r.err;
    EXPECT_LE(s->effect, s->total) << r.err;
    EXPECT_LE(s->encode, s->total) << r.err;
  }

  // Video, with audio and with a range; --quiet drops the progress line, not the stats.
  r = Run("render " + P("in.mkv") + " " + P("all.mkv") + look + " --quiet");
  ASSERT_EQ(r.status, 0) << r.err;
  s = ParseStats(r.err);
  ASSERT_TRUE(s) << r.err;
  EXPECT_EQ(s->frames, 5);
  r = Run("render " + P("in.mkv") + " " + P("part.####.png") + look + " --frames 2-4 --jobs 3");
  ASSERT_EQ(r.status, 0) << r.err;
  s = ParseStats(r.err);
  ASSERT_TRUE(s) << r.err;
  EXPECT_EQ(s->frames, 3);

  // A failed run prints its error line only.
  r = Run("render " + P("missing.####.png") + " " + P("none.mkv") + look);
  EXPECT_EQ(r.status, 3);
  EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
  EXPECT_EQ(r.err.find("stats:"), std::string::npos) << r.err;
}

}  // namespace
}  // namespace media_test
