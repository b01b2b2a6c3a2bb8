#include "palette/palette.h"

#include <array>
#include <mutex>

#include "palette/palette_catalogue.h"

const NearestColorSearch& TableSearch(std::size_t row) {
  // Each table's search is built once, on the first frame that needs it (call_once makes it thread-safely),
  // and never changes afterwards.
  static std::array<NearestColorSearch, kPaletteCount> searches;
  static std::array<std::once_flag, kPaletteCount> built;
  std::call_once(built[row], [row] { searches[row] = NearestColorSearch(PaletteCatalogue[row].colors); });
  return searches[row];
}

Palette PaletteFor(std::size_t row, const CustomPalette* custom) {
  const PaletteRow& entry = PaletteCatalogue[row];
  Palette palette;
  palette.spread = entry.spread;
  switch (entry.rule) {
    case PaletteRule::Custom:
      if (custom != nullptr && !custom->colors().empty()) {
        palette.rule = QuantizeRule::NearestColor;
        palette.search = &custom->search();
        palette.spread = custom->spread();
      }
      break;
    case PaletteRule::GreyRamp:
      palette.rule = QuantizeRule::GreyRamp;
      palette.levels = static_cast<float>(entry.levels);
      palette.step = 1.0f / palette.levels;
      break;
    case PaletteRule::RgbCube:
      palette.rule = QuantizeRule::RgbCube;
      palette.levels = static_cast<float>(entry.levels);
      break;
    case PaletteRule::Table:
      palette.rule = QuantizeRule::NearestColor;
      palette.search = &TableSearch(row);
      break;
  }
  return palette;
}
