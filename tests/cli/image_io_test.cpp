#include "cli/image_io.h"

#include <OpenImageIO/imageio.h>
#include <gtest/gtest.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <span>
#include <string>
#include <vector>

#include "cli/exit_status.h"
#include "cli/simple_png.h"
#include "cli/terminal.h"

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
  // 256 colours in no order do not compress: the image data goes in several chunks, and still reads back.
  minihost::World noise(1200, 1000, minihost::Depth::Eight);
  unsigned seed = 7;
  for (int y = 0; y < noise.height(); ++y) {
    for (int x = 0; x < noise.width(); ++x) {
      seed = seed * 1103515245u + 12345u;
      const auto i = static_cast<A_u_char>(seed >> 24);
      noise.pixel8(x, y) = PF_Pixel8{255, i, static_cast<A_u_char>(i ^ 0x5A), static_cast<A_u_char>(255 - i)};
    }
  }
  WriteImage(dir / "noise.png", noise, false);
  EXPECT_GT(fs::file_size(dir / "noise.png"), std::uintmax_t{1} << 20);
  const LoadedImage back = ReadImage(dir / "noise.png", nullptr);
  int wrong = 0;
  for (int y = 0; y < noise.height(); ++y) {
    for (int x = 0; x < noise.width(); ++x) {
      const PF_Pixel8 a = back.world.pixel8(x, y), b = noise.pixel8(x, y);
      wrong += a.red != b.red || a.green != b.green || a.blue != b.blue;
    }
  }
  EXPECT_EQ(wrong, 0);
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

namespace {

void PutBig(std::string& out, uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<char>(value >> shift));
}

std::string Chunk(const std::string& type, const std::string& data) {
  std::string chunk;
  PutBig(chunk, static_cast<uint32_t>(data.size()));
  chunk += type + data;
  const std::string covered = type + data;
  PutBig(chunk, static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(covered.data()),
                                            static_cast<uInt>(covered.size()))));
  return chunk;
}

// The predictor of PNG's filter `type` from the samples left (a), above (b) and above left (c).
int Predictor(int type, int a, int b, int c) {
  const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
  switch (type) {
    case 1:
      return a;
    case 2:
      return b;
    case 3:
      return (a + b) / 2;
    case 4:
      return pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
    default:
      return 0;
  }
}

// An 8-bit PNG made by hand: IHDR, `before`, the rows in `parts` IDAT chunks, `after`, IEND. Row y is
// stored with filter y mod 5 when `filtered`, else unfiltered.
std::string HandMadePng(int width, int height, int colourType, const std::vector<uint8_t>& samples,
                        const std::string& before = "", const std::string& after = "", bool filtered = false,
                        int parts = 1) {
  const std::size_t rowBytes = samples.size() / static_cast<std::size_t>(height);
  const std::size_t pixel = colourType == 6 ? 4 : 3;
  std::string raw;
  for (std::size_t y = 0; y < static_cast<std::size_t>(height); ++y) {
    const int type = filtered ? static_cast<int>(y % 5) : 0;
    raw.push_back(static_cast<char>(type));
    const uint8_t* row = &samples[y * rowBytes];
    for (std::size_t i = 0; i < rowBytes; ++i) {
      const int a = i >= pixel ? row[i - pixel] : 0, b = y > 0 ? *(row + i - rowBytes) : 0,
                c = i >= pixel && y > 0 ? *(row + i - pixel - rowBytes) : 0;
      raw.push_back(static_cast<char>(row[i] - Predictor(type, a, b, c)));
    }
  }
  uLongf size = compressBound(static_cast<uLong>(raw.size()));
  std::string packed(size, '\0');
  compress(reinterpret_cast<Bytef*>(packed.data()), &size, reinterpret_cast<const Bytef*>(raw.data()),
           static_cast<uLong>(raw.size()));
  packed.resize(size);
  std::string header;
  PutBig(header, static_cast<uint32_t>(width));
  PutBig(header, static_cast<uint32_t>(height));
  header += std::string{8, static_cast<char>(colourType), 0, 0, 0};
  std::string data;
  const std::size_t part = packed.size() / static_cast<std::size_t>(parts) + 1;
  for (std::size_t at = 0; at < packed.size(); at += part) data += Chunk("IDAT", packed.substr(at, part));
  return std::string("\x89PNG\r\n\x1a\n", 8) + Chunk("IHDR", header) + before + data + after +
         Chunk("IEND", "");
}

// `png` with byte `at` of its header's data (0 to 12) set to `value`, the header's checksum made anew.
std::string WithHeaderByte(std::string png, std::size_t at, char value) {
  png[16 + at] = value;
  return png.substr(0, 8) + Chunk("IHDR", png.substr(16, 13)) + png.substr(33);
}

std::span<const unsigned char> Bytes(const std::string& text) {
  return {reinterpret_cast<const unsigned char*>(text.data()), text.size()};
}

}  // namespace

// 8-bit RGB and RGBA PNGs go the quick way; their samples come out exactly as made, whatever notes on
// colour, gamma or text they carry, with rows enough for several bands, with every filter and with the
// image data in several chunks.
TEST(ImageIo, PlainEightBitPngsReadBackTheirSamplesExactly) {
  const std::string notes = Chunk("gAMA", std::string("\0\1\x86\xa0", 4)) +
                            Chunk("sRGB", std::string(1, '\0')) + Chunk("sBIT", "\4\4\4") +
                            Chunk("pHYs", std::string(9, '\1')) + Chunk("tEXt", std::string("a\0b", 3));
  const struct {
    int width, height, channels;
    std::string before, after;
    bool filtered = false;
    int parts = 1;
  } cases[] = {{5, 3, 3, "", ""},
               {4, 2, 4, "", ""},
               {3, 300, 3, notes, Chunk("tEXt", std::string("c\0d", 3))},
               {7, 40, 3, "", "", true, 3},
               {6, 41, 4, "", "", true, 2}};
  for (const auto& c : cases) {
    std::vector<uint8_t> samples(static_cast<std::size_t>(c.width) * c.height * c.channels);
    for (std::size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<uint8_t>(i * 29 + i / 7);
    const std::string png = HandMadePng(c.width, c.height, c.channels == 4 ? 6 : 2, samples, c.before,
                                        c.after, c.filtered, c.parts);
    ASSERT_TRUE(SimplePngHeader(Bytes(png))) << c.height;
    const LoadedImage image = DecodeImage("frame.png", Bytes(png), nullptr);
    EXPECT_EQ(image.hasAlpha, c.channels == 4);
    int wrong = 0;
    for (int y = 0; y < c.height; ++y) {
      for (int x = 0; x < c.width; ++x) {
        const uint8_t* s = &samples[(static_cast<std::size_t>(y) * c.width + x) * c.channels];
        const PF_Pixel8 p = image.world.pixel8(x, y);
        wrong +=
            p.red != s[0] || p.green != s[1] || p.blue != s[2] || p.alpha != (c.channels == 4 ? s[3] : 255);
      }
    }
    EXPECT_EQ(wrong, 0) << c.height;
  }
}

// What could change the pixels (a transparent colour, an orientation, an animation, other depths and
// kinds) and every damaged file is left to the general reader, which gives or reports it as before.
TEST(ImageIo, OtherPngsAndDamagedOnesAreLeftToTheGeneralReader) {
  const std::vector<uint8_t> rgb(2 * 2 * 3, 100);
  const std::string plain = HandMadePng(2, 2, 2, rgb);
  ASSERT_TRUE(SimplePngHeader(Bytes(plain)));
  const std::string deep = WithHeaderByte(plain, 8, 16), grey = WithHeaderByte(plain, 9, 0),
                    interlaced = WithHeaderByte(plain, 12, 1);
  for (const std::string& text : {HandMadePng(2, 2, 2, rgb, Chunk("tRNS", std::string(6, '\0'))),
                                  HandMadePng(2, 2, 2, rgb, Chunk("eXIf", "MM")),
                                  HandMadePng(2, 2, 2, rgb, Chunk("acTL", std::string(8, '\0'))),
                                  HandMadePng(2, 2, 2, rgb, Chunk("zzZz", "")), deep, grey, interlaced,
                                  plain.substr(0, plain.size() - 13)}) {
    EXPECT_FALSE(SimplePngHeader(Bytes(text))) << ForTerminal(text.substr(12, 20));
  }
  // The image data's checksum broken: the quick way gives up, and the general reader reports the damage.
  std::string broken = plain;
  broken[broken.size() - 13] = static_cast<char>(broken[broken.size() - 13] ^ 1);
  ASSERT_TRUE(SimplePngHeader(Bytes(broken)));
  try {
    DecodeImage("broken.png", Bytes(broken), nullptr);
    ADD_FAILURE() << "a damaged file was read";
  } catch (const CliError& e) {
    EXPECT_EQ(e.status(), kExitInput);
    EXPECT_NE(std::string(e.what()).find("broken.png"), std::string::npos) << e.what();
  }
}
