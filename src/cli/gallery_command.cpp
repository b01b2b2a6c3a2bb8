// palettrix gallery: one image through every pattern (or every swatch), as a labelled contact sheet to
// choose from by eye.
#include <algorithm>
#include <iostream>
#include <memory>

#include "cli/commands.h"
#include "cli/exit_status.h"
#include "cli/gallery_sheet.h"
#include "cli/image_formats.h"
#include "cli/image_io.h"
#include "cli/look_options.h"
#include "cli/option_checks.h"
#include "cli/safe_output.h"

namespace {

struct GalleryOptions {
  std::string input;
  std::string output;
  std::string by = "pattern";
  int thumbWidth = 240;
  int columns = 6;
  LookOptions look;
  bool fullColor = false;
};

void Run(const GalleryOptions& options) {
  RequireRegularOutput(options.output);
  RunInputs inputs;
  inputs.add(options.input);
  AddLookInputs(inputs, options.look);
  inputs.refuseOutput(options.output, options.output);
  OutputFormat(options.output);
  const bool byPattern = options.by == "pattern";
  if (byPattern && !options.look.pattern.empty()) {
    throw CliError(kExitUsage,
                   "--pattern: the gallery shows every pattern; fix the swatch instead, or use --by swatch");
  }
  if (!byPattern && !options.look.swatch.empty()) {
    throw CliError(kExitUsage,
                   "--swatch: the gallery shows every swatch; fix the pattern instead, or use --by pattern");
  }
  EffectSession session;
  ApplyLook(session, options.look);
  const auto depth = DepthOption(options.look.depth);
  const LoadedImage image = ReadImage(options.input, depth ? &*depth : nullptr);
  // The effect renders the thumbnail itself, so each cell shows the pattern's texture at its true pixel size
  // (a full-size render scaled down would blur or alias it away), exactly as `palettrix render` gives it
  // for the thumbnail, and the sheet costs a thumbnail's render per cell.
  minihost::World thumb = Thumbnail(image.world, options.thumbWidth);

  const std::vector<std::string> choices = byPattern ? session.patternChoices() : session.swatchChoices();
  std::vector<std::string> labels;
  std::size_t longest = 0;
  for (std::size_t i = 0; i < choices.size(); ++i) {
    labels.push_back(std::to_string(i + 1) + " " + choices[i]);
    longest = std::max(longest, labels.back().size());
  }
  const GalleryLayout layout = LayOutGallery(thumb.width(), thumb.height(), static_cast<int>(choices.size()),
                                             options.columns, longest);
  if (layout.width > PF_MAX_WORLD_WIDTH || layout.height > PF_MAX_WORLD_HEIGHT) {
    throw CliError(kExitUsage, "--thumb-width: the sheet would be " + std::to_string(layout.width) + "x" +
                                   std::to_string(layout.height) + ", more than 30000 pixels a side");
  }
  minihost::World sheet = BlankSheet(layout, thumb.depth());
  for (std::size_t i = 0; i < choices.size(); ++i) {
    const auto choice = static_cast<A_long>(i + 1);
    if (byPattern) {
      session.setPattern(choice);
    } else {
      session.setSwatch(choice);
    }
    PlaceCell(sheet, layout, static_cast<int>(i), session.render(thumb), labels[i]);
  }
  WriteImage(options.output, sheet, image.hasAlpha,
             options.fullColor ? PngColors::Full : PngColors::IndexedWhereTheyFit);
  std::cout << "palettrix: wrote " << options.output << " (" << choices.size()
            << (byPattern ? " patterns" : " swatches") << ", " << layout.width << "x" << layout.height
            << ")\n";
}

}  // namespace

void AddGalleryCommand(CLI::App& app) {
  auto options = std::make_shared<GalleryOptions>();
  CLI::App* gallery = app.add_subcommand(
      "gallery", "Render one image through every pattern (or swatch) onto a labelled contact sheet");
  gallery->add_option("INPUT", options->input, "Image to read (PNG, TIFF, JPEG, ...)")->required();
  gallery->add_option("OUTPUT", options->output, "Contact sheet to write; the format follows the extension")
      ->required();
  gallery->add_option("--by", options->by, "What the cells vary: pattern (26 cells) or swatch (22 cells)")
      ->check(OneOf({"pattern", "swatch"}))
      ->capture_default_str();
  gallery
      ->add_option("--thumb-width", options->thumbWidth,
                   "Thumbnail width in pixels (16 to 4000); narrower images are not enlarged")
      ->check(WholeNumberIn(16, 4000))
      ->capture_default_str();
  gallery->add_option("--columns", options->columns, "Cells a row (1 to 26)")
      ->check(WholeNumberIn(1, 26))
      ->capture_default_str();
  AddLookOptions(*gallery, options->look, false);
  gallery->add_flag("--full-color", options->fullColor,
                    "PNG output in RGB(A) always; by default a PNG whose image holds at most 256 colours is "
                    "stored with a palette (indexed), every pixel the same");
  gallery->callback([options] { Run(*options); });
}
