// Video inputs and outputs at their edges: frames one pixel wide in every container, audio that must be
// encoded again, frames that change size or exceed --max-pixels, turned phone videos, alpha in WebM and in
// sequences, and what the command says about empty files and failing encoders.
#include <cmath>
#include <cstdio>
#include <fstream>

#include "command_runner.h"
#include "media_fixture.h"

namespace media_test {
namespace {

const std::string kLook = " --pattern bayer-4x4 --swatch cga";

class VideoSafety : public MediaTest {
 protected:
  // Frames 1..count of a picture of any size with every sample different from its neighbours.
  void WriteOddSequence(const std::string& prefix, int width, int height, int count, int bits) const {
    const int full = bits == 8 ? 255 : 65535;
    for (int n = 1; n <= count; ++n) {
      Picture p{width, height, bits, {}};
      for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
          p.rgb.push_back(static_cast<uint16_t>((x * 97 + y * 13 + n * 41) * (full / 255) % (full + 1)));
          p.rgb.push_back(static_cast<uint16_t>((y * 53 + n * 7) * (full / 255) % (full + 1)));
          p.rgb.push_back(
              static_cast<uint16_t>((x * 29 + y * 71) * (full / 255) % (full + 1) + (bits == 16 ? n : 0)));
        }
      }
      char name[64];
      std::snprintf(name, sizeof name, "%s.%04d.png", prefix.c_str(), n);
      WritePicture(Path(name), p);
    }
  }

  std::vector<Picture> ReadSequence(const std::string& prefix, int count) const {
    std::vector<Picture> frames;
    for (int n = 1; n <= count; ++n) {
      char name[64];
      std::snprintf(name, sizeof name, "%s.%04d.png", prefix.c_str(), n);
      frames.push_back(ReadPicture(Path(name)));
    }
    return frames;
  }

  // ffprobe's value of `entry` for the first video stream (side data included).
  std::string ProbeEntry(const std::string& file, const std::string& entry) const {
    const fs::path text = Path("entry.txt");
    const std::string command = "ffprobe -v error -select_streams v:0 -show_entries " + entry +
                                " -of default=nw=1:nk=1 " + P(file) + " >" + text.string();
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    std::string value = ReadFile(text);
    fs::remove(text);
    while (!value.empty() && value.back() == '\n') value.pop_back();
    return value;
  }
};

TEST_F(VideoSafety, FramesOnePixelWideOrOddGoIntoEveryContainer) {
  // FFV1 version 3 blanks frames under 3 pixels a side and has no slice layout at all for 1x300: these go
  // to version 1. Each output, decoded by ffmpeg, gives back the still renders.
  const struct { int width, height; } sizes[] = {{1, 1}, {1, 7}, {7, 1}, {2, 2}, {1, 300}, {3, 5}};
  for (const auto& size : sizes) {
    const std::string name = std::to_string(size.width) + "x" + std::to_string(size.height);
    SCOPED_TRACE(name);
    for (const int bits : {8, 16}) {
      WriteOddSequence("in" + name + "-" + std::to_string(bits), size.width, size.height, 2, bits);
      const std::string input = P("in" + name + "-" + std::to_string(bits) + ".####.png");
      ASSERT_EQ(Run("render " + input + " " + P("still.####.png") + kLook).status, 0);
      const std::vector<Picture> stills = ReadSequence("still", 2);
      const std::vector<std::string> outputs =
          bits == 8 ? std::vector<std::string>{"out.mkv", "out.avi", "out.mov", "out.mp4"}
                    : std::vector<std::string>{"out.mkv", "out.avi", "out.mov"};
      for (const std::string& output : outputs) {
        const Result r = Run("render " + input + " " + P(output) + kLook);
        ASSERT_EQ(r.status, 0) << output << " " << bits << "\n" << r.err;
        const std::vector<Picture> frames = DecodeVideo(Path(output), bits);
        ASSERT_EQ(frames.size(), 2u) << output;
        for (int i = 0; i < 2; ++i) {
          EXPECT_EQ(frames[i].width, size.width);
          EXPECT_EQ(frames[i].rgb, stills[i].rgb) << output << " " << bits << "-bit frame " << i + 1;
        }
        fs::remove(Path(output));
      }
    }
  }
}

TEST_F(VideoSafety, AudioTheOutputCannotCopyIsEncodedWithTheContainersCodec) {
  WriteVideo("pcm.mkv", 5, 10, 0.5);
  Ffmpeg("-i " + P("pcm.mkv") + " -c:v copy -c:a flac " + P("flac.mkv"));
  Ffmpeg("-i " + P("pcm.mkv") + " -c:v copy -c:a libopus " + P("opus.mkv"));
  const std::vector<int16_t> tone = DecodeAudio(Path("pcm.mkv"));
  const struct {
    const char* input;
    const char* output;
    const char* audioCodec;
    bool lossless;
  } cases[] = {
      {"flac.mkv", "flac.mp4", "aac", false},
      {"flac.mkv", "flac.mov", "alac", true},
      {"opus.mkv", "opus.mov", "alac", false},
      {"opus.mkv", "opus.mp4", "opus", false},  // MP4 takes Opus: copied
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.output);
    const Result r = Run("render " + P(c.input) + " " + P(c.output) + kLook);
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<StreamInfo> streams = Probe(Path(c.output));
    ASSERT_EQ(streams.size(), 2u);
    EXPECT_EQ(streams[0].at("nb_read_frames"), "5");
    EXPECT_EQ(streams[1].at("codec_name"), c.audioCodec);
    const std::vector<int16_t> audio = DecodeAudio(Path(c.output));
    if (c.lossless) {
      EXPECT_EQ(audio, tone);  // FLAC to ALAC: both lossless
    } else {
      // Half a second at 48 kHz of lavfi's sine at 1/8 of full scale: RMS 4096 / sqrt 2.
      EXPECT_NEAR(static_cast<double>(audio.size()), 24000.0, 1024.0);
      double sum = 0;
      for (int16_t s : audio) sum += static_cast<double>(s) * s;
      EXPECT_NEAR(std::sqrt(sum / static_cast<double>(audio.size())), 4096 / std::sqrt(2.0), 300.0);
    }
  }

  // Audio the container takes is still copied packet for packet: AAC into .mp4 has the same packets.
  Ffmpeg("-i " + P("pcm.mkv") + " -c:v copy -c:a aac " + P("aac.mkv"));
  ASSERT_EQ(Run("render " + P("aac.mkv") + " " + P("aac.mp4") + kLook).status, 0);
  Ffmpeg("-i " + P("aac.mkv") + " -map 0:a -c copy -f streamhash -hash md5 " + P("in.hash"));
  Ffmpeg("-i " + P("aac.mp4") + " -map 0:a -c copy -f streamhash -hash md5 " + P("out.hash"));
  EXPECT_EQ(ReadFile(Path("out.hash")), ReadFile(Path("in.hash")));

  // A FLAC frame damaged in the middle of the file (a byte after its sync code changed, so its CRC fails):
  // an input error naming the input, not an output one.
  Ffmpeg(
      "-f lavfi -i color=c=red:size=8x8:rate=5 -f lavfi -i sine=frequency=440:sample_rate=48000 -t 2 "
      "-c:v ffv1 -c:a flac " +
      P("long.mkv"));
  std::string bytes = ReadFile(Path("long.mkv"));
  const std::size_t sync = bytes.find("\xFF\xF8", bytes.size() / 2);
  ASSERT_NE(sync, std::string::npos);
  bytes[sync + 40] = static_cast<char>(bytes[sync + 40] ^ 0x5A);
  std::ofstream(Path("damaged.mkv"), std::ios::binary) << bytes;
  const Result r = Run("render " + P("damaged.mkv") + " " + P("damaged.mp4") + kLook);
  EXPECT_EQ(r.status, 3) << r.err;
  EXPECT_NE(r.err.find("damaged.mkv: damaged"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(Path("damaged.mp4")));
}

TEST_F(VideoSafety, EveryFrameIsHeldToMaxPixelsAndSizeChangesRenderSoundly) {
  // An MPEG program stream whose picture grows mid-stream from 64x48 to 2048x1536, as a broadcast switching
  // resolution does: two MPEG-2 streams joined. FFmpeg's decoder gives 4 frames of the 5 (the last before
  // the change is lost with the old sequence), ffprobe as well.
  const auto part = [&](const std::string& size, int frames, const std::string& name) {
    Ffmpeg("-f lavfi -i testsrc=size=" + size + ":rate=10 -frames:v " + std::to_string(frames) +
           " -c:v mpeg2video -g 1 -bf 0 -q:v 2 " + P(name + ".m2v"));
    Ffmpeg("-fflags +genpts -r 10 -i " + P(name + ".m2v") + " -c copy " + P(name + ".mpg"));
  };
  const auto join = [&](const std::string& first, const std::string& second, const std::string& name) {
    std::ofstream(Path(name + ".m2v"), std::ios::binary)
        << ReadFile(Path(first + ".m2v")) << ReadFile(Path(second + ".m2v"));
    Ffmpeg("-fflags +genpts -r 10 -i " + P(name + ".m2v") + " -c copy " + P(name + ".mpg"));
  };
  part("64x48", 3, "small");
  part("2048x1536", 2, "big");
  join("small", "big", "grows");
  const std::vector<std::string> before = Files();
  for (const char* output : {"out.####.png", "out.mkv"}) {
    const Result r = Run("render " + P("grows.mpg") + " " + P(output) + kLook + " --max-pixels 10000");
    EXPECT_EQ(r.status, 3) << output;
    EXPECT_NE(r.err.find("grows.mpg frame 3: 2048x1536 is 3145728 pixels, more than the limit of 10000"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(Files(), before);
  }

  // Within the budget a sequence takes each frame at its own size, the same frames as each part alone
  // gives; a video output, one size throughout, refuses the change.
  part("96x80", 2, "mid");
  join("small", "mid", "two");
  ASSERT_EQ(Run("render " + P("two.mpg") + " " + P("two.####.png") + kLook).status, 0);
  ASSERT_EQ(Run("render " + P("small.mpg") + " " + P("small.####.png") + kLook).status, 0);
  ASSERT_EQ(Run("render " + P("mid.mpg") + " " + P("mid.####.png") + kLook).status, 0);
  const std::vector<Picture> two = ReadSequence("two", 4), small = ReadSequence("small", 2),
                             mid = ReadSequence("mid", 2);
  EXPECT_FALSE(fs::exists(Path("two.0005.png")));
  for (int i = 0; i < 2; ++i) EXPECT_EQ(FrameHash(two[i]), FrameHash(small[i])) << i + 1;
  for (int i = 0; i < 2; ++i) EXPECT_EQ(FrameHash(two[2 + i]), FrameHash(mid[i])) << i + 3;
  EXPECT_EQ(two[2].width, 96);
  const Result r = Run("render " + P("two.mpg") + " " + P("two.mkv") + kLook);
  EXPECT_EQ(r.status, 3);
  EXPECT_NE(r.err.find("frame 3 is 96x80, the first was 64x48"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(Path("two.mkv")));
}

TEST_F(VideoSafety, TurnedAndMirroredVideoRendersUprightAsPlayersShowIt) {
  WriteVideo("in.mkv", 2, 10, 0);
  Ffmpeg("-i " + P("in.mkv") + " -c:v png " + P("plain.mov"));
  // Rotations through the muxer's "rotate" tag; mirrors by writing the track header's matrix (the last of
  // the file's two identity matrices: the movie's comes first) as a, b, c, d, x, y in 16.16.
  const std::string identity(
      "\x00\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00"
      "\x00\x00\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00",
      24);
  const std::string plain = ReadFile(Path("plain.mov"));
  const std::size_t track = plain.rfind(identity);
  ASSERT_NE(track, std::string::npos);
  ASSERT_NE(plain.find(identity), track);
  auto mirrored = [&](const std::string& name, const std::string& abcd) {
    std::string bytes = plain;
    bytes.replace(track, 24, abcd);
    std::ofstream(Path(name), std::ios::binary) << bytes;
  };
  const std::string one("\x00\x01\x00\x00", 4), minus("\xFF\xFF\x00\x00", 4), zero(4, '\0');
  mirrored("hflip.mov", minus + zero + zero + zero + one + zero);
  mirrored("vflip.mov", one + zero + zero + zero + minus + zero);
  mirrored("transpose.mov", zero + one + zero + one + zero + zero);
  for (const char* angle : {"90", "180", "270"}) {
    Ffmpeg("-i " + P("plain.mov") + " -c copy -metadata:s:v:0 rotate=" + angle + " " +
           P(std::string("rot") + angle + ".mov"));
  }
  const struct {
    const char* file;
    int width, height;
  } cases[] = {{"rot90.mov", 48, 64}, {"rot180.mov", 64, 48}, {"rot270.mov", 48, 64},
               {"hflip.mov", 64, 48}, {"vflip.mov", 64, 48},  {"transpose.mov", 48, 64}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    // ffmpeg turns the picture by the matrix itself (its autorotate): the upright frames to render.
    Ffmpeg("-i " + P(c.file) + " -pix_fmt rgb24 " + P("upright.%04d.png"));
    ASSERT_EQ(Run("render " + P("upright.####.png") + " " + P("ref.####.png") + kLook).status, 0);
    const Result r = Run("render " + P(c.file) + " " + P("out.####.png") + kLook);
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<Picture> out = ReadSequence("out", 2), ref = ReadSequence("ref", 2);
    for (int i = 0; i < 2; ++i) {
      EXPECT_EQ(out[i].width, c.width);
      EXPECT_EQ(out[i].height, c.height);
      EXPECT_EQ(FrameHash(out[i]), FrameHash(ref[i])) << "frame " << i + 1;
    }
  }
  // A video output is upright and says nothing of turning.
  ASSERT_EQ(Run("render " + P("rot90.mov") + " " + P("up.mp4") + kLook).status, 0);
  EXPECT_EQ(ProbeEntry("up.mp4", "stream=width,height"), "48\n64");
  EXPECT_EQ(ProbeEntry("up.mp4", "stream_side_data=rotation"), "");
}

TEST_F(VideoSafety, AlphaIsKeptFromVp9WebmAndThroughSequences) {
  // RGBA frames with alpha changing across each row, into VP9 with alpha (a lossless alpha plane, which
  // WebM stores beside the picture).
  for (int n = 1; n <= 2; ++n) {
    palettrix_test::Image8 image{16, 8, 4, {}};
    for (int y = 0; y < 8; ++y) {
      for (int x = 0; x < 16; ++x) {
        image.pixels.insert(image.pixels.end(),
                            {static_cast<uint8_t>(x * 15), static_cast<uint8_t>(y * 30),
                             static_cast<uint8_t>(100 + n), static_cast<uint8_t>(x * 16 + n)});
      }
    }
    palettrix_test::WriteImage8(Path("a.000" + std::to_string(n) + ".png"), image);
  }
  Ffmpeg("-framerate 5 -i " + P("a.%04d.png") + " -c:v libvpx-vp9 -lossless 1 -pix_fmt yuva420p " +
         P("alpha.webm"));
  ASSERT_EQ(ProbeEntry("alpha.webm", "stream_tags=alpha_mode"), "1");
  const Result r = Run("render " + P("alpha.webm") + " " + P("out.####.png") + kLook);
  ASSERT_EQ(r.status, 0) << r.err;
  // The alpha libvpx's decoder gives, through the ffmpeg tool, is the alpha rendered (the effect keeps it).
  Ffmpeg("-c:v libvpx-vp9 -i " + P("alpha.webm") + " -pix_fmt rgba " + P("vpx.%04d.png"));
  for (int n = 1; n <= 2; ++n) {
    const palettrix_test::Image8 vpx =
        palettrix_test::ReadImage8(Path("vpx.000" + std::to_string(n) + ".png"));
    const palettrix_test::Image8 out =
        palettrix_test::ReadImage8(Path("out.000" + std::to_string(n) + ".png"));
    ASSERT_EQ(out.channels, 4) << n;
    ASSERT_EQ(out.pixels.size(), vpx.pixels.size());
    for (std::size_t i = 3; i < vpx.pixels.size(); i += 4)
      ASSERT_EQ(out.pixels[i], vpx.pixels[i]) << n << " " << i;
    EXPECT_LT(vpx.pixels[3], 32) << "the source's alpha, not an opaque picture";
  }

  // A sequence whose first frame has no alpha and whose second has: a video keeps alpha for both, the
  // first opaque (here in the palettes of indexed PNG frames: 128 pixels a frame fit 256 entries).
  std::filesystem::rename(Path("a.0002.png"), Path("mixed.0002.png"));
  WritePicture(Path("mixed.0001.png"), Picture{16, 8, 8, std::vector<uint16_t>(16 * 8 * 3, 77)});
  ASSERT_EQ(Run("render " + P("mixed.####.png") + " " + P("still.####.png") + kLook).status, 0);
  ASSERT_EQ(Run("render " + P("mixed.####.png") + " " + P("mixed.mkv") + kLook).status, 0);
  EXPECT_EQ(ProbeEntry("mixed.mkv", "stream=pix_fmt"), "pal8");
  Ffmpeg("-i " + P("mixed.mkv") + " -pix_fmt rgba " + P("decoded.%04d.png"));
  const palettrix_test::Image8 first = palettrix_test::ReadImage8(Path("decoded.0001.png")),
                               firstStill = palettrix_test::ReadImage8(Path("still.0001.png"));
  ASSERT_EQ(firstStill.channels, 3);
  for (std::size_t i = 0; i < 16 * 8; ++i) {
    ASSERT_EQ(first.pixels[i * 4 + 3], 255) << i;
    ASSERT_EQ(first.pixels[i * 4], firstStill.pixels[i * 3]) << i;
  }
  EXPECT_EQ(palettrix_test::ReadImage8(Path("decoded.0002.png")).pixels,
            palettrix_test::ReadImage8(Path("still.0002.png")).pixels);
}

TEST_F(VideoSafety, EmptyVideosAndFailingEncodersAreToldInOurWords) {
  for (const char* name : {"zero.mkv", "zero.mp4"}) {
    Ffmpeg("-f lavfi -i testsrc=size=64x48:rate=10 -frames:v 0 -c:v " +
           std::string(name == std::string("zero.mkv") ? "ffv1 " : "libx264 ") + P(name));
    const Result r = Run("render " + P(name) + " " + P("out.####.png") + kLook);
    EXPECT_EQ(r.status, 3) << name;
    // MP4 lists no track without samples.
    EXPECT_EQ(r.err,
              "palettrix: " + P(name) +
                  (name == std::string("zero.mkv") ? ": holds no video frames\n" : ": no video stream\n"));
  }

  // SVT-AV1 keeps its banner to itself, and its reason for refusing a frame reaches the message.
  WriteOddSequence("small", 32, 32, 1, 8);
  Result r = Run("render " + P("small.####.png") + " " + P("av1.mkv") + kLook + " --codec libsvtav1");
  EXPECT_EQ(r.status, 4);
  EXPECT_NE(r.err.find("av1.mkv: cannot open the libsvtav1 encoder (Source Width must be at least 64)"),
            std::string::npos)
      << r.err;
  EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
  WriteOddSequence("big", 64, 64, 1, 8);
  r = Run("render " + P("big.####.png") + " " + P("av1.mkv") + kLook + " --codec libsvtav1 --quiet");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
}

}  // namespace
}  // namespace media_test
