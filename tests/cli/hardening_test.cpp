// The command against a hostile or unlucky user: planted links, devices and pipes where outputs go,
// file-size limits, Ctrl-C during long frames, decompression bombs, damaged files, empty and inexact option
// values, and text from files that would upset a terminal.
#include <OpenImageIO/imageio.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <zlib.h>

#include <cmath>
#include <limits>
#include <map>

#include "ase/ase_bytes.h"
#include "cli/command_runner.h"
#include "cli/media_fixture.h"
#include "support/seeded_generator.h"

namespace media_test {
namespace {

using palettrix_test::Spawn;
using palettrix_test::SpawnOptions;

namespace OIIO = OIIO_NAMESPACE;

// Pixels no compressor can shrink, from our own generator so the bytes are the same everywhere.
void WriteNoise(const fs::path& path, int width, int height, uint32_t seed = 1) {
  std::vector<uint8_t> pixels(static_cast<std::size_t>(width) * height * 3);
  palettrix_test::SeededGenerator random(seed);
  for (uint8_t& p : pixels) p = static_cast<uint8_t>(random.next() >> 24);
  auto out = OIIO::ImageOutput::create(path.string());
  ASSERT_TRUE(out);
  OIIO::ImageSpec spec(width, height, 3, OIIO::TypeDesc::UINT8);
  spec.attribute("png:compressionLevel", 1);
  spec.attribute("compression", "none");  // for TIFF: large images written and read at disk speed
  ASSERT_TRUE(out->open(path.string(), spec) && out->write_image(OIIO::TypeDesc::UINT8, pixels.data()) &&
              out->close());
}

std::string Truncated(const std::string& bytes) { return bytes.substr(0, bytes.size() / 2); }

void Write(const fs::path& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

// A PNG chunk with its length and CRC.
std::string Chunk(const std::string& type, const std::string& data) {
  std::string chunk;
  const auto u32 = [&](uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) chunk += static_cast<char>(v >> shift);
  };
  u32(static_cast<uint32_t>(data.size()));
  chunk += type + data;
  const std::string crcd = type + data;
  u32(static_cast<uint32_t>(
      crc32(0, reinterpret_cast<const Bytef*>(crcd.data()), static_cast<uInt>(crcd.size()))));
  return chunk;
}

// The start of a 1-bit grey PNG declaring width x height, its pixel data cut off after a few bytes.
std::string PngHeaderOnly(uint32_t width, uint32_t height) {
  std::string ihdr;
  for (uint32_t v : {width, height}) {
    for (int shift = 24; shift >= 0; shift -= 8) ihdr += static_cast<char>(v >> shift);
  }
  ihdr += std::string("\x01\x00\x00\x00\x00", 5);  // depth 1, grey, deflate, adaptive filter, no interlace
  return std::string("\x89PNG\r\n\x1a\n", 8) + Chunk("IHDR", ihdr) +
         Chunk("IDAT", std::string("\x78\x9c\xed\xc1\x01", 5));
}

class Hardening : public MediaTest {
 protected:
  palettrix_test::Spawned Cli(const std::vector<std::string>& args, const SpawnOptions& options = {}) const {
    return Spawn(args, dir_, options);
  }
  // The names a run left in the folder, hidden temporary files included.
  bool NoTemporaryFiles() const {
    for (const std::string& name : Files()) {
      if (name.starts_with(".ptx")) return false;
    }
    return true;
  }
};

// One line on stderr, starting with the command's name.
void ExpectOneLine(const std::string& err) {
  EXPECT_EQ(err.rfind("palettrix: ", 0), 0u) << err;
  EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
}

TEST_F(Hardening, LinksAtTheOutputAreReplacedNeverFollowed) {
  WriteSequence("in", 1, 2, 8);
  Write(Path("victim"), "precious");
  // The output is a link to another user's file: the link is replaced by the new file, the file untouched.
  fs::create_symlink(Path("victim"), Path("out.png"));
  EXPECT_EQ(Cli({"render", P("in.0001.png"), P("out.png")}).status, 0);
  EXPECT_FALSE(fs::is_symlink(Path("out.png")));
  fs::create_symlink(Path("victim"), Path("look.json"));
  EXPECT_EQ(Cli({"render", P("in.0001.png"), P("out2.png"), "--save-look", P("look.json")}).status, 0);
  EXPECT_FALSE(fs::is_symlink(Path("look.json")));
  fs::create_symlink(Path("victim"), Path("seq.0002.png"));
  EXPECT_EQ(Cli({"render", P("in.####.png"), P("seq.####.png")}).status, 0);
  EXPECT_FALSE(fs::is_symlink(Path("seq.0002.png")));
  EXPECT_EQ(ReadFile(Path("victim")), "precious");
  EXPECT_TRUE(NoTemporaryFiles());
}

// An output that names a file the same run reads (the input, a frame of an input sequence, a video, the
// palette or look file; under its own name, through a link or a hard link) is refused before anything is
// written, and --save-look is written only once the run has succeeded.
TEST_F(Hardening, NoOutputReplacesAFileTheRunReads) {
  WriteSequence("in", 1, 2, 8);
  WriteVideo("clip.mkv", 2, 10, 0);
  Write(Path("mine.gpl"), "GIMP Palette\n0 0 0 Black\n255 128 1 Orange\n");
  ASSERT_EQ(Cli({"render", P("in.0001.png"), P("first.png"), "--save-look", P("look.json")}).status, 0);
  fs::create_symlink(Path("in.0001.png"), Path("link.json"));
  fs::create_hard_link(Path("in.0001.png"), Path("hard.png"));
  const std::vector<std::string> kept = {"in.0001.png", "in.0002.png", "hard.png",
                                         "clip.mkv",    "mine.gpl",    "look.json"};
  std::map<std::string, std::string> before;
  for (const std::string& name : kept) before[name] = ReadFile(Path(name));
  const std::vector<std::vector<std::string>> runs = {
      {"render", P("in.0001.png"), P("out.png"), "--save-look", P("in.0001.png")},
      {"render", P("in.0001.png"), P("in.0001.png")},
      {"render", P("in.0001.png"), P("out.png"), "--save-look", P("link.json")},
      {"render", P("in.0001.png"), P("hard.png")},
      {"render", P("in.####.png"), P("out.####.png"), "--save-look", P("in.0002.png")},
      {"render", P("in.####.png"), P("in.####.png")},
      {"render", P("clip.mkv"), P("out.mkv"), "--save-look", P("clip.mkv")},
      {"render", P("clip.mkv"), P("clip.mkv")},
      {"render", P("in.0001.png"), P("out.png"), "--palette", P("mine.gpl"), "--save-look", P("mine.gpl")},
      {"render", P("in.0001.png"), P("out.png"), "--look", P("look.json"), "--save-look", P("look.json")},
      {"demo", P("out.png"), "--palette", P("mine.gpl"), "--save-look", P("mine.gpl")},
      {"demo", P("mine.gpl"), "--palette", P("mine.gpl")},
      {"gallery", P("in.0001.png"), P("hard.png")},
      {"palette", P("mine.gpl"), "--strip", P("mine.gpl")},
  };
  for (const auto& args : runs) {
    const auto r = Cli(args);
    EXPECT_EQ(r.status, 2) << args[1] << " " << args[2] << r.err;
    EXPECT_NE(r.err.find("a file this run reads"), std::string::npos) << r.err;
    ExpectOneLine(r.err);
  }
  for (const std::string& name : kept) EXPECT_EQ(ReadFile(Path(name)), before[name]) << name;
  EXPECT_FALSE(fs::exists(Path("out.png")));
  EXPECT_FALSE(fs::exists(Path("out.0001.png")));
  EXPECT_FALSE(fs::exists(Path("out.mkv")));
  // A run that fails leaves no look behind, nor replaces one.
  EXPECT_EQ(Cli({"render", P("missing.png"), P("out.png"), "--save-look", P("new.json")}).status, 3);
  EXPECT_FALSE(fs::exists(Path("new.json")));
  EXPECT_EQ(Cli({"render", P("missing.png"), P("out.png"), "--save-look", P("look.json")}).status, 3);
  EXPECT_EQ(ReadFile(Path("look.json")), before["look.json"]);
  EXPECT_TRUE(NoTemporaryFiles());
}

TEST_F(Hardening, DevicesPipesSocketsAndFoldersAreNeverReplaced) {
  WriteSequence("in", 1, 1, 8);
  ASSERT_EQ(mkfifo(Path("fifo.png").c_str(), 0600), 0);
  ASSERT_EQ(mkfifo(Path("fifo.json").c_str(), 0600), 0);
  ASSERT_EQ(mkfifo(Path("fifo.mkv").c_str(), 0600), 0);
  fs::create_directory(Path("folder.png"));
  const int sock = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::string socketPath = P("sock.png");
  ASSERT_LT(socketPath.size(), sizeof address.sun_path);
  std::copy(socketPath.begin(), socketPath.end(), address.sun_path);
  ASSERT_EQ(bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  // A link to a device is refused like the device.
  fs::create_symlink("/dev/null", Path("null.png"));
  const std::vector<std::vector<std::string>> runs = {
      {"render", P("in.0001.png"), P("fifo.png")},
      {"render", P("in.0001.png"), P("folder.png")},
      {"render", P("in.0001.png"), P("sock.png")},
      {"render", P("in.0001.png"), P("null.png")},
      {"render", P("in.0001.png"), P("ok.png"), "--save-look", P("fifo.json")},
      {"render", P("in.####.png"), P("fifo.mkv")},
      {"demo", P("fifo.png")},
  };
  for (const auto& args : runs) {
    const auto r = Cli(args);
    EXPECT_EQ(r.status, 4) << args.back() << r.err;
    EXPECT_NE(r.err.find("not a regular file"), std::string::npos) << r.err;
  }
  close(sock);
  struct stat info {};
  ASSERT_EQ(lstat(Path("fifo.png").c_str(), &info), 0);
  EXPECT_TRUE(S_ISFIFO(info.st_mode));
  ASSERT_EQ(lstat(Path("sock.png").c_str(), &info), 0);
  EXPECT_TRUE(S_ISSOCK(info.st_mode));
  EXPECT_TRUE(fs::is_symlink(Path("null.png")));
  EXPECT_FALSE(fs::exists(Path("ok.png")));  // refused before any work
  EXPECT_TRUE(NoTemporaryFiles());
}

TEST_F(Hardening, AFileSizeLimitIsAnOutputErrorWithNothingLeft) {
  for (int i = 1; i <= 3; ++i) WriteNoise(Path("in." + std::to_string(1000 + i) + ".png"), 128, 128, i);
  std::ofstream(Path("keep.png")) << "existing";
  SpawnOptions limited;
  limited.fileSizeLimit = 4096;
  for (const std::string output : {"keep.png", "out.####.png", "out.mkv", "out.mp4"}) {
    const std::vector<std::string> args =
        output == "keep.png" ? std::vector<std::string>{"render", P("in.1001.png"), P(output)}
                             : std::vector<std::string>{"render", P("in.####.png"), P(output), "--quiet"};
    const auto r = Cli(args, limited);
    EXPECT_EQ(r.status, 4) << output << r.err;
    EXPECT_NE(r.err.find("File too large"), std::string::npos) << r.err;
  }
  EXPECT_EQ(ReadFile(Path("keep.png")), "existing");
  EXPECT_FALSE(fs::exists(Path("out.1001.png")));
  EXPECT_FALSE(fs::exists(Path("out.mkv")));
  EXPECT_TRUE(NoTemporaryFiles());
}

// 65,536 pseudo-random colours as a .hex palette: error diffusion over them is slow enough to be caught
// mid-frame.
std::string ManyColours() {
  std::string hex;
  palettrix_test::SeededGenerator random(7);
  for (int i = 0; i < 65536; ++i) {
    char line[8];
    std::snprintf(line, sizeof line, "%06X\n", random.next() >> 8);
    hex += line;
  }
  return hex;
}

TEST_F(Hardening, CtrlCStopsALongFramePromptlyWithNothingWritten) {
  // Half a minute or more of error diffusion over 65,536 colours on two cores; the signal comes early in the
  // run (while the image is read, the palette loaded or the frame rendered, as the machine's load has it),
  // and the run must end within a fraction of a second, far below the bound here.
  WriteNoise(Path("big.tif"), 8000, 8000);
  Write(Path("many.hex"), ManyColours());
  SpawnOptions options;
  options.signalAfter = std::chrono::milliseconds(3500);
  const auto r = Cli(
      {"render", P("big.tif"), P("out.png"), "--palette", P("many.hex"), "--pattern", "atkinson"}, options);
  EXPECT_EQ(r.status, 130) << r.err;
  EXPECT_LT(r.secondsAfterSignal, 10.0);
  EXPECT_EQ(r.err, "palettrix: interrupted (SIGINT); no output written\n");
  EXPECT_FALSE(fs::exists(Path("out.png")));
  EXPECT_TRUE(NoTemporaryFiles());
}

// Every signal that would end the process by default (a closed terminal, a stray kill) removes the
// run's temporary files and ends with 128 + its number. Frame 1 is written (to its temporary file) while
// frame 2, large and slow, renders when the signal comes.
TEST_F(Hardening, EverySignalThatWouldEndARunRemovesItsTemporaryFiles) {
  WriteNoise(Path("in.0001.png"), 16, 16, 1);
  WriteNoise(Path("in.0002.png"), 4000, 4000, 2);
  Write(Path("many.hex"), ManyColours());
  const struct {
    int signal;
    int status;
    std::string message;
  } cases[] = {
      {SIGHUP, 129, "hung up (SIGHUP)"},
      {SIGUSR1, 138, "stopped by SIGUSR1 (SIGUSR1)"},
      {SIGPIPE, 141, "stopped by SIGPIPE (SIGPIPE)"},
      {SIGALRM, 142, "stopped by SIGALRM (SIGALRM)"},
  };
  for (const auto& c : cases) {
    SpawnOptions options;
    options.signalAfter = std::chrono::milliseconds(3000);
    options.signal = c.signal;
    const auto r = Cli({"render", P("in.####.png"), P("out.####.png"), "--palette", P("many.hex"),
                        "--pattern", "atkinson", "--jobs", "1", "--quiet"},
                       options);
    EXPECT_EQ(r.status, c.status) << c.message << r.err;
    EXPECT_EQ(r.err, "palettrix: " + c.message + "; no output written\n");
    EXPECT_LT(r.secondsAfterSignal, 10.0);
    EXPECT_FALSE(fs::exists(Path("out.0001.png")));
    EXPECT_TRUE(NoTemporaryFiles()) << c.message;
  }
}

// A video input that is a FIFO nobody writes blocks in open(): the signal cuts the open short, even when
// whoever started the command had the signals blocked (a mask survives exec).
TEST_F(Hardening, ASignalStopsAnOpenBlockedOnAFifo) {
  ASSERT_EQ(mkfifo(Path("clip.mkv").c_str(), 0600), 0);
  for (const bool blocked : {false, true}) {
    for (const auto& [signal, status] : {std::pair{SIGINT, 130}, std::pair{SIGTERM, 143}}) {
      SpawnOptions options;
      options.signalAfter = std::chrono::milliseconds(2500);
      options.signal = signal;
      options.blockSignals = blocked;
      const auto r = Cli({"render", P("clip.mkv"), P("out.mkv")}, options);
      EXPECT_EQ(r.status, status) << blocked << r.err;
      EXPECT_LT(r.secondsAfterSignal, 5.0);
      ExpectOneLine(r.err);
      EXPECT_FALSE(fs::exists(Path("out.mkv")));
      EXPECT_TRUE(NoTemporaryFiles());
    }
  }
}

// --jobs asks for more jobs than the frames' memory allows: the frames in flight are held to a budget.
// 1080p frames at 16 bits are 16.6 MB; 1024 jobs would hold all 40 (well over 600 MB), the budget holds 16.
TEST_F(Hardening, ManyJobsHoldFramesToTheMemoryBudget) {
  const int width = 1920, height = 1080;
  const std::vector<uint16_t> black(static_cast<std::size_t>(width) * height * 3, 0);
  for (int i = 1; i <= 40; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "hd.%04d.png", i);
    auto out = OIIO::ImageOutput::create(Path(name).string());
    ASSERT_TRUE(out);
    OIIO::ImageSpec spec(width, height, 3, OIIO::TypeDesc::UINT16);
    spec.attribute("png:compressionLevel", 1);
    ASSERT_TRUE(out->open(Path(name).string(), spec) &&
                out->write_image(OIIO::TypeDesc::UINT16, black.data()) && out->close());
  }
  const auto r = Cli({"render", P("hd.####.png"), P("out.####.png"), "--jobs", "1024", "--stats", "--quiet"});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::size_t at = r.err.find("peak memory ");
  ASSERT_NE(at, std::string::npos) << r.err;
  EXPECT_LT(std::stol(r.err.substr(at + 12)), 600) << r.err;
}

TEST_F(Hardening, DecompressionBombsAreRefusedBeforeDecoding) {
  // 30000 x 30000 declared in a few bytes: more than the file can hold, and more than the pixel budget.
  Write(Path("bomb.png"), PngHeaderOnly(30000, 30000));
  auto r = Cli({"render", P("bomb.png"), P("out.png")});
  EXPECT_EQ(r.status, 3);
  ExpectOneLine(r.err);
  EXPECT_NE(r.err.find(P("bomb.png") + ": 30000x30000 is 900000000 pixels, more than the limit of 132710400"),
            std::string::npos)
      << r.err;
  // Within the budget, still far more than 50 bytes (signature 8, IHDR 25, IDAT 17) can hold.
  Write(Path("small-bomb.png"), PngHeaderOnly(4000, 4000));
  r = Cli({"render", P("small-bomb.png"), P("out.png")});
  EXPECT_EQ(r.status, 3);
  EXPECT_NE(r.err.find("more than its 50 bytes can hold"), std::string::npos) << r.err;
  // The budget can be set.
  WriteSequence("in", 1, 1, 8);  // 64 x 48
  EXPECT_EQ(Cli({"render", P("in.0001.png"), P("out.png"), "--max-pixels", "3072"}).status, 0);
  r = Cli({"render", P("in.0001.png"), P("out2.png"), "--max-pixels", "3071"});
  EXPECT_EQ(r.status, 3);
  EXPECT_NE(r.err.find("64x48 is 3072 pixels, more than the limit of 3071"), std::string::npos) << r.err;
  // A palette image declaring a bomb is refused the same way.
  r = Cli({"palette", P("bomb.png")});
  EXPECT_EQ(r.status, 3);
  ExpectOneLine(r.err);
}

TEST_F(Hardening, DamagedInputsAreErrorsNamingTheFileAndFrame) {
  WriteNoise(Path("noise.png"), 200, 200);
  for (const std::string extension : {".jpg", ".tif", ".png"}) {
    const auto converted = Cli({"render", P("noise.png"), P("whole" + extension)});
    ASSERT_EQ(converted.status, 0) << converted.err;
    Write(Path("cut" + extension), Truncated(ReadFile(Path("whole" + extension))));
    const auto r = Cli({"render", P("cut" + extension), P("out.png")});
    EXPECT_EQ(r.status, 3) << extension;
    ExpectOneLine(r.err);
    EXPECT_NE(r.err.find(P("cut" + extension) + ": cannot read image, the file is damaged"),
              std::string::npos)
        << r.err;
  }
  WriteVideo("clip.mkv", 30, 10, 0);
  Write(Path("half.mkv"), Truncated(ReadFile(Path("clip.mkv"))));
  const auto r = Cli({"render", P("half.mkv"), P("out.mkv"), "--quiet"});
  EXPECT_EQ(r.status, 3);
  ExpectOneLine(r.err);
  EXPECT_NE(r.err.find(P("half.mkv") + ": damaged at frame "), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(Path("out.mkv")));
  EXPECT_TRUE(NoTemporaryFiles());
}

TEST_F(Hardening, EmptyAndInexactValuesAreRefused) {
  WriteSequence("in", 1, 2, 8);
  WriteVideo("clip.mkv", 6, 10, 0);
  const std::string image = P("in.0001.png"), out = P("out.png");
  const std::vector<std::vector<std::string>> runs = {
      {"render", P("in.####.png"), P("o.####.png"), "--frames", ""},
      {"render", P("in.####.png"), P("o.mkv"), "--crf", ""},
      {"render", P("in.####.png"), P("o.mkv"), "--fps", ""},
      {"render", P("in.####.png"), P("o.mkv"), "--fps", "25/"},
      {"render", P("in.####.png"), P("o.mkv"), "--fps", "/25"},
      {"render", P("in.####.png"), P("o.mkv"), "--fps", "1e-9"},
      {"render", P("in.####.png"), P("o.mp4"), "--fps", "1e-9"},
      {"render", P("in.####.png"), P("o.mkv"), "--fps", "25fps"},
      {"render", image, out, "--offset-x", ""},
      {"render", image, out, "--threshold-red", ""},
      {"render", image, out, "--depth", ""},
      {"render", image, out, "--depth", "16.0"},
      {"render", image, out, "--pattern", ""},
      {"render", image, out, "--swatch", ""},
      {"render", image, out, "--palette", ""},
      {"render", image, out, "--scale", "2x"},
      {"render", P("clip.mkv"), P("o.####.png"), "--frames", "0-5"},
  };
  for (const auto& args : runs) {
    const auto r = Cli(args);
    EXPECT_EQ(r.status, 2) << args[args.size() - 2] << " '" << args.back() << "': " << r.err;
    ExpectOneLine(r.err);
  }
  EXPECT_TRUE(Files() == std::vector<std::string>({"clip.mkv", "in.0001.png", "in.0002.png"}));
  // The exact limit and the exact value in the message, and the reason for --depth.
  auto r = Cli({"render", P("in.####.png"), P("o.mp4"), "--crf", "51.0000001"});
  EXPECT_EQ(r.err, "palettrix: --crf: 51.0000001 is outside 0 to 51 for libx264rgb\n");
  r = Cli({"render", image, out, "--depth", "16.0"});
  EXPECT_EQ(r.err, "palettrix: --depth: \"16.0\" is not 8 or 16\n");
  r = Cli({"render", image, out, "--offset-x", "1000.0000001"});
  EXPECT_EQ(r.err, "palettrix: --offset-x: 1000.0000001 is outside -1000 to 1000\n");
  r = Cli({"render", P("clip.mkv"), P("o.####.png"), "--frames", "0-5"});
  EXPECT_EQ(r.err, "palettrix: --frames: \"0-5\": a video's frames count from 1\n");
}

TEST_F(Hardening, NonFiniteSwatchValuesAreRefusedInEveryColourModel) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  const std::vector<std::pair<std::string, std::vector<float>>> swatches = {
      {"RGB ", {0.5f, nan, 0.5f}}, {"Gray", {inf}},       {"CMYK", {nan, 0, 0, 0}},
      {"CMYK", {0, 0, 0, inf}},    {"LAB ", {nan, 0, 0}}, {"LAB ", {50, 0, -inf}},
  };
  for (const auto& [model, values] : swatches) {
    // A good swatch first, then the bad one: the message names the second.
    AseBytes bytes;
    bytes.Header(2).Color(u"fine", "RGB ", {0.0f, 0.0f, 0.0f});
    bytes.U16(0x0001).U32(static_cast<uint32_t>(2 + 2 + 4 + 4 * values.size() + 2)).Name(u"x").Raw(model);
    for (float v : values) bytes.F32(v);
    bytes.U16(2);
    Write(Path("bad.ase"), bytes.str());
    const auto r = Cli({"palette", P("bad.ase")});
    EXPECT_EQ(r.status, 3) << model;
    EXPECT_EQ(r.err, "palettrix: " + P("bad.ase") + ": swatch 2 holds a value that is not a finite number\n");
  }
}

TEST_F(Hardening, LongestLegalNamesCanBeWritten) {
  WriteSequence("in", 1, 2, 8);
  const std::string name(251, 'a');  // with ".png", 255 bytes: the longest name a folder holds
  EXPECT_EQ(Cli({"render", P("in.0001.png"), P(name + ".png"), "--save-look", P(name + ".jsn")}).status, 0);
  EXPECT_TRUE(fs::is_regular_file(Path(name + ".png")));
  EXPECT_TRUE(fs::is_regular_file(Path(name + ".jsn")));
  const std::string frames(242, 'b');  // "bbb...b.0001.png"
  EXPECT_EQ(Cli({"render", P("in.####.png"), P(frames + ".####.png")}).status, 0);
  EXPECT_TRUE(fs::is_regular_file(Path(frames + ".0002.png")));
  EXPECT_EQ(Cli({"render", P("in.####.png"), P(std::string(251, 'c') + ".mkv"), "--quiet"}).status, 0);
  EXPECT_TRUE(NoTemporaryFiles());
}

TEST_F(Hardening, DeeplyNestedLookValuesAreRefusedInOneLine) {
  WriteSequence("in", 1, 1, 8);
  const std::string deep = std::string(100000, '[') + std::string(100000, ']');
  Write(Path("control.json"), "{\"palettrix_look\": 1, \"controls\": {\"Scale\": " + deep + "}}");
  Write(Path("entry.json"), "{\"palettrix_look\": 1, \"custom_palette\": [[1, " + deep + ", 0]]}");
  Write(Path("version.json"), "{\"palettrix_look\": " + deep + "}");
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"control.json", ": \"Scale\": expected a number, not an array\n"},
      {"entry.json", ": custom_palette entry 1: an array is not a number\n"},
      {"version.json", ": look version an array is not supported (this palettrix reads version 1)\n"},
  };
  for (const auto& [file, message] : cases) {
    const auto r = Cli({"render", P("in.0001.png"), P("out.png"), "--look", P(file)});
    EXPECT_EQ(r.status, 3) << file;
    EXPECT_EQ(r.err, "palettrix: " + P(file) + message);
  }
  // A whole number written with a fraction is still a pattern's number.
  Write(Path("whole.json"), "{\"palettrix_look\": 1, \"controls\": {\"Pattern\": 12.0}}");
  EXPECT_EQ(Cli({"render", P("in.0001.png"), P("out.png"), "--look", P("whole.json")}).status, 0);
  Write(Path("half.json"), "{\"palettrix_look\": 1, \"controls\": {\"Pattern\": 1.5}}");
  EXPECT_EQ(Cli({"render", P("in.0001.png"), P("out2.png"), "--look", P("half.json")}).err,
            "palettrix: " + P("half.json") + ": \"Pattern\": 1.5 is not a whole number\n");
}

TEST_F(Hardening, MessagesAreOneSafeLine) {
  // libpng's own lines stay off the terminal.
  WriteNoise(Path("noise.png"), 100, 100);
  Write(Path("cut.png"), Truncated(ReadFile(Path("noise.png"))));
  auto r = Cli({"render", P("cut.png"), P("out.png")});
  EXPECT_EQ(r.status, 3);
  ExpectOneLine(r.err);
  EXPECT_EQ(r.err.find("libpng"), std::string::npos) << r.err;
  // Escape sequences, a NUL and a 15 MB line from a palette file: escaped, whole up to the cut, bounded.
  Write(Path("esc.gpl"), std::string("GIMP Palette\n1 2 \x1b]0;title\x07\x1b[31m") + '\0' + "red\n");
  r = Cli({"palette", P("esc.gpl")});
  EXPECT_EQ(r.status, 3);
  EXPECT_EQ(r.err, "palettrix: " + P("esc.gpl") +
                       ":2: \"\\x1B]0;title\\x07\\x1B[31m\\x00red\" is not a channel value 0 to 255\n");
  Write(Path("long.gpl"), "GIMP Palette\n1 2 " + std::string(15 << 20, 'x') + "\n");
  r = Cli({"palette", P("long.gpl")});
  EXPECT_EQ(r.status, 3);
  ExpectOneLine(r.err);
  EXPECT_LT(r.err.size(), 2000u);
  EXPECT_NE(r.err.find("x...x"), std::string::npos);
  EXPECT_NE(r.err.find("is not a channel value 0 to 255"), std::string::npos);
  // Standard output that cannot be written is an output error.
  Write(Path("ok.hex"), "FF0000\n");
  SpawnOptions full;
  full.stdoutPath = "/dev/full";
  r = Cli({"palette", P("ok.hex")}, full);
  EXPECT_EQ(r.status, 4);
  EXPECT_EQ(r.err, "palettrix: standard output: cannot write (No space left on device)\n");
  // A pipe whose reader has gone (`palettrix palette F | head -c1`), and a closed standard output: an
  // output error, not the end of the process by SIGPIPE, nor text written into a file opened meanwhile.
  SpawnOptions readerGone;
  readerGone.stdoutReaderGone = true;
  r = Cli({"palette", P("ok.hex")}, readerGone);
  EXPECT_EQ(r.status, 4);
  EXPECT_EQ(r.err, "palettrix: standard output: cannot write (the program reading it has closed the pipe)\n");
  SpawnOptions closed;
  closed.closedStdout = true;
  r = Cli({"palette", P("ok.hex"), "--strip", P("strip.png")}, closed);
  EXPECT_EQ(r.status, 4);
  EXPECT_EQ(r.err, "palettrix: standard output: cannot write (it is closed)\n");
  EXPECT_EQ(palettrix_test::ReadImage8(Path("strip.png")).width, 32);
  // An encoder's own banner and statistics stay off the terminal too.
  WriteSequence("in", 1, 2, 8);
  r = Cli({"render", P("in.####.png"), P("x265.mkv"), "--codec", "libx265", "--quiet"});
  if (r.status == 0) {
    EXPECT_EQ(r.err, "");
  }
}

}  // namespace
}  // namespace media_test
