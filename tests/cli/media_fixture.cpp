#include "media_fixture.h"

#include <OpenImageIO/imageio.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "command_runner.h"

namespace media_test {

namespace OIIO = OIIO_NAMESPACE;

namespace {

std::string Slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream buffer;
  buffer << in.rdbuf();
  return buffer.str();
}

int System(const std::string& command) {
  const int raw = std::system(command.c_str());
  return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

}  // namespace

std::string ReadFile(const fs::path& path) { return Slurp(path); }

std::string FrameHash(const Picture& picture) {
  uint64_t hash = 0xcbf29ce484222325ull;
  auto add = [&hash](uint8_t byte) {
    hash ^= byte;
    hash *= 0x100000001b3ull;
  };
  for (uint16_t v : picture.rgb) {
    add(static_cast<uint8_t>(v & 0xFF));
    if (picture.bits == 16) add(static_cast<uint8_t>(v >> 8));
  }
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
  return text;
}

Picture MovingSquare(int width, int height, int frame, int bits) {
  Picture p{width, height, bits, std::vector<uint16_t>(static_cast<std::size_t>(width) * height * 3)};
  const int full = bits == 8 ? 255 : 65535;
  const int squareX = 4 + 8 * (frame - 1) % (width - 12), squareY = 2 + 4 * (frame - 1) % (height - 12);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      uint16_t* px = &p.rgb[(static_cast<std::size_t>(y) * width + x) * 3];
      const bool square = x >= squareX && x < squareX + 12 && y >= squareY && y < squareY + 12;
      if (square) {
        px[0] = static_cast<uint16_t>(full * 98 / 100), px[1] = static_cast<uint16_t>(full * 90 / 100),
        px[2] = static_cast<uint16_t>(full * 12 / 100);
      } else {
        px[0] = static_cast<uint16_t>(std::min(full, x * full / (width - 1) + (bits == 16 ? 37 * frame : 0)));
        px[1] = static_cast<uint16_t>(y * full / (height - 1));
        px[2] = static_cast<uint16_t>((x / 4 + y / 4) % 2 ? full * 78 / 100 + x : full * 16 / 100 + y);
      }
    }
  }
  return p;
}

void WritePicture(const fs::path& path, const Picture& picture) {
  const OIIO::TypeDesc type = picture.bits == 8 ? OIIO::TypeDesc::UINT8 : OIIO::TypeDesc::UINT16;
  std::vector<uint8_t> bytes8(picture.rgb.begin(), picture.rgb.end());
  auto out = OIIO::ImageOutput::create(path.string());
  ASSERT_TRUE(out) << path;
  const OIIO::ImageSpec spec(picture.width, picture.height, 3, type);
  const void* data = picture.bits == 8 ? static_cast<const void*>(bytes8.data()) : picture.rgb.data();
  ASSERT_TRUE(out->open(path.string(), spec) && out->write_image(type, data) && out->close()) << path;
}

Picture ReadPicture(const fs::path& path) {
  auto in = OIIO::ImageInput::open(path.string());
  EXPECT_TRUE(in) << path;
  if (!in) return {};
  const OIIO::ImageSpec& spec = in->spec();
  Picture p{spec.width, spec.height, spec.format.size() == 1 ? 8 : 16, {}};
  std::vector<uint16_t> all(static_cast<std::size_t>(spec.width) * spec.height * spec.nchannels);
  EXPECT_TRUE(in->read_image(0, 0, 0, spec.nchannels, OIIO::TypeDesc::UINT16, all.data()));
  for (std::size_t i = 0; i < all.size(); i += spec.nchannels) {
    for (int c = 0; c < 3; ++c) {
      const uint16_t v = all[i + std::min(c, spec.nchannels - 1)];
      // OpenImageIO widens 8-bit values by 257.
      p.rgb.push_back(p.bits == 8 ? static_cast<uint16_t>(v / 257) : v);
    }
  }
  return p;
}

void MediaTest::SetUp() {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  dir_ = fs::temp_directory_path() / ("palettrix-media-" + std::string(info->test_suite_name()) + "-" +
                                      std::string(info->name()) + "-" + std::to_string(getpid()));
  fs::remove_all(dir_);
  fs::create_directories(dir_);
}

void MediaTest::TearDown() { fs::remove_all(dir_); }

Result MediaTest::Run(const std::string& args) const {
  const palettrix_test::Result r = palettrix_test::RunCommand(args, dir_);
  return Result{r.status, r.out, r.err};
}

void MediaTest::Ffmpeg(const std::string& args) const {
  const fs::path log = dir_ / "ffmpeg.log";
  const int status = System("ffmpeg -nostdin -v error -y " + args + " 2>" + log.string());
  EXPECT_EQ(status, 0) << "ffmpeg " << args << "\n" << Slurp(log);
  fs::remove(log);
}

std::vector<StreamInfo> MediaTest::Probe(const fs::path& file) const {
  const fs::path text = dir_ / "probe.txt";
  System(
      "ffprobe -v error -count_frames -show_entries "
      "stream=codec_type,codec_name,pix_fmt,width,height,avg_frame_rate,nb_read_frames,sample_rate -of "
      "compact=p=0 " +
      file.string() + " >" + text.string());
  std::vector<StreamInfo> streams;
  std::istringstream lines(Slurp(text));
  fs::remove(text);
  for (std::string line; std::getline(lines, line);) {
    StreamInfo stream;
    std::istringstream fields(line);
    for (std::string field; std::getline(fields, field, '|');) {
      const std::size_t equals = field.find('=');
      if (equals != std::string::npos) stream[field.substr(0, equals)] = field.substr(equals + 1);
    }
    streams.push_back(stream);
  }
  std::stable_sort(streams.begin(), streams.end(), [](const StreamInfo& a, const StreamInfo& b) {
    return a.at("codec_type") > b.at("codec_type");
  });
  return streams;
}

std::vector<Picture> MediaTest::DecodeVideo(const fs::path& file, int bits) const {
  std::vector<StreamInfo> streams = Probe(file);
  if (streams.empty()) {
    ADD_FAILURE() << "no streams in " << file;
    return {};
  }
  const fs::path raw = dir_ / "decoded.raw";
  Ffmpeg("-i " + file.string() + " -map 0:v:0 -f rawvideo -pix_fmt " + (bits == 8 ? "rgb24 " : "rgb48le ") +
         raw.string());
  const std::string bytes = Slurp(raw);
  fs::remove(raw);
  const int width = std::atoi(streams[0]["width"].c_str()), height = std::atoi(streams[0]["height"].c_str());
  if (width <= 0 || height <= 0) return {};
  const std::size_t samples = static_cast<std::size_t>(width) * height * 3, frameBytes = samples * (bits / 8);
  std::vector<Picture> frames;
  for (std::size_t at = 0; at + frameBytes <= bytes.size(); at += frameBytes) {
    Picture p{width, height, bits, std::vector<uint16_t>(samples)};
    for (std::size_t i = 0; i < samples; ++i) {
      const auto* b = reinterpret_cast<const uint8_t*>(bytes.data() + at);
      p.rgb[i] = bits == 8 ? b[i] : static_cast<uint16_t>(b[2 * i] | b[2 * i + 1] << 8);
    }
    frames.push_back(std::move(p));
  }
  EXPECT_EQ(bytes.size() % frameBytes, 0u) << file;
  return frames;
}

std::vector<int16_t> MediaTest::DecodeAudio(const fs::path& file) const {
  const fs::path raw = dir_ / "decoded.pcm";
  Ffmpeg("-i " + file.string() + " -map 0:a:0 -f s16le -ac 1 " + raw.string());
  const std::string bytes = Slurp(raw);
  fs::remove(raw);
  std::vector<int16_t> samples(bytes.size() / 2);
  std::copy_n(bytes.data(), samples.size() * 2, reinterpret_cast<char*>(samples.data()));
  return samples;
}

void MediaTest::WriteSequence(const std::string& prefix, int first, int last, int bits, int width,
                              int height) const {
  for (int frame = first; frame <= last; ++frame) {
    char name[64];
    std::snprintf(name, sizeof name, "%s.%04d.png", prefix.c_str(), frame);
    WritePicture(Path(name), MovingSquare(width, height, frame, bits));
  }
}

void MediaTest::WriteVideo(const std::string& name, int count, int fps, double seconds) const {
  const fs::path frames = dir_ / "video-frames";
  fs::create_directories(frames);
  for (int frame = 1; frame <= count; ++frame) {
    char file[32];
    std::snprintf(file, sizeof file, "f.%04d.png", frame);
    WritePicture(frames / file, MovingSquare(64, 48, frame, 8));
  }
  std::string args = "-framerate " + std::to_string(fps) + " -i " + (frames / "f.%04d.png").string();
  if (seconds > 0)
    args += " -f lavfi -i sine=frequency=440:sample_rate=48000:duration=" + std::to_string(seconds);
  args += " -c:v ffv1 -pix_fmt bgr0 -c:a pcm_s16le " + Path(name).string();
  Ffmpeg(args);
  fs::remove_all(frames);
}

void MediaTest::ExpectGolden(const std::string& name, const std::vector<Picture>& frames,
                             int firstNumber) const {
  std::string lines;
  for (std::size_t i = 0; i < frames.size(); ++i) {
    lines += std::to_string(firstNumber + static_cast<int>(i)) + " " + FrameHash(frames[i]) + "\n";
  }
  const fs::path golden = fs::path(PALETTRIX_GOLDEN_DIR) / name;
  const char* update = std::getenv("PALETTRIX_UPDATE_GOLDEN");
  if (update != nullptr && std::string(update) == "1") {
    std::ofstream(golden, std::ios::binary)
        << "# " << ::testing::UnitTest::GetInstance()->current_test_info()->name()
        << ": FNV-1a 64 of each output frame's RGB samples (16-bit samples little-endian).\n"
        << "# Change only deliberately, from a run checked by other means.\n"
        << lines;
    return;
  }
  std::string expected = Slurp(golden);
  // The reference files open with comment lines.
  while (expected.starts_with("#")) expected.erase(0, expected.find('\n') + 1);
  EXPECT_EQ(lines, expected) << "frame hashes differ from " << golden;
}

std::vector<std::string> MediaTest::Files() const {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir_)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace media_test
