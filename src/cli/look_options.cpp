#include "cli/look_options.h"

#include "cli/image_sequence.h"
#include "cli/look_file.h"
#include "cli/popup_choice.h"
#include "cli/safe_output.h"
#include "cli/terminal.h"
#include "palettefiles/palette_file.h"

void AddLookOptions(CLI::App& command, LookOptions& options, bool withSaveLook) {
  command.add_option("--look", options.look,
                     "Start from a look saved with --save-look; the other options given override it");
  command.add_option("--palette", options.palette,
                     "Load the custom palette from a palette file (.ase .gpl .pal .hex .act .png) and make "
                     "\"Custom\" the swatch");
  if (withSaveLook) {
    command.add_option(
        "--save-look", options.saveLook,
        "Write the look (controls and custom palette) to a JSON file, to reuse with --look, once "
        "the run has succeeded (never over a file the run reads)");
  }
  command
      .add_option("--pattern", options.pattern,
                  "Dither pattern: a label from `palettrix list patterns` (any case, '-' or '_' for a space) "
                  "or its number")
      ->default_str("Bayer 8x8");
  command
      .add_option("--swatch", options.swatch, "Palette: a label from `palettrix list swatches` or its number")
      ->default_str("6-bit RGB");
  for (SliderOption& slider : options.sliders) {
    slider.option = command.add_option(slider.flag, slider.value, slider.help);
  }
  command
      .add_option("--depth", options.depth,
                  "Bits per channel to render at: 8 or 16 (default: the file's own)")
      ->check(CLI::Validator(
          [](std::string& value) {
            return value == "8" || value == "16" ? std::string() : "\"" + value + "\" is not 8 or 16";
          },
          "8|16", "8 or 16"));
}

void ApplyLook(EffectSession& session, const LookOptions& options) {
  if (!options.look.empty()) LoadLookFile(session, options.look);
  if (!options.palette.empty()) {
    ColorList colors;
    {
      const QuietLibraries quiet;
      colors = ReadPaletteFile(options.palette);
    }
    session.setCustomPalette(colors);
    session.setSwatch(ParsePopupChoice("--palette", "Custom", session.swatchChoices()));
  }
  if (!options.pattern.empty()) {
    session.setPattern(ParsePopupChoice("--pattern", options.pattern, session.patternChoices()));
  }
  if (!options.swatch.empty()) {
    session.setSwatch(ParsePopupChoice("--swatch", options.swatch, session.swatchChoices()));
  }
  for (const SliderOption& slider : options.sliders) {
    if (slider.option->count() == 0) continue;
    if (slider.fixed) {
      session.setFixedSlider(slider.control, slider.flag, slider.value);
    } else {
      session.setFloatSlider(slider.control, slider.flag, slider.value);
    }
  }
}

void AddLookInputs(RunInputs& inputs, const LookOptions& options) {
  if (!options.look.empty()) inputs.add(options.look);
  if (!options.palette.empty()) inputs.add(options.palette);
}

void CheckSaveLook(const RunInputs& inputs, const LookOptions& options) {
  if (options.saveLook.empty()) return;
  RequireRegularOutput(options.saveLook);
  RequireOutputFolder(options.saveLook);
  inputs.refuseOutput("--save-look", options.saveLook);
}

void SaveLookIfAsked(EffectSession& session, const LookOptions& options) {
  if (!options.saveLook.empty()) SaveLookFile(session, options.saveLook);
}

std::optional<minihost::Depth> DepthOption(int depth) {
  if (depth == 8) return minihost::Depth::Eight;
  if (depth == 16) return minihost::Depth::Sixteen;
  return std::nullopt;
}
