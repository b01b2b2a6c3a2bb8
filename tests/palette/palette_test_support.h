// Helpers shared by the palette tests: colours typed as hex or 8-bit triples, and catalogue rows by name.
#pragma once

#include <cstddef>
#include <ostream>
#include <string>

#include "palette/color.h"
#include "palette/color_list_spread.h"
#include "palette/nearest_color.h"
#include "palette/palette.h"

// Readable failure messages for Color3 (found by argument-dependent lookup in glm's namespace).
namespace glm {
inline void PrintTo(const vec3& c, std::ostream* os) {
  *os << '(' << c.r << ", " << c.g << ", " << c.b << ')';
}
}  // namespace glm

namespace row {
constexpr std::size_t kCustom = 0;
constexpr std::size_t kGray1Bit = 1;
constexpr std::size_t kGray2Bit = 2;
constexpr std::size_t kGray4Bit = 3;
constexpr std::size_t kRgb3Bit = 4;
constexpr std::size_t kRgb6Bit = 5;
constexpr std::size_t kRgb9Bit = 6;
constexpr std::size_t kPico8 = 7;
constexpr std::size_t kCga = 10;
constexpr std::size_t kVga8Bit = 12;
constexpr std::size_t kVic20 = 13;
constexpr std::size_t kAmstradCpc = 14;
constexpr std::size_t kZxSpectrum = 16;
constexpr std::size_t kWebSafe = 21;
}  // namespace row

// "RRGGBB", each channel k / 255.0f.
inline Color3 Hex(const std::string& rgb) {
  const auto channel = [&rgb](std::size_t at) {
    return static_cast<float>(std::stoul(rgb.substr(at, 2), nullptr, 16)) / 255.0f;
  };
  return Color3(channel(0), channel(2), channel(4));
}

// An 8-bit pixel as the kernels see it.
inline Color3 Bytes(int r, int g, int b) {
  return Color3(static_cast<float>(r) / 255.0f, static_cast<float>(g) / 255.0f,
                static_cast<float>(b) / 255.0f);
}

// A catalogue row's palette by its plain definition; "Custom" searches `custom` (none: black).
inline Color3 Quantize(std::size_t palette, const Color3& in, const CustomPalette* custom = nullptr) {
  Color3 out(-7.0f, -7.0f, -7.0f);
  return QuantizeReference(PaletteFor(palette, custom), out, in);
}

inline Color3 Spread(std::size_t palette, const CustomPalette* custom = nullptr) {
  return PaletteFor(palette, custom).spread;
}
