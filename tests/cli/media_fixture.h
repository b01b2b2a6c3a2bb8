// End-to-end tests of sequences and video: synthetic inputs written by the test (OpenImageIO for images, the
// ffmpeg tool for videos), the palettrix command run on them, and its output decoded and hashed frame by
// frame against reference files in golden/.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace media_test {

namespace fs = std::filesystem;

struct Result {
  int status;
  std::string out;
  std::string err;
};

// Samples of one picture, RGB only, 8 or 16 bits each.
struct Picture {
  int width = 0;
  int height = 0;
  int bits = 8;
  std::vector<uint16_t> rgb;
};

// FNV-1a, 64 bits, of the RGB samples in order: 8-bit samples as one byte, 16-bit samples as two, low byte
// first. Printed as 16 lower-case hex digits.
std::string FrameHash(const Picture& picture);

// The test card of these tests, frame `frame` of a short clip: gradients in red and green, a blue checker,
// and a yellow 12x12 square that moves 8 pixels right and 4 down a frame. 16-bit frames have fine ramps
// that an 8-bit file could not hold.
Picture MovingSquare(int width, int height, int frame, int bits);

void WritePicture(const fs::path& path, const Picture& picture);
std::string ReadFile(const fs::path& path);
Picture ReadPicture(const fs::path& path);

// Output of ffprobe for one stream, by key (codec_name, pix_fmt, avg_frame_rate, nb_read_frames, ...).
using StreamInfo = std::map<std::string, std::string>;

class MediaTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  fs::path Path(const std::string& name) const { return dir_ / name; }
  std::string P(const std::string& name) const { return Path(name).string(); }

  // The palettrix command with `args`, its output captured.
  Result Run(const std::string& args) const;
  // The ffmpeg tool; the test fails when it does.
  void Ffmpeg(const std::string& args) const;
  // The streams of a file: video first, then audio.
  std::vector<StreamInfo> Probe(const fs::path& file) const;
  // Every frame of a video file decoded to RGB, 8 or 16 bits.
  std::vector<Picture> DecodeVideo(const fs::path& file, int bits) const;
  // The first audio stream decoded to mono 16-bit samples at its own rate.
  std::vector<int16_t> DecodeAudio(const fs::path& file) const;

  // Writes frames first..last of MovingSquare as name.NNNN.png.
  void WriteSequence(const std::string& prefix, int first, int last, int bits, int width = 64,
                     int height = 48) const;
  // A lossless video of frames 1..count of MovingSquare at `fps`, with a 440 Hz tone of `seconds` as 16-bit
  // PCM when seconds > 0.
  void WriteVideo(const std::string& name, int count, int fps, double seconds) const;

  // "N hash" lines of the frames; compared with golden/`name`, or written there when the environment has
  // PALETTRIX_UPDATE_GOLDEN=1 (reference files change only deliberately).
  void ExpectGolden(const std::string& name, const std::vector<Picture>& frames, int firstNumber = 1) const;

  std::vector<std::string> Files() const;

  fs::path dir_;
};

}  // namespace media_test
