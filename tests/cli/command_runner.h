// Running the palettrix command from tests, in a fresh folder per test, and reading back what it wrote.
#pragma once

#include <OpenImageIO/imageio.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace palettrix_test {

namespace fs = std::filesystem;
namespace OIIO = OIIO_NAMESPACE;

struct Result {
  int status;
  std::string out;
  std::string err;
};

// How Spawn runs the command.
struct SpawnOptions {
  // Standard output goes here instead of a log file (such as /dev/full).
  std::string stdoutPath;
  // RLIMIT_FSIZE for the command, in bytes.
  std::optional<rlim_t> fileSizeLimit;
  // Sends `signal` this long after the start.
  std::optional<std::chrono::milliseconds> signalAfter;
  int signal = SIGINT;
  // Started with the signals that stop a run blocked, as a program that blocks them would start it.
  bool blockSignals = false;
  // Standard output closed, or a pipe whose reading end is closed before the command starts.
  bool closedStdout = false;
  bool stdoutReaderGone = false;
};

struct Spawned {
  int status = -1;  // the exit status; -N when killed by signal N
  std::string out, err;
  double secondsAfterSignal = 0;  // from the signal to the command's end
};

inline std::string Slurp(const fs::path& path);

// Runs the palettrix command with `args` as its argument vector (no shell), its output captured in files
// in `logDir`.
inline Spawned Spawn(const std::vector<std::string>& args, const fs::path& logDir,
                     const SpawnOptions& options = {}) {
  const fs::path out = logDir / ".spawn-stdout", err = logDir / ".spawn-stderr";
  std::vector<std::string> strings = {PALETTRIX_COMMAND};
  strings.insert(strings.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& s : strings) argv.push_back(s.data());
  argv.push_back(nullptr);
  const std::string outPath = options.stdoutPath.empty() ? out.string() : options.stdoutPath;
  int pipeEnds[2] = {-1, -1};
  if (options.stdoutReaderGone) {
    if (pipe(pipeEnds) != 0) return {};
    close(pipeEnds[0]);  // before the command starts: its first write finds no reader
  }
  const pid_t child = fork();
  if (child == 0) {
    const int o =
        options.stdoutReaderGone ? pipeEnds[1] : open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int e = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (o < 0 || e < 0) _exit(126);
    dup2(o, STDOUT_FILENO);
    dup2(e, STDERR_FILENO);
    if (options.closedStdout) close(STDOUT_FILENO);
    if (options.blockSignals) {
      sigset_t all;
      sigemptyset(&all);
      for (int s : {SIGINT, SIGTERM, SIGHUP, SIGPIPE, SIGALRM, SIGUSR1}) sigaddset(&all, s);
      sigprocmask(SIG_BLOCK, &all, nullptr);
    }
    if (options.fileSizeLimit) {
      const rlimit limit{*options.fileSizeLimit, *options.fileSizeLimit};
      setrlimit(RLIMIT_FSIZE, &limit);
    }
    execv(argv[0], argv.data());
    _exit(127);
  }
  if (options.stdoutReaderGone) close(pipeEnds[1]);
  Spawned result;
  int raw = 0;
  if (options.signalAfter) {
    std::this_thread::sleep_for(*options.signalAfter);
    const auto sent = std::chrono::steady_clock::now();
    kill(child, options.signal);
    waitpid(child, &raw, 0);
    result.secondsAfterSignal =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - sent).count();
  } else {
    waitpid(child, &raw, 0);
  }
  result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : WIFSIGNALED(raw) ? -WTERMSIG(raw) : -1;
  result.out = options.stdoutPath.empty() && !options.stdoutReaderGone ? Slurp(out) : std::string();
  result.err = Slurp(err);
  fs::remove(out);
  fs::remove(err);
  return result;
}

// A test's argument string as an argument vector: words separated by spaces, a double-quoted run kept as
// one word (without its quotes). No shell sees it.
inline std::vector<std::string> SplitArguments(const std::string& text) {
  std::vector<std::string> words;
  std::string word;
  bool inWord = false, quoted = false;
  for (char c : text) {
    if (c == '"') {
      quoted = !quoted;
      inWord = true;
    } else if (c == ' ' && !quoted) {
      if (inWord) words.push_back(word);
      word.clear();
      inWord = false;
    } else {
      word += c;
      inWord = true;
    }
  }
  if (inWord) words.push_back(word);
  return words;
}

// The one way the tests run the command from an argument string: spawned with its argument vector, its
// output read back; a command killed by a signal has status -1.
inline Result RunCommand(const std::string& args, const fs::path& logDir) {
  const Spawned spawned = Spawn(SplitArguments(args), logDir);
  return Result{spawned.status < 0 ? -1 : spawned.status, spawned.out, spawned.err};
}

inline std::string Slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream buffer;
  buffer << in.rdbuf();
  return buffer.str();
}

inline void Spit(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// 8-bit pixels as stored: width x height x channels.
struct Image8 {
  int width = 0;
  int height = 0;
  int channels = 0;
  std::vector<uint8_t> pixels;

  const uint8_t* at(int x, int y) const {
    return &pixels[(static_cast<std::size_t>(y) * width + x) * channels];
  }
};

inline void WriteImage8(const fs::path& path, const Image8& image) {
  auto out = OIIO::ImageOutput::create(path.string());
  ASSERT_TRUE(out);
  OIIO::ImageSpec spec(image.width, image.height, image.channels, OIIO::TypeDesc::UINT8);
  if (image.channels == 4) spec.alpha_channel = 3;
  spec.attribute("oiio:UnassociatedAlpha", 1);
  ASSERT_TRUE(out->open(path.string(), spec) &&
              out->write_image(OIIO::TypeDesc::UINT8, image.pixels.data()) && out->close());
}

inline Image8 ReadImage8(const fs::path& path) {
  OIIO::ImageSpec config;
  config.attribute("oiio:UnassociatedAlpha", 1);
  auto in = OIIO::ImageInput::open(path.string(), &config);
  EXPECT_TRUE(in) << path;
  if (!in) return {};
  const OIIO::ImageSpec& spec = in->spec();
  Image8 image{spec.width, spec.height, spec.nchannels, {}};
  EXPECT_EQ(spec.format, OIIO::TypeDesc::UINT8) << path;
  image.pixels.resize(static_cast<std::size_t>(spec.width) * spec.height * spec.nchannels);
  EXPECT_TRUE(in->read_image(0, 0, 0, spec.nchannels, OIIO::TypeDesc::UINT8, image.pixels.data()));
  return image;
}

class CommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    // The process id keeps test runs of different build trees at the same time out of each other's files.
    dir_ = fs::temp_directory_path() / ("palettrix-" + std::string(info->test_suite_name()) + "-" +
                                        std::string(info->name()) + "-" + std::to_string(getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  fs::path Path(const std::string& name) const { return dir_ / name; }
  std::string P(const std::string& name) const { return Path(name).string(); }

  Result Run(const std::string& args) const { return RunCommand(args, dir_); }

  // The names in the test's folder, sorted: what a run left behind.
  std::vector<std::string> Files() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir_)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  fs::path dir_;
};

}  // namespace palettrix_test
