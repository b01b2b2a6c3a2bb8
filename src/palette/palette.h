// A palette ready for one frame: how to quantise, and with what spread. Made from a catalogue row and, for
// "Custom", the instance's custom palette; it borrows the search structure it points to.
#pragma once

#include <cstddef>
#include <cstdint>

#include "palette/color.h"
#include "palette/custom_palette.h"
#include "palette/grey_ramp.h"
#include "palette/nearest_color.h"
#include "palette/nearest_color_search.h"
#include "palette/rgb_cube.h"

enum class QuantizeRule : std::uint8_t {
  Black,         // "Custom" without colours: everything black
  GreyRamp,      // levels and step set
  RgbCube,       // levels set
  NearestColor,  // search set
};

struct Palette {
  QuantizeRule rule = QuantizeRule::Black;
  float levels = 1.0f;
  float step = 1.0f;
  const NearestColorSearch* search = nullptr;
  Color3 spread{0.0f, 0.0f, 0.0f};
};

// The palette of catalogue row `row` (below kPaletteCount). The custom row uses `custom`; without one, or
// with no colours in it, it quantises everything to black and has no spread.
Palette PaletteFor(std::size_t row, const CustomPalette* custom);

// The search structure of a table row, made once on first use and shared read-only by every caller.
const NearestColorSearch& TableSearch(std::size_t row);

// Quantise by the fast search structures.
inline Color3& Quantize(const Palette& palette, Color3& out, const Color3& in) {
  switch (palette.rule) {
    case QuantizeRule::GreyRamp:
      return QuantizeGreyRamp(out, in, palette.levels, palette.step);
    case QuantizeRule::RgbCube:
      return QuantizeRgbCube(out, in, palette.levels);
    case QuantizeRule::NearestColor:
      return palette.search->nearest(out, in);
    case QuantizeRule::Black:
      break;
  }
  out = Color3(0.0f, 0.0f, 0.0f);
  return out;
}

// The reference definition the fast paths are held to: table and custom colours by a scan of the list.
inline Color3& QuantizeReference(const Palette& palette, Color3& out, const Color3& in) {
  if (palette.rule == QuantizeRule::NearestColor) {
    const auto colors = palette.search->colors();
    return NearestColor(out, in, colors.data(), colors.size());
  }
  return Quantize(palette, out, in);
}
