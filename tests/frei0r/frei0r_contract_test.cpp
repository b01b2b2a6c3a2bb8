// The frei0r contract, checked through the loaded plug-in: what it tells hosts, every parameter read back
// after it is set, values at and past their ends, sizes it cannot take, many instances on many threads,
// and instances made and destroyed over and over (under the sanitizers, nothing may be left behind).
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>
#include <thread>

#include "frei0r/frei0r_host.h"

namespace {

enum { kPattern, kSwatch, kPaletteFile, kOffsetX, kOffsetY, kScale, kRed, kGreen, kBlue, kCount };

Frei0rPlugin& Plugin() {
  static Frei0rPlugin plugin(PALETTRIX_FREI0R_PATH);
  return plugin;
}

// A folder of this process's own, removed at exit: CTest runs the tests as separate processes at once.
struct ScratchDir {
  std::string path = testing::TempDir() + "/frei0r_tests." + std::to_string(getpid());
  ScratchDir() { std::filesystem::create_directories(path); }
  ~ScratchDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
  }
};

const std::string& Scratch() {
  static const ScratchDir dir;
  return dir.path;
}

// What the plug-in writes to stderr while `f` runs.
template <typename F>
std::string Stderr(F&& f) {
  std::fflush(stderr);
  const std::string path = Scratch() + "/stderr.txt";
  FILE* capture = std::fopen(path.c_str(), "w+");
  const int saved = dup(2);
  dup2(fileno(capture), 2);
  f();
  std::fflush(stderr);
  dup2(saved, 2);
  close(saved);
  std::fclose(capture);
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

int Lines(const std::string& text) { return static_cast<int>(std::count(text.begin(), text.end(), '\n')); }

std::string WriteFile(const std::string& name, const std::string& content) {
  const std::string path = Scratch() + "/" + name;
  std::ofstream(path, std::ios::binary) << content;
  return path;
}

// A frame with some of everything: ramps, a colour per row, alpha across.
std::vector<uint32_t> TestFrame(unsigned width, unsigned height) {
  std::vector<uint32_t> frame(std::size_t{width} * height);
  for (unsigned y = 0; y < height; ++y) {
    for (unsigned x = 0; x < width; ++x) {
      frame[y * width + x] =
          Rgba(static_cast<uint8_t>(x * 255 / width), static_cast<uint8_t>(y * 255 / height),
               static_cast<uint8_t>((x * 37 + y * 11) & 255), static_cast<uint8_t>(255 - x));
    }
  }
  return frame;
}

struct Look {
  const char* pattern;
  const char* swatch;
  double scale, red;
};

std::vector<uint32_t> Render(const Look& look, const std::vector<uint32_t>& in, unsigned width,
                             unsigned height) {
  Frei0rPlugin& p = Plugin();
  f0r_instance_t instance = p.construct(width, height);
  p.setString(instance, kPattern, look.pattern);
  p.setString(instance, kSwatch, look.swatch);
  p.setDouble(instance, kScale, look.scale);
  p.setDouble(instance, kRed, look.red);
  std::vector<uint32_t> out(in.size());
  p.update(instance, 0.0, in.data(), out.data());
  p.destruct(instance);
  return out;
}

TEST(Frei0rPlugin, DescribesItselfAndEveryParameter) {
  f0r_plugin_info_t info{};
  Plugin().pluginInfo(&info);
  EXPECT_STREQ(info.name, "Palettrix");
  EXPECT_STREQ(info.author, "Vorn Effects");
  EXPECT_EQ(info.plugin_type, F0R_PLUGIN_TYPE_FILTER);
  EXPECT_EQ(info.color_model, F0R_COLOR_MODEL_RGBA8888);
  EXPECT_EQ(info.frei0r_version, FREI0R_MAJOR_VERSION);
  EXPECT_EQ(info.num_params, kCount);
  ASSERT_NE(info.explanation, nullptr);
  EXPECT_GT(std::strlen(info.explanation), 20u);

  const std::pair<const char*, int> expected[kCount] = {
      {"pattern", F0R_PARAM_STRING},       {"swatch", F0R_PARAM_STRING},
      {"palette file", F0R_PARAM_STRING},  {"offset x", F0R_PARAM_DOUBLE},
      {"offset y", F0R_PARAM_DOUBLE},      {"scale", F0R_PARAM_DOUBLE},
      {"threshold red", F0R_PARAM_DOUBLE}, {"threshold green", F0R_PARAM_DOUBLE},
      {"threshold blue", F0R_PARAM_DOUBLE}};
  for (int i = 0; i < kCount; ++i) {
    f0r_param_info_t param{};
    Plugin().paramInfo(&param, i);
    EXPECT_STREQ(param.name, expected[i].first);
    EXPECT_EQ(param.type, expected[i].second) << param.name;
    ASSERT_NE(param.explanation, nullptr);
    EXPECT_GT(std::strlen(param.explanation), 20u) << param.name;
  }
  // Indexes past either end leave the record alone.
  for (int i : {-1, static_cast<int>(kCount), 1000}) {
    f0r_param_info_t param{"untouched", 99, nullptr};
    Plugin().paramInfo(&param, i);
    EXPECT_STREQ(param.name, "untouched");
  }
  Plugin().paramInfo(nullptr, 0);
  Plugin().pluginInfo(nullptr);
  // The effect inside stays inside: a host that also loads the effect library sees one EntryPoint.
  EXPECT_FALSE(Plugin().exports("EntryPoint"));
}

TEST(Frei0rPlugin, NewInstanceReadsBackTheEffectDefaultsInThousands) {
  Frei0rPlugin& p = Plugin();
  f0r_instance_t instance = p.construct(8, 8);
  ASSERT_NE(instance, nullptr);
  EXPECT_EQ(p.getString(instance, kPattern), "Bayer 8x8");
  EXPECT_EQ(p.getString(instance, kSwatch), "6-bit RGB");
  EXPECT_EQ(p.getString(instance, kPaletteFile), "");
  // Offsets and thresholds 0, "Scale" 1: 0.001 in thousands.
  for (int i : {kOffsetX, kOffsetY, kRed, kGreen, kBlue}) EXPECT_EQ(p.getDouble(instance, i), 0.0);
  EXPECT_EQ(p.getDouble(instance, kScale), 0.001);
  p.destruct(instance);
}

TEST(Frei0rPlugin, EveryParameterReadsBackWhatWasSetAndRefusesWhatCannotBe) {
  Frei0rPlugin& p = Plugin();
  f0r_instance_t instance = p.construct(4, 4);
  const std::string messages = Stderr([&] {
    // Labels as the command line takes them come back as the effect's labels; numbers count from 1.
    p.setString(instance, kPattern, "floyd_STEINBERG");
    EXPECT_EQ(p.getString(instance, kPattern), "Floyd Steinberg");
    p.setString(instance, kPattern, "26");
    EXPECT_EQ(p.getString(instance, kPattern), "Diagonal 5x5");
    p.setString(instance, kSwatch, "commodore-64---orrel");
    EXPECT_EQ(p.getString(instance, kSwatch), "Commodore 64 - Orrel");
    // Neither unknown labels, numbers past either end, nor empty or endless text change anything.
    const std::string endless(1 << 20, 'x');
    for (const char* bad : {"0", "27", "-1", "2x", "", "Bayer", endless.c_str(), "\x1b[2J\xff",
                            static_cast<const char*>(nullptr)}) {
      p.setString(instance, kPattern, bad);
      EXPECT_EQ(p.getString(instance, kPattern), "Diagonal 5x5");
    }
    p.setString(instance, kSwatch, "23");
    EXPECT_EQ(p.getString(instance, kSwatch), "Commodore 64 - Orrel");

    // Doubles, in thousands of the control's units: inside kept, outside held to the control's valid range
    // (offsets and thresholds -1000 to 1000, "Scale" 1 to 100), NaN refused.
    const double inf = std::numeric_limits<double>::infinity();
    for (int i = kOffsetX; i < kCount; ++i) {
      const double low = i == kScale ? 0.001 : -1.0, high = i == kScale ? 0.1 : 1.0;
      const std::pair<double, double> doubles[] = {{0.025, 0.025}, {high, high}, {low, low},  {1.5, high},
                                                   {-1.5, low},    {inf, high},  {-inf, low}, {0.05, 0.05}};
      for (auto [set, got] : doubles) {
        p.setDouble(instance, i, set);
        EXPECT_EQ(p.getDouble(instance, i), got) << i << " set to " << set;
      }
      p.setDouble(instance, i, std::nan(""));
      EXPECT_EQ(p.getDouble(instance, i), 0.05);
    }

    // A palette that cannot be read leaves everything as it was; one that can changes only the colours.
    p.setString(instance, kPaletteFile, "/no/such/palette.gpl");
    EXPECT_EQ(p.getString(instance, kPaletteFile), "");
    p.setString(instance, kPaletteFile, WriteFile("bad.hex", "#12345\n").c_str());
    p.setString(instance, kPaletteFile, "#000000 #12345");
    const std::string good = WriteFile("two.hex", "#000000\n#ff0000\n");
    p.setString(instance, kPaletteFile, good.c_str());
    EXPECT_EQ(p.getString(instance, kPaletteFile), good);
    p.setString(instance, kPaletteFile, "#000000, #FF0000; #00ff00");
    EXPECT_EQ(p.getString(instance, kPaletteFile), "#000000, #FF0000; #00ff00");
    EXPECT_EQ(p.getString(instance, kSwatch), "Commodore 64 - Orrel");
    EXPECT_EQ(p.getString(instance, kPattern), "Diagonal 5x5");
    // An empty field, as FFmpeg passes for "|pico-8", keeps the choice quietly.
    p.setString(instance, kSwatch, "");
    EXPECT_EQ(p.getString(instance, kSwatch), "Commodore 64 - Orrel");

    // Nothing else a host might pass goes anywhere.
    p.setParam(instance, nullptr, kPattern);
    p.getParam(instance, nullptr, kScale);
    double value = 0.5;
    p.setParam(instance, &value, -1);
    p.setParam(instance, &value, kCount);
    p.getParam(instance, &value, kCount);
    EXPECT_EQ(value, 0.5);
    p.setParam(nullptr, &value, kScale);
    p.getParam(nullptr, &value, kScale);
    p.update(nullptr, 0, nullptr, nullptr);
  });
  // Each refusal is one line naming the parameter and why, and the file for palette files.
  EXPECT_NE(messages.find("pattern: unknown pattern \"27\" (a name such as"), std::string::npos) << messages;
  EXPECT_NE(messages.find("/no/such/palette.gpl"), std::string::npos) << messages;
  EXPECT_NE(messages.find("bad.hex:1"), std::string::npos) << messages;
  EXPECT_NE(messages.find("colour 2, \"#12345\", is not #RRGGBB"), std::string::npos) << messages;
  EXPECT_NE(messages.find("offset x: not a number"), std::string::npos) << messages;
  // Host text is quoted in part and made printable; no message sends the user to another program.
  EXPECT_LT(messages.size(), 4000u) << "an endless value is quoted only in part";
  EXPECT_NE(messages.find("\"\\x1B[2J\\xFF\""), std::string::npos) << messages;
  EXPECT_EQ(messages.find('\x1b'), std::string::npos);
  EXPECT_EQ(messages.find("palettrix list"), std::string::npos) << messages;
  p.destruct(instance);
}

TEST(Frei0rPlugin, SaysWhyOnceWhenAHostRepeatsTheSameValueEveryFrame) {
  Frei0rPlugin& p = Plugin();
  f0r_instance_t instance = p.construct(4, 4);
  const std::string path = WriteFile("repeat.hex", "#000000\n#ffffff\n");
  std::string messages = Stderr([&] {
    for (int frame = 0; frame < 5; ++frame) {
      p.setString(instance, kPattern, "Spiral");
      p.setString(instance, kSwatch, "6-bit RGB");
      p.setString(instance, kPaletteFile, path.c_str());
    }
  });
  EXPECT_EQ(Lines(messages), 1) << messages;
  // The file set again, as MLT does before every frame, is not read again and does not undo a later swatch.
  p.setString(instance, kSwatch, "PICO-8");
  p.setString(instance, kPaletteFile, path.c_str());
  EXPECT_EQ(p.getString(instance, kSwatch), "PICO-8");
  messages = Stderr([&] { p.setString(instance, kPattern, "Spiral 2"); });
  EXPECT_EQ(Lines(messages), 1) << messages;
  p.destruct(instance);
}

// One host call: a parameter set to a string or a double.
struct Setting {
  int index;
  std::string text;
  double value;
};

std::vector<uint32_t> RenderAfter(const std::vector<Setting>& settings, const std::vector<uint32_t>& in,
                                  unsigned width, unsigned height) {
  Frei0rPlugin& p = Plugin();
  f0r_instance_t instance = p.construct(width, height);
  for (const Setting& s : settings) {
    if (s.index <= kPaletteFile) {
      p.setString(instance, s.index, s.text.c_str());
    } else {
      p.setDouble(instance, s.index, s.value);
    }
  }
  std::vector<uint32_t> out(in.size());
  p.update(instance, 0.0, in.data(), out.data());
  p.destruct(instance);
  return out;
}

// A fresh instance (a reopened project, a host's new instance for another preview size) sets the values
// in index order; a running one got them in whatever order the user changed them. Both render alike.
TEST(Frei0rPlugin, FrameDependsOnTheValuesAloneNotTheirOrder) {
  constexpr unsigned kWidth = 24, kHeight = 16;
  const std::vector<uint32_t> in = TestFrame(kWidth, kHeight);
  const std::string gpl = WriteFile("order.gpl", "GIMP Palette\n0 0 0\n250 200 30\n40 90 220\n");
  for (const char* swatch : {"pico-8", "custom"}) {
    const std::vector<Setting> values = {{kPattern, "bayer-4x4", 0}, {kSwatch, swatch, 0},
                                         {kPaletteFile, gpl, 0},     {kOffsetX, "", 0.007},
                                         {kScale, "", 0.002},        {kRed, "", 0.05}};
    const std::vector<uint32_t> inOrder = RenderAfter(values, in, kWidth, kHeight);
    std::vector<int> order = {0, 1, 2, 3, 4, 5};
    int orders = 0, differ = 0;
    do {
      std::vector<Setting> shuffled;
      for (int i : order) shuffled.push_back(values[static_cast<std::size_t>(i)]);
      differ += RenderAfter(shuffled, in, kWidth, kHeight) != inOrder;
      ++orders;
    } while (std::next_permutation(order.begin(), order.end()) && orders < 120);
    EXPECT_EQ(differ, 0) << swatch;
    // Earlier values, repeated and overwritten, leave no trace.
    std::vector<Setting> history = {{kPaletteFile, gpl, 0},       {kSwatch, "cga", 0},
                                    {kPaletteFile, "#ffffff", 0}, {kSwatch, "custom", 0},
                                    {kOffsetX, "", 0.5},          {kPattern, "atkinson", 0},
                                    {kPaletteFile, gpl, 0},       {kPaletteFile, gpl, 0}};
    history.insert(history.end(), values.rbegin(), values.rend());
    EXPECT_EQ(RenderAfter(history, in, kWidth, kHeight), inOrder) << swatch;
  }
  // The palette given as its colours renders as the file of those colours.
  const std::vector<Setting> fromFile = {{kSwatch, "custom", 0}, {kPaletteFile, gpl, 0}};
  const std::vector<Setting> fromList = {{kSwatch, "custom", 0},
                                         {kPaletteFile, " #000000,#FAC81E; #285ADC\n", 0}};
  EXPECT_EQ(RenderAfter(fromList, in, kWidth, kHeight), RenderAfter(fromFile, in, kWidth, kHeight));
}

// "Custom" with no colours to take passes frames through and says why once; a palette that cannot be read
// later keeps the colours taken before.
TEST(Frei0rPlugin, CustomWithoutColoursPassesFramesThroughAndSaysWhy) {
  constexpr unsigned kWidth = 8, kHeight = 4;
  const std::vector<uint32_t> in = TestFrame(kWidth, kHeight);
  Frei0rPlugin& p = Plugin();
  f0r_instance_t instance = p.construct(kWidth, kHeight);
  std::vector<uint32_t> out(in.size());
  std::string messages = Stderr([&] {
    p.setString(instance, kSwatch, "custom");
    p.setString(instance, kPaletteFile, "/moved/away.ase");
    for (int frame = 0; frame < 3; ++frame) p.update(instance, frame, in.data(), out.data());
  });
  EXPECT_EQ(out, in);
  EXPECT_EQ(Lines(messages), 2) << messages;
  EXPECT_NE(messages.find("/moved/away.ase"), std::string::npos) << messages;
  EXPECT_NE(messages.find("frames pass through unchanged"), std::string::npos) << messages;

  const std::string red = WriteFile("red-black.hex", "#FF0000\n#000000\n");
  const std::vector<uint32_t> reds =
      RenderAfter({{kSwatch, "custom", 0}, {kPaletteFile, red, 0}}, in, kWidth, kHeight);
  EXPECT_NE(reds, in);
  p.setString(instance, kPaletteFile, red.c_str());
  p.update(instance, 0, in.data(), out.data());
  EXPECT_EQ(out, reds);
  messages = Stderr([&] { p.setString(instance, kPaletteFile, "/moved/again.gpl"); });
  EXPECT_NE(messages.find("the previous colours stay"), std::string::npos) << messages;
  p.update(instance, 0, in.data(), out.data());
  EXPECT_EQ(out, reds);
  // An empty palette takes the colours away again.
  p.setString(instance, kPaletteFile, "");
  Stderr([&] { p.update(instance, 0, in.data(), out.data()); });
  EXPECT_EQ(out, in);
  p.destruct(instance);
}

TEST(Frei0rPlugin, RendersThroughTheEffectWorkedByHand) {
  Frei0rPlugin& p = Plugin();
  // "1-bit Gray" on boundary colours: (1, 179, 196) is black, (2, 201, 75) white, (0, 201, 81) black;
  // alpha goes through untouched.
  const std::vector<uint32_t> in = {Rgba(1, 179, 196, 10), Rgba(2, 201, 75, 200), Rgba(0, 201, 81, 255)};
  std::vector<uint32_t> out(3, 0xDEADBEEF);
  f0r_instance_t instance = p.construct(3, 1);
  p.setString(instance, kPattern, "threshold");
  p.setString(instance, kSwatch, "1-bit gray");
  p.update(instance, 0.0, in.data(), out.data());
  EXPECT_EQ(out, (std::vector<uint32_t>{Rgba(0, 0, 0, 10), Rgba(255, 255, 255, 200), Rgba(0, 0, 0, 255)}));

  // A custom palette of black and red: each pixel takes the nearer.
  p.setString(instance, kPaletteFile, WriteFile("black-red.hex", "000000\nFF0000\n").c_str());
  p.setString(instance, kSwatch, "custom");
  const std::vector<uint32_t> reds = {Rgba(200, 10, 10, 255), Rgba(20, 10, 10, 128), Rgba(140, 0, 0, 0)};
  p.update(instance, 0.0, reds.data(), out.data());
  EXPECT_EQ(out, (std::vector<uint32_t>{Rgba(255, 0, 0, 255), Rgba(0, 0, 0, 128), Rgba(255, 0, 0, 0)}));
  // A host may hand the same buffer in and out.
  std::vector<uint32_t> inPlace = reds;
  p.update(instance, 0.0, inPlace.data(), inPlace.data());
  EXPECT_EQ(inPlace, out);
  p.destruct(instance);
}

TEST(Frei0rPlugin, SizesTheEffectCannotTakeGiveTransparentFramesAndSaySo) {
  Frei0rPlugin& p = Plugin();
  for (auto [width, height] : {std::pair{30001u, 2u}, std::pair{2u, 30001u}, std::pair{0u, 0u}}) {
    f0r_instance_t instance = nullptr;
    const std::string messages = Stderr([&] { instance = p.construct(width, height); });
    ASSERT_NE(instance, nullptr);
    EXPECT_NE(messages.find("outside 1 to 30000"), std::string::npos) << messages;
    EXPECT_NE(messages.find("transparent"), std::string::npos) << messages;
    std::vector<uint32_t> in(std::size_t{width} * height, Rgba(9, 9, 9, 9));
    std::vector<uint32_t> out(in.size(), 0xFFFFFFFF);
    p.setString(instance, kPattern, "atkinson");
    p.setDouble(instance, kScale, 0.05);
    p.update(instance, 0.0, in.data(), out.data());
    EXPECT_EQ(std::count(out.begin(), out.end(), 0u), static_cast<long>(out.size()));
    p.destruct(instance);
  }
}

TEST(Frei0rPlugin, InstancesOnManyThreadsAtOnceRenderAsOneAlone) {
  constexpr unsigned kWidth = 48, kHeight = 32;
  const std::vector<uint32_t> in = TestFrame(kWidth, kHeight);
  const Look looks[] = {{"floyd-steinberg", "pico-8", 0.001, 0.0},
                        {"bayer-8x8", "cga", 0.002, 0.2},
                        {"atkinson", "vga-8-bit", 0.001, 0.0},
                        {"cluster dot 4x4", "3-bit rgb", 0.004, -0.5}};
  std::vector<std::vector<uint32_t>> alone;
  for (const Look& look : looks) alone.push_back(Render(look, in, kWidth, kHeight));
  EXPECT_NE(alone[0], alone[1]);

  // Instances made on one set of threads, rendering several frames each on another, destroyed on a third.
  constexpr int kThreads = 6, kPerThread = 3;
  Frei0rPlugin& p = Plugin();
  std::vector<f0r_instance_t> instances(kThreads * kPerThread);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int k = 0; k < kPerThread; ++k) {
        const Look& look = looks[(t + k) % 4];
        f0r_instance_t instance = instances[t * kPerThread + k] = p.construct(kWidth, kHeight);
        p.setString(instance, kPattern, look.pattern);
        p.setString(instance, kSwatch, look.swatch);
        p.setDouble(instance, kScale, look.scale);
        p.setDouble(instance, kRed, look.red);
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  threads.clear();
  std::vector<int> mismatches(kThreads, 0);
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      std::vector<uint32_t> out(in.size());
      for (int frame = 0; frame < 3; ++frame) {
        for (int k = 0; k < kPerThread; ++k) {
          // Thread t renders the instances thread (t + 1) made.
          const int owner = (t + 1) % kThreads;
          p.update(instances[owner * kPerThread + k], frame, in.data(), out.data());
          if (out != alone[(owner + k) % 4]) ++mismatches[t];
        }
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  threads.clear();
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int k = 0; k < kPerThread; ++k) p.destruct(instances[((t + 2) % kThreads) * kPerThread + k]);
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(mismatches, std::vector<int>(kThreads, 0));
}

// One instance asked for several frames at once, as a host with frame threads asks: they render at once
// through the instance's one render copy, each exactly as alone, and a change between batches reaches every
// frame after it while the host keeps one instance.
TEST(Frei0rPlugin, OneInstanceRendersFramesAtOnceAsAlone) {
  constexpr unsigned kWidth = 64, kHeight = 40;
  const std::vector<uint32_t> in = TestFrame(kWidth, kHeight);
  const Look looks[] = {{"floyd-steinberg", "pico-8", 0.001, 0.0},
                        {"bayer-8x8", "cga", 0.002, 0.2},
                        {"jarvis-judice-ninke", "vga-8-bit", 0.001, 0.0}};
  std::vector<std::vector<uint32_t>> alone;
  for (const Look& look : looks) alone.push_back(Render(look, in, kWidth, kHeight));

  Frei0rPlugin& p = Plugin();
  f0r_instance_t instance = p.construct(kWidth, kHeight);
  constexpr int kThreads = 6, kFrames = 4;
  int mismatches = 0;
  for (const auto& [index, look] : {std::pair{0, looks[0]}, std::pair{1, looks[1]}, std::pair{2, looks[2]}}) {
    p.setString(instance, kPattern, look.pattern);
    p.setString(instance, kSwatch, look.swatch);
    p.setDouble(instance, kScale, look.scale);
    p.setDouble(instance, kRed, look.red);
    std::vector<int> wrong(kThreads, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
      threads.emplace_back([&, t, index] {
        std::vector<uint32_t> out(in.size());
        for (int frame = 0; frame < kFrames; ++frame) {
          p.update(instance, frame, in.data(), out.data());
          if (out != alone[static_cast<std::size_t>(index)]) ++wrong[t];
        }
      });
    }
    for (std::thread& thread : threads) thread.join();
    for (int w : wrong) mismatches += w;
  }
  p.destruct(instance);
  EXPECT_EQ(mismatches, 0);
}

long ResidentKiB() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
  }
  return 0;
}

TEST(Frei0rPlugin, ThousandsOfInstanceLivesLeaveNothingBehind) {
#if defined(__SANITIZE_ADDRESS__)
  // The leak checker sees every allocation at exit; freed memory sits in its quarantine, so resident
  // memory says nothing here.
  constexpr int kCycles = 300;
  constexpr bool kMeasureMemory = false;
#else
  constexpr int kCycles = 2000;
  constexpr bool kMeasureMemory = true;
#endif
  Frei0rPlugin& p = Plugin();
  const std::vector<uint32_t> in = TestFrame(16, 8);
  std::vector<uint32_t> out(in.size());
  const std::string palette = WriteFile("cycle.gpl", "GIMP Palette\n0 0 0\n255 128 1\n");
  auto cycle = [&](int i) {
    f0r_instance_t instance = p.construct(16, 8);
    p.setString(instance, kPattern, i % 2 ? "atkinson" : "bayer 2x2");
    p.setString(instance, kPaletteFile, palette.c_str());
    p.setString(instance, kSwatch, "custom");
    p.setDouble(instance, kOffsetX, 0.3);
    p.update(instance, 0.0, in.data(), out.data());
    p.destruct(instance);
  };
  for (int i = 0; i < 50; ++i) cycle(i);
  const long before = ResidentKiB();
  for (int i = 0; i < kCycles; ++i) cycle(i);
  if (kMeasureMemory) {
    EXPECT_LT(ResidentKiB() - before, 8 * 1024) << "resident memory grew over " << kCycles << " instances";
  }
}

// The Kdenlive description names the plug-in's parameters, and its popups hold every choice.
TEST(Frei0rPlugin, KdenliveDescriptionMatchesTheParameters) {
  std::ifstream file(PALETTRIX_KDENLIVE_XML);
  std::stringstream text;
  text << file.rdbuf();
  const std::string xml = text.str();
  EXPECT_NE(xml.find("tag=\"frei0r.palettrix\""), std::string::npos);
  // The text between `open` and the next `close`, for each `open` from `from` on.
  auto each = [&xml](const std::string& open, const std::string& close) {
    std::vector<std::string> found;
    for (std::size_t at = xml.find(open); at != std::string::npos; at = xml.find(open, at + 1)) {
      const std::size_t start = at + open.size();
      found.push_back(xml.substr(start, xml.find(close, start) - start));
    }
    return found;
  };
  std::vector<std::string> names;
  for (const std::string& tag : each("<parameter ", ">")) {
    const std::size_t name = tag.find(" name=\"") + 7;
    names.push_back(tag.substr(name, tag.find('"', name) - name));
  }
  std::vector<std::string> expected;
  for (int i = 0; i < kCount; ++i) {
    f0r_param_info_t param{};
    Plugin().paramInfo(&param, i);
    expected.push_back(param.name);
  }
  EXPECT_EQ(names, expected);
  // Every slider keyframes, and shows the double times 1000: the control's own value.
  std::vector<std::string> sliders;
  for (const std::string& tag : each("<parameter type=\"animated\"", ">")) {
    if (tag.find(" factor=\"1000\"") != std::string::npos)
      sliders.push_back(tag.substr(7, tag.find('"', 7) - 7));
  }
  EXPECT_EQ(sliders, std::vector<std::string>(expected.begin() + kOffsetX, expected.end()));
  const std::vector<std::string> values = each("paramlist=\"", "\""),
                                 labels = each("<paramlistdisplay>", "<");
  ASSERT_EQ(values.size(), labels.size());
  std::vector<std::pair<long, long>> counts;
  for (std::size_t i = 0; i < values.size(); ++i) {
    counts.emplace_back(std::count(values[i].begin(), values[i].end(), ';') + 1,
                        std::count(labels[i].begin(), labels[i].end(), ',') + 1);
  }
  EXPECT_EQ(counts, (std::vector<std::pair<long, long>>{{26, 26}, {22, 22}, {1, 1}}));
}

}  // namespace
