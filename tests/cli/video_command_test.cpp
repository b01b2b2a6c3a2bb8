// palettrix render on video: every frame as the still render of the same picture in every container, the
// frame rate, frame count and audio carried over, ranges, 16 bits, and the same bytes whatever the jobs.
#include <cmath>
#include <cstdio>
#include <set>
#include <vector>

#include "command_runner.h"
#include "media_fixture.h"

namespace media_test {
namespace {

using VideoCommand = MediaTest;

const std::string kLook = " --pattern bayer-4x4 --swatch cga";

double Rms(const std::vector<int16_t>& samples) {
  double sum = 0;
  for (int16_t s : samples) sum += static_cast<double>(s) * s;
  return samples.empty() ? 0 : std::sqrt(sum / static_cast<double>(samples.size()));
}

TEST_F(VideoCommand, EveryContainerHoldsTheStillRendersWithRateCountAndAudio) {
  // Five frames at 10 fps with half a second of a 440 Hz tone (lavfi's sine: amplitude 1/8 of full scale).
  WriteVideo("in.mkv", 5, 10, 0.5);
  std::vector<std::string> stills;
  for (int n = 1; n <= 5; ++n) {
    WritePicture(Path("frame.png"), MovingSquare(64, 48, n, 8));
    ASSERT_EQ(Run("render " + P("frame.png") + " " + P("still.png") + kLook).status, 0);
    stills.push_back(FrameHash(ReadPicture(Path("still.png"))));
  }

  const struct {
    const char* output;
    const char* videoCodec;
    const char* pixelFormat;  // empty: not checked
    const char* audioCodec;
  } cases[] = {
      {"out.mkv", "png", "pal8", "pcm_s16le"},  // CGA's 16 colours fit a palette; the audio copied
      {"out.mp4", "h264", "", "aac"},           // MP4 cannot hold PCM: encoded again
      {"out.mov", "png", "rgb24", "pcm_s16le"},
      {"out.avi", "ffv1", "bgr0", "pcm_s16le"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.output);
    const Result r = Run("render " + P("in.mkv") + " " + P(c.output) + kLook);
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<StreamInfo> streams = Probe(Path(c.output));
    ASSERT_EQ(streams.size(), 2u);
    EXPECT_EQ(streams[0].at("codec_name"), c.videoCodec);
    if (*c.pixelFormat != '\0') {
      EXPECT_EQ(streams[0].at("pix_fmt"), c.pixelFormat);
    }
    EXPECT_EQ(streams[0].at("avg_frame_rate"), "10/1");
    EXPECT_EQ(streams[0].at("nb_read_frames"), "5");
    EXPECT_EQ(streams[1].at("codec_name"), c.audioCodec);
    EXPECT_EQ(streams[1].at("sample_rate"), "48000");

    const std::vector<Picture> frames = DecodeVideo(Path(c.output), 8);
    ASSERT_EQ(frames.size(), 5u);
    for (std::size_t i = 0; i < frames.size(); ++i)
      EXPECT_EQ(FrameHash(frames[i]), stills[i]) << "frame " << i + 1;
    ExpectGolden("video_bayer4x4_cga.txt", frames);

    const std::vector<int16_t> audio = DecodeAudio(Path(c.output));
    if (std::string(c.audioCodec) == "pcm_s16le") {
      EXPECT_EQ(audio, DecodeAudio(Path("in.mkv")));
    } else {
      EXPECT_NEAR(static_cast<double>(audio.size()), 24000.0, 1024.0);
      EXPECT_NEAR(Rms(audio), 4096 / std::sqrt(2.0), 300.0);
    }
  }

  // A lossy MP4 from the tool's own ffmpeg, AAC audio: the audio is copied into .mkv.
  Ffmpeg("-i " + P("in.mkv") + " -c:v libx264 -pix_fmt yuv420p -c:a aac " + P("lossy.mp4"));
  ASSERT_EQ(Run("render " + P("lossy.mp4") + " " + P("fromlossy.mkv") + kLook).status, 0);
  const std::vector<StreamInfo> streams = Probe(Path("fromlossy.mkv"));
  ASSERT_EQ(streams.size(), 2u);
  EXPECT_EQ(streams[0].at("nb_read_frames"), "5");
  EXPECT_EQ(streams[1].at("codec_name"), "aac");
}

TEST_F(VideoCommand, JobsDoNotChangeTheBytes) {
  WriteVideo("in.mkv", 6, 25, 0.2);
  for (const char* output : {"out.mkv", "out.mp4"}) {
    const std::string name = output;
    ASSERT_EQ(Run("render " + P("in.mkv") + " " + P("one-" + name) + kLook + " --jobs 1").status, 0);
    ASSERT_EQ(Run("render " + P("in.mkv") + " " + P("four-" + name) + kLook + " --jobs 4").status, 0);
    EXPECT_EQ(ReadFile(Path("one-" + name)), ReadFile(Path("four-" + name))) << output;
  }
}

TEST_F(VideoCommand, HdFramesSplitIntoSlicesKeepEveryPixelWhateverTheJobs) {
  // From 1280x720 up FFV1 (--codec ffv1) encodes each frame as slices on several threads: the pixels stay
  // the still renders', and the file's bytes do not depend on how the frames were rendered.
  WriteSequence("hd", 1, 3, 8, 1280, 720);
  ASSERT_EQ(Run("render " + P("hd.####.png") + " " + P("hd-out.####.png") + kLook).status, 0);
  const std::string ffv1 = kLook + " --codec ffv1";
  const Result one = Run("render " + P("hd.####.png") + " " + P("one.mkv") + ffv1 + " --jobs 1");
  ASSERT_EQ(one.status, 0) << one.err;
  ASSERT_EQ(Run("render " + P("hd.####.png") + " " + P("three.mkv") + ffv1 + " --jobs 3").status, 0);
  EXPECT_EQ(Probe(Path("one.mkv"))[0].at("codec_name"), "ffv1");
  EXPECT_EQ(ReadFile(Path("one.mkv")), ReadFile(Path("three.mkv")));
  const std::vector<Picture> frames = DecodeVideo(Path("one.mkv"), 8);
  ASSERT_EQ(frames.size(), 3u);
  for (int n = 1; n <= 3; ++n) {
    EXPECT_EQ(FrameHash(frames[n - 1]),
              FrameHash(ReadPicture(Path("hd-out.000" + std::to_string(n) + ".png"))))
        << "frame " << n;
  }
}

TEST_F(VideoCommand, AlphaGoesInAndOutOfVideoAsOfImages) {
  // RGBA frames 37 pixels wide (whole vector blocks and a tail), alpha changing along each row. The
  // containers that hold alpha give back the sequence render's four channels, and such a video renders as
  // those images do.
  const std::string look = " --pattern floyd-steinberg --swatch 9-bit-rgb";
  for (int n = 1; n <= 2; ++n) {
    palettrix_test::Image8 image{37, 20, 4, {}};
    for (int y = 0; y < 20; ++y) {
      for (int x = 0; x < 37; ++x) {
        const int a = (x * 7 + n * 11) % 256;
        image.pixels.insert(image.pixels.end(),
                            {static_cast<uint8_t>(x * 6 + n), static_cast<uint8_t>(y * 12),
                             static_cast<uint8_t>(200 - x * 3), static_cast<uint8_t>(a)});
      }
    }
    palettrix_test::WriteImage8(Path("a.000" + std::to_string(n) + ".png"), image);
  }
  ASSERT_EQ(Run("render " + P("a.####.png") + " " + P("still.####.png") + look).status, 0);
  ASSERT_EQ(Run("render " + P("still.####.png") + " " + P("twice.####.png") + look).status, 0);
  for (const char* video : {"alpha.mov", "alpha.mkv"}) {
    SCOPED_TRACE(video);
    ASSERT_EQ(Run("render " + P("a.####.png") + " " + P(video) + look).status, 0);
    Ffmpeg("-i " + P(video) + " -pix_fmt rgba " + P("decoded.%04d.png"));
    ASSERT_EQ(Run("render " + P(video) + " " + P("again.####.png") + look).status, 0);
    for (int n = 1; n <= 2; ++n) {
      const std::string number = "000" + std::to_string(n) + ".png";
      const palettrix_test::Image8 still = palettrix_test::ReadImage8(Path("still." + number));
      ASSERT_EQ(still.channels, 4);
      EXPECT_EQ(palettrix_test::ReadImage8(Path("decoded." + number)).pixels, still.pixels) << n;
      EXPECT_EQ(palettrix_test::ReadImage8(Path("again." + number)).pixels,
                palettrix_test::ReadImage8(Path("twice." + number)).pixels)
          << n;
    }
  }
}

// Frames 64x48 for the indexed PNG tests: red across, green down, blue fast along both, and alpha from
// `alpha` (x, y); frame 1 of a clip is one flat colour when `flatFirst`.
void WriteRamps(const fs::path& folder, int count, bool flatFirst, int (*alpha)(int, int)) {
  for (int n = 1; n <= count; ++n) {
    palettrix_test::Image8 image{64, 48, alpha != nullptr ? 4 : 3, {}};
    for (int y = 0; y < 48; ++y) {
      for (int x = 0; x < 64; ++x) {
        const bool flat = flatFirst && n == 1;
        image.pixels.insert(
            image.pixels.end(),
            {static_cast<uint8_t>(flat ? 200 : x * 4), static_cast<uint8_t>(flat ? 40 : y * 5),
             static_cast<uint8_t>(flat ? 90 : (x * 7 + y * 13 + n) % 256)});
        if (alpha != nullptr) image.pixels.push_back(static_cast<uint8_t>(alpha(x, y)));
      }
    }
    palettrix_test::WriteImage8(folder / ("r.000" + std::to_string(n) + ".png"), image);
  }
}

std::size_t Colours(const Picture& picture) {
  std::set<std::vector<uint16_t>> colours;
  for (std::size_t i = 0; i + 2 < picture.rgb.size(); i += 3)
    colours.insert({picture.rgb[i], picture.rgb[i + 1], picture.rgb[i + 2]});
  return colours.size();
}

TEST_F(VideoCommand, IndexedPngTurnsRgbWhenALaterFrameHoldsMoreThan256Colours) {
  // "9-bit RGB" (512 colours) with "Threshold": frame 1 is one colour, frames 2 and 3 reach more than 256.
  // The .mkv starts indexed and must end with every frame in RGB, each the still render, the audio whole.
  const std::string look = " --pattern threshold --swatch 9-bit-rgb";
  WriteRamps(dir_, 3, true, nullptr);
  Ffmpeg("-framerate 10 -i " + P("r.%04d.png") +
         " -f lavfi -i sine=frequency=440:sample_rate=48000:duration=0.3 -c:v ffv1 -pix_fmt bgr0 -c:a "
         "pcm_s16le " +
         P("in.mkv"));
  ASSERT_EQ(Run("render " + P("r.####.png") + " " + P("still.####.png") + look + " --full-color").status, 0);
  std::vector<Picture> stills;
  for (int n = 1; n <= 3; ++n) stills.push_back(ReadPicture(Path("still.000" + std::to_string(n) + ".png")));
  ASSERT_EQ(Colours(stills[0]), 1u);
  ASSERT_GT(Colours(stills[1]), 256u);

  const struct {
    const char* frames;
    const char* pixelFormat;
  } cases[] = {{"1-1", "pal8"}, {"1-3", "rgb24"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.frames);
    const Result r = Run("render " + P("in.mkv") + " " + P("out.mkv") + look + " --frames " + c.frames);
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<StreamInfo> streams = Probe(Path("out.mkv"));
    ASSERT_EQ(streams.size(), 2u);
    EXPECT_EQ(streams[0].at("pix_fmt"), c.pixelFormat);
    const std::vector<Picture> frames = DecodeVideo(Path("out.mkv"), 8);
    for (std::size_t i = 0; i < frames.size(); ++i)
      EXPECT_EQ(FrameHash(frames[i]), FrameHash(stills[i])) << i;
  }
  EXPECT_EQ(DecodeVideo(Path("out.mkv"), 8).size(), 3u);
  EXPECT_EQ(DecodeAudio(Path("out.mkv")), DecodeAudio(Path("in.mkv")));
  // The indexed file was temporary (a hidden name): it is gone.
  for (const std::string& name : Files()) EXPECT_NE(name.front(), '.') << name;
}

TEST_F(VideoCommand, IndexedPngKeepsAlphaInItsPalette) {
  // Three levels of alpha over "PICO-8": at most 48 colour and alpha pairs, indexed with transparency.
  const std::string look = " --pattern floyd-steinberg --swatch pico-8";
  WriteRamps(dir_, 2, false, [](int x, int y) { return (x + y) % 3 * 120 + 15; });
  ASSERT_EQ(Run("render " + P("r.####.png") + " " + P("still.####.png") + look).status, 0);
  ASSERT_EQ(Run("render " + P("r.####.png") + " " + P("alpha.mkv") + look).status, 0);
  EXPECT_EQ(Probe(Path("alpha.mkv"))[0].at("pix_fmt"), "pal8");
  Ffmpeg("-i " + P("alpha.mkv") + " -pix_fmt rgba " + P("decoded.%04d.png"));
  for (int n = 1; n <= 2; ++n) {
    const std::string number = "000" + std::to_string(n) + ".png";
    const palettrix_test::Image8 still = palettrix_test::ReadImage8(Path("still." + number));
    ASSERT_EQ(still.channels, 4);
    EXPECT_EQ(palettrix_test::ReadImage8(Path("decoded." + number)).pixels, still.pixels) << n;
  }
}

TEST_F(VideoCommand, SequencesAndVideosConvertBothWaysWithRanges) {
  WriteVideo("in.mkv", 5, 10, 0.5);
  WriteSequence("src", 1, 5, 8);
  ASSERT_EQ(Run("render " + P("src.####.png") + " " + P("seq.mkv") + kLook + " --fps 30000/1001").status, 0);
  std::vector<StreamInfo> streams = Probe(Path("seq.mkv"));
  ASSERT_EQ(streams.size(), 1u);
  EXPECT_EQ(streams[0].at("avg_frame_rate"), "30000/1001");
  ExpectGolden("video_bayer4x4_cga.txt", DecodeVideo(Path("seq.mkv"), 8));

  // Frames 2 to 4 of the video as a sequence numbered as the video counts, and as a video with the audio
  // of those frames only (0.3 s, to the nearest audio packet).
  ASSERT_EQ(Run("render " + P("in.mkv") + " " + P("part.%02d.png") + kLook + " --frames 2-4").status, 0);
  std::vector<Picture> part;
  for (const char* name : {"part.02.png", "part.03.png", "part.04.png"})
    part.push_back(ReadPicture(Path(name)));
  EXPECT_FALSE(std::filesystem::exists(Path("part.01.png")));
  EXPECT_FALSE(std::filesystem::exists(Path("part.05.png")));
  const std::vector<Picture> all = DecodeVideo(Path("seq.mkv"), 8);
  ASSERT_EQ(all.size(), 5u);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(FrameHash(part[i]), FrameHash(all[i + 1]));

  ASSERT_EQ(Run("render " + P("in.mkv") + " " + P("part.mkv") + kLook + " --frames 2-4").status, 0);
  streams = Probe(Path("part.mkv"));
  ASSERT_EQ(streams.size(), 2u);
  EXPECT_EQ(streams[0].at("nb_read_frames"), "3");
  EXPECT_NEAR(static_cast<double>(DecodeAudio(Path("part.mkv")).size()), 14400.0, 2048.0);
  const std::vector<Picture> partVideo = DecodeVideo(Path("part.mkv"), 8);
  ASSERT_EQ(partVideo.size(), 3u);
  EXPECT_EQ(FrameHash(partVideo[0]), FrameHash(all[1]));
}

TEST_F(VideoCommand, SixteenBitSourcesRenderAndStoreSixteenBits) {
  WriteSequence("deep", 1, 3, 16);
  const std::string look = " --pattern floyd-steinberg --swatch 9-bit-rgb";
  ASSERT_EQ(Run("render " + P("deep.####.png") + " " + P("seq.####.png") + look).status, 0);
  std::vector<Picture> sequence;
  for (const char* name : {"seq.0001.png", "seq.0002.png", "seq.0003.png"})
    sequence.push_back(ReadPicture(Path(name)));

  const struct {
    const char* output;
    const char* pixelFormat;
  } cases[] = {{"deep.mkv", "gbrp16le"}, {"deep.mov", "rgb48be"}};
  for (const auto& c : cases) {
    ASSERT_EQ(Run("render " + P("deep.####.png") + " " + P(c.output) + look + " --fps 24").status, 0);
    const std::vector<StreamInfo> streams = Probe(Path(c.output));
    ASSERT_EQ(streams.size(), 1u);
    EXPECT_EQ(streams[0].at("pix_fmt"), c.pixelFormat);
    EXPECT_EQ(streams[0].at("avg_frame_rate"), "24/1");
    const std::vector<Picture> frames = DecodeVideo(Path(c.output), 16);
    ASSERT_EQ(frames.size(), 3u);
    for (int i = 0; i < 3; ++i)
      EXPECT_EQ(FrameHash(frames[i]), FrameHash(sequence[i])) << c.output << " " << i;
  }
  // A 16-bit video in renders at 16 bits: an effect that leaves "9-bit RGB" colours alone gives them back.
  ASSERT_EQ(Run("render " + P("deep.mkv") + " " + P("again.####.png") + look).status, 0);
  EXPECT_EQ(ReadPicture(Path("again.0001.png")).bits, 16);
  EXPECT_EQ(FrameHash(ReadPicture(Path("again.0002.png"))), FrameHash(sequence[1]));

  // An 8-bit video at --depth 16 goes into a 16-bit FFV1.
  WriteVideo("in.mkv", 2, 10, 0);
  ASSERT_EQ(Run("render " + P("in.mkv") + " " + P("up.mkv") + look + " --depth 16").status, 0);
  EXPECT_EQ(Probe(Path("up.mkv"))[0].at("pix_fmt"), "gbrp16le");
}

TEST_F(VideoCommand, CodecAndCrfOverrideTheDefault) {
  WriteVideo("in.mkv", 3, 10, 0);
  ASSERT_EQ(Run("render " + P("in.mkv") + " " + P("png.mov") + kLook + " --codec png").status, 0);
  EXPECT_EQ(Probe(Path("png.mov"))[0].at("codec_name"), "png");
  ASSERT_EQ(Run("render " + P("in.mkv") + " " + P("ref.mkv") + kLook).status, 0);
  const std::vector<Picture> png = DecodeVideo(Path("png.mov"), 8), ref = DecodeVideo(Path("ref.mkv"), 8);
  ASSERT_EQ(png.size(), 3u);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(FrameHash(png[i]), FrameHash(ref[i]));
  ASSERT_EQ(Run("render " + P("in.mkv") + " " + P("crf.mp4") + kLook + " --crf 30").status, 0);
  EXPECT_EQ(Probe(Path("crf.mp4"))[0].at("codec_name"), "h264");
  // A YUV encoder gets YUV: BT.601 at this size, limited range.
  ASSERT_EQ(Run("render " + P("in.mkv") + " " + P("yuv.mp4") + kLook + " --codec libx264 --crf 0").status, 0);
  EXPECT_EQ(Probe(Path("yuv.mp4"))[0].at("pix_fmt"), "yuv444p");
}

}  // namespace
}  // namespace media_test
