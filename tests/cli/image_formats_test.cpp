// Which image files are read and written, and how: the readers' allow-list, files that are not what their
// name says, pictures stored turned, premultiplied or in CMYK, and every output format read back by a decoder
// that is not ours (the ffmpeg tool; OpenEXR's stored values through OpenImageIO).
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/command_runner.h"
#include "cli/exit_status.h"
#include "cli/image_io.h"

namespace {

using palettrix_test::CommandTest;
namespace fs = std::filesystem;

const fs::path kImages = PALETTRIX_TEST_IMAGES;

// The refusal's message, failing the test when the file was read or refused with another status.
std::string Refusal(const fs::path& path) {
  try {
    ReadImage(path, nullptr);
  } catch (const CliError& e) {
    EXPECT_EQ(e.status(), kExitInput) << e.message();
    EXPECT_NE(e.message().find(path.string()), std::string::npos) << e.message();
    return e.message();
  }
  ADD_FAILURE() << path << " was read";
  return {};
}

#define EXPECT_HAS(text, part) EXPECT_NE((text).find(part), std::string::npos) << (text)

PF_Pixel8 At8(const LoadedImage& image, int x, int y) { return image.world.pixel8(x, y); }

void ExpectRgb(const PF_Pixel8& p, int r, int g, int b, int tolerance = 0) {
  EXPECT_NEAR(p.red, r, tolerance);
  EXPECT_NEAR(p.green, g, tolerance);
  EXPECT_NEAR(p.blue, b, tolerance);
}

class ImageFormats : public CommandTest {};

TEST_F(ImageFormats, CraftedFilesInFormatsNotReadNeverReachADecoder) {
  // Each of these crashes OpenImageIO's own reader (heap corruption, a null read, an assertion); under any
  // name they are refused before a decoder sees a byte.
  const std::array<std::pair<const char*, const char*>, 3> files{{
      {"crafted-icon.ico", "an ICO icon"},
      {"crafted.iff", "an IFF image"},
      {"imagemagick.psd", "a Photoshop document"},
  }};
  for (const auto& [name, what] : files) {
    EXPECT_HAS(Refusal(kImages / name), "files are not read");
    fs::copy_file(kImages / name, Path("photo.png"), fs::copy_options::overwrite_existing);
    const std::string message = Refusal(Path("photo.png"));
    EXPECT_HAS(message, std::string("the file is not a PNG image (it is ") + what + ")");
    fs::copy_file(kImages / name, Path("noextension"), fs::copy_options::overwrite_existing);
    EXPECT_HAS(Refusal(Path("noextension")), std::string("the file is ") + what + ", a format not read here");
  }
  // Through the command too: status 3 and a message, never a signal.
  fs::copy_file(kImages / "crafted.iff", Path("evil.png"));
  const auto result = Run("render " + P("evil.png") + " " + P("out.png"));
  EXPECT_EQ(result.status, kExitInput) << result.err;
  EXPECT_HAS(result.err, "evil.png: the file is not a PNG image");
  const auto gallery = Run("gallery " + P("evil.png") + " " + P("sheet.png"));
  EXPECT_EQ(gallery.status, kExitInput) << gallery.err;
  // As the second frame of a sequence: the first frame's finished temporary file goes too.
  minihost::World world(2, 2, minihost::Depth::Eight);
  WriteImage(Path("in.0001.png"), world, false);
  fs::copy_file(kImages / "crafted.iff", Path("in.0002.png"));
  const auto sequence = Run("render " + P("in.####.png") + " " + P("out.####.png"));
  EXPECT_EQ(sequence.status, kExitInput) << sequence.err;
  EXPECT_HAS(sequence.err, "in.0002.png: the file is not a PNG image");
  EXPECT_EQ(Files(),
            (std::vector<std::string>{"evil.png", "in.0001.png", "in.0002.png", "noextension", "photo.png"}));
}

TEST_F(ImageFormats, HeadersDeclaringMoreThanTheFileHoldsAreRefusedBeforeTheLibraryAllocates) {
  EXPECT_HAS(Refusal(kImages / "fuzzed-wide.exr"),
             "image size 14358309x14 is outside 1 to 30000 pixels a side");
  EXPECT_HAS(Refusal(kImages / "fuzzed-user-data.dpx"), "its header declares more than the file holds");
  // GIF canvases the size of their logical screens: 707 and 369 million pixels.
  EXPECT_HAS(Refusal(kImages / "fuzzed-throws.gif"), "26996x26214 is 707673144 pixels, more than the limit");
  EXPECT_HAS(Refusal(kImages / "fuzzed-screen.gif"), "12312x29979 is 369101448 pixels, more than the limit");
}

TEST_F(ImageFormats, ContentAndNameMustNameTheSameReader) {
  minihost::World world(2, 1, minihost::Depth::Eight);
  WriteImage(Path("real.png"), world, false);
  fs::copy_file(Path("real.png"), Path("fake.jpg"));
  EXPECT_HAS(Refusal(Path("fake.jpg")), "the file is a PNG image, not the JPEG image its name says");
  // Case does not matter, and a name without an extension is read as what it holds.
  fs::copy_file(Path("real.png"), Path("REAL.PNG"));
  EXPECT_EQ(ReadImage(Path("REAL.PNG"), nullptr).world.width(), 2);
  fs::copy_file(Path("real.png"), Path("real"));
  EXPECT_EQ(ReadImage(Path("real"), nullptr).world.width(), 2);
  // Targa has no signature: text named .tga is no Targa header.
  palettrix_test::Spit(Path("notes.tga"), "these are my notes, not a picture at all");
  EXPECT_HAS(Refusal(Path("notes.tga")), "the file is not a Targa image");
  palettrix_test::Spit(Path("empty.png"), "");
  EXPECT_HAS(Refusal(Path("empty.png")), "the file is empty");
  palettrix_test::Spit(Path("scan.xyz"), "anything");
  EXPECT_HAS(Refusal(Path("scan.xyz")), ".xyz files are not read (images are read as PNG, JPEG, TIFF");
}

TEST_F(ImageFormats, OnlyRegularFilesAreOpenedAndNothingWaitsOnAPipe) {
  EXPECT_HAS(Refusal(Path("missing.png")), "missing.png: no such file");
  ASSERT_EQ(mkfifo(Path("pipe.png").c_str(), 0600), 0);
  // A reader would wait here for a writer that never comes; the refusal is immediate.
  EXPECT_HAS(Refusal(Path("pipe.png")), "is a FIFO (named pipe), not an image file");
  fs::create_symlink("/dev/zero", Path("zero.png"));
  EXPECT_HAS(Refusal(Path("zero.png")), "is a character device, not an image file");
  fs::create_directory(Path("folder.png"));
  EXPECT_HAS(Refusal(Path("folder.png")), "is a folder, not an image file");
}

TEST_F(ImageFormats, FilesHoldingSeveralImagesAreRefusedNotCutToTheirFirst) {
  for (const char* name :
       {"two-frames.gif", "two-frames.png", "two-frames.webp", "two-pages.tif", "two-parts.exr"}) {
    EXPECT_HAS(Refusal(kImages / name), "the file holds several images");
  }
}

TEST_F(ImageFormats, GifTransparencyIsItsAlpha) {
  // Two opaque red pixels, then two transparent ones.
  const LoadedImage image = ReadImage(kImages / "transparent.gif", nullptr);
  ASSERT_EQ(image.world.width(), 4);
  EXPECT_TRUE(image.hasAlpha);
  ExpectRgb(At8(image, 0, 0), 255, 0, 0);
  EXPECT_EQ(At8(image, 0, 0).alpha, 255);
  EXPECT_EQ(At8(image, 3, 0).alpha, 0);
}

TEST_F(ImageFormats, CmykWithAlphaBecomesRgbWithAlpha) {
  // Two pixels of inks (0, 145, 172, 0) at alpha 141, then two of cyan and magenta, opaque: red = (1 - c)(1 -
  // k) and so on.
  const LoadedImage image = ReadImage(kImages / "cmyk-alpha.tif", nullptr);
  EXPECT_TRUE(image.hasAlpha);
  ExpectRgb(At8(image, 0, 0), 255, 110, 83);
  EXPECT_EQ(At8(image, 0, 0).alpha, 141);
  ExpectRgb(At8(image, 2, 0), 0, 0, 255);
  EXPECT_EQ(At8(image, 2, 0).alpha, 255);
}

TEST_F(ImageFormats, PremultipliedColoursAreReadStraightAndWrittenPremultiplied) {
  // Both files store (0.55, 0.23725, 0.17902) at alpha 0.55, that is (1, 0.43136, 0.32549) straight: in the
  // host's 16-bit scale about (32768, 14135, 10666), where the stored values would be (18022, 7774, 5866).
  for (const char* name : {"premultiplied.exr", "associated.tif"}) {
    const LoadedImage image = ReadImage(kImages / name, nullptr);
    const PF_Pixel16 p = image.world.pixel16(0, 0);
    EXPECT_NEAR(p.red, 32768, 20) << name;
    EXPECT_NEAR(p.green, 14135, 20) << name;
    EXPECT_NEAR(p.blue, 10666, 20) << name;
    EXPECT_NEAR(p.alpha, 18022, 20) << name;
  }
  // Straight 8-bit (255, 110, 83) at alpha 141 stored in OpenEXR: each colour times alpha.
  minihost::World world(1, 1, minihost::Depth::Eight);
  world.pixel8(0, 0) = PF_Pixel8{141, 255, 110, 83};
  WriteImage(Path("out.exr"), world, true);
  auto in = OIIO::ImageInput::open(Path("out.exr").string());
  ASSERT_TRUE(in);
  float stored[4];
  ASSERT_TRUE(in->read_image(0, 0, 0, 4, OIIO::TypeDesc::FLOAT, stored));
  const float a = 141.0f / 255.0f;
  EXPECT_NEAR(stored[0], a, 1e-3);
  EXPECT_NEAR(stored[1], 110.0f / 255.0f * a, 1e-3);
  EXPECT_NEAR(stored[2], 83.0f / 255.0f * a, 1e-3);
  EXPECT_NEAR(stored[3], a, 1e-3);
}

TEST_F(ImageFormats, PicturesStoredTurnedAreReadUpright) {
  // Stored red green blue over yellow cyan magenta. Orientation 6 shows the stored picture turned a quarter
  // clockwise: yellow red / cyan green / magenta blue; 8 a quarter anticlockwise: blue magenta / green cyan /
  // red yellow. The JPEGs hold 8x8 blocks of each colour.
  struct Case {
    const char* name;
    int block;
    std::array<std::array<int, 3>, 6> colours;  // left to right, top to bottom
  };
  const std::array<Case, 3> cases{{
      {"orientation-6.tif",
       1,
       {{{255, 255, 0}, {255, 0, 0}, {0, 255, 255}, {0, 255, 0}, {255, 0, 255}, {0, 0, 255}}}},
      {"orientation-6.jpg",
       8,
       {{{255, 255, 0}, {255, 0, 0}, {0, 255, 255}, {0, 255, 0}, {255, 0, 255}, {0, 0, 255}}}},
      {"orientation-8.jpg",
       8,
       {{{0, 0, 255}, {255, 0, 255}, {0, 255, 0}, {0, 255, 255}, {255, 0, 0}, {255, 255, 0}}}},
  }};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const LoadedImage image = ReadImage(kImages / c.name, nullptr);
    ASSERT_EQ(image.world.width(), 2 * c.block);
    ASSERT_EQ(image.world.height(), 3 * c.block);
    for (int i = 0; i < 6; ++i) {
      const int x = (i % 2) * c.block + c.block / 2, y = (i / 2) * c.block + c.block / 2;
      ExpectRgb(At8(image, x, y), c.colours[i][0], c.colours[i][1], c.colours[i][2], c.block == 1 ? 0 : 8);
    }
  }
}

// A file decoded by the ffmpeg tool to RGBA, 8 or 16 bits a channel.
std::vector<int> DecodeWithFfmpeg(const fs::path& file, const fs::path& raw, bool sixteen) {
  const std::string command = "ffmpeg -v error -y -i '" + file.string() +
                              "' -frames:v 1 -f rawvideo -pix_fmt " + (sixteen ? "rgba64le" : "rgba") + " '" +
                              raw.string() + "'";
  EXPECT_EQ(std::system(command.c_str()), 0) << command;
  const std::string bytes = palettrix_test::Slurp(raw);
  const auto byte = [&](std::size_t i) { return static_cast<int>(static_cast<unsigned char>(bytes[i])); };
  std::vector<int> values(sixteen ? bytes.size() / 2 : bytes.size());
  for (std::size_t i = 0; i < values.size(); ++i)
    values[i] = sixteen ? byte(2 * i) | byte(2 * i + 1) << 8 : byte(i);
  return values;
}

TEST_F(ImageFormats, EveryOutputFormatHoldsWhatWasRenderedAtBothDepthsAndWithAlpha) {
  struct Format {
    const char* extension;
    bool sixteen, alpha, lossy;
  };
  const std::array<Format, 8> formats{{{"png", true, true, false},
                                       {"tif", true, true, false},
                                       {"dpx", true, true, false},
                                       {"tga", false, true, false},
                                       {"bmp", false, true, false},
                                       {"webp", false, true, false},
                                       {"ppm", true, false, false},
                                       {"jpg", false, false, true}}};
  // 8-bit values, and 16-bit ones in the host's scale; the last pixel half transparent.
  const std::array<std::array<int, 4>, 3> pixels8{{{255, 0, 0, 0}, {255, 255, 110, 83}, {141, 17, 200, 254}}};
  const std::array<std::array<int, 4>, 3> pixels16{
      {{32768, 0, 1, 2}, {32768, 32768, 14135, 16384}, {18022, 255, 32767, 9}}};
  for (const Format& f : formats) {
    for (const bool deep : {false, true}) {
      for (const bool alpha : {false, true}) {
        SCOPED_TRACE(std::string(f.extension) + (deep ? " 16-bit" : " 8-bit") + (alpha ? " with alpha" : ""));
        minihost::World world(3, 1, deep ? minihost::Depth::Sixteen : minihost::Depth::Eight);
        for (int x = 0; x < 3; ++x) {
          if (deep) {
            const auto& v = pixels16[x];
            world.pixel16(x, 0) = PF_Pixel16{static_cast<A_u_short>(v[0]), static_cast<A_u_short>(v[1]),
                                             static_cast<A_u_short>(v[2]), static_cast<A_u_short>(v[3])};
          } else {
            const auto& v = pixels8[x];
            world.pixel8(x, 0) = PF_Pixel8{static_cast<A_u_char>(v[0]), static_cast<A_u_char>(v[1]),
                                           static_cast<A_u_char>(v[2]), static_cast<A_u_char>(v[3])};
          }
        }
        const fs::path file = Path(std::string("out.") + f.extension);
        WriteImage(file, world, alpha);
        const bool keepsSixteen = deep && f.sixteen;
        const std::vector<int> decoded = DecodeWithFfmpeg(file, Path("out.raw"), keepsSixteen);
        ASSERT_EQ(decoded.size(), 12u);
        for (int x = 0; x < 3; ++x) {
          for (int c = 0; c < 4; ++c) {
            // What the file should hold: 16-bit values by the host's scale, 8-bit ones as they are, and
            // 16-bit ones in 8-bit formats as the nearest 8-bit value to the 16-bit one.
            const int host = deep ? pixels16[x][c] : pixels8[x][c];
            int expected = deep ? static_cast<int>(From16To16(static_cast<unsigned>(host))) : host;
            if (deep && !keepsSixteen) expected = (expected * 255 + 32767) / 65535;
            if (c == 0 && !(alpha && f.alpha))
              expected = keepsSixteen ? 65535 : 255;  // the host's alpha is first
            const int channel = c == 0 ? 3 : c - 1;
            const int tolerance = f.lossy ? 3 : 0;
            EXPECT_NEAR(decoded[x * 4 + channel], expected, tolerance)
                << "pixel " << x << " channel " << channel;
          }
        }
        // And back through our own reader, exactly where the format is lossless.
        if (!f.lossy) {
          const LoadedImage back = ReadImage(file, nullptr);
          EXPECT_EQ(back.hasAlpha, alpha && f.alpha);
          if (!deep || keepsSixteen) {
            for (int x = 0; x < 3; ++x) {
              if (deep) {
                const PF_Pixel16 a = back.world.pixel16(x, 0), b = world.pixel16(x, 0);
                EXPECT_TRUE(a.red == b.red && a.green == b.green && a.blue == b.blue) << "pixel " << x;
              } else {
                const PF_Pixel8 a = back.world.pixel8(x, 0), b = world.pixel8(x, 0);
                EXPECT_TRUE(a.red == b.red && a.green == b.green && a.blue == b.blue) << "pixel " << x;
              }
            }
          }
        }
      }
    }
  }
}

TEST_F(ImageFormats, OpenExrHoldsWhatWasRenderedToHalfPrecision) {
  // Written multiplied by alpha as half floats and read back divided by it: 8-bit values come back exactly,
  // 16-bit ones within half precision (11 significant bits).
  for (const bool deep : {false, true}) {
    SCOPED_TRACE(deep ? "16-bit" : "8-bit");
    minihost::World world(3, 1, deep ? minihost::Depth::Sixteen : minihost::Depth::Eight);
    if (deep) {
      world.pixel16(0, 0) = PF_Pixel16{32768, 0, 1, 2};
      world.pixel16(1, 0) = PF_Pixel16{32768, 32768, 14135, 16384};
      world.pixel16(2, 0) = PF_Pixel16{18022, 255, 32767, 9};
    } else {
      world.pixel8(0, 0) = PF_Pixel8{255, 0, 0, 0};
      world.pixel8(1, 0) = PF_Pixel8{255, 255, 110, 83};
      world.pixel8(2, 0) = PF_Pixel8{141, 17, 200, 254};
    }
    WriteImage(Path("out.exr"), world, true);
    const minihost::Depth eight = minihost::Depth::Eight;
    const LoadedImage back = ReadImage(Path("out.exr"), deep ? nullptr : &eight);
    EXPECT_TRUE(back.hasAlpha);
    for (int x = 0; x < 3; ++x) {
      if (deep) {
        const PF_Pixel16 a = back.world.pixel16(x, 0), b = world.pixel16(x, 0);
        // A relative error of 2^-11 in the stored product stays one in the quotient: 16 steps at full scale.
        const int tolerance = 20;
        EXPECT_NEAR(a.alpha, b.alpha, tolerance);
        EXPECT_NEAR(a.red, b.red, tolerance);
        EXPECT_NEAR(a.green, b.green, tolerance);
        EXPECT_NEAR(a.blue, b.blue, tolerance);
      } else {
        const PF_Pixel8 a = back.world.pixel8(x, 0), b = world.pixel8(x, 0);
        EXPECT_TRUE(a.alpha == b.alpha && a.red == b.red && a.green == b.green && a.blue == b.blue)
            << "pixel " << x;
      }
    }
  }
}

TEST_F(ImageFormats, OutputsInFormatsNotWrittenAreRefusedBeforeAnyWork) {
  minihost::World world(2, 2, minihost::Depth::Eight);
  WriteImage(Path("in.png"), world, false);
  // These OpenImageIO writers report success for broken or empty files, print to the terminal, or cannot
  // keep the picture; HDR is read only.
  for (const char* name : {"out.sgi", "out.fits", "out.jp2", "out.iff", "out.term", "out.null", "out.ico",
                           "out.hdr", "out.pgm", "out"}) {
    const auto result = Run("render " + P("in.png") + " " + P(name));
    EXPECT_EQ(result.status, kExitUsage) << name << ": " << result.err;
    EXPECT_HAS(result.err, std::string(name) + ": ");
    EXPECT_HAS(result.err,
               "(images are written as PNG, JPEG, TIFF, OpenEXR, DPX, Targa, BMP, WebP, PPM, GIF)");
  }
  EXPECT_EQ(Files(), std::vector<std::string>{"in.png"});
}

TEST_F(ImageFormats, GifStillsKeepEveryColourAndOneBitAlpha) {
  // Four colours, alpha on both sides of half.
  minihost::World world(4, 1, minihost::Depth::Eight);
  const PF_Pixel8 pixels[] = {{255, 10, 20, 30}, {128, 40, 50, 60}, {127, 70, 80, 90}, {0, 1, 2, 3}};
  for (int x = 0; x < 4; ++x) world.pixel8(x, 0) = pixels[x];
  WriteImage(Path("in.png"), world, true);
  ASSERT_EQ(
      Run("render " + P("in.png") + " " + P("out.gif") + " --pattern threshold --swatch 9-bit-rgb").status,
      0);
  ASSERT_EQ(
      Run("render " + P("in.png") + " " + P("ref.png") + " --pattern threshold --swatch 9-bit-rgb").status,
      0);
  const LoadedImage gif = ReadImage(Path("out.gif"), nullptr), ref = ReadImage(Path("ref.png"), nullptr);
  for (int x = 0; x < 4; ++x) {
    const PF_Pixel8 a = gif.world.pixel8(x, 0), b = ref.world.pixel8(x, 0);
    if (b.alpha < 128) {
      EXPECT_EQ(a.alpha, 0) << "pixel " << x;
    } else {
      EXPECT_TRUE(a.alpha == 255 && a.red == b.red && a.green == b.green && a.blue == b.blue)
          << "pixel " << x;
    }
  }
  // 16 bits are refused, and nothing is written.
  const auto deep = Run("render " + P("in.png") + " " + P("deep.gif") + " --depth 16");
  EXPECT_EQ(deep.status, kExitOutput);
  EXPECT_HAS(deep.err,
             "deep.gif: GIF stores 8-bit colours and the image renders at 16 bits here; add --depth 8");
  EXPECT_FALSE(fs::exists(Path("deep.gif")));
}

}  // namespace
