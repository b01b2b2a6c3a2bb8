// The palettrix command as a user runs it: files in, files out, exit statuses and messages.
#include <OpenImageIO/imageio.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "command_runner.h"

namespace fs = std::filesystem;
namespace OIIO = OIIO_NAMESPACE;

namespace {

struct Result {
  int status;
  std::string out;
  std::string err;
};

class PalettrixCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("palettrix-cli-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) +
            "-" + std::to_string(getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  fs::path Path(const std::string& name) const { return dir_ / name; }

  Result Run(const std::string& args) const {
    const palettrix_test::Result r = palettrix_test::RunCommand(args, dir_);
    return Result{r.status, r.out, r.err};
  }

  static std::string Slurp(const fs::path& path) {
    std::ifstream in(path);
    std::stringstream buffer;
    buffer << in.rdbuf();
    return buffer.str();
  }

  template <typename T>
  void WriteImage(const fs::path& path, int width, int height, int channels,
                  const std::vector<T>& pixels) const {
    const OIIO::TypeDesc type = sizeof(T) == 1 ? OIIO::TypeDesc::UINT8 : OIIO::TypeDesc::UINT16;
    auto out = OIIO::ImageOutput::create(path.string());
    ASSERT_TRUE(out);
    OIIO::ImageSpec spec(width, height, channels, type);
    if (channels == 4) spec.alpha_channel = 3;
    spec.attribute("oiio:UnassociatedAlpha", 1);
    ASSERT_TRUE(out->open(path.string(), spec) && out->write_image(type, pixels.data()) && out->close());
  }

  struct Image {
    OIIO::ImageSpec spec;
    std::vector<uint16_t> pixels;  // as stored, widened
  };
  static Image ReadBack(const fs::path& path) {
    OIIO::ImageSpec config;
    config.attribute("oiio:UnassociatedAlpha", 1);
    auto in = OIIO::ImageInput::open(path.string(), &config);
    EXPECT_TRUE(in) << path;
    if (!in) return {};
    Image image{in->spec(), {}};
    image.pixels.resize(static_cast<std::size_t>(image.spec.width) * image.spec.height *
                        image.spec.nchannels);
    const OIIO::TypeDesc type =
        image.spec.format.size() == 1 ? OIIO::TypeDesc::UINT8 : OIIO::TypeDesc::UINT16;
    std::vector<uint8_t> bytes(image.pixels.size() * type.size());
    EXPECT_TRUE(in->read_image(0, 0, 0, image.spec.nchannels, type, bytes.data()));
    for (std::size_t i = 0; i < image.pixels.size(); ++i) {
      image.pixels[i] = type.size() == 1 ? bytes[i] : reinterpret_cast<const uint16_t*>(bytes.data())[i];
    }
    return image;
  }

  fs::path dir_;
};

}  // namespace

TEST_F(PalettrixCommand, RendersAnEightBitImageWithoutAlpha) {
  WriteImage<uint8_t>(Path("in.png"), 2, 1, 3, {204, 14, 182, 0x1D, 0x2B, 0x53});
  const Result r =
      Run(Path("in.png").string() + " " + Path("out.png").string() + " --pattern threshold --swatch pico_8");
  // The subcommand comes first; the line above deliberately omits it to check the usage error.
  EXPECT_EQ(r.status, 2);
  EXPECT_FALSE(fs::exists(Path("out.png")));

  const Result ok = Run("render " + Path("in.png").string() + " " + Path("out.png").string() +
                        " --pattern threshold --swatch pico-8");
  ASSERT_EQ(ok.status, 0) << ok.err;
  const Image out = ReadBack(Path("out.png"));
  EXPECT_EQ(out.spec.nchannels, 3);
  EXPECT_EQ(out.spec.format, OIIO::TypeDesc::UINT8);
  EXPECT_EQ(out.pixels, (std::vector<uint16_t>{0xFF, 0x77, 0xA8, 0x1D, 0x2B, 0x53}));
}

TEST_F(PalettrixCommand, DepthSixteenWritesSixteenBitsAndKeepsAlpha) {
  WriteImage<uint8_t>(Path("in.png"), 1, 1, 4, {255, 0, 128, 77});
  const Result r = Run("render " + Path("in.png").string() + " " + Path("out.png").string() +
                       " --pattern 1 --swatch 3-bit-rgb --depth 16");
  ASSERT_EQ(r.status, 0) << r.err;
  const Image out = ReadBack(Path("out.png"));
  EXPECT_EQ(out.spec.format, OIIO::TypeDesc::UINT16);
  // 128 becomes 16448 of 32768, just above one half, so it rounds up to full; alpha 77 -> 9895 -> 19790.
  EXPECT_EQ(out.pixels, (std::vector<uint16_t>{65535, 0, 65535, 19790}));
}

TEST_F(PalettrixCommand, SixteenBitFilesRenderAtSixteenBits) {
  WriteImage<uint16_t>(Path("in.png"), 2, 1, 3, {32768, 32768, 32768, 65535, 65535, 65535});
  const Result r = Run("render " + Path("in.png").string() + " " + Path("out.tif").string() +
                       " --pattern Threshold --swatch \"2-bit gray\"");
  ASSERT_EQ(r.status, 0) << r.err;
  const Image out = ReadBack(Path("out.tif"));
  EXPECT_EQ(out.spec.format, OIIO::TypeDesc::UINT16);
  // 32768 of 65535 is exactly one half on the host's scale: grey 0.515 -> level 0.5 -> 32768 in the file.
  EXPECT_EQ(out.pixels, (std::vector<uint16_t>{32768, 32768, 32768, 65535, 65535, 65535}));
}

TEST_F(PalettrixCommand, BadInputNamesTheCulpritAndWritesNothing) {
  std::ofstream(Path("keep.png")) << "an existing file";
  WriteImage<uint8_t>(Path("in.png"), 1, 1, 3, {1, 2, 3});
  std::ofstream(Path("broken.png")) << "not an image";
  const struct {
    std::string args;
    int status;
    std::string mention;
  } cases[] = {
      {"render " + Path("nothing.png").string() + " " + Path("keep.png").string(), 3, "nothing.png"},
      {"render " + Path("broken.png").string() + " " + Path("keep.png").string(), 3, "broken.png"},
      {"render " + Path("in.png").string() + " " + Path("keep.png").string() + " --pattern Sparkle", 2,
       "--pattern"},
      {"render " + Path("in.png").string() + " " + Path("keep.png").string() + " --swatch 23", 2, "--swatch"},
      {"render " + Path("in.png").string() + " " + Path("keep.png").string() + " --depth 12", 2, "--depth"},
      {"render " + Path("in.png").string() + " " + Path("no/such/out.png").string(), 4, "out.png"},
      {"list colours", 2, "colours"},
  };
  for (const auto& c : cases) {
    const Result r = Run(c.args);
    EXPECT_EQ(r.status, c.status) << c.args << "\n" << r.err;
    EXPECT_NE(r.err.find(c.mention), std::string::npos) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
  }
  EXPECT_EQ(Slurp(Path("keep.png")), "an existing file");
  std::vector<std::string> left;
  for (const auto& entry : fs::directory_iterator(dir_)) left.push_back(entry.path().filename().string());
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"broken.png", "in.png", "keep.png"}));
}

TEST_F(PalettrixCommand, ListsWhatTheEffectOffers) {
  const Result patterns = Run("list patterns");
  ASSERT_EQ(patterns.status, 0);
  EXPECT_EQ(std::count(patterns.out.begin(), patterns.out.end(), '\n'), 26);
  EXPECT_EQ(patterns.out.rfind("1\tThreshold\n", 0), 0u);
  EXPECT_NE(patterns.out.find("\n26\tDiagonal 5x5\n"), std::string::npos);
  const Result swatches = Run("list swatches");
  ASSERT_EQ(swatches.status, 0);
  EXPECT_EQ(std::count(swatches.out.begin(), swatches.out.end(), '\n'), 22);
  EXPECT_NE(swatches.out.find("\n19\tCommodore 64 - Orrel\n"), std::string::npos);
}

TEST_F(PalettrixCommand, DemoRendersTheBuiltInTestCard) {
  const Result r = Run("demo " + Path("demo.png").string());
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("demo.png"), std::string::npos);
  const Image out = ReadBack(Path("demo.png"));
  EXPECT_EQ(out.spec.width, 640);
  EXPECT_EQ(out.spec.height, 400);
  // "6-bit RGB" leaves only the channel levels 0, 85, 170 and 255.
  for (uint16_t v : out.pixels) EXPECT_TRUE(v == 0 || v == 85 || v == 170 || v == 255) << v;
  EXPECT_EQ(Run("--version").out.rfind("palettrix ", 0), 0u);
}

TEST_F(PalettrixCommand, SliderValuesOutsideTheirControlsRangeAreRefused) {
  WriteImage<uint8_t>(Path("in.png"), 1, 1, 3, {1, 2, 3});
  const std::string base = "render " + Path("in.png").string() + " " + Path("out.png").string();
  for (const char* option :
       {"--offset-x 1000.5", "--offset-y -1001", "--scale 0.99", "--scale 100.01", "--threshold-red 1000.01",
        "--threshold-green -2000", "--threshold-blue nan", "--scale abc"}) {
    const Result r = Run(base + " " + option);
    EXPECT_EQ(r.status, 2) << option << "\n" << r.err;
    EXPECT_NE(r.err.find(std::string(option).substr(0, std::string(option).find(' '))), std::string::npos)
        << r.err;
    EXPECT_FALSE(fs::exists(Path("out.png"))) << option;
  }
  const Result ok = Run(base +
                        " --offset-x -1000 --offset-y 1000 --scale 100 --threshold-red -1000 "
                        "--threshold-green 1000 --threshold-blue 45.67");
  EXPECT_EQ(ok.status, 0) << ok.err;
}

TEST_F(PalettrixCommand, ScaleCoarsensThePictureIntoBlocks) {
  // Four different greys; at scale 2 every pixel of the 2x2 block takes the top-left pixel's colour and,
  // with "1-bit Gray" and a zero threshold, its palette colour.
  WriteImage<uint8_t>(Path("in.png"), 2, 2, 3, {250, 250, 250, 0, 0, 0, 10, 10, 10, 120, 120, 120});
  const Result r = Run("render " + Path("in.png").string() + " " + Path("out.png").string() +
                       " --pattern bayer-2x2 --swatch 1-bit-gray --scale 2 --threshold-red -100 "
                       "--threshold-green -100 --threshold-blue -100");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(ReadBack(Path("out.png")).pixels, std::vector<uint16_t>(12, 255));
}
