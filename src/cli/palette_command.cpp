// palettrix palette: what a palette file holds, as text and, on request, as a strip of colour squares; or,
// with --from, a palette made from footage, written to the file.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <memory>

#include "cli/commands.h"
#include "cli/exit_status.h"
#include "cli/footage_palette.h"
#include "cli/image_formats.h"
#include "cli/image_io.h"
#include "cli/input_media.h"
#include "cli/option_checks.h"
#include "cli/palette_output.h"
#include "cli/run_inputs.h"
#include "cli/safe_output.h"
#include "cli/terminal.h"
#include "palettefiles/palette_file.h"

namespace {

struct PaletteOptions {
  std::string file;
  std::string strip;
  bool line = false;
  std::string from;
  std::size_t colors = 0;
  std::string frames;
  bool quiet = false;
  unsigned long long maxPixels = kDefaultPixelBudget;
  CLI::Option* colorsOption = nullptr;
  CLI::Option* maxPixelsOption = nullptr;
  CLI::Option* framesOption = nullptr;
  CLI::Option* quietOption = nullptr;
};

// The shortest digits that read back as exactly `value`.
std::string Shortest(float value) {
  char text[32];
  const auto result = std::to_chars(text, text + sizeof text, value);
  return std::string(text, result.ptr);
}

// --from INPUT --colors N [--frames A-B] OUT: everything that can be refused is refused before the
// footage is read, and OUT is written only once the palette is made.
void MakeFromFootage(const PaletteOptions& options) {
  if (options.colorsOption->count() == 0) {
    throw CliError(kExitUsage, "--from: give the number of colours to make with --colors N (2 to 256)");
  }
  if (!options.strip.empty()) throw CliError(kExitUsage, "--strip: lists a palette file; not with --from");
  if (options.line) throw CliError(kExitUsage, "--line: lists a palette file; not with --from");
  CheckPaletteOutput(options.file);
  SetPixelBudget(options.maxPixels);
  RunInputs inputs;
  const Media media = ClassifyInput(options.from);
  if (media.kind == MediaKind::Sequence) {
    for (const long number : media.pattern->framesOnDisk()) inputs.add(media.pattern->frame(number));
  } else {
    inputs.add(options.from);
  }
  inputs.refuseOutput(options.file, options.file);
  const ColorList colors =
      PaletteFromFootage(options.from, options.colors, FootageOptions{options.frames, !options.quiet});
  WritePaletteFile(options.file, colors);
}

void Run(const PaletteOptions& options) {
  if (!options.from.empty()) {
    MakeFromFootage(options);
    return;
  }
  for (const CLI::Option* option :
       {options.colorsOption, options.framesOption, options.quietOption, options.maxPixelsOption}) {
    if (option->count() != 0) throw CliError(kExitUsage, option->get_name() + ": only with --from");
  }
  if (!options.strip.empty()) {
    RequireRegularOutput(options.strip);
    RunInputs inputs;
    inputs.add(options.file);
    inputs.refuseOutput("--strip", options.strip);
    OutputFormat(options.strip);
  }
  ColorList colors;
  {
    const QuietLibraries quiet;
    colors = ReadPaletteFile(options.file);
  }
  if (!options.strip.empty()) WriteStrip(options.strip, colors);
  std::string text;
  for (std::size_t i = 0; i < colors.size(); ++i) {
    const Color3& c = colors[i];
    char hex[8];
    std::snprintf(hex, sizeof hex, "#%02X%02X%02X", NearestEightBit(c.r), NearestEightBit(c.g),
                  NearestEightBit(c.b));
    if (options.line) {
      text += (i == 0 ? "" : " ") + std::string(hex) + (i + 1 == colors.size() ? "\n" : "");
      continue;
    }
    text += std::to_string(i) + "\t" + hex;
    unsigned k;
    if (!IsEightBit(c.r, k) || !IsEightBit(c.g, k) || !IsEightBit(c.b, k)) {
      text += "\t" + Shortest(c.r) + " " + Shortest(c.g) + " " + Shortest(c.b);
    }
    text += "\n";
  }
  PrintToStandardOutput(text);
}

}  // namespace

void AddPaletteCommand(CLI::App& app) {
  auto options = std::make_shared<PaletteOptions>();
  CLI::App* palette = app.add_subcommand(
      "palette", "List the colours of a palette file, or make a palette that suits footage (--from)");
  palette
      ->add_option("FILE", options->file,
                   "Palette file to list: .ase .gpl .pal .hex .act .png; with --from, the palette file to "
                   "write, in the format its extension names")
      ->required();
  palette->add_option(
      "--from", options->from,
      "Make a palette of --colors colours that suits this image, numbered sequence (name.####.png) or video, "
      "and write it to FILE (.ase RGB swatches, .gpl, .pal JASC, .hex, .act, .png strip)");
  options->colorsOption = palette
                              ->add_option("--colors", options->colors,
                                           "With --from: how many colours to make, 2 to 256 (fewer when the "
                                           "footage has fewer)")
                              ->check(WholeNumberIn(kFewestMadeColors, kMostMadeColors));
  options->framesOption = palette->add_option(
      "--frames", options->frames,
      "With --from: frames A-B only (sequence numbers; a video's frames count from 1); at most 32 frames, "
      "spread evenly, are counted");
  options->maxPixelsOption =
      palette
          ->add_option("--max-pixels", options->maxPixels,
                       "With --from: refuse images and video frames larger than this many pixels, before "
                       "decoding them (default 132710400, a 16K frame)")
          ->check(WholeNumberIn(1, 900000000));
  options->quietOption =
      palette->add_flag("--quiet", options->quiet, "With --from: no progress line on a terminal");
  palette->add_option(
      "--strip", options->strip,
      "Also draw the colours as 32-pixel squares, 16 a row (over 14,992 colours: 8-pixel squares, 256 a "
      "row), into this image (PNG with alpha)");
  palette->add_flag("--line", options->line,
                    "Print the colours on one line, as #RRGGBB values separated by spaces (the form a host's "
                    "palette field takes; colours between 8-bit values are rounded to the nearest)");
  palette->callback([options] { Run(*options); });
}
