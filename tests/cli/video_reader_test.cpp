// Decoding to RGB: the colour matrix and range of YUV sources (as tagged, else by frame size), their depth,
// and alpha. Sources are flat colours written as raw YUV and stored losslessly with FFV1.
#include "cli/video_reader.h"

#include <fstream>

#include "media_fixture.h"

namespace media_test {
namespace {

class VideoReaderTest : public MediaTest {
 protected:
  // A one-frame 4:2:0 video of a single colour, with ffmpeg output options `tags`.
  fs::path FlatYuv(const std::string& name, int width, int height, int y, int u, int v,
                   const std::string& tags) {
    const fs::path raw = Path(name + ".yuv");
    std::ofstream out(raw, std::ios::binary);
    const std::size_t luma = static_cast<std::size_t>(width) * height, chroma = luma / 4;
    out << std::string(luma, static_cast<char>(y)) << std::string(chroma, static_cast<char>(u))
        << std::string(chroma, static_cast<char>(v));
    out.close();
    Ffmpeg("-f rawvideo -pix_fmt yuv420p -s " + std::to_string(width) + "x" + std::to_string(height) +
           " -i " + raw.string() + " " + tags + " -c:v ffv1 " + P(name + ".mkv"));
    return Path(name + ".mkv");
  }

  static void ExpectColour(const fs::path& video, int r, int g, int b) {
    VideoReader reader(video, std::nullopt, std::nullopt);
    std::optional<Frame> frame = reader.next();
    ASSERT_TRUE(frame) << video;
    EXPECT_EQ(frame->number, 1);
    EXPECT_FALSE(frame->hasAlpha);
    const PF_Pixel8& p = frame->world.pixel8(frame->world.width() / 2, frame->world.height() / 2);
    EXPECT_NEAR(p.red, r, 1) << video;
    EXPECT_NEAR(p.green, g, 1) << video;
    EXPECT_NEAR(p.blue, b, 1) << video;
    EXPECT_EQ(p.alpha, 255);
    EXPECT_FALSE(reader.next());
  }
};

TEST_F(VideoReaderTest, YuvDecodesWithTheTaggedOrTheSizesMatrixAndRange) {
  // RGB (153, 51, 204) by hand. BT.601 limited: Y = 16 + (0.299 R + 0.587 G + 0.114 B) x 219/255 = 101,
  // U = 128 + (B - Y') / 1.772 x 224/255 = 180, V = 128 + (R - Y') / 1.402 x 224/255 = 162, Y' = 98.94.
  // BT.709 limited: Y' = 0.2126 R + 0.7152 G + 0.0722 B = 83.73, so Y = 88, U = 128 + (B - Y') / 1.8556 x
  // 224/255 = 185, V = 128 + (R - Y') / 1.5748 x 224/255 = 167. BT.601 full: Y = 99, U = 187, V = 167.
  // Read with the other matrix each is off by 6 or more in a channel.
  ExpectColour(FlatYuv("sd", 64, 48, 101, 180, 162, ""), 153, 51, 204);
  ExpectColour(FlatYuv("hd", 1280, 720, 88, 185, 167, ""), 153, 51, 204);
  ExpectColour(FlatYuv("sd709", 64, 48, 88, 185, 167, "-colorspace bt709"), 153, 51, 204);
  ExpectColour(FlatYuv("hd601", 1280, 720, 101, 180, 162, "-colorspace smpte170m"), 153, 51, 204);
  ExpectColour(FlatYuv("full", 64, 48, 99, 187, 167, "-color_range pc"), 153, 51, 204);
}

TEST_F(VideoReaderTest, DeepSourcesGiveSixteenBitWorldsAndAlphaIsKept) {
  // Ten-bit 4:4:4 mid grey, Y = 502 of 1023 (limited): (502 - 64) / 876 = 0.5 exactly, half of 32768.
  // libswscale's deep path is accurate to about 0.2 %; an 8-bit path would be off by 128 or more.
  const fs::path raw = Path("grey10.yuv");
  {
    std::ofstream out(raw, std::ios::binary);
    for (uint16_t v : {uint16_t{502}, uint16_t{512}, uint16_t{512}}) {
      for (int i = 0; i < 64 * 48; ++i) out.put(static_cast<char>(v & 0xFF)).put(static_cast<char>(v >> 8));
    }
  }
  Ffmpeg("-f rawvideo -pix_fmt yuv444p10le -s 64x48 -i " + raw.string() + " -c:v ffv1 " + P("grey10.mkv"));
  {
    VideoReader reader(Path("grey10.mkv"), std::nullopt, std::nullopt);
    std::optional<Frame> frame = reader.next();
    ASSERT_TRUE(frame);
    ASSERT_EQ(frame->world.depth(), minihost::Depth::Sixteen);
    const PF_Pixel16& p = frame->world.pixel16(10, 10);
    EXPECT_NEAR(p.red, 16384, 80);
    EXPECT_EQ(p.red, p.green);
    EXPECT_EQ(p.red, p.blue);
    EXPECT_EQ(p.alpha, 32768);
  }

  // RGBA frames 3 and 4 of a sequence; --frames 3-4 numbers them so.
  for (int n = 1; n <= 4; ++n) {
    const uint8_t pixel[4] = {10, 20, static_cast<uint8_t>(30 + n), static_cast<uint8_t>(60 * n)};
    std::ofstream(Path("rgba" + std::to_string(n) + ".raw"), std::ios::binary)
        .write(reinterpret_cast<const char*>(pixel), 4);
  }
  std::ofstream all(Path("rgba.raw"), std::ios::binary);
  for (int n = 1; n <= 4; ++n) all << ReadFile(Path("rgba" + std::to_string(n) + ".raw"));
  all.close();
  Ffmpeg("-f rawvideo -pix_fmt rgba -s 1x1 -r 5 -i " + P("rgba.raw") + " -c:v ffv1 -pix_fmt bgra " +
         P("rgba.mkv"));
  VideoReader reader(Path("rgba.mkv"), FrameRange{3, 4}, minihost::Depth::Eight);
  EXPECT_EQ(reader.frameCount(), 2);
  EXPECT_EQ(reader.frameRate().num, 5);
  for (int n = 3; n <= 4; ++n) {
    std::optional<Frame> frame = reader.next();
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->number, n);
    EXPECT_TRUE(frame->hasAlpha);
    const PF_Pixel8& p = frame->world.pixel8(0, 0);
    EXPECT_EQ((std::array<int, 4>{p.alpha, p.red, p.green, p.blue}),
              (std::array<int, 4>{60 * n, 10, 20, 30 + n}));
  }
  EXPECT_FALSE(reader.next());
}

}  // namespace
}  // namespace media_test
