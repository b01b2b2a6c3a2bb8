// The custom palette of an effect instance: its colours, their spread and the search structure over them,
// all made together whenever the colours change and only read while frames render.
#pragma once

#include "palette/color.h"
#include "palette/nearest_color_search.h"

class CustomPalette {
 public:
  explicit CustomPalette(ColorList colors);

  const ColorList& colors() const { return colors_; }
  const Color3& spread() const { return spread_; }
  const NearestColorSearch& search() const { return search_; }

 private:
  ColorList colors_;
  Color3 spread_{0.0f, 0.0f, 0.0f};
  NearestColorSearch search_;
};
