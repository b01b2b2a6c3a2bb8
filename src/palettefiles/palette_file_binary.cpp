// The binary palette formats: Adobe colour tables, and swatch exchange files through the effect's own reader.
#include <cmath>
#include <cstdint>
#include <fstream>

#include "ase/load_swatch_colors.h"
#include "palettefiles/palette_file.h"
#include "palettefiles/palette_file_errors.h"

namespace {

constexpr std::size_t kTableColors = 256;
constexpr std::size_t kTableBytes = 3 * kTableColors;
constexpr unsigned kNoTransparentIndex = 0xFFFF;

unsigned BigEndian16(const std::string& bytes, std::size_t at) {
  return static_cast<unsigned>(static_cast<unsigned char>(bytes[at])) << 8 |
         static_cast<unsigned char>(bytes[at + 1]);
}

}  // namespace

ColorList ParseColorTable(const std::string& bytes, const std::string& name) {
  if (bytes.empty()) FailFile(name, "the file is empty");
  if (bytes.size() != kTableBytes && bytes.size() != kTableBytes + 4) {
    FailFile(name, std::to_string(bytes.size()) +
                               " bytes is not the size of a colour table (768 bytes, or 772 with a count)");
  }
  std::size_t count = kTableColors;
  unsigned transparent = kNoTransparentIndex;
  if (bytes.size() == kTableBytes + 4) {
    count = BigEndian16(bytes, kTableBytes);
    transparent = BigEndian16(bytes, kTableBytes + 2);
    if (count > kTableColors) {
      FailFile(name,
                       "declares " + std::to_string(count) + " colours; a colour table holds at most 256");
    }
  }
  ColorList colors;
  for (std::size_t i = 0; i < count; ++i) {
    // The transparent entry marks see-through pixels of an indexed image; it is no colour to dither to.
    if (i == transparent) continue;
    const auto channel = [&](std::size_t c) {
      return FromEightBit(static_cast<unsigned char>(bytes[3 * i + c]));
    };
    colors.push_back(Color3(channel(0), channel(1), channel(2)));
  }
  return colors;
}

ColorList ReadSwatchExchangePalette(const std::filesystem::path& path, const std::string& name) {
  // The effect's reader reports nothing; the signature tells a file that is not a swatch file at all from
  // one without colours.
  char signature[4] = {};
  std::ifstream in(path, std::ios::binary);
  if (!in.is_open()) FailFile(name, "cannot read");
  in.read(signature, sizeof signature);
  if (in.gcount() == 0) FailFile(name, "the file is empty");
  if (in.gcount() != 4 || std::string(signature, 4) != "ASEF") {
    FailFile(name, "not an Adobe Swatch Exchange file (it does not start with \"ASEF\")");
  }
  in.close();
  ColorList colors = LoadSwatchColors(path.string());
  for (std::size_t i = 0; i < colors.size(); ++i) {
    const Color3& c = colors[i];
    if (!std::isfinite(c.r) || !std::isfinite(c.g) || !std::isfinite(c.b)) {
      FailFile(name,
                       "swatch " + std::to_string(i + 1) + " holds a value that is not a finite number");
    }
  }
  return colors;
}
