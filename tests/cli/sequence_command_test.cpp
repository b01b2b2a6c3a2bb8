// palettrix render on numbered image sequences: every frame as `render` does a still, references kept per
// frame, ranges, 16 bits, and the same bytes whatever the number of jobs.
#include <cstdio>

#include "media_fixture.h"

namespace media_test {
namespace {

using SequenceCommand = MediaTest;

std::string Numbered(const std::string& prefix, int number, const char* extension = "png") {
  char name[64];
  std::snprintf(name, sizeof name, "%s.%04d.%s", prefix.c_str(), number, extension);
  return name;
}

TEST_F(SequenceCommand, EveryFrameIsTheStillRenderAndMatchesItsReference) {
  WriteSequence("src", 1, 4, 8);
  const std::string look = " --pattern bayer-4x4 --swatch pico-8";
  const Result r = Run("render " + P("src.####.png") + " " + P("out.%04d.png") + look + " --jobs 4");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");  // no progress line when stderr is not a terminal

  std::vector<Picture> frames;
  for (int n = 1; n <= 4; ++n) {
    frames.push_back(ReadPicture(Path(Numbered("out", n))));
    // `render` of the same still is covered by the hand-worked command tests.
    const Result still = Run("render " + P(Numbered("src", n)) + " " + P("still.png") + look);
    ASSERT_EQ(still.status, 0) << still.err;
    EXPECT_EQ(FrameHash(frames.back()), FrameHash(ReadPicture(Path("still.png")))) << "frame " << n;
  }
  ExpectGolden("sequence_bayer4x4_pico8.txt", frames);

  // One job or four: the same bytes, and nothing else left in the folder.
  const Result one = Run("render " + P("src.####.png") + " " + P("one.####.png") + look + " --jobs 1");
  ASSERT_EQ(one.status, 0) << one.err;
  for (int n = 1; n <= 4; ++n) {
    EXPECT_EQ(ReadFile(Path(Numbered("one", n))), ReadFile(Path(Numbered("out", n)))) << "frame " << n;
  }
  EXPECT_EQ(Files().size(), 4u * 3 + 1);
}

TEST_F(SequenceCommand, SixteenBitFramesStaySixteenBitUnlessAskedForEight) {
  WriteSequence("deep", 1, 3, 16);
  const std::string look = " --pattern floyd-steinberg --swatch 9-bit-rgb";
  ASSERT_EQ(Run("render " + P("deep.####.png") + " " + P("out.####.tif") + look).status, 0);
  std::vector<Picture> frames;
  for (int n = 1; n <= 3; ++n) {
    frames.push_back(ReadPicture(Path(Numbered("out", n, "tif"))));
    EXPECT_EQ(frames.back().bits, 16);
  }
  ExpectGolden("sequence16_floyd_9bit.txt", frames);
  ASSERT_EQ(Run("render " + P("deep.0002.png") + " " + P("still.tif") + look).status, 0);
  EXPECT_EQ(FrameHash(frames[1]), FrameHash(ReadPicture(Path("still.tif"))));

  ASSERT_EQ(Run("render " + P("deep.####.png") + " " + P("eight.####.png") + look + " --depth 8").status, 0);
  EXPECT_EQ(ReadPicture(Path("eight.0001.png")).bits, 8);
}

TEST_F(SequenceCommand, FramesPicksARangeAndAMissingFrameIsNamed) {
  WriteSequence("src", 1, 5, 8);
  WriteSequence("src", 7, 7, 8);
  auto outputs = [this](const std::string& prefix) {
    std::vector<std::string> names;
    for (const std::string& name : Files()) {
      if (name.starts_with(prefix)) names.push_back(name);
    }
    return names;
  };

  // Without --frames every frame on disk, gaps and all.
  ASSERT_EQ(Run("render " + P("src.####.png") + " " + P("all.####.png") + " --jobs 2").status, 0);
  EXPECT_EQ(outputs("all."), (std::vector<std::string>{"all.0001.png", "all.0002.png", "all.0003.png",
                                                       "all.0004.png", "all.0005.png", "all.0007.png"}));
  ASSERT_EQ(Run("render " + P("src.####.png") + " " + P("some.####.png") + " --frames 2-4").status, 0);
  EXPECT_EQ(outputs("some."), (std::vector<std::string>{"some.0002.png", "some.0003.png", "some.0004.png"}));
  EXPECT_EQ(ReadFile(Path("some.0003.png")), ReadFile(Path("all.0003.png")));

  const Result gap = Run("render " + P("src.####.png") + " " + P("gap.####.png") + " --frames 4-7");
  EXPECT_EQ(gap.status, 3);
  EXPECT_NE(gap.err.find("src.0006.png: no such file"), std::string::npos) << gap.err;
  EXPECT_EQ(outputs("gap"), std::vector<std::string>{});
  EXPECT_EQ(outputs(".gap"), std::vector<std::string>{});

  for (const char* bad : {"3", "a-b", "5-3", "-3", "2-", "1-2-3"}) {
    const Result r = Run("render " + P("src.####.png") + " " + P("bad.####.png") + " --frames=" + bad);
    EXPECT_EQ(r.status, 2) << bad;
    EXPECT_NE(r.err.find("--frames"), std::string::npos) << r.err;
  }
}

TEST_F(SequenceCommand, PrintfPatternsMatchNumbersAsPrintfWritesThem) {
  // %d has no leading zeros, so p.010.png is not frame 10; #### takes numbers wider than four digits.
  for (const char* name : {"p.9.png", "p.10.png", "p.010.png", "w.0999.png", "w.10000.png", "w.01000.png"}) {
    WritePicture(Path(name), MovingSquare(16, 16, 1, 8));
  }
  ASSERT_EQ(Run("render " + P("p.%d.png") + " " + P("q.%03d.png")).status, 0);
  ASSERT_EQ(Run("render " + P("w.####.png") + " " + P("v.%d.png")).status, 0);
  EXPECT_EQ(Files(), (std::vector<std::string>{"p.010.png", "p.10.png", "p.9.png", "q.009.png", "q.010.png",
                                               "v.10000.png", "v.999.png", "w.01000.png", "w.0999.png",
                                               "w.10000.png"}));
}

}  // namespace
}  // namespace media_test
