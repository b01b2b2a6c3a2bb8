// Messages for command lines, names and files the command refuses or must accept: each names the option or
// file and says what is wrong in the command's own words.
#include <gtest/gtest.h>

#include <cstdio>

#include "command_runner.h"

namespace {

namespace fs = std::filesystem;
using palettrix_test::CommandTest;
using palettrix_test::Image8;

class Messages : public CommandTest {
 protected:
  void SmallImage(const std::string& name) const {
    palettrix_test::WriteImage8(Path(name), Image8{2, 2, 3, std::vector<uint8_t>(12, 200)});
  }
  palettrix_test::Result Args(const std::vector<std::string>& args) const {
    const palettrix_test::Spawned s = palettrix_test::Spawn(args, dir_);
    return {s.status, s.out, s.err};
  }
};

TEST_F(Messages, CommandLineMistakesAreExplained) {
  SmallImage("in.png");
  const struct {
    std::vector<std::string> args;
    std::string err;
  } cases[] = {
      {{}, "no command given: say render, demo, list, gallery or palette (palettrix --help)"},
      {{"render", P("in.png"), P("o.png"), "--jobs", "0"},
       "--jobs: \"0\" is not a whole number from 1 to 1024"},
      {{"render", P("in.png"), P("o.png"), "--jobs", ""},
       "--jobs: \"\" is not a whole number from 1 to 1024"},
      {{"render", P("in.png"), P("o.png"), "--jobs", "1025"},
       "--jobs: \"1025\" is not a whole number from 1 to 1024"},
      {{"render", P("in.png"), P("o.png"), "--jobs", "2", "--jobs", "3"},
       "render: --jobs: given more than once; give it once"},
      {{"render", "-in.png", P("o.png")},
       "render: \"-in.png\" is not an option; a file name that starts with \"-\" needs \"--\" before it "
       "(palettrix render -- -in.png ...)"},
      {{"render", P("in.png")}, "render: OUTPUT is missing (palettrix render --help)"},
      {{"render", P("in.png"), P("o.png"), "--scale", "big"}, "--scale: \"big\" is not a number"},
      {{"list", "colours"}, "list: \"colours\" is not patterns or swatches"},
      {{"gallery", P("in.png"), P("o.png"), "--columns", "27"},
       "--columns: \"27\" is not a whole number from 1 to 26"},
  };
  for (const auto& c : cases) {
    const auto r = Args(c.args);
    EXPECT_EQ(r.status, 2) << c.err;
    EXPECT_EQ(r.err, "palettrix: " + c.err + "\n");
  }
  // With "--" before it, a name that starts with "-" is a file like any other.
  fs::copy_file(Path("in.png"), Path("-in.png"));
  const fs::path here = fs::current_path();
  fs::current_path(dir_);
  const auto r = Args({"render", "--", "-in.png", "-out.png"});
  fs::current_path(here);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(fs::exists(Path("-out.png")));
}

// "#" in a name makes a numbered sequence only where the input is one.
TEST_F(Messages, AHashInAnImageNameIsPartOfTheName) {
  SmallImage("in.png");
  auto r = Run("render " + P("in.png") + " \"" + P("Shot #3.png") + "\"");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(palettrix_test::ReadImage8(Path("Shot #3.png")).width, 2);
  r = Run("render \"" + P("Shot #3.png") + "\" \"" + P("Take #4.png") + "\"");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(fs::exists(Path("Take #4.png")));
}

TEST_F(Messages, AMissingInputOfAnyKindIsNoSuchFile) {
  SmallImage("in.png");
  const std::string out = P("o.png");
  const struct {
    std::vector<std::string> args;
    std::string missing;
  } cases[] = {
      {{"render", P("gone.png"), out}, P("gone.png")},
      {{"render", P("gone.####.png"), P("o.####.png")}, P("gone.####.png")},
      {{"render", P("gone.mkv"), P("o.mkv")}, P("gone.mkv")},
      {{"render", P("in.png"), out, "--palette", P("gone.gpl")}, P("gone.gpl")},
      {{"render", P("in.png"), out, "--look", P("gone.json")}, P("gone.json")},
      {{"palette", P("gone.hex")}, P("gone.hex")},
  };
  for (const auto& c : cases) {
    const auto r = Args(c.args);
    EXPECT_EQ(r.status, 3) << c.missing;
    EXPECT_TRUE(r.err.starts_with("palettrix: " + c.missing + ": no such file")) << r.err;
  }
  EXPECT_FALSE(fs::exists(Path("o.png")));
}

TEST_F(Messages, ALookThatGivesAKeyTwiceIsRefused) {
  SmallImage("in.png");
  palettrix_test::Spit(Path("twice.json"),
                       R"({"palettrix_look": 1, "controls": {"Scale": 2, "Offset X": 1, "Scale": 3}})");
  auto r = Run("render " + P("in.png") + " " + P("o.png") + " --look " + P("twice.json"));
  EXPECT_EQ(r.status, 3);
  EXPECT_EQ(r.err, "palettrix: " + P("twice.json") +
                       ": key \"Scale\" is given twice in \"controls\"; a look gives each key once\n");
  palettrix_test::Spit(
      Path("palettes.json"),
      R"({"palettrix_look": 1, "custom_palette": ["#000000"], "custom_palette": ["#FFFFFF"]})");
  r = Run("render " + P("in.png") + " " + P("o.png") + " --look " + P("palettes.json"));
  EXPECT_EQ(r.status, 3);
  EXPECT_EQ(r.err, "palettrix: " + P("palettes.json") +
                       ": key \"custom_palette\" is given twice; a look gives each key once\n");
  // The same key in different objects is no repetition.
  palettrix_test::Spit(Path("fine.json"), R"({"palettrix_look": 1, "controls": {"Scale": 2}})");
  EXPECT_EQ(Run("render " + P("in.png") + " " + P("o.png") + " --look " + P("fine.json")).status, 0);
}

// A strip takes every palette a reader gives (65,536 colours at most): 16 squares of 32 pixels a row while
// the strip stays within 30000 pixels (14,992 colours, 937 rows), 256 squares of 8 pixels a row beyond.
TEST_F(Messages, AStripTakesAnyPaletteTheReadersGive) {
  const auto hexFile = [&](const std::string& name, int count) {
    std::string text;
    for (int i = 0; i < count; ++i) {
      // 2654435761 is odd, so i -> i * 2654435761 mod 2^24 gives distinct colours.
      char line[8];
      std::snprintf(line, sizeof line, "%06X\n", static_cast<unsigned>((i * 2654435761u) & 0xFFFFFFu));
      text += line;
    }
    palettrix_test::Spit(Path(name), text);
    return text;
  };
  const struct {
    int colors, width, height;
  } cases[] = {{14992, 512, 29984}, {14993, 2048, 472}, {65536, 2048, 2048}};
  for (const auto& c : cases) {
    const std::string name = std::to_string(c.colors);
    const std::string hex = hexFile(name + ".hex", c.colors);
    const auto r = Run("palette " + P(name + ".hex") + " --strip " + P(name + ".png"));
    ASSERT_EQ(r.status, 0) << r.err;
    const Image8 strip = palettrix_test::ReadImage8(Path(name + ".png"));
    EXPECT_EQ(strip.width, c.width);
    EXPECT_EQ(strip.height, c.height);
    // Read back as a palette, the strip gives the colours in order.
    const auto back = Run("palette " + P(name + ".png"));
    ASSERT_EQ(back.status, 0) << back.err;
    std::string listed;
    std::size_t start = 0;
    while (start < back.out.size()) {
      const std::size_t end = back.out.find('\n', start);
      listed += back.out.substr(back.out.find('#', start) + 1, 6) + "\n";
      start = end + 1;
    }
    EXPECT_EQ(listed, hex) << name;
  }
}

}  // namespace
