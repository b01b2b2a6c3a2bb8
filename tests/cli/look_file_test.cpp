// Saved looks: the documented form, bit-exact round trips of the custom palette, refusals that name the file,
// and through the command: save, load, render the same bytes, options overriding the look.
#include "cli/look_file.h"

#include <gtest/gtest.h>

#include <bit>
#include <cfloat>
#include <cmath>
#include <set>

#include "cli/effect_session.h"
#include "cli/exit_status.h"
#include "command_runner.h"

namespace {

using palettrix_test::Image8;
using palettrix_test::ReadImage8;
using palettrix_test::Slurp;
using palettrix_test::Spit;
using palettrix_test::WriteImage8;

std::vector<uint32_t> Bits(const ColorList& colors) {
  std::vector<uint32_t> bits;
  for (const Color3& c : colors) {
    for (int i = 0; i < 3; ++i) bits.push_back(std::bit_cast<uint32_t>(c[i]));
  }
  return bits;
}

}  // namespace

TEST(LookFile, ANewInstancesLookIsWrittenInTheDocumentedForm) {
  EffectSession session;
  EXPECT_EQ(LookJson(session),
            "{\n"
            "  \"palettrix_look\": 1,\n"
            "  \"controls\": {\n"
            "    \"Pattern\": \"Bayer 8x8\",\n"
            "    \"Offset X\": 0.0,\n"
            "    \"Offset Y\": 0.0,\n"
            "    \"Scale\": 1.0,\n"
            "    \"Threshold Red\": 0.0,\n"
            "    \"Threshold Green\": 0.0,\n"
            "    \"Threshold Blue\": 0.0,\n"
            "    \"Swatch\": \"6-bit RGB\"\n"
            "  },\n"
            "  \"custom_palette\": [\n"
            "    \"#000000\"\n"
            "  ]\n"
            "}\n");
}

TEST(LookFile, ControlsAndCustomPaletteRoundTripBitForBit) {
  const ColorList palette = {
      Color3(1.0f, 0.5f, 0.0f),
      Color3(255.0f / 255.0f, 128.0f / 255.0f, 1.0f / 255.0f),
      Color3(0.1f, 1.0f / 3.0f, std::nextafter(0.5f, 1.0f)),
      Color3(-0.0f, 1e-40f, 1.5f),  // a negative zero, a subnormal and a value past full scale
      Color3(FLT_MAX, -2.0f, std::nextafter(128.0f / 255.0f, 0.0f)),
  };
  EffectSession original;
  original.setPattern(2);
  original.setFloatSlider("Offset X", "test", 12.5);
  original.setFloatSlider("Threshold Red", "test", 45.67);
  original.setFixedSlider("Scale", "test", 2.5);
  original.setSwatch(1);
  original.setCustomPalette(palette);

  // The flat sequence data is 12 bytes a colour, little-endian floats: 1.0f is 00 00 80 3F, 0.5f 00 00 00 3F.
  const std::vector<uint8_t> flat = original.savedState().sequenceData;
  ASSERT_EQ(flat.size(), 60u);
  EXPECT_EQ(std::vector<uint8_t>(flat.begin(), flat.begin() + 12),
            (std::vector<uint8_t>{0x00, 0x00, 0x80, 0x3F, 0x00, 0x00, 0x00, 0x3F, 0x00, 0x00, 0x00, 0x00}));

  const std::string text = LookJson(original);
  EXPECT_NE(text.find("\"Pattern\": \"Floyd Steinberg\""), std::string::npos) << text;
  EXPECT_NE(text.find("\"Offset X\": 12.5,"), std::string::npos) << text;
  EXPECT_NE(text.find("\"Scale\": 2.5,"), std::string::npos) << text;
  EXPECT_NE(text.find("\"Threshold Red\": 45.67,"), std::string::npos) << text;
  EXPECT_NE(text.find("\"Swatch\": \"Custom\""), std::string::npos) << text;
  // Exact 8-bit colours as hex, the others as numbers.
  EXPECT_NE(text.find("    [1.0, 0.5, 0.0],\n    \"#FF8001\",\n"), std::string::npos) << text;
  EXPECT_NE(text.find("[-0.0, "), std::string::npos) << text;

  EffectSession copy;
  ApplyLookJson(copy, text, "look.json");
  EXPECT_EQ(Bits(copy.customPalette()), Bits(palette));
  EXPECT_EQ(copy.save(), original.save());
}

TEST(LookFile, LooksNameOnlyTheControlsTheyChange) {
  EffectSession session;
  ApplyLookJson(session,
                R"({"palettrix_look": 1, "controls": {"Swatch": "pico-8", "Pattern": 3, "Offset Y": -7},
                    "custom_palette": ["#102030", [0.25, 0.5, 1]]})",
                "look.json");
  const minihost::ParamSet& params = session.params();
  EXPECT_EQ(params[13].u.pd.value, 8);  // "PICO-8"
  EXPECT_EQ(params[2].u.pd.value, 3);
  EXPECT_EQ(params[5].u.fs_d.value, -7.0);
  EXPECT_EQ(params[4].u.fs_d.value, 0.0);
  EXPECT_EQ(params[6].u.fd.value, 65536);
  EXPECT_EQ(Bits(session.customPalette()),
            Bits({Color3(16.0f / 255.0f, 32.0f / 255.0f, 48.0f / 255.0f), Color3(0.25f, 0.5f, 1.0f)}));
}

TEST(LookFile, BadLooksAreRefusedNamingTheFile) {
  const struct {
    std::string text;
    std::string reason;
  } cases[] = {
      {"{", "not valid JSON (parse error at line 1, column 2"},
      {"", "not valid JSON"},
      {"[]", "not a look file (expected a JSON object)"},
      {R"({"controls": {}})", "not a look file (no \"palettrix_look\" version)"},
      {R"({"palettrix_look": 2})", "look version 2 is not supported (this palettrix reads version 1)"},
      {R"({"palettrix_look": "1"})", "look version \"1\" is not supported"},
      {R"({"palettrix_look": 1, "colours": []})", "unknown key \"colours\""},
      {R"({"palettrix_look": 1, "controls": []})", "\"controls\" must be an object"},
      {R"({"palettrix_look": 1, "controls": {"Sparkle": 1}})", "unknown control \"Sparkle\""},
      {R"({"palettrix_look": 1, "controls": {"Properties": 1}})", "unknown control \"Properties\""},
      {R"({"palettrix_look": 1, "controls": {"Scale": 0.5}})", "\"Scale\": 0.5 is outside 1 to 100"},
      {R"({"palettrix_look": 1, "controls": {"Offset X": 1000.5}})",
       "\"Offset X\": 1000.5 is outside -1000 to 1000"},
      {R"({"palettrix_look": 1, "controls": {"Offset X": "left"}})", "\"Offset X\": expected a number"},
      {R"({"palettrix_look": 1, "controls": {"Pattern": "Sparkle"}})",
       "\"Pattern\": unknown choice \"Sparkle\""},
      {R"({"palettrix_look": 1, "controls": {"Pattern": 27}})", "\"Pattern\": 27 is outside 1 to 26"},
      {R"({"palettrix_look": 1, "controls": {"Swatch": 2.5}})", "\"Swatch\": 2.5 is not a whole number"},
      {R"({"palettrix_look": 1, "controls": {"Swatch": true}})", "\"Swatch\": expected a label or a number"},
      {R"({"palettrix_look": 1, "custom_palette": []})", "\"custom_palette\" holds no colour"},
      {R"({"palettrix_look": 1, "custom_palette": "#000000"})", "\"custom_palette\" must be an array"},
      {R"({"palettrix_look": 1, "custom_palette": ["#000000", "#12345"]})",
       "custom_palette entry 2: \"#12345\" is not a colour \"#RRGGBB\""},
      {R"({"palettrix_look": 1, "custom_palette": [[0, 1]]})",
       "custom_palette entry 1: expected \"#RRGGBB\" or [red, green, blue]"},
      {R"({"palettrix_look": 1, "custom_palette": [[0, 1, "1"]]})",
       "custom_palette entry 1: \"1\" is not a number"},
      {R"({"palettrix_look": 1, "custom_palette": [[0, 1, 1e39]]})", "is beyond what a float holds"},
  };
  for (const auto& c : cases) {
    EffectSession session;
    try {
      ApplyLookJson(session, c.text, "bad.json");
      ADD_FAILURE() << c.text;
    } catch (const CliError& e) {
      const std::string message = e.what();
      EXPECT_EQ(e.status(), kExitInput) << c.text;
      EXPECT_EQ(message.rfind("bad.json: ", 0), 0u) << message;
      EXPECT_NE(message.find(c.reason), std::string::npos) << message;
      EXPECT_EQ(message.find('\n'), std::string::npos) << message;
    }
  }
}

class LookCommand : public palettrix_test::CommandTest {
 protected:
  void SetUp() override {
    CommandTest::SetUp();
    // An 8 x 4 ramp of colours: enough for the patterns and swatches to differ.
    Image8 image{8, 4, 3, {}};
    for (int y = 0; y < 4; ++y) {
      for (int x = 0; x < 8; ++x) {
        image.pixels.insert(image.pixels.end(), {static_cast<uint8_t>(x * 32), static_cast<uint8_t>(y * 80),
                                                 static_cast<uint8_t>(200 - x * 20)});
      }
    }
    WriteImage8(Path("in.png"), image);
    Spit(Path("bw.gpl"), "GIMP Palette\n0 0 0 Black\n255 255 255 White\n255 0 0 Red\n");
  }

  // Renders in.png with `options` into `output` and gives its pixels.
  Image8 Render(const std::string& output, const std::string& options) {
    const palettrix_test::Result r = Run("render " + P("in.png") + " " + P(output) + " " + options);
    EXPECT_EQ(r.status, 0) << options << "\n" << r.err;
    return ReadImage8(Path(output));
  }
};

TEST_F(LookCommand, ASavedLookRendersTheSameBytesAndLaterOptionsOverrideIt) {
  const std::string sliders = " --scale 2 --threshold-red 12.5";
  const std::string options = "--palette " + P("bw.gpl") + " --pattern floyd-steinberg" + sliders;
  const Image8 original = Render("a.png", options + " --save-look " + P("look.json"));
  // The palette is in use: only black, white and red come out.
  std::set<uint32_t> colours;
  for (std::size_t i = 0; i < original.pixels.size(); i += 3) {
    colours.insert(uint32_t{original.pixels[i]} << 16 | uint32_t{original.pixels[i + 1]} << 8 |
                   original.pixels[i + 2]);
  }
  for (uint32_t colour : colours) {
    EXPECT_TRUE(colour == 0x000000 || colour == 0xFFFFFF || colour == 0xFF0000) << std::hex << colour;
  }
  EXPECT_GT(colours.size(), 1u);
  const std::string look = Slurp(Path("look.json"));
  EXPECT_NE(look.find("\"Swatch\": \"Custom\""), std::string::npos) << look;
  EXPECT_NE(look.find("\"#000000\",\n    \"#FFFFFF\",\n    \"#FF0000\"\n"), std::string::npos) << look;

  EXPECT_EQ(Render("b.png", "--look " + P("look.json")).pixels, original.pixels);

  // Overrides, wherever they stand: the look first, then every other option given.
  const Image8 threshold = Render("c.png", "--palette " + P("bw.gpl") + " --pattern threshold" + sliders);
  EXPECT_NE(threshold.pixels, original.pixels);
  EXPECT_EQ(Render("d.png", "--pattern threshold --look " + P("look.json")).pixels, threshold.pixels);
  EXPECT_EQ(Render("g.png", "--look " + P("look.json") + " --swatch pico-8").pixels,
            Render("h.png", "--swatch pico-8 --pattern floyd-steinberg" + sliders).pixels);
  Spit(Path("red.hex"), "ff0000\n");
  EXPECT_EQ(Render("e.png", "--look " + P("look.json") + " --palette " + P("red.hex")).pixels,
            Render("f.png", "--palette " + P("red.hex") + " --pattern floyd-steinberg" + sliders).pixels);
}

TEST_F(LookCommand, BadLooksAndPalettesLeaveNoOutput) {
  Spit(Path("bad.json"), R"({"palettrix_look": 1, "controls": {"Scale": 101}})");
  Spit(Path("bad.gpl"), "GIMP Palette\n0 0 0\n1 2\n");
  const struct {
    std::string args;
    int status;
    std::string message;
  } cases[] = {
      {"--look " + P("bad.json"), 3, P("bad.json") + ": \"Scale\": 101 is outside 1 to 100"},
      {"--look " + P("none.json"), 3, P("none.json") + ": no such file"},
      {"--palette " + P("bad.gpl"), 3, P("bad.gpl") + ":3: expected three values"},
      {"--palette " + P("none.hex"), 3, P("none.hex") + ": no such file"},
      {"--save-look " + P("no/such/look.json"), 4,
       P("no/such/look.json") + ": cannot write (no folder " + P("no/such") + ")"},
  };
  for (const auto& c : cases) {
    const palettrix_test::Result r = Run("render " + P("in.png") + " " + P("out.png") + " " + c.args);
    EXPECT_EQ(r.status, c.status) << c.args << "\n" << r.err;
    EXPECT_EQ(r.err.rfind("palettrix: " + c.message, 0), 0u) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
  }
  EXPECT_EQ(Files(), (std::vector<std::string>{"bad.gpl", "bad.json", "bw.gpl", "in.png"}));
}
