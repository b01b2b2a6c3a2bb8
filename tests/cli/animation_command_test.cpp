// Animations from sequences: every frame of a GIF, APNG and WebP, as FFmpeg and ImageMagick decode it,
// against the same frames rendered to a PNG sequence; and what the formats cannot store, refused.
#include <cstdlib>
#include <fstream>

#include "cli/media_fixture.h"

namespace media_test {
namespace {

using Rgba = std::vector<uint8_t>;

class AnimationCommand : public MediaTest {
 protected:
  // Frames 1..count of a 64x48 clip of ramps, written by FFmpeg; with `alpha`, stripes of alpha 40 and 200
  // that move a pixel a frame.
  void WriteClip(int count, bool alpha) const {
    const std::string a = alpha ? "if(lt(mod(X+N,9),3),40,if(lt(mod(X+N,9),5),200,255))" : "255";
    Ffmpeg("-f lavfi -i color=size=64x48:rate=25 -frames:v " + std::to_string(count) +
           " -vf \"format=rgba,geq=r='X*4':g='Y*5':b='mod(X*37+Y*91+N*20,256)':a='" + a + "'\" " +
           P("in.%04d.png"));
  }

  // The frames a command writes as raw RGBA into `raw`, split by the clip's frame size.
  std::vector<Rgba> Decoded(const std::string& command, const std::string& raw) const {
    const std::string log = P("decode.log");
    EXPECT_EQ(std::system((command + " 2>" + log).c_str()), 0) << command << "\n" << ReadFile(log);
    const std::string bytes = ReadFile(Path(raw));
    fs::remove(Path(raw));
    std::vector<Rgba> frames;
    for (std::size_t at = 0; at + kFrameBytes <= bytes.size(); at += kFrameBytes) {
      frames.emplace_back(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                          bytes.begin() + static_cast<std::ptrdiff_t>(at + kFrameBytes));
    }
    return frames;
  }
  // Every frame once, whatever the file's timing.
  std::string FfmpegCommand(const std::string& file, const std::string& pixelFormat) const {
    return "ffmpeg -nostdin -v error -y -i " + P(file) + " -fps_mode passthrough -f rawvideo -pix_fmt " +
           pixelFormat + " " + P("d.raw");
  }
  std::vector<Rgba> ByFfmpeg(const std::string& file) const {
    return Decoded(FfmpegCommand(file, "rgba"), "d.raw");
  }
  // ImageMagick reads APNG through FFmpeg, frames whole but without their disposal, so only the others are
  // coalesced (GIF's frames after the first hold only what changed).
  std::vector<Rgba> ByImageMagick(const std::string& file, const std::string& format) const {
    const std::string coalesce = format == "apng" ? "" : " -coalesce";
    return Decoded("convert " + format + ":" + P(file) + coalesce + " -depth 8 rgba:" + P("d.raw"), "d.raw");
  }

  // Each decoded frame against the rendered one: with `oneBitAlpha` (GIF), pixels whose alpha is below half
  // transparent and the others opaque in their exact colour; else alpha exact and the colour wherever alpha
  // is not 0.
  static void ExpectFrames(const std::vector<Rgba>& decoded, const std::vector<Rgba>& rendered,
                           bool oneBitAlpha, const std::string& what) {
    ASSERT_EQ(decoded.size(), rendered.size()) << what;
    for (std::size_t k = 0; k < rendered.size(); ++k) {
      std::size_t wrong = 0;
      for (std::size_t p = 0; p < kFrameBytes; p += 4) {
        const uint8_t* want = &rendered[k][p];
        const uint8_t* got = &decoded[k][p];
        const uint8_t alpha = oneBitAlpha ? (want[3] < 128 ? 0 : 255) : want[3];
        const bool colour = alpha == 0 || (got[0] == want[0] && got[1] == want[1] && got[2] == want[2]);
        wrong += got[3] != alpha || !colour;
      }
      EXPECT_EQ(wrong, 0u) << what << ": frame " << k + 1;
    }
  }

  static constexpr std::size_t kFrameBytes = 64 * 48 * 4;
};

TEST_F(AnimationCommand, FramesDecodeToTheRenderInFfmpegAndImageMagick) {
  for (const bool alpha : {false, true}) {
    WriteClip(6, alpha);
    // 9-bit RGB's 512 colours do not fit one table: APNG and WebP hold them, GIF refuses them.
    for (const std::string swatch : {"pico-8", "9-bit-rgb"}) {
      const std::string look = " --pattern floyd-steinberg --swatch " + swatch + " --quiet";
      ASSERT_EQ(Run("render " + P("in.####.png") + " " + P("ref.####.png") + look + " --full-color").status,
                0);
      const std::vector<Rgba> rendered = ByFfmpeg("ref.%04d.png");
      const std::string what = swatch + (alpha ? " with alpha" : "");
      for (const std::string format : {"gif", "apng", "webp"}) {
        const std::string before = ReadFile(Path("out." + format));
        const Result r = Run("render " + P("in.####.png") + " " + P("out." + format) + look + " --fps 30");
        if (format == "gif" && swatch == "9-bit-rgb") {
          EXPECT_EQ(r.status, 4) << r.err;
          EXPECT_NE(r.err.find("out.gif: frame 1 holds more than 256 colours"), std::string::npos) << r.err;
          EXPECT_NE(r.err.find("choose a swatch of fewer colours"), std::string::npos) << r.err;
          EXPECT_EQ(ReadFile(Path("out.gif")), before);  // the PICO-8 file, left as it was
          continue;
        }
        ASSERT_EQ(r.status, 0) << r.err;
        const bool gif = format == "gif";
        // FFmpeg 5.1 reads no animated WebP.
        if (format != "webp")
          ExpectFrames(ByFfmpeg("out." + format), rendered, gif, "FFmpeg " + format + " " + what);
        ExpectFrames(ByImageMagick("out." + format, format), rendered, gif,
                     "ImageMagick " + format + " " + what);
      }
    }
  }
}

TEST_F(AnimationCommand, TimingAndPlaysFollowTheOptions) {
  WriteClip(6, false);
  ASSERT_EQ(Run("render " + P("in.####.png") + " " + P("a.gif") + " --fps 30 --loop 3").status, 0);
  // 30 fps in GIF's hundredths: 3, 4, 3, without drift.
  const std::string log = P("identify.txt");
  ASSERT_EQ(std::system(("identify -format '%T ' " + P("a.gif") + " >" + log).c_str()), 0);
  EXPECT_EQ(ReadFile(log), "3 4 3 3 4 3 ");
  // APNG: acTL's frame and play counts; fcTL's delay as the frame rate's own fraction.
  ASSERT_EQ(Run("render " + P("in.####.png") + " " + P("a.apng") + " --fps 30000/1001 --loop 2").status, 0);
  const std::string apng = ReadFile(Path("a.apng"));
  const auto big = [&](std::size_t at, int bytes) {
    unsigned long v = 0;
    for (int i = 0; i < bytes; ++i) v = v << 8 | static_cast<uint8_t>(apng[at + static_cast<std::size_t>(i)]);
    return v;
  };
  const std::size_t actl = apng.find("acTL"), fctl = apng.find("fcTL");
  ASSERT_NE(actl, std::string::npos);
  EXPECT_EQ(big(actl + 4, 4), 6u);
  EXPECT_EQ(big(actl + 8, 4), 2u);
  EXPECT_EQ(big(fctl + 24, 2), 1001u);
  EXPECT_EQ(big(fctl + 26, 2), 30000u);
}

TEST_F(AnimationCommand, WhatAFormatCannotHoldIsRefusedAndNothingWritten) {
  WriteSequence("deep", 1, 2, 16);
  WriteClip(2, false);
  struct Case {
    std::string args;
    int status;
    std::string message;
  };
  for (const Case& c : {
           Case{P("deep.####.png") + " " + P("o.gif"), 4,
                "o.gif: GIF stores 8-bit colours and frames render at 16 bits here; add --depth 8"},
           Case{P("in.####.png") + " " + P("o.gif") + " --depth 16", 2,
                "--depth 16: GIF stores 8-bit colours"},
           Case{P("in.####.png") + " " + P("o.mkv") + " --loop 2", 2, "--loop: only for an animation OUTPUT"},
           Case{P("in.####.png") + " " + P("o.gif") + " --loop 65536", 2, "--loop"},
           Case{P("in.0001.png") + " " + P("o.apng"), 2,
                "o.apng: an animated PNG is made from a sequence or video INPUT"},
       }) {
    const Result r = Run("render " + c.args + " --quiet");
    EXPECT_EQ(r.status, c.status) << c.args << "\n" << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
  }
  // 16 bits survive in APNG.
  ASSERT_EQ(Run("render " + P("deep.####.png") + " " + P("deep.apng")).status, 0);
  for (const std::string& name : Files()) EXPECT_EQ(name.rfind("o.", 0), std::string::npos) << name;
  ASSERT_EQ(Run("render " + P("deep.####.png") + " " + P("ref.####.png")).status, 0);
  const auto raw = [&](const std::string& file) {
    EXPECT_EQ(std::system((FfmpegCommand(file, "rgb48le") + " 2>/dev/null").c_str()), 0) << file;
    return ReadFile(Path("d.raw"));
  };
  const std::string deep = raw("deep.apng");
  EXPECT_EQ(deep.size(), 2u * 64 * 48 * 6);
  EXPECT_EQ(deep, raw("ref.%04d.png"));
}

std::string Base64(const std::string& bytes) {
  static constexpr char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    const std::size_t n = std::min<std::size_t>(3, bytes.size() - i);
    uint32_t v = 0;
    for (std::size_t j = 0; j < 3; ++j) v = v << 8 | (j < n ? static_cast<uint8_t>(bytes[i + j]) : 0u);
    for (std::size_t j = 0; j < 4; ++j) out += j <= n ? kDigits[(v >> (18 - 6 * j)) & 63] : '=';
  }
  return out;
}

// Chromium decodes each file frame by frame (WebCodecs' ImageDecoder, its own GIF, PNG and WebP decoders)
// onto a canvas, a row a format, a column a frame; the screenshot of the page holds every frame exactly.
TEST_F(AnimationCommand, ChromiumShowsEveryFrameExactly) {
  WriteClip(3, false);
  const std::string look = " --pattern floyd-steinberg --swatch pico-8 --quiet";
  ASSERT_EQ(Run("render " + P("in.####.png") + " " + P("ref.####.png") + look + " --full-color").status, 0);
  const std::vector<std::pair<std::string, std::string>> files = {
      {"gif", "image/gif"}, {"apng", "image/png"}, {"webp", "image/webp"}};
  std::string list;
  for (const auto& [format, type] : files) {
    ASSERT_EQ(Run("render " + P("in.####.png") + " " + P("out." + format) + look).status, 0);
    list += "['" + type + "','data:" + type + ";base64," + Base64(ReadFile(Path("out." + format))) + "'],";
  }
  // The page keeps its work in window.ready; the shot is taken once that has settled.
  std::ofstream(Path("page.html"))
      << "<!doctype html><body style='margin:0;background:#000'><canvas id=c width=192 height=144></canvas>"
         "<script>window.ready = (async () => { const ctx = document.getElementById('c').getContext('2d');"
         "const files = ["
      << list
      << "]; for (let row = 0; row < files.length; ++row) {"
         "  const data = await (await fetch(files[row][1])).arrayBuffer();"
         "  const decoder = new ImageDecoder({data, type: files[row][0]}); await decoder.tracks.ready;"
         "  for (let k = 0; k < decoder.tracks.selectedTrack.frameCount; ++k) {"
         "    const frame = await decoder.decode({frameIndex: k}); ctx.drawImage(frame.image, k * 64, row * "
         "48);"
         "  } } })();</script>";
  const std::string command = std::string("python3 ") + PALETTRIX_TESTS_DIR "/browser_shot.py " +
                              P("page.html") + " " + P("shot.png") + " 192 144 2>" + P("chromium.log");
  ASSERT_EQ(std::system(command.c_str()), 0) << ReadFile(Path("chromium.log"));
  const Picture shot = ReadPicture(Path("shot.png"));
  ASSERT_EQ(shot.width, 192);
  for (int row = 0; row < 3; ++row) {
    for (int k = 0; k < 3; ++k) {
      const Picture frame = ReadPicture(Path("ref.000" + std::to_string(k + 1) + ".png"));
      std::size_t wrong = 0;
      for (int y = 0; y < 48; ++y) {
        for (int x = 0; x < 64; ++x) {
          for (int c = 0; c < 3; ++c) {
            wrong += shot.rgb[(static_cast<std::size_t>(row * 48 + y) * 192 + k * 64 + x) * 3 + c] !=
                     frame.rgb[(static_cast<std::size_t>(y) * 64 + x) * 3 + c];
          }
        }
      }
      EXPECT_EQ(wrong, 0u) << files[static_cast<std::size_t>(row)].first << " frame " << k + 1;
    }
  }
}

}  // namespace
}  // namespace media_test
