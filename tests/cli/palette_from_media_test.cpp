// palettrix palette --from and render --palette-from on numbered sequences and video: which frames are
// counted, the --frames range, and the same palette from a video frame as from the same picture as a still.
#include <cstdio>
#include <set>

#include "media_fixture.h"

namespace media_test {
namespace {

using PaletteFromMedia = MediaTest;

// Frame n of the solid sequence: (6n, 255 - 6n, 0) throughout.
void WriteSolidSequence(const fs::path& folder, int last) {
  for (int n = 1; n <= last; ++n) {
    Picture picture{4, 4, 8, {}};
    for (int i = 0; i < 16; ++i) {
      picture.rgb.insert(picture.rgb.end(),
                         {static_cast<uint16_t>(6 * n), static_cast<uint16_t>(255 - 6 * n), uint16_t{0}});
    }
    char name[32];
    std::snprintf(name, sizeof name, "solid.%04d.png", n);
    WritePicture(folder / name, picture);
  }
}

// The hex list of the solid frames `numbers`, in the palette's order: equal counts, so by RRGGBB, which
// here is by frame number.
std::string SolidHex(const std::set<int>& numbers) {
  std::string text;
  for (const int n : numbers) {
    char line[16];
    std::snprintf(line, sizeof line, "%02x%02x00\n", 6 * n, 255 - 6 * n);
    text += line;
  }
  return text;
}

}  // namespace

TEST_F(PaletteFromMedia, ASequenceGivesTheColoursOfItsSpreadFramesOrOfItsRange) {
  WriteSolidSequence(dir_, 40);
  // 40 frames, 32 counted: the middles of 32 shares of 1.25 frames, (2i + 1) x 40 / 64 rounded down, are
  // positions 0, 1, 3, 4, 5, 6, 8, ...: positions 2, 7, 12, ..., 37 (frames 3, 8, ..., 38) are left out.
  std::set<int> counted;
  for (int n = 1; n <= 40; ++n) {
    if (n % 5 != 3) counted.insert(n);
  }
  Result r = Run("palette --from " + P("solid.####.png") + " --colors 256 " + P("all.hex"));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");  // no progress line when stderr is not a terminal
  EXPECT_EQ(ReadFile(Path("all.hex")), SolidHex(counted));
  r = Run("palette --from " + P("solid.%04d.png") + " --colors 256 --frames 5-9 " + P("range.hex"));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(ReadFile(Path("range.hex")), SolidHex({5, 6, 7, 8, 9}));
  r = Run("palette --from " + P("solid.####.png") + " --colors 4 --frames 39-41 " + P("past.hex"));
  EXPECT_EQ(r.status, 3);
  EXPECT_NE(r.err.find("solid.0041.png: no such file"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(Path("past.hex")));

  // The render's own INPUT takes its --frames range: frames 5 and 6 alone make two colours, so the
  // threshold render gives every frame back unchanged.
  r = Run("render " + P("solid.####.png") + " " + P("out.####.png") + " --frames 5-6 --palette-from " +
          P("solid.####.png") + " --colors 2 --pattern threshold");
  ASSERT_EQ(r.status, 0) << r.err;
  for (const int n : {5, 6}) {
    char in[32], out[32];
    std::snprintf(in, sizeof in, "solid.%04d.png", n);
    std::snprintf(out, sizeof out, "out.%04d.png", n);
    EXPECT_EQ(FrameHash(ReadPicture(Path(out))), FrameHash(ReadPicture(Path(in)))) << n;
  }
}

TEST_F(PaletteFromMedia, AVideoFrameGivesThePaletteOfTheSamePicture) {
  WriteVideo("clip.mkv", 6, 25, 0);
  WritePicture(Path("frame3.png"), MovingSquare(64, 48, 3, 8));
  Result r = Run("palette --from " + P("clip.mkv") + " --colors 16 --frames 3-3 " + P("video.hex"));
  ASSERT_EQ(r.status, 0) << r.err;
  r = Run("palette --from " + P("frame3.png") + " --colors 16 " + P("still.hex"));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(ReadFile(Path("video.hex")), ReadFile(Path("still.hex")));
  // The whole clip, twice: the same bytes.
  ASSERT_EQ(Run("palette --from " + P("clip.mkv") + " --colors 16 " + P("a.act")).status, 0);
  ASSERT_EQ(Run("palette --from " + P("clip.mkv") + " --colors 16 " + P("b.act")).status, 0);
  EXPECT_EQ(ReadFile(Path("a.act")), ReadFile(Path("b.act")));
  r = Run("palette --from " + P("clip.mkv") + " --colors 16 --frames 0-2 " + P("c.act"));
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("a video's frames count from 1"), std::string::npos) << r.err;
  r = Run("render " + P("clip.mkv") + " " + P("out.mkv") + " --palette-from " + P("clip.mkv") +
          " --colors 8 --frames 2-4");
  EXPECT_EQ(r.status, 0) << r.err;
}

}  // namespace media_test
