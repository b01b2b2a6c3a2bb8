// Palettes made from footage: the writers of every palette format against the readers and against bytes
// written out by hand, `palettrix palette --from` and `render --palette-from` on images whose palettes are
// worked out by hand, and the command lines they refuse.
#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <string>
#include <vector>

#include "cli/frames.h"
#include "command_runner.h"
#include "palettefiles/palette_file.h"

namespace {

using palettrix_test::Image8;
using palettrix_test::ReadImage8;
using palettrix_test::Result;
using palettrix_test::Slurp;
using palettrix_test::Spit;
using palettrix_test::WriteImage8;

Color3 Rgb8(int r, int g, int b) {
  return Color3(static_cast<float>(r) / 255.0f, static_cast<float>(g) / 255.0f,
                static_cast<float>(b) / 255.0f);
}

// Bit for bit.
void ExpectColors(const ColorList& actual, const ColorList& expected, const std::string& what) {
  ASSERT_EQ(actual.size(), expected.size()) << what;
  for (std::size_t i = 0; i < actual.size(); ++i) {
    for (int c = 0; c < 3; ++c) {
      EXPECT_EQ(std::bit_cast<uint32_t>(actual[i][c]), std::bit_cast<uint32_t>(expected[i][c]))
          << what << ": colour " << i << " channel " << c;
    }
  }
}

std::string Be16(unsigned v) { return {static_cast<char>(v >> 8), static_cast<char>(v & 0xFF)}; }
std::string Be32(uint32_t v) { return Be16(v >> 16) + Be16(v & 0xFFFF); }

const char* const kFormats[] = {"ase", "gpl", "pal", "hex", "act", "png"};

class PaletteFrom : public palettrix_test::CommandTest {
 protected:
  // An RGB image of the pixels given, one row.
  void WriteRow(const std::string& name, const std::vector<std::vector<uint8_t>>& pixels, int channels = 3) {
    Image8 image{static_cast<int>(pixels.size()), 1, channels, {}};
    for (const auto& p : pixels) image.pixels.insert(image.pixels.end(), p.begin(), p.end());
    WriteImage8(Path(name), image);
  }

  ColorList Read(const std::string& name) const { return ReadPaletteFile(Path(name)); }

  // The run fails with `status`, its message holds `words`, and the folder holds what it held before.
  void ExpectRefused(const std::string& args, int status, const std::string& words) {
    const std::vector<std::string> before = Files();
    const Result r = Run(args);
    EXPECT_EQ(r.status, status) << args << "\n" << r.err;
    EXPECT_NE(r.err.find(words), std::string::npos) << args << "\n" << r.err;
    EXPECT_EQ(Files(), before) << args;
  }
};

}  // namespace

TEST_F(PaletteFrom, EveryWriterGivesTheReadersBackTheSameColours) {
  // 8-bit colours, the ends of the scale included; the swatch exchange file also keeps values between
  // 8-bit steps and outside 0..1 as they are.
  const ColorList eightBit = {Rgb8(0, 0, 0), Rgb8(255, 255, 255), Rgb8(1, 128, 254), Rgb8(200, 17, 99)};
  for (const PaletteFormat format : {PaletteFormat::SwatchExchange, PaletteFormat::Gimp, PaletteFormat::Jasc,
                                     PaletteFormat::Hex, PaletteFormat::ColorTable}) {
    const std::string name = "p" + std::to_string(static_cast<int>(format));
    const std::string file = name + (format == PaletteFormat::SwatchExchange ? ".ase"
                                     : format == PaletteFormat::Gimp         ? ".gpl"
                                     : format == PaletteFormat::Jasc         ? ".pal"
                                     : format == PaletteFormat::Hex          ? ".hex"
                                                                             : ".act");
    Spit(Path(file), PaletteFileBytes(format, eightBit, file, "Test"));
    ExpectColors(Read(file), eightBit, file);
  }
  const ColorList odd = {Color3(0.1f, 0.123456789f, 1e-7f), Color3(-0.25f, 1.5f, 0.0f)};
  Spit(Path("odd.ase"), PaletteFileBytes(PaletteFormat::SwatchExchange, odd, "odd.ase", ""));
  ExpectColors(Read("odd.ase"), odd, "odd.ase");
  // A full colour table: 256 entries.
  ColorList full;
  for (int i = 0; i < 256; ++i) full.push_back(Rgb8(i, 255 - i, i / 2));
  Spit(Path("full.act"), PaletteFileBytes(PaletteFormat::ColorTable, full, "full.act", ""));
  ExpectColors(Read("full.act"), full, "full.act");
  full.push_back(Rgb8(1, 1, 1));
  EXPECT_THROW(PaletteFileBytes(PaletteFormat::ColorTable, full, "big.act", ""), PaletteFileError);
  EXPECT_THROW(PaletteFileBytes(PaletteFormat::Hex, {}, "none.hex", ""), PaletteFileError);
}

TEST_F(PaletteFrom, WritersStoreTheBytesOfEachFormat) {
  const ColorList two = {Rgb8(255, 0, 16), Rgb8(1, 2, 3)};
  EXPECT_EQ(PaletteFileBytes(PaletteFormat::Hex, two, "a.hex", ""), "ff0010\n010203\n");
  EXPECT_EQ(PaletteFileBytes(PaletteFormat::Jasc, two, "a.pal", ""),
            "JASC-PAL\r\n0100\r\n2\r\n255 0 16\r\n1 2 3\r\n");
  // A line end in the title would end the Name line early.
  EXPECT_EQ(PaletteFileBytes(PaletteFormat::Gimp, two, "a.gpl", "Sky\nline"),
            "GIMP Palette\nName: Sky line\nColumns: 16\n#\n255   0  16\t#FF0010\n  1   2   3\t#010203\n");
  const std::string table = PaletteFileBytes(PaletteFormat::ColorTable, two, "a.act", "");
  EXPECT_EQ(table,
            std::string("\xFF\x00\x10\x01\x02\x03", 6) + std::string(762, '\0') + Be16(2) + Be16(0xFFFF));
  // Header, one block; the block: type 1, length 2 + 2 x 8 + 4 + 12 + 2 = 36, the name "#010203" in 8
  // UTF-16 units with its terminating zero, "RGB ", three big-endian floats, colour type 2 (normal).
  std::string name;
  for (const char c : std::string("#010203")) name += Be16(static_cast<unsigned char>(c));
  const std::string ase = "ASEF" + Be16(1) + Be16(0) + Be32(1) + Be16(1) + Be32(36) + Be16(8) + name +
                          Be16(0) + "RGB " + Be32(std::bit_cast<uint32_t>(1.0f / 255.0f)) +
                          Be32(std::bit_cast<uint32_t>(2.0f / 255.0f)) +
                          Be32(std::bit_cast<uint32_t>(3.0f / 255.0f)) + Be16(2);
  EXPECT_EQ(PaletteFileBytes(PaletteFormat::SwatchExchange, {Rgb8(1, 2, 3)}, "a.ase", ""), ase);
}

TEST_F(PaletteFrom, AnImageOfFewColoursGivesThoseColoursInEveryFormat) {
  // Five colours: 3, 2, 2, 1 and 1 pixels, and a transparent pixel that shows nothing and is left out.
  // The most used first; equal counts, the lower RRGGBB first (00FF00 before 010101).
  WriteRow("few.png",
           {{9, 9, 9, 255},
            {200, 0, 0, 255},
            {9, 9, 9, 255},
            {0, 0, 200, 255},
            {9, 9, 9, 255},
            {0, 0, 200, 255},
            {200, 0, 0, 255},
            {0, 255, 0, 255},
            {1, 1, 1, 255},
            {50, 60, 70, 0}},
           4);
  const ColorList expected = {Rgb8(9, 9, 9), Rgb8(0, 0, 200), Rgb8(200, 0, 0), Rgb8(0, 255, 0),
                              Rgb8(1, 1, 1)};
  for (const char* format : kFormats) {
    const std::string out = std::string("palette.") + format;
    const Result r = Run("palette --from " + P("few.png") + " --colors 8 " + P(out));
    ASSERT_EQ(r.status, 0) << out << "\n" << r.err;
    ExpectColors(Read(out), expected, out);
  }
  // Asked for exactly five, the same.
  ASSERT_EQ(Run("palette --from " + P("few.png") + " --colors 5 " + P("five.hex")).status, 0);
  ExpectColors(Read("five.hex"), expected, "five.hex");
}

TEST_F(PaletteFrom, RenderUsesTheMeansOfTwoClustersAsTheCustomPalette) {
  // Three pixels (10, 20, 30) and one (14, 24, 34): mean (11, 21, 31); two (200, 100, 50) and two
  // (211, 110, 60): mean (205.5, 105, 55), rounded half away from zero to (206, 105, 55). With the
  // threshold pattern each pixel becomes its cluster's mean.
  WriteRow("two.png", {{10, 20, 30},
                       {200, 100, 50},
                       {10, 20, 30},
                       {211, 110, 60},
                       {14, 24, 34},
                       {10, 20, 30},
                       {211, 110, 60},
                       {200, 100, 50}});
  Result r = Run("render " + P("two.png") + " " + P("out.png") + " --palette-from " + P("two.png") +
                 " --colors 2 --pattern threshold --save-look " + P("look.json"));
  ASSERT_EQ(r.status, 0) << r.err;
  const Image8 out = ReadImage8(Path("out.png"));
  ASSERT_EQ(out.width, 8);
  const std::vector<int> near = {11, 21, 31}, far = {206, 105, 55};
  for (int x = 0; x < 8; ++x) {
    const uint8_t* p = out.at(x, 0);
    EXPECT_EQ((std::vector<int>{p[0], p[1], p[2]}), (x == 0 || x == 2 || x == 4 || x == 5) ? near : far) << x;
  }
  // The same palette from `palette --from`, and as the swatch "Custom" (--swatch custom agrees with it).
  ASSERT_EQ(Run("palette --from " + P("two.png") + " --colors 2 " + P("two.gpl")).status, 0);
  ExpectColors(Read("two.gpl"), {Rgb8(11, 21, 31), Rgb8(206, 105, 55)}, "two.gpl");
  r = Run("render " + P("two.png") + " " + P("again.png") + " --look " + P("look.json") + " --swatch custom");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Slurp(Path("again.png")), Slurp(Path("out.png")));
}

TEST_F(PaletteFrom, BadCommandLinesAndInputsWriteNothing) {
  WriteRow("in.png", {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}});
  WriteRow("clear.png", {{1, 2, 3, 0}, {4, 5, 6, 0}}, 4);
  Spit(Path("empty.png"), "");
  Spit(Path("keep.gpl"), "GIMP Palette\n1 2 3\n");
  const std::string in = P("in.png"), out = P("out.gpl");
  ExpectRefused("palette --from " + in + " --colors 1 " + out, 2,
                "--colors: \"1\" is not a whole number from 2 to 256");
  ExpectRefused("palette --from " + in + " --colors 300 " + out, 2, "--colors: \"300\"");
  ExpectRefused("palette --from " + in + " " + out, 2, "--from: give the number of colours");
  ExpectRefused("palette --from " + in + " --colors 4 " + P("out.txt"), 2,
                "out.txt: unknown palette format \".txt\"");
  ExpectRefused("palette --from " + in + " --colors 4 --frames 1-2 " + out, 2,
                "--frames: only for a sequence");
  ExpectRefused("palette --from " + in + " --colors 4 --strip " + P("s.png") + " " + out, 2, "--strip");
  ExpectRefused("palette " + P("keep.gpl") + " --colors 4", 2, "--colors: only with --from");
  ExpectRefused("palette --from " + P("missing.png") + " --colors 4 " + out, 3, "missing.png: no such file");
  ExpectRefused("palette --from " + P("empty.png") + " --colors 4 " + out, 3, "empty.png: the file is empty");
  ExpectRefused("palette --from " + P("clear.png") + " --colors 4 " + out, 3,
                "clear.png: every pixel is fully transparent");
  ExpectRefused("palette --from " + in + " --colors 4 " + in, 2, "a file this run reads");
  ExpectRefused("palette --from " + in + " --colors 4 --max-pixels 2 " + out, 3, "more than the limit of 2");
  // An output that exists is kept when the run fails.
  ExpectRefused("palette --from " + P("empty.png") + " --colors 4 " + P("keep.gpl"), 3, "empty.png");
  EXPECT_EQ(Slurp(Path("keep.gpl")), "GIMP Palette\n1 2 3\n");

  const std::string render = "render " + in + " " + P("r.png");
  ExpectRefused(render + " --palette-from " + in + " --colors 4 --palette " + P("keep.gpl"), 2,
                "--palette-from: conflicts with --palette");
  ExpectRefused(render + " --palette-from " + in + " --colors 4 --swatch cga", 2,
                "--swatch: \"cga\" conflicts with --palette-from");
  ExpectRefused(render + " --palette-from " + in, 2, "--palette-from: give the number of colours");
  ExpectRefused(render + " --colors 4", 2, "--colors: only with --palette-from");
  ExpectRefused(render + " --palette-from " + P("empty.png") + " --colors 4", 3,
                "empty.png: the file is empty");
  ExpectRefused(
      "render " + in + " " + P("in-copy.png") + " --palette-from " + P("in-copy.png") + " --colors 4", 3,
      "in-copy.png: no such file");
}

TEST(SpreadPositions, TakeTheMiddleOfEachEqualShare) {
  // 100 frames in 4 shares of 25: the middles 12.5, 37.5, 62.5 and 87.5, rounded down.
  EXPECT_EQ(SpreadPositions(100, 4), (std::vector<std::size_t>{12, 37, 62, 87}));
  // 5 in 2 shares of 2.5: 1.25 and 3.75.
  EXPECT_EQ(SpreadPositions(5, 2), (std::vector<std::size_t>{1, 3}));
  EXPECT_EQ(SpreadPositions(3, 32), (std::vector<std::size_t>{0, 1, 2}));
  EXPECT_EQ(SpreadPositions(0, 32), std::vector<std::size_t>{});
}
