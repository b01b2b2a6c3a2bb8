#include "cli/image_io.h"

#include <OpenImageIO/imageio.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

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
