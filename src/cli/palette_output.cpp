#include "cli/palette_output.h"

#include <algorithm>
#include <cmath>

#include "cli/exit_status.h"
#include "cli/image_io.h"
#include "cli/image_sequence.h"
#include "cli/safe_output.h"
#include "palettefiles/palette_file.h"

namespace fs = std::filesystem;

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

}  // namespace

unsigned NearestEightBit(float value) {
  const float held = std::clamp(value, 0.0f, 1.0f);
  return static_cast<unsigned>(std::lround(static_cast<double>(std::isnan(value) ? 0.0f : held) * 255.0));
}

void CheckPaletteOutput(const fs::path& path) {
  if (!PaletteFormatOf(path)) {
    throw CliError(kExitUsage, path.string() + ": unknown palette format \"" + path.extension().string() +
                                   "\" (known: .ase, .gpl, .pal, .hex, .act, .png)");
  }
  RequireRegularOutput(path);
  RequireOutputFolder(path);
}

void WritePaletteFile(const fs::path& path, const ColorList& colors) {
  CheckPaletteOutput(path);
  const PaletteFormat format = *PaletteFormatOf(path);
  if (format == PaletteFormat::Png) {
    WriteStrip(path, colors);
    return;
  }
  std::string bytes;
  try {
    bytes = PaletteFileBytes(format, colors, path.string(), path.stem().string());
  } catch (const PaletteFileError& e) {
    throw CliError(kExitOutput, e.message());
  }
  OutputFile file(path);
  file.write(bytes);
  file.commit();
}

void WriteStrip(const fs::path& path, const ColorList& colors) {
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
