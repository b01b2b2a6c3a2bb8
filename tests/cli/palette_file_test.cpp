// The palette file readers, each on small files written here with colours worked out by hand.
#include "palettefiles/palette_file.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <string>

#include "bytes/pixels_per_byte.h"
#include "cli/image_checks.h"
#include "command_runner.h"

namespace {

using palettrix_test::Spit;
namespace fs = std::filesystem;
namespace OIIO = OIIO_NAMESPACE;

Color3 Rgb8(int r, int g, int b) {
  return Color3(static_cast<float>(r) / 255.0f, static_cast<float>(g) / 255.0f,
                static_cast<float>(b) / 255.0f);
}

// Bit for bit, so that -0.0 and 0.0 differ and a last-bit error shows.
void ExpectColors(const ColorList& actual, const ColorList& expected, const std::string& what) {
  ASSERT_EQ(actual.size(), expected.size()) << what;
  for (std::size_t i = 0; i < actual.size(); ++i) {
    for (int c = 0; c < 3; ++c) {
      EXPECT_EQ(std::bit_cast<uint32_t>(actual[i][c]), std::bit_cast<uint32_t>(expected[i][c]))
          << what << ": colour " << i << " channel " << c << ": " << actual[i][c] << " vs " << expected[i][c];
    }
  }
}

std::string Be16(unsigned v) { return {static_cast<char>(v >> 8), static_cast<char>(v & 0xFF)}; }
std::string Be32(uint32_t v) { return Be16(v >> 16) + Be16(v & 0xFFFF); }
std::string BeFloat(float f) { return Be32(std::bit_cast<uint32_t>(f)); }

std::string PngChunk(const std::string& type, const std::string& data) {
  const std::string covered = type + data;
  const auto crc = static_cast<uint32_t>(
      crc32(0, reinterpret_cast<const Bytef*>(covered.data()), static_cast<uInt>(covered.size())));
  return Be32(static_cast<uint32_t>(data.size())) + covered + Be32(crc);
}

// A PNG file of `width` x `height` pixels from its scanlines as stored (each with its filter byte, in pass
// order for an interlaced one), with `chunks` (already made) between the header and the data.
std::string Png(uint32_t width, uint32_t height, char depth, char type, char interlace,
                const std::string& raw, const std::string& chunks = "") {
  std::string ihdr = Be32(width) + Be32(height);
  ihdr += std::string{depth, type, 0, 0, interlace};
  uLongf size = compressBound(static_cast<uLong>(raw.size()));
  std::string idat(size, '\0');
  compress(reinterpret_cast<Bytef*>(idat.data()), &size, reinterpret_cast<const Bytef*>(raw.data()),
           static_cast<uLong>(raw.size()));
  idat.resize(size);
  return "\x89PNG\r\n\x1A\n" + PngChunk("IHDR", ihdr) + chunks + PngChunk("IDAT", idat) +
         PngChunk("IEND", "");
}

// An indexed PNG of `width` x 1 pixels, 8 bits an index, with the palette `plte` (and tRNS when given).
std::string IndexedPng(int width, const std::string& plte, const std::string& trns) {
  std::string raw(1, '\0');  // filter type none
  for (int x = 0; x < width; ++x) raw += static_cast<char>(x);
  return Png(static_cast<uint32_t>(width), 1, 8, 3, 0, raw,
             PngChunk("PLTE", plte) + (trns.empty() ? "" : PngChunk("tRNS", trns)));
}

class PaletteFile : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("palettrix-palette-file-" +
            std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) + "-" +
            std::to_string(getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  fs::path Write(const std::string& name, const std::string& bytes) const {
    Spit(dir_ / name, bytes);
    return dir_ / name;
  }

  // The message of the error reading `name` throws.
  std::string Failure(const std::string& name) const {
    try {
      ReadPaletteFile(dir_ / name);
    } catch (const PaletteFileError& e) {
      return e.what();
    }
    ADD_FAILURE() << name << " was read";
    return {};
  }

  fs::path dir_;
};

}  // namespace

TEST_F(PaletteFile, GimpPalettesSkipHeadersCommentsAndNames) {
  const ColorList expected = {Rgb8(0, 0, 0), Rgb8(255, 128, 1), Rgb8(17, 34, 51)};
  Write("a.gpl",
        "GIMP Palette\nName: Test\nColumns: 4\n# a comment\n  0   0   0\tBlack\n255 128   1 Orange with "
        "spaces\n\n"
        " 17  34  51\n");
  ExpectColors(ReadPaletteFile(dir_ / "a.gpl"), expected, "a.gpl");
  // Windows line ends, a byte-order mark, no final line end, and an upper-case extension.
  Write("b.GPL", "\xEF\xBB\xBFGIMP Palette\r\nName: Test\r\n0 0 0\r\n255 128 1\r\n17 34 51");
  ExpectColors(ReadPaletteFile(dir_ / "b.GPL"), expected, "b.GPL");
  EXPECT_EQ(PaletteFormatOf("x.Gpl"), PaletteFormat::Gimp);
  EXPECT_EQ(PaletteFormatOf("x.gpl.txt"), std::nullopt);
}

TEST_F(PaletteFile, JascPalettesHoldExactlyTheirCount) {
  Write("a.pal", "JASC-PAL\r\n0100\r\n3\r\n255 0 0\r\n0 128 0\r\n0 0 255\r\n\r\n");
  ExpectColors(ReadPaletteFile(dir_ / "a.pal"), {Rgb8(255, 0, 0), Rgb8(0, 128, 0), Rgb8(0, 0, 255)}, "a.pal");
}

TEST_F(PaletteFile, HexListsTakeSixDigitsWithOrWithoutHash) {
  Write("a.hex", "#ff0000\n00FF00\n\n  0a0B0c  \r\n");
  ExpectColors(ReadPaletteFile(dir_ / "a.hex"), {Rgb8(255, 0, 0), Rgb8(0, 255, 0), Rgb8(10, 11, 12)},
               "a.hex");
}

TEST_F(PaletteFile, ColorTablesHonourTheirCountAndLeaveOutTheTransparentEntry) {
  std::string table(768, '\0');
  table[0] = 1, table[1] = 2, table[2] = 3;
  table[765] = static_cast<char>(255);
  Write("full.act", table);
  const ColorList full = ReadPaletteFile(dir_ / "full.act");
  ASSERT_EQ(full.size(), 256u);
  ExpectColors({full[0], full[1], full[255]}, {Rgb8(1, 2, 3), Rgb8(0, 0, 0), Rgb8(255, 0, 0)}, "full.act");

  // Three colours of which entry 1 is transparent: entries 0 and 2 remain.
  std::string counted = table;
  const unsigned char entries[9] = {10, 20, 30, 40, 50, 60, 70, 80, 90};
  for (int i = 0; i < 9; ++i) counted[i] = static_cast<char>(entries[i]);
  Write("counted.act", counted + Be16(3) + Be16(1));
  ExpectColors(ReadPaletteFile(dir_ / "counted.act"), {Rgb8(10, 20, 30), Rgb8(70, 80, 90)}, "counted.act");
  // 0xFFFF: no transparent entry.
  Write("opaque.act", counted + Be16(2) + Be16(0xFFFF));
  ExpectColors(ReadPaletteFile(dir_ / "opaque.act"), {Rgb8(10, 20, 30), Rgb8(40, 50, 60)}, "opaque.act");
}

TEST_F(PaletteFile, SwatchExchangeFilesGoThroughTheEffectsReader) {
  // Two colour entries: "A" RGB (1, 0.5, 0.25) and "B" grey 0.3, which the reader repeats in each channel.
  const std::string nameA = Be16(2) + Be16('A') + Be16(0), nameB = Be16(2) + Be16('B') + Be16(0);
  const std::string rgb = nameA + "RGB " + BeFloat(1.0f) + BeFloat(0.5f) + BeFloat(0.25f) + Be16(2);
  const std::string gray = nameB + "Gray" + BeFloat(0.3f) + Be16(2);
  const std::string ase = "ASEF" + Be16(1) + Be16(0) + Be32(2) + Be16(1) +
                          Be32(static_cast<uint32_t>(rgb.size())) + rgb + Be16(1) +
                          Be32(static_cast<uint32_t>(gray.size())) + gray;
  Write("a.ase", ase);
  ExpectColors(ReadPaletteFile(dir_ / "a.ase"), {Color3(1.0f, 0.5f, 0.25f), Color3(0.3f, 0.3f, 0.3f)},
               "a.ase");

  const std::string bad = nameA + "RGB " + BeFloat(NAN) + BeFloat(0.5f) + BeFloat(0.25f) + Be16(2);
  Write("nan.ase",
        "ASEF" + Be16(1) + Be16(0) + Be32(1) + Be16(1) + Be32(static_cast<uint32_t>(bad.size())) + bad);
  EXPECT_NE(Failure("nan.ase").find("not a finite number"), std::string::npos);
  Write("none.ase", "ASEF" + Be16(1) + Be16(0) + Be32(0));
  EXPECT_NE(Failure("none.ase").find("holds no colour"), std::string::npos);
  Write("other.ase", "GIMP Palette\n0 0 0\n");
  EXPECT_NE(Failure("other.ase").find("not an Adobe Swatch Exchange file"), std::string::npos);
}

TEST_F(PaletteFile, IndexedPngsGiveTheirPaletteAndOtherPngsTheirDistinctOpaquePixels) {
  // Palette red, green (transparent by tRNS), blue; entries without a tRNS value are opaque.
  const std::string plte =
      std::string("\xFF\x00\x00", 3) + std::string("\x00\xFF\x00", 3) + std::string("\x00\x00\xFF", 3);
  Write("indexed.png", IndexedPng(3, plte, std::string("\xFF\x00", 2)));
  {
    // The file is a real PNG: an independent reader opens it.
    auto in = OIIO::ImageInput::open((dir_ / "indexed.png").string());
    ASSERT_TRUE(in);
    EXPECT_EQ(in->spec().width, 3);
  }
  ExpectColors(ReadPaletteFile(dir_ / "indexed.png"), {Rgb8(255, 0, 0), Rgb8(0, 0, 255)}, "indexed.png");

  // RGBA, reading order: red, red again (dropped), a transparent white (skipped), blue, green, red again.
  palettrix_test::WriteImage8(dir_ / "pixels.png",
                              {3, 2, 4, {255, 0, 0,   255, 255, 0,   0, 255, 255, 255, 255, 0,  //
                                         0,   0, 255, 255, 0,   255, 0, 128, 255, 0,   0,   255}});
  ExpectColors(ReadPaletteFile(dir_ / "pixels.png"), {Rgb8(255, 0, 0), Rgb8(0, 0, 255), Rgb8(0, 255, 0)},
               "pixels.png");

  // 16-bit grey: k / 65535 in every channel.
  {
    const uint16_t grey[3] = {0, 32768, 65535};
    auto out = OIIO::ImageOutput::create((dir_ / "grey16.png").string());
    OIIO::ImageSpec spec(3, 1, 1, OIIO::TypeDesc::UINT16);
    ASSERT_TRUE(out->open((dir_ / "grey16.png").string(), spec) &&
                out->write_image(OIIO::TypeDesc::UINT16, grey) && out->close());
  }
  const float half = 32768.0f / 65535.0f;
  ExpectColors(ReadPaletteFile(dir_ / "grey16.png"),
               {Color3(0.0f, 0.0f, 0.0f), Color3(half, half, half), Color3(1.0f, 1.0f, 1.0f)}, "grey16.png");

  // A damaged palette chunk: one flipped byte fails the checksum.
  std::string damaged = IndexedPng(3, plte, "");
  damaged[8 + 25 + 8] ^= 0x01;
  Write("damaged.png", damaged);
  EXPECT_NE(Failure("damaged.png").find("bad CRC"), std::string::npos);
  Write("text.png", "GIMP Palette\n");
  EXPECT_NE(Failure("text.png").find("not a PNG image"), std::string::npos);
  // Pixel values as stored, whatever the layout: 2-bit greys widened (1 made transparent by tRNS), and an
  // interlaced image read back in row order: passes 1, 6 and 7 hold pixels (0,0), (1,0) and row 1.
  Write("grey2.png",
        Png(4, 1, 2, 0, 0, std::string("\0\x1B", 2), PngChunk("tRNS", std::string("\0\x01", 2))));
  ExpectColors(ReadPaletteFile(dir_ / "grey2.png"), {Rgb8(0, 0, 0), Rgb8(170, 170, 170), Rgb8(255, 255, 255)},
               "grey2.png");
  const std::string passes = std::string("\0\x01\x02\x03", 4) + std::string("\0\x04\x05\x06", 4) +
                             std::string("\0\x07\x08\x09\x0A\x0B\x0C", 7);
  Write("interlaced.png", Png(2, 2, 8, 2, 1, passes));
  ExpectColors(ReadPaletteFile(dir_ / "interlaced.png"),
               {Rgb8(1, 2, 3), Rgb8(4, 5, 6), Rgb8(7, 8, 9), Rgb8(10, 11, 12)}, "interlaced.png");
  // Compressed data that is not: the library's own complaint, and nothing left behind.
  const std::string header = Be32(2) + Be32(2) + std::string{8, 2, 0, 0, 0};
  const std::string broken = "\x89PNG\r\n\x1A\n" + PngChunk("IHDR", header) +
                             PngChunk("IDAT", "\x78\x9C\xFF\xFF\xFF\xFF") + PngChunk("IEND", "");
  Write("broken.png", broken);
  EXPECT_NE(Failure("broken.png").find("broken.png: cannot read image ("), std::string::npos)
      << Failure("broken.png");
  // Only transparent pixels: nothing to dither to.
  palettrix_test::WriteImage8(dir_ / "clear.png", {1, 1, 4, {9, 9, 9, 0}});
  EXPECT_NE(Failure("clear.png").find("holds no colour"), std::string::npos);
}

TEST_F(PaletteFile, BadFilesNameTheFileAndTheLine) {
  const struct {
    const char* name;
    std::string bytes;
    std::string expected;  // the start of the message after the folder
  } cases[] = {
      {"empty.gpl", "", "empty.gpl: the file is empty"},
      {"empty.hex", "", "empty.hex: the file is empty"},
      {"empty.act", "", "empty.act: the file is empty"},
      {"empty.ase", "", "empty.ase: the file is empty"},
      {"empty.png", "", "empty.png: the file is empty"},
      {"headers.gpl", "GIMP Palette\nName: none\n# nothing\n", "headers.gpl: holds no colour"},
      {"blank.hex", "\n \n\r\n", "blank.hex: holds no colour"},
      {"title.gpl", "GIMP palette\n0 0 0\n", "title.gpl:1: not a GIMP palette"},
      {"short.gpl", "GIMP Palette\n0 0 0\n12 34\n", "short.gpl:3: expected three values"},
      {"range.gpl", "GIMP Palette\n0 0 0\n\n1 256 3 Too bright\n",
       "range.gpl:4: \"256\" is not a channel value"},
      {"sign.gpl", "GIMP Palette\n-1 0 0\n", "sign.gpl:2: \"-1\" is not a channel value"},
      {"glued.gpl", "GIMP Palette\n1 2 3Red\n", "glued.gpl:2: \"3Red\" is not a channel value"},
      {"digits.hex", "ff0000\n#12345\n", "digits.hex:2: \"#12345\" is not a colour RRGGBB"},
      {"letters.hex", "ff0000\n00ff00\ngg0000\n", "letters.hex:3: \"gg0000\" is not a colour RRGGBB"},
      {"version.pal", "JASC-PAL\n0200\n1\n0 0 0\n", "version.pal:2: expected the version"},
      {"count.pal", "JASC-PAL\n0100\nthree\n", "count.pal:3: \"three\" is not a number of colours"},
      {"zero.pal", "JASC-PAL\n0100\n0\n", "zero.pal: holds no colour"},
      {"fewer.pal", "JASC-PAL\n0100\n3\n1 2 3\n4 5 6\n",
       "fewer.pal:6: the file ends after 2 of its 3 colours"},
      {"more.pal", "JASC-PAL\n0100\n1\n1 2 3\n4 5 6\n", "more.pal:5: more colours than the count of 1"},
      {"extra.pal", "JASC-PAL\n0100\n1\n1 2 3 4\n", "extra.pal:4: \"4\" follows the blue value"},
      {"riff.pal", "RIFF\x10\0\0\0PAL data", "riff.pal: a RIFF palette"},
      {"size.act", std::string(700, '\0'), "size.act: 700 bytes is not the size of a colour table"},
      {"count.act", std::string(768, '\0') + Be16(257) + Be16(0xFFFF), "count.act: declares 257 colours"},
      {"zero.act", std::string(768, '\0') + Be16(0) + Be16(0xFFFF), "zero.act: holds no colour"},
      {"palette.txt", "GIMP Palette\n0 0 0\n", "palette.txt: unknown palette format \".txt\""},
  };
  for (const auto& c : cases) {
    Write(c.name, c.bytes);
    const std::string message = Failure(c.name);
    EXPECT_EQ(message.rfind((dir_ / c.expected).string(), 0), 0u) << message;
  }
  EXPECT_EQ(Failure("missing.gpl"), (dir_ / "missing.gpl").string() + ": no such file");
}

TEST(PaletteValues, EightBitValuesAreRecognisedOnlyWhenExact) {
  unsigned k = 999;
  EXPECT_TRUE(IsEightBit(128.0f / 255.0f, k));
  EXPECT_EQ(k, 128u);
  EXPECT_TRUE(IsEightBit(1.0f, k));
  EXPECT_EQ(k, 255u);
  EXPECT_TRUE(IsEightBit(0.0f, k));
  EXPECT_EQ(k, 0u);
  EXPECT_FALSE(IsEightBit(-0.0f, k));
  EXPECT_FALSE(IsEightBit(std::nextafter(128.0f / 255.0f, 1.0f), k));
  EXPECT_FALSE(IsEightBit(0.5f, k));  // 127.5 of 255
  EXPECT_FALSE(IsEightBit(1.0000001f, k));
  EXPECT_FALSE(IsEightBit(NAN, k));
}

// Deflate packs at most 8 x 1100 one-bit pixels into a byte: 8800 pixels for a 1-byte file, 8800 x 1000 for
// a 1000-byte one. An unknown size (0) holds anything, and so does a size whose bound passes 2^64.
TEST(ImageChecks, APixelCountBeyondWhatTheFileCanHoldIsRefused) {
  EXPECT_FALSE(MoreThanBytesCanHold(8800, 1));
  EXPECT_TRUE(MoreThanBytesCanHold(8801, 1));
  EXPECT_FALSE(MoreThanBytesCanHold(8800000, 1000));
  EXPECT_TRUE(MoreThanBytesCanHold(8800001, 1000));
  EXPECT_FALSE(MoreThanBytesCanHold(~0ull, 0));
  EXPECT_FALSE(MoreThanBytesCanHold(~0ull, std::uintmax_t{1} << 62));
}

// An alpha index the library gives beyond the channels (GIF's reader says 4 of 4) is no channel: the one
// named "A" is taken, else the last of two or four; three channels have none.
TEST(ImageChecks, TheAlphaChannelIsAlwaysOneOfTheImagesChannels) {
  OIIO::ImageSpec rgba(4, 4, 4, OIIO::TypeDesc::UINT8);
  EXPECT_EQ(AlphaChannel(rgba), 3);
  rgba.alpha_channel = 4;
  EXPECT_EQ(AlphaChannel(rgba), 3);
  OIIO::ImageSpec named(4, 4, 4, OIIO::TypeDesc::UINT8);
  named.alpha_channel = 7;
  named.channelnames = {"A", "B", "G", "R"};
  EXPECT_EQ(AlphaChannel(named), 0);
  OIIO::ImageSpec grey(4, 4, 2, OIIO::TypeDesc::UINT8);
  grey.alpha_channel = -1;
  grey.channelnames = {"Y", "Z"};
  EXPECT_EQ(AlphaChannel(grey), 1);
  OIIO::ImageSpec rgb(4, 4, 3, OIIO::TypeDesc::UINT8);
  rgb.alpha_channel = 5;
  EXPECT_EQ(AlphaChannel(rgb), -1);
}
