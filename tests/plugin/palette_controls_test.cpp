// The palette controls as a user meets them: reset, the colour count, what is shown and greyed out, and
// "Load Palette" with a stand-in dialog.
#include <gtest/gtest.h>
#include <unistd.h>

#include <bit>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "minihost/render_copy.h"
#include "minihost/saved_state.h"
#include "plugin/param_indices.h"
#include "support/custom_palette_fixture.h"

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<uint8_t>;

std::vector<std::array<float, 3>> Greys(int count) {
  std::vector<std::array<float, 3>> colors;
  for (int i = 0; i < count; ++i) {
    const float v = static_cast<float>(i) / 256.0f;
    colors.push_back({v, v, v});
  }
  return colors;
}

// The flat part of a saved state: everything after the length that ends it.
Bytes FlatPart(const Bytes& saved) { return minihost::DecodeSavedState(saved).sequenceData; }

class PaletteControls : public CustomPaletteTest {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("palettrix-palette-controls-" + std::to_string(getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    savedPath_ = std::getenv("PATH") != nullptr ? std::getenv("PATH") : "";
    setenv("PATH", (dir_.string() + ":" + savedPath_).c_str(), 1);
  }
  void TearDown() override {
    setenv("PATH", savedPath_.c_str(), 1);
    fs::remove_all(dir_);
  }

  PF_OutData Changed(minihost::Instance& instance, PF_ParamIndex index) {
    PF_OutData out{};
    EXPECT_EQ(instance.changed(index, &out), PF_Err_NONE);
    return out;
  }

  // A stand-in dialog that answers with `path`, or cancels when it is empty.
  void Dialog(const std::string& path) {
    std::ofstream script(dir_ / "zenity");
    script << "#!/bin/sh\n" << (path.empty() ? "exit 1\n" : "printf '%s\\n' '" + path + "'\n");
    script.close();
    fs::permissions(dir_ / "zenity", fs::perms::owner_all);
  }

  fs::path dir_;
  std::string savedPath_;
};

}  // namespace

TEST_F(PaletteControls, ResetLeavesOneBlackColourLabelsTheRowAndRerenders) {
  minihost::Instance instance = WithPalette(Greys(40));
  PF_OutData out{};
  ASSERT_EQ(instance.pressButton(kParamResetPalette, &out), PF_Err_NONE);
  EXPECT_TRUE(out.out_flags & PF_OutFlag_FORCE_RERENDER);
  ASSERT_EQ(instance.params().uiUpdates.size(), 1u);
  EXPECT_EQ(instance.params().uiUpdates[0].index, kParamResetPalette);
  EXPECT_STREQ(instance.params()[kParamResetPalette].name, "1 color");
  EXPECT_EQ(FlatPart(instance.save()), Bytes(12, 0));
}

TEST_F(PaletteControls, TheRowCountsTheColoursWithAnSOnlyAboveOne) {
  const struct {
    int count;
    const char* label;
  } cases[] = {{0, "0 color"}, {1, "1 color"}, {2, "2 colors"}, {256, "256 colors"}};
  for (const auto& c : cases) {
    minihost::Instance instance = WithPalette(Greys(c.count));
    ASSERT_EQ(instance.refreshUI(), PF_Err_NONE);
    EXPECT_STREQ(instance.params()[kParamResetPalette].name, c.label);
    const auto& updates = instance.params().uiUpdates;
    // The row twice (its label, then the swatch rule), then the six pattern properties in this order.
    std::vector<PF_ParamIndex> order;
    for (const auto& update : updates) order.push_back(update.index);
    EXPECT_EQ(order, (std::vector<PF_ParamIndex>{15, 15, 6, 4, 5, 7, 8, 9}));
    EXPECT_STREQ(updates[0].def.name, c.label);
    EXPECT_STREQ(updates[1].def.name, c.label) << "the swatch rule keeps the label";
  }
}

TEST_F(PaletteControls, TheRowShowsOnlyForCustomAndThePropertiesOnlyForOrderedPatterns) {
  minihost::Instance& instance = loaded_.instance;
  const PF_ParamUIFlags hidden = PF_PUI_DISABLED | PF_PUI_INVISIBLE;
  for (A_long swatch : {1, 2, 22, 1}) {
    instance.params().setPopup(kParamSwatch, swatch);
    Changed(instance, kParamSwatch);
    EXPECT_EQ(instance.params()[kParamResetPalette].ui_flags & hidden, swatch == 1 ? 0 : hidden) << swatch;
    EXPECT_STREQ(instance.params()[kParamResetPalette].name, "1 color");
  }
  // "Atkinson" (12) is the last pattern that ignores them, "Bayer 2x2" (13) the first that uses them.
  for (A_long pattern : {1, 2, 12, 13, 17, 26, 11}) {
    instance.params().setPopup(kParamPattern, pattern);
    instance.params().uiUpdates.clear();
    Changed(instance, kParamPattern);
    EXPECT_EQ(instance.params().uiUpdates.size(), 6u + 8u) << "the rule, then the panel's refresh";
    for (PF_ParamIndex index : {kParamScale, kParamOffsetX, kParamOffsetY, kParamThresholdRed,
                                kParamThresholdGreen, kParamThresholdBlue}) {
      EXPECT_EQ(instance.params()[index].ui_flags & PF_PUI_DISABLED, pattern <= 12 ? PF_PUI_DISABLED : 0)
          << pattern << " " << index;
    }
  }
  // The user's value is never touched, and an unsupervised control gets no change message.
  instance.params().setFloat(kParamOffsetX, 12.5);
  instance.params().uiUpdates.clear();
  const PF_OutData out = Changed(instance, kParamOffsetX);
  EXPECT_EQ(instance.params().uiUpdates.size(), 8u);
  EXPECT_EQ(instance.params()[kParamOffsetX].u.fs_d.value, 12.5);
  EXPECT_EQ(out.out_flags, 0);
}

TEST_F(PaletteControls, LoadPaletteReplacesTheColoursInFileOrder) {
  // A swatch file of five RGB colours (written here byte by byte, big-endian).
  const std::vector<std::array<float, 3>> five = {{1.0f, 0.0f, 0.0f},
                                                  {0.0f, 0.5f, 0.0f},
                                                  {0.25f, 0.25f, 1.0f},
                                                  {0.75f, 0.125f, 0.0f},
                                                  {0.0f, 0.0f, 0.0625f}};
  Bytes ase = {'A', 'S', 'E', 'F', 0, 1, 0, 0, 0, 0, 0, 5};
  for (const auto& color : five) {
    const Bytes block = {0, 1, 0, 0, 0, 22, 0, 1, 0, 0, 'R', 'G', 'B', ' '};
    ase.insert(ase.end(), block.begin(), block.end());
    for (float channel : color) {
      const uint32_t bits = std::bit_cast<uint32_t>(channel);
      for (int i = 3; i >= 0; --i) ase.push_back(static_cast<uint8_t>(bits >> (8 * i)));
    }
    ase.push_back(0);
    ase.push_back(2);
  }
  const fs::path file = dir_ / "five.ase";
  std::ofstream(file, std::ios::binary)
      .write(reinterpret_cast<const char*>(ase.data()), static_cast<std::streamsize>(ase.size()));

  minihost::Instance instance = WithPalette(Greys(40));
  instance.params().setPopup(kParamSwatch, "Custom");
  instance.params().setPopup(kParamPattern, "Threshold");
  // Render copies made before the load hold the old palette; the re-render the load asks for replaces
  // them. Pure red is the first of the five colours, and far from every grey of the old palette.
  minihost::RenderCopies copies(instance);
  const std::shared_ptr<minihost::RenderCopy> before = copies.current();
  minihost::World red(1, 1, minihost::Depth::Eight), result(1, 1, minihost::Depth::Eight);
  red.pixel8(0, 0) = PF_Pixel8{255, 255, 0, 0};
  Dialog(file.string());
  PF_OutData out{};
  ASSERT_EQ(instance.optionsButton(&out), PF_Err_NONE);
  EXPECT_EQ(FlatPart(instance.save()), Flat(five));
  EXPECT_TRUE(out.out_flags & PF_OutFlag_FORCE_RERENDER);

  ASSERT_EQ(before->render(red, result), PF_Err_NONE);
  EXPECT_NE(result.pixel8(0, 0).red, 255);
  EXPECT_TRUE(copies.refreshIfForced(out));
  EXPECT_NE(copies.current(), before);
  ASSERT_EQ(copies.current()->render(red, result), PF_Err_NONE);
  EXPECT_EQ(result.pixel8(0, 0).red, 255);
  EXPECT_EQ(result.pixel8(0, 0).green, 0);
  EXPECT_TRUE(loaded_.host.problems().empty());
}

TEST_F(PaletteControls, ACancelOrAFileWithoutColoursChangesNothing) {
  const fs::path empty = dir_ / "empty.ase";
  std::ofstream(empty, std::ios::binary) << std::string("ASEF\0\1\0\0\0\0\0\0", 12);
  const fs::path notSwatches = dir_ / "notes.ase";
  std::ofstream(notSwatches) << "not a swatch file";
  minihost::Instance instance = WithPalette(Greys(3));
  for (const std::string& answer :
       {std::string(), empty.string(), notSwatches.string(), (dir_ / "missing.ase").string()}) {
    Dialog(answer);
    PF_OutData out{};
    ASSERT_EQ(instance.optionsButton(&out), PF_Err_NONE);
    EXPECT_EQ(FlatPart(instance.save()), Flat(Greys(3))) << answer;
    EXPECT_FALSE(out.out_flags & PF_OutFlag_FORCE_RERENDER) << answer;
  }
}

TEST_F(PaletteControls, ARealSwatchFileRendersWithExactlyItsColours) {
  Dialog(fs::path(PALETTRIX_ASE_DATA / fs::path("cpc--Raspberry.ase")).string());
  minihost::Instance& instance = loaded_.instance;
  ASSERT_EQ(instance.optionsButton(), PF_Err_NONE);
  instance.params().setPopup(kParamSwatch, "Custom");
  instance.params().setPopup(kParamPattern, "Threshold");

  // The file's five colours as 8-bit values, and colours near each of them.
  const std::array<std::array<A_u_char, 3>, 5> colours = {
      {{115, 5, 23}, {244, 69, 96}, {68, 209, 223}, {50, 164, 167}, {30, 112, 105}}};
  minihost::World input(5, 2, minihost::Depth::Eight);
  minihost::World output(5, 2, minihost::Depth::Eight);
  for (A_long x = 0; x < 5; ++x) {
    const auto& c = colours[static_cast<std::size_t>(x)];
    input.pixel8(x, 0) = {255, c[0], c[1], c[2]};
    input.pixel8(x, 1) = {255, static_cast<A_u_char>(c[0] + 3), static_cast<A_u_char>(c[1] + 2), c[2]};
  }
  ASSERT_EQ(instance.render(input, output), PF_Err_NONE);
  for (A_long y = 0; y < 2; ++y) {
    for (A_long x = 0; x < 5; ++x) {
      const auto& c = colours[static_cast<std::size_t>(x)];
      const PF_Pixel8& px = output.pixel8(x, y);
      EXPECT_EQ((std::array<A_u_char, 3>{px.red, px.green, px.blue}), c) << x << "," << y;
    }
  }

  // The panel shows five colours; reset, and it says one.
  ASSERT_EQ(instance.refreshUI(), PF_Err_NONE);
  EXPECT_STREQ(instance.params()[kParamResetPalette].name, "5 colors");
  EXPECT_EQ(instance.params()[kParamResetPalette].ui_flags, 0);
  ASSERT_EQ(instance.pressButton(kParamResetPalette), PF_Err_NONE);
  EXPECT_STREQ(instance.params()[kParamResetPalette].name, "1 color");
  EXPECT_EQ(FlatPart(instance.save()), Bytes(12, 0));
}
