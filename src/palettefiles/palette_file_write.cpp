// The palette writers: every format the readers know except PNG images.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <stdexcept>

#include "palettefiles/palette_file.h"
#include "palettefiles/palette_file_errors.h"

namespace {

constexpr std::size_t kTableColors = 256;

struct Rgb8 {
  unsigned r, g, b;
};

// The nearest 8-bit value, NaN as 0.
unsigned NearestEightBit(float value) {
  if (std::isnan(value)) return 0;
  return static_cast<unsigned>(std::lround(static_cast<double>(std::clamp(value, 0.0f, 1.0f)) * 255.0));
}

Rgb8 EightBit(const Color3& c) { return {NearestEightBit(c.r), NearestEightBit(c.g), NearestEightBit(c.b)}; }

// "RRGGBB" in upper- or lower-case digits.
std::string HexDigits(const Rgb8& c, bool upper) {
  char text[8];
  std::snprintf(text, sizeof text, upper ? "%02X%02X%02X" : "%02x%02x%02x", c.r, c.g, c.b);
  return text;
}

// "R G B", each value as wide as `width` digits.
std::string Decimals(const Rgb8& c, int width) {
  char text[16];
  std::snprintf(text, sizeof text, "%*u %*u %*u", width, c.r, width, c.g, width, c.b);
  return text;
}

// A title on one line: control characters become spaces.
std::string OneLine(std::string text) {
  for (char& c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
  }
  return text;
}

void AppendBig16(std::string& out, std::uint32_t v) {
  out += static_cast<char>((v >> 8) & 0xFF);
  out += static_cast<char>(v & 0xFF);
}
void AppendBig32(std::string& out, std::uint32_t v) {
  AppendBig16(out, v >> 16);
  AppendBig16(out, v & 0xFFFF);
}

std::string SwatchExchange(const ColorList& colors) {
  std::string out = "ASEF";
  AppendBig16(out, 1);
  AppendBig16(out, 0);
  AppendBig32(out, static_cast<std::uint32_t>(colors.size()));
  for (const Color3& c : colors) {
    // The name in UTF-16 with its terminating zero unit, as the format's writers store it.
    std::string name = "#";
    name += HexDigits(EightBit(c), true);
    const auto units = static_cast<std::uint32_t>(name.size() + 1);
    AppendBig16(out, 0x0001);
    AppendBig32(out, 2 + 2 * units + 4 + 3 * 4 + 2);
    AppendBig16(out, units);
    for (const char ch : name) AppendBig16(out, static_cast<unsigned char>(ch));
    AppendBig16(out, 0);
    out += "RGB ";
    for (int i = 0; i < 3; ++i) AppendBig32(out, std::bit_cast<std::uint32_t>(c[i]));
    AppendBig16(out, 2);  // a normal (not global, not spot) colour
  }
  return out;
}

std::string ColorTable(const ColorList& colors, const std::string& name) {
  if (colors.size() > kTableColors) {
    FailFile(name, "a colour table (.act) holds at most 256 colours, not " + std::to_string(colors.size()));
  }
  // 256 entries, those past the palette black, then the count and no transparent entry (0xFFFF).
  std::string out(3 * kTableColors, '\0');
  for (std::size_t i = 0; i < colors.size(); ++i) {
    const Rgb8 c = EightBit(colors[i]);
    out[3 * i] = static_cast<char>(c.r);
    out[3 * i + 1] = static_cast<char>(c.g);
    out[3 * i + 2] = static_cast<char>(c.b);
  }
  AppendBig16(out, static_cast<std::uint32_t>(colors.size()));
  AppendBig16(out, 0xFFFF);
  return out;
}

}  // namespace

std::string PaletteFileBytes(PaletteFormat format, const ColorList& colors, const std::string& name,
                             const std::string& title) {
  CheckPaletteSize(colors, name);
  std::string out;
  switch (format) {
    case PaletteFormat::SwatchExchange:
      return SwatchExchange(colors);
    case PaletteFormat::ColorTable:
      return ColorTable(colors, name);
    case PaletteFormat::Gimp:
      // Appended piece by piece: GCC 12 at -O3 misreads some "literal" + std::string concatenations as
      // overlapping copies.
      out = "GIMP Palette\nName: ";
      out += OneLine(title);
      out += "\nColumns: 16\n#\n";
      for (const Color3& c : colors) {
        out += Decimals(EightBit(c), 3);
        out += "\t#";
        out += HexDigits(EightBit(c), true);
        out += '\n';
      }
      return out;
    case PaletteFormat::Jasc:
      out = "JASC-PAL\r\n0100\r\n";
      out += std::to_string(colors.size());
      out += "\r\n";
      for (const Color3& c : colors) {
        out += Decimals(EightBit(c), 1);
        out += "\r\n";
      }
      return out;
    case PaletteFormat::Hex:
      for (const Color3& c : colors) {
        out += HexDigits(EightBit(c), false);
        out += '\n';
      }
      return out;
    case PaletteFormat::Png:
      break;
  }
  throw std::logic_error("PaletteFileBytes: PNG palettes are written as images");
}
