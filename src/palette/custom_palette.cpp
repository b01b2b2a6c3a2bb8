#include "palette/custom_palette.h"

#include <utility>

#include "palette/color_list_spread.h"

CustomPalette::CustomPalette(ColorList colors) : colors_(std::move(colors)), search_(colors_) {
  ColorListSpread(spread_, colors_.data(), colors_.size());
}
