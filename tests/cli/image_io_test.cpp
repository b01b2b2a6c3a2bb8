#include "cli/image_io.h"

#include <OpenImageIO/imageio.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "cli/exit_status.h"

namespace fs = std::filesystem;

TEST(ImageIo, ChannelScalesMapToTheHostsSixteenBitRangeAndBack) {
  // (v * 32768 + 127) / 255 and (v * 32768 + 32767) / 65535 in, min(65535, (v * 65535 + 16384) / 32768) out.
  EXPECT_EQ(To16From8(0), 0u);
  EXPECT_EQ(To16From8(1), 129u);      // (32768 + 127) / 255 = 129 exactly
  EXPECT_EQ(To16From8(128), 16448u);  // 16448.75 truncated
  EXPECT_EQ(To16From8(255), 32768u);
  EXPECT_EQ(To16From16(0), 0u);
  EXPECT_EQ(To16From16(1), 1u);          // any non-zero value stays non-zero
  EXPECT_EQ(To16From16(32768), 16384u);  // 16384.75 truncated
  EXPECT_EQ(To16From16(65535), 32768u);
  EXPECT_EQ(From16To16(0), 0u);
  EXPECT_EQ(From16To16(16384), 32768u);
  EXPECT_EQ(From16To16(32768), 65535u);
  EXPECT_EQ(From16To16(40000), 65535u);  // above full scale is held to the file's maximum
}

TEST(ImageIo, WritingIntoAMissingFolderFailsWithoutLeavingAFile) {
  const fs::path dir = fs::temp_directory_path() / ("palettrix-image-io-test-" + std::to_string(getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  minihost::World world(2, 2, minihost::Depth::Eight);
  try {
    WriteImage(dir / "missing" / "out.png", world, false);
    ADD_FAILURE();
  } catch (const CliError& e) {
    EXPECT_EQ(e.status(), kExitOutput);
    EXPECT_NE(std::string(e.what()).find("out.png"), std::string::npos);
  }
  EXPECT_TRUE(fs::is_empty(dir));
  fs::remove_all(dir);
}

TEST(ImageIo, GreyAndGreyAlphaFilesBecomeEqualChannels) {
  namespace OIIO = OIIO_NAMESPACE;
  const fs::path dir = fs::temp_directory_path() / ("palettrix-image-io-grey-" + std::to_string(getpid()));
  fs::create_directories(dir);
  const fs::path path = dir / "ga.png";
  const uint8_t pixels[] = {10, 255, 200, 0};
  auto out = OIIO::ImageOutput::create(path.string());
  OIIO::ImageSpec spec(2, 1, 2, OIIO::TypeDesc::UINT8);
  spec.alpha_channel = 1;
  spec.attribute("oiio:UnassociatedAlpha", 1);
  ASSERT_TRUE(out->open(path.string(), spec) && out->write_image(OIIO::TypeDesc::UINT8, pixels) &&
              out->close());

  LoadedImage image = ReadImage(path, nullptr);
  EXPECT_TRUE(image.hasAlpha);
  const PF_Pixel8 a = image.world.pixel8(0, 0), b = image.world.pixel8(1, 0);
  EXPECT_EQ((std::array<int, 4>{a.alpha, a.red, a.green, a.blue}), (std::array<int, 4>{255, 10, 10, 10}));
  EXPECT_EQ((std::array<int, 4>{b.alpha, b.red, b.green, b.blue}), (std::array<int, 4>{0, 200, 200, 200}));
  fs::remove_all(dir);
}

namespace {

// A world of `width` x 3 whose pixel i takes colour i mod `colors`, with varied alpha when `alpha`.
minihost::World FewColours(int width, int colors, bool alpha) {
  minihost::World world(width, 3, minihost::Depth::Eight);
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < width; ++x) {
      const int i = (y * width + x) % colors;
      world.pixel8(x, y) =
          PF_Pixel8{static_cast<A_u_char>(alpha ? (i * 37) % 256 : 255), static_cast<A_u_char>(i),
                    static_cast<A_u_char>(255 - i), static_cast<A_u_char>((i * 7 + (i >> 8)) & 255)};
    }
  }
  return world;
}

}  // namespace

// A PNG of at most 256 colours is stored with a palette, as few bits an index as they need, and reads back
// (through OpenImageIO's own reader) pixel for pixel; more colours, 16 bits or --full-color keep RGB(A).
TEST(ImageIo, PngsOfFewColoursAreIndexedAndReadBackExactly) {
  namespace OIIO = OIIO_NAMESPACE;
  const fs::path dir = fs::temp_directory_path() / ("palettrix-image-io-indexed-" + std::to_string(getpid()));
  fs::create_directories(dir);
  struct Case {
    int width, colors;
    bool alpha;
    PngColors choice;
    int colourType, bits;  // as the file's header has them
  } cases[] = {{13, 2, false, PngColors::IndexedWhereTheyFit, 3, 1},
               {7, 3, true, PngColors::IndexedWhereTheyFit, 3, 2},
               {9, 16, false, PngColors::IndexedWhereTheyFit, 3, 4},
               {11, 17, true, PngColors::IndexedWhereTheyFit, 3, 8},
               {100, 256, true, PngColors::IndexedWhereTheyFit, 3, 8},
               {100, 257, false, PngColors::IndexedWhereTheyFit, 2, 8},
               {100, 257, true, PngColors::IndexedWhereTheyFit, 6, 8},
               {13, 2, false, PngColors::Full, 2, 8}};
  for (const Case& c : cases) {
    const std::string label = std::to_string(c.colors) + " colours" + (c.alpha ? " with alpha" : "");
    const minihost::World world = FewColours(c.width, c.colors, c.alpha);
    const fs::path path = dir / "out.png";
    WriteImage(path, world, c.alpha, c.choice);
    std::ifstream file(path, std::ios::binary);
    std::string head(26, '\0');
    file.read(head.data(), 26);
    EXPECT_EQ(static_cast<int>(head[25]), c.colourType) << label;
    EXPECT_EQ(static_cast<int>(head[24]), c.bits) << label;

    OIIO::ImageSpec config;
    config.attribute("oiio:UnassociatedAlpha", 1);
    auto in = OIIO::ImageInput::open(path.string(), &config);
    ASSERT_TRUE(in) << label;
    const int channels = in->spec().nchannels;
    EXPECT_EQ(channels, c.alpha ? 4 : 3) << label;
    std::vector<uint8_t> pixels(static_cast<std::size_t>(c.width) * 3 * channels);
    ASSERT_TRUE(in->read_image(0, 0, 0, channels, OIIO::TypeDesc::UINT8, pixels.data())) << label;
    int wrong = 0;
    for (int y = 0; y < 3; ++y) {
      for (int x = 0; x < c.width; ++x) {
        const PF_Pixel8 p = world.pixel8(x, y);
        const uint8_t* q = &pixels[(static_cast<std::size_t>(y) * c.width + x) * channels];
        wrong += q[0] != p.red || q[1] != p.green || q[2] != p.blue || (c.alpha && q[3] != p.alpha);
      }
    }
    EXPECT_EQ(wrong, 0) << label;
  }
  // 16-bit worlds stay 16-bit RGB.
  minihost::World deep(4, 1, minihost::Depth::Sixteen);
  WriteImage(dir / "deep.png", deep, false);
  std::ifstream file(dir / "deep.png", std::ios::binary);
  std::string head(26, '\0');
  file.read(head.data(), 26);
  EXPECT_EQ(static_cast<int>(head[25]), 2);
  EXPECT_EQ(static_cast<int>(head[24]), 16);
  fs::remove_all(dir);
}
