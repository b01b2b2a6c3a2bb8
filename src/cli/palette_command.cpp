// palettrix palette: what a palette file holds, as text and, on request, as a strip of colour squares.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <memory>

#include "cli/commands.h"
#include "cli/exit_status.h"
#include "cli/image_formats.h"
#include "cli/image_io.h"
#include "cli/run_inputs.h"
#include "cli/safe_output.h"
#include "cli/terminal.h"
#include "palettefiles/palette_file.h"

namespace {

// A strip of 32-pixel squares, 16 a row, while it stays within a world's 30000-pixel height (14,992
// colours); a larger palette, up to the most any palette reader gives, is drawn in 8-pixel squares, 256 a
// row: 65,536 colours make 2048 x 2048 pixels (16 MB) where 32-pixel squares would take 256 MB.
struct StripLayout {
  A_long square;
  std::size_t columns;
};
constexpr StripLayout kStrip{32, 16};
constexpr StripLayout kLargeStrip{8, 256};

constexpr std::size_t MostColors(StripLayout layout) {
  return static_cast<std::size_t>(PF_MAX_WORLD_HEIGHT / layout.square) * layout.columns;
}
static_assert(static_cast<std::size_t>(kLargeStrip.square) * kLargeStrip.columns <= PF_MAX_WORLD_WIDTH);
static_assert(MostColors(kLargeStrip) >= kMaxPaletteColors, "every palette a reader gives fits a strip");

StripLayout LayoutFor(std::size_t colors) { return colors <= MostColors(kStrip) ? kStrip : kLargeStrip; }

struct PaletteOptions {
  std::string file;
  std::string strip;
  bool line = false;
};

// The nearest 8-bit value, for showing a colour that is not exactly one.
unsigned NearestEightBit(float value) {
  const float held = std::clamp(value, 0.0f, 1.0f);
  return static_cast<unsigned>(std::lround(static_cast<double>(std::isnan(value) ? 0.0f : held) * 255.0));
}

// The shortest digits that read back as exactly `value`.
std::string Shortest(float value) {
  char text[32];
  const auto result = std::to_chars(text, text + sizeof text, value);
  return std::string(text, result.ptr);
}

void WriteStrip(const std::string& path, const ColorList& colors) {
  const StripLayout layout = LayoutFor(colors.size());
  const std::size_t rows = (colors.size() + layout.columns - 1) / layout.columns;
  const std::size_t columns = std::min(colors.size(), layout.columns);
  const A_long square = layout.square;
  // Squares past the last colour stay transparent, so the strip read back as a palette gives the colours.
  minihost::World strip(static_cast<A_long>(columns) * square, static_cast<A_long>(rows) * square,
                        minihost::Depth::Eight);
  for (std::size_t i = 0; i < colors.size(); ++i) {
    const PF_Pixel8 pixel{255, static_cast<A_u_char>(NearestEightBit(colors[i].r)),
                          static_cast<A_u_char>(NearestEightBit(colors[i].g)),
                          static_cast<A_u_char>(NearestEightBit(colors[i].b))};
    const auto left = static_cast<A_long>(i % layout.columns) * square;
    const auto top = static_cast<A_long>(i / layout.columns) * square;
    for (A_long y = 0; y < square; ++y) {
      for (A_long x = 0; x < square; ++x) strip.pixel8(left + x, top + y) = pixel;
    }
  }
  // In RGBA: a strip read back as a palette image gives its squares' colours in order, where an indexed one
  // would give its palette entries.
  WriteImage(path, strip, true, PngColors::Full);
}

void Run(const PaletteOptions& options) {
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
  CLI::App* palette = app.add_subcommand("palette", "List the colours of a palette file");
  palette->add_option("FILE", options->file, "Palette file: .ase .gpl .pal .hex .act .png")->required();
  palette->add_option(
      "--strip", options->strip,
      "Also draw the colours as 32-pixel squares, 16 a row (over 14,992 colours: 8-pixel squares, 256 a "
      "row), into this image (PNG with alpha)");
  palette->add_flag("--line", options->line,
                    "Print the colours on one line, as #RRGGBB values separated by spaces (the form a host's "
                    "palette field takes; colours between 8-bit values are rounded to the nearest)");
  palette->callback([options] { Run(*options); });
}
