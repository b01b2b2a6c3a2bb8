#include "palette/palette.h"

#include <array>

#include "palette/palette_catalogue.h"

const NearestColorSearch& TableSearch(std::size_t row) {
  // Built once, on the first frame that needs any table; a function-local static is made thread-safely
  // and never changes afterwards.
  static const std::array<NearestColorSearch, kPaletteCount> searches = [] {
    std::array<NearestColorSearch, kPaletteCount> built;
    for (std::size_t i = 0; i < kPaletteCount; ++i) {
      if (PaletteCatalogue[i].rule == PaletteRule::Table)
        built[i] = NearestColorSearch(PaletteCatalogue[i].colors);
    }
    return built;
  }();
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
