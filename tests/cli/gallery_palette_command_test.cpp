// palettrix gallery and palettrix palette: the sheet's layout and cells, thumbnails, labels, and the listing
// and strip of a palette file.
#include <gtest/gtest.h>

#include "cli/bitmap_font.h"
#include "cli/effect_session.h"
#include "cli/gallery_sheet.h"
#include "cli/image_io.h"
#include "command_runner.h"

namespace {

using palettrix_test::Image8;
using palettrix_test::ReadImage8;
using palettrix_test::Result;
using palettrix_test::Spit;
using palettrix_test::WriteImage8;

class GalleryCommand : public palettrix_test::CommandTest {
 protected:
  void SetUp() override {
    CommandTest::SetUp();
    Image8 image{4, 3, 3, {}};
    for (int y = 0; y < 3; ++y) {
      for (int x = 0; x < 4; ++x) {
        image.pixels.insert(image.pixels.end(),
                            {static_cast<uint8_t>(40 + x * 60), static_cast<uint8_t>(30 + y * 90),
                             static_cast<uint8_t>(220 - x * 50 - y * 20)});
      }
    }
    WriteImage8(Path("in.png"), image);
  }

  // The w x h block of `sheet` at (left, top) equals `cell`.
  static void ExpectCell(const Image8& sheet, int left, int top, const Image8& cell,
                         const std::string& what) {
    ASSERT_EQ(sheet.channels, cell.channels) << what;
    for (int y = 0; y < cell.height; ++y) {
      for (int x = 0; x < cell.width; ++x) {
        for (int c = 0; c < cell.channels; ++c) {
          ASSERT_EQ(sheet.at(left + x, top + y)[c], cell.at(x, y)[c]) << what << " at " << x << "," << y;
        }
      }
    }
  }
};

}  // namespace

TEST_F(GalleryCommand, EachCellIsThatPatternsRenderOfTheThumbnail) {
  // The image is narrower than the thumbnail width, so it is its own thumbnail. Labels of up to 24 characters
  // do not fit 4 pixels at any scale: text scale 1, label rows 4 + 13 + 4 = 21. 26 cells in 6 columns make
  // 5 rows: 6 x 4 + 7 x 8 = 80 wide, 5 x (3 + 21) + 6 x 8 = 168 high.
  const Result r = Run("gallery " + P("in.png") + " " + P("sheet.png") + " --thumb-width 16 --swatch cga");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("sheet.png"), std::string::npos);
  const Image8 sheet = ReadImage8(Path("sheet.png"));
  EXPECT_EQ(sheet.width, 80);
  EXPECT_EQ(sheet.height, 168);
  EXPECT_EQ(sheet.channels, 3);
  // Every cell against the effect's render of the image in this process, and two of them against separate
  // `palettrix render` runs.
  EffectSession session;
  session.setSwatch(11);  // "CGA"
  LoadedImage image = ReadImage(Path("in.png"), nullptr);
  for (int i = 0; i < 26; ++i) {
    session.setPattern(i + 1);
    const minihost::World cell = session.render(image.world);
    for (A_long y = 0; y < 3; ++y) {
      for (A_long x = 0; x < 4; ++x) {
        const PF_Pixel8& p = cell.pixel8(x, y);
        const uint8_t* s = sheet.at(8 + (i % 6) * 12 + x, 8 + (i / 6) * 32 + y);
        ASSERT_EQ((std::vector<int>{s[0], s[1], s[2]}), (std::vector<int>{p.red, p.green, p.blue}))
            << "pattern " << i + 1 << " at " << x << "," << y;
      }
    }
  }
  for (int i : {0, 25}) {
    // Appended, not concatenated: GCC 12 at -O3 misreads "p" + std::to_string(...) as an overlapping copy.
    std::string name = "p";
    name += std::to_string(i + 1);
    name += ".png";
    const Result single =
        Run("render " + P("in.png") + " " + P(name) + " --swatch cga --pattern " + std::to_string(i + 1));
    ASSERT_EQ(single.status, 0) << single.err;
    ExpectCell(sheet, 8 + (i % 6) * 12, 8 + (i / 6) * 32, ReadImage8(Path(name)), name);
  }
  // The ground around the cells: the corner, and the last row's four empty cells.
  for (const auto& [x, y] : {std::pair{0, 0}, std::pair{79, 167}, std::pair{8 + 2 * 12, 8 + 4 * 32}}) {
    EXPECT_EQ((std::vector<int>{sheet.at(x, y)[0], sheet.at(x, y)[1], sheet.at(x, y)[2]}),
              (std::vector<int>{0x20, 0x20, 0x20}))
        << x << "," << y;
  }
}

TEST_F(GalleryCommand, BySwatchFixesThePatternAndShowsTheCustomPalette) {
  Spit(Path("red.hex"), "#FF0000\n");
  // 22 cells in 11 columns: 11 x 4 + 12 x 8 = 140 wide, 2 x (3 + 21) + 3 x 8 = 72 high.
  const Result r = Run("gallery " + P("in.png") + " " + P("sheet.png") +
                       " --by swatch --columns 11 --pattern threshold --palette " + P("red.hex"));
  ASSERT_EQ(r.status, 0) << r.err;
  const Image8 sheet = ReadImage8(Path("sheet.png"));
  EXPECT_EQ(sheet.width, 140);
  EXPECT_EQ(sheet.height, 72);
  // Cell 1, "Custom": every pixel the palette's one colour.
  ExpectCell(sheet, 8, 8,
             Image8{4, 3, 3,
                    [] {
                      std::vector<uint8_t> red;
                      for (int i = 0; i < 12; ++i) red.insert(red.end(), {255, 0, 0});
                      return red;
                    }()},
             "custom");
  for (int swatch : {22}) {
    std::string name = "s";
    name += std::to_string(swatch);
    name += ".png";
    ASSERT_EQ(Run("render " + P("in.png") + " " + P(name) + " --pattern threshold --swatch " +
                  std::to_string(swatch))
                  .status,
              0);
    const int i = swatch - 1;
    ExpectCell(sheet, 8 + (i % 11) * 12, 8 + (i / 11) * 32, ReadImage8(Path(name)), name);
  }
}

TEST_F(GalleryCommand, RefusesTheControlItVariesAndBadSizes) {
  const std::string base = "gallery " + P("in.png") + " " + P("sheet.png");
  const struct {
    std::string args;
    int status;
    std::string mention;
  } cases[] = {
      {base + " --pattern threshold", 2, "--pattern"},
      {base + " --by swatch --swatch cga", 2, "--swatch"},
      {base + " --by colour", 2, "--by"},
      {base + " --thumb-width 8", 2, "--thumb-width"},
      {base + " --columns 0", 2, "--columns"},
      {base + " --save-look " + P("look.json"), 2, "--save-look"},
      {"gallery " + P("none.png") + " " + P("sheet.png"), 3, "none.png"},
  };
  for (const auto& c : cases) {
    const Result r = Run(c.args);
    EXPECT_EQ(r.status, c.status) << c.args << "\n" << r.err;
    EXPECT_NE(r.err.find(c.mention), std::string::npos) << r.err;
  }
  EXPECT_EQ(Files(), std::vector<std::string>{"in.png"});
}

TEST(GallerySheet, ThumbnailsAverageBlocksWeightedByAlpha) {
  minihost::World image(4, 2, minihost::Depth::Eight);
  // Left 2 x 2 block: reds 10, 20, 30, 41, all opaque. Right block: one transparent pure red pixel among
  // three opaque ones of red 0, 0 and 3.
  const PF_Pixel8 pixels[2][4] = {{{255, 10, 0, 0}, {255, 20, 0, 0}, {0, 255, 0, 0}, {255, 0, 0, 0}},
                                  {{255, 30, 0, 0}, {255, 41, 0, 0}, {255, 0, 0, 0}, {255, 3, 0, 0}}};
  for (int y = 0; y < 2; ++y) {
    for (int x = 0; x < 4; ++x) image.pixel8(x, y) = pixels[y][x];
  }
  // Height: 2 x 2 / 4 = 1. Left: (101 + 2) / 4 = 25. Right: red (3 x 255 + 382) / 765 = 1, not tinted by the
  // transparent pixel; alpha (765 + 2) / 4 = 191.
  const minihost::World thumb = Thumbnail(image, 2);
  ASSERT_EQ(thumb.width(), 2);
  ASSERT_EQ(thumb.height(), 1);
  EXPECT_EQ(thumb.pixel8(0, 0).red, 25);
  EXPECT_EQ(thumb.pixel8(0, 0).alpha, 255);
  EXPECT_EQ(thumb.pixel8(1, 0).red, 1);
  EXPECT_EQ(thumb.pixel8(1, 0).alpha, 191);
  // 451 x 300 at 240 wide: 300 x 240 / 451 = 159.6, rounded to 160. Never enlarged.
  EXPECT_EQ(Thumbnail(minihost::World(451, 300, minihost::Depth::Sixteen), 240).height(), 160);
  EXPECT_EQ(Thumbnail(minihost::World(100, 7, minihost::Depth::Eight), 240).width(), 100);

  // Labels of 12 characters (72 pixels) on 240-pixel thumbnails: text scale 3, label rows 4 + 39 + 4 = 47.
  const GalleryLayout layout = LayOutGallery(240, 160, 22, 6, 12);
  EXPECT_EQ(layout.textScale, 3);
  EXPECT_EQ(layout.rows, 4);
  EXPECT_EQ(layout.width, 6 * 240 + 7 * 8);
  EXPECT_EQ(layout.height, 4 * (160 + 47) + 5 * 8);
  EXPECT_EQ(layout.cellX(7), 8 + 248);
  EXPECT_EQ(layout.cellY(7), 8 + 215);
}

TEST(GallerySheet, LabelsAreDrawnFromTheBuiltInFont) {
  // '-' is one row of five pixels, row 6; '?' starts with ".###.." on row 2.
  EXPECT_EQ(GlyphRows('-')[6], 0xF8);
  EXPECT_EQ(GlyphRows('-')[5], 0x00);
  EXPECT_EQ(GlyphRows('?')[2], 0x70);
  EXPECT_EQ(GlyphRows('\x7F'), GlyphRows('?'));
  // A 12-pixel cell with the label "-": the dash, doubled, centred: columns 0..9 of 12, row 6 of the text
  // (2 rows of 2 pixels from label top + padding 4 + 12).
  const GalleryLayout layout = LayOutGallery(12, 2, 1, 1, 1);
  ASSERT_EQ(layout.textScale, 2);
  minihost::World sheet = BlankSheet(layout, minihost::Depth::Eight);
  PlaceCell(sheet, layout, 0, minihost::World(12, 2, minihost::Depth::Eight), "-");
  const A_long textTop = 8 + 2 + 4;
  for (A_long y = textTop; y < textTop + 26; ++y) {
    for (A_long x = 8; x < 20; ++x) {
      const bool ink = (y == textTop + 12 || y == textTop + 13) && x < 8 + 10;
      EXPECT_EQ(sheet.pixel8(x, y).red, ink ? 0xE0 : 0x20) << x << "," << y;
    }
  }
}

class PaletteCommand : public palettrix_test::CommandTest {};

TEST_F(PaletteCommand, ListsTheColoursAndDrawsAStrip) {
  Spit(Path("small.gpl"), "GIMP Palette\nName: Small\n0 0 0 Black\n255 128 1 Orange\n17 34 51\n");
  const Result r = Run("palette " + P("small.gpl"));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "0\t#000000\n1\t#FF8001\n2\t#112233\n");

  // Not exact k/255: 32768 / 65535 is the float 0.5 + 2^-17, whose shortest digits are 0.5000076; shown as
  // 128.
  {
    const uint16_t grey[2] = {32768, 65535};
    auto out = palettrix_test::OIIO::ImageOutput::create(P("grey.png"));
    palettrix_test::OIIO::ImageSpec spec(2, 1, 1, palettrix_test::OIIO::TypeDesc::UINT16);
    ASSERT_TRUE(out->open(P("grey.png"), spec) &&
                out->write_image(palettrix_test::OIIO::TypeDesc::UINT16, grey) && out->close());
  }
  EXPECT_EQ(Run("palette " + P("grey.png")).out, "0\t#808080\t0.5000076 0.5000076 0.5000076\n1\t#FFFFFF\n");
  // On one line, for a host's palette field: the nearest 8-bit values.
  EXPECT_EQ(Run("palette --line " + P("grey.png")).out, "#808080 #FFFFFF\n");

  // 17 colours: 16 a row, so two rows of 32-pixel squares, the last 15 squares transparent.
  std::string hex;
  for (int i = 0; i < 17; ++i) {
    char line[8];
    std::snprintf(line, sizeof line, "%02x%02x%02x\n", i * 15, 255 - i * 15, 7);
    hex += line;
  }
  Spit(Path("ramp.hex"), hex);
  const Result drawn = Run("palette " + P("ramp.hex") + " --strip " + P("strip.png"));
  ASSERT_EQ(drawn.status, 0) << drawn.err;
  const Image8 strip = ReadImage8(Path("strip.png"));
  ASSERT_EQ(strip.width, 512);
  ASSERT_EQ(strip.height, 64);
  ASSERT_EQ(strip.channels, 4);
  auto pixel = [&](int x, int y) { return std::vector<int>(strip.at(x, y), strip.at(x, y) + 4); };
  EXPECT_EQ(pixel(0, 0), (std::vector<int>{0, 255, 7, 255}));
  EXPECT_EQ(pixel(5 * 32 + 31, 31), (std::vector<int>{75, 180, 7, 255}));
  EXPECT_EQ(pixel(15 * 32, 0), (std::vector<int>{225, 30, 7, 255}));
  EXPECT_EQ(pixel(31, 63), (std::vector<int>{240, 15, 7, 255}));
  EXPECT_EQ(pixel(32, 32)[3], 0);
  // Read back as a palette image, the strip gives the same colours.
  EXPECT_EQ(Run("palette " + P("strip.png")).out, drawn.out);
}

TEST_F(PaletteCommand, BadFilesNameTheLineAndLeaveNoStrip) {
  Spit(Path("bad.gpl"), "GIMP Palette\n0 0 0\n\n1 2 x\n");
  Spit(Path("empty.hex"), "");
  const Result bad = Run("palette " + P("bad.gpl") + " --strip " + P("strip.png"));
  EXPECT_EQ(bad.status, 3);
  EXPECT_EQ(bad.err, "palettrix: " + P("bad.gpl") + ":4: \"x\" is not a channel value 0 to 255\n");
  const Result empty = Run("palette " + P("empty.hex") + " --strip " + P("strip.png"));
  EXPECT_EQ(empty.status, 3);
  EXPECT_EQ(empty.err, "palettrix: " + P("empty.hex") + ": the file is empty\n");
  EXPECT_TRUE(empty.out.empty());
  EXPECT_EQ(Files(), (std::vector<std::string>{"bad.gpl", "empty.hex"}));
}
