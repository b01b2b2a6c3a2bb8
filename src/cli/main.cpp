// palettrix: applies the Palettrix effect to images through the effect's own entry point, loaded and
// driven by minihost as a host would.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <iostream>
#include <optional>
#include <vector>

#include "cli/effect_session.h"
#include "cli/exit_status.h"
#include "cli/image_io.h"
#include "cli/popup_choice.h"
#include "cli/test_card.h"

#ifndef PALETTRIX_VERSION
#define PALETTRIX_VERSION "0.0.0"
#endif

namespace {

// A slider option: the control it sets and the value given, if any.
struct SliderOption {
  const char* control;
  const char* flag;
  const char* help;
  bool fixed = false;
  double value = 0.0;
  CLI::Option* option = nullptr;
};

struct RenderOptions {
  std::string input;
  std::string output;
  std::string pattern;
  std::string swatch;
  int depth = 0;  // 0: the file's own depth
  std::vector<SliderOption> sliders = {
      {"Offset X", "--offset-x", "Pattern offset X, in pixels (-1000 to 1000; default 0)"},
      {"Offset Y", "--offset-y", "Pattern offset Y, in pixels (-1000 to 1000; default 0)"},
      {"Scale", "--scale", "Pattern scale and block size (1 to 100; default 1)", true},
      {"Threshold Red", "--threshold-red", "Red threshold adjustment, in percent (-1000 to 1000; default 0)"},
      {"Threshold Green", "--threshold-green", "Green threshold adjustment, in percent (-1000 to 1000; default 0)"},
      {"Threshold Blue", "--threshold-blue", "Blue threshold adjustment, in percent (-1000 to 1000; default 0)"},
  };
};

void AddLookOptions(CLI::App& command, RenderOptions& options) {
  command.add_option("--pattern", options.pattern,
                     "Dither pattern: a label from `palettrix list patterns` (any case, '-' or '_' for a space) "
                     "or its number")
      ->default_str("Bayer 8x8");
  command.add_option("--swatch", options.swatch, "Palette: a label from `palettrix list swatches` or its number")
      ->default_str("6-bit RGB");
  for (SliderOption& slider : options.sliders) {
    slider.option = command.add_option(slider.flag, slider.value, slider.help);
  }
  command.add_option("--depth", options.depth, "Bits per channel to render at: 8 or 16 (default: the file's own)")
      ->check(CLI::IsMember({8, 16}));
}

void ApplyLook(EffectSession& session, const RenderOptions& options) {
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

std::optional<minihost::Depth> DepthOption(int depth) {
  if (depth == 8) return minihost::Depth::Eight;
  if (depth == 16) return minihost::Depth::Sixteen;
  return std::nullopt;
}

int RunRender(const RenderOptions& options) {
  EffectSession session;
  ApplyLook(session, options);
  const auto depth = DepthOption(options.depth);
  LoadedImage image = ReadImage(options.input, depth ? &*depth : nullptr);
  const minihost::World result = session.render(image.world);
  WriteImage(options.output, result, image.hasAlpha);
  return kExitOk;
}

int RunDemo(const RenderOptions& options) {
  EffectSession session;
  ApplyLook(session, options);
  const auto depth = DepthOption(options.depth).value_or(minihost::Depth::Eight);
  minihost::World card = MakeTestCard(kTestCardWidth, kTestCardHeight, depth);
  const minihost::World result = session.render(card);
  WriteImage(options.output, result, false);
  std::cout << "palettrix: wrote " << options.output << " (the built-in test card)\n";
  return kExitOk;
}

int RunList(const std::string& what) {
  EffectSession session;
  const auto choices = what == "patterns" ? session.patternChoices() : session.swatchChoices();
  for (std::size_t i = 0; i < choices.size(); ++i) std::cout << (i + 1) << "\t" << choices[i] << "\n";
  return kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"palettrix: reduce images to a retro palette and dither them with the Palettrix effect"};
  app.set_version_flag("--version", std::string("palettrix ") + PALETTRIX_VERSION);
  app.require_subcommand(1);

  RenderOptions renderOptions;
  CLI::App* render = app.add_subcommand("render", "Apply the effect to one image");
  render->add_option("INPUT", renderOptions.input, "Image to read (PNG, TIFF, JPEG, ...)")->required();
  render->add_option("OUTPUT", renderOptions.output, "Image to write; the format follows the extension")->required();
  AddLookOptions(*render, renderOptions);

  RenderOptions demoOptions;
  demoOptions.output = "palettrix-demo.png";
  CLI::App* demo = app.add_subcommand("demo", "Render the built-in test card");
  demo->add_option("OUTPUT", demoOptions.output, "Image to write")->capture_default_str();
  AddLookOptions(*demo, demoOptions);

  std::string listWhat;
  CLI::App* list = app.add_subcommand("list", "List the patterns or the swatches the effect offers");
  list->add_option("WHAT", listWhat, "patterns or swatches")->required()->check(CLI::IsMember({"patterns", "swatches"}));

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    std::fprintf(stderr, "palettrix: %s\n", e.what());
    return kExitUsage;
  }

  try {
    if (render->parsed()) return RunRender(renderOptions);
    if (demo->parsed()) return RunDemo(demoOptions);
    return RunList(listWhat);
  } catch (const CliError& e) {
    std::fprintf(stderr, "palettrix: %s\n", e.what());
    return e.status();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "palettrix: %s\n", e.what());
    return kExitEffect;
  }
}
