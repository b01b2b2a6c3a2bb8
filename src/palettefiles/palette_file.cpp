#include "palettefiles/palette_file.h"

#include <bit>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <system_error>

#include "palettefiles/palette_file_errors.h"

namespace {

// Text palettes and colour tables are small; a larger file is surely something else, and reading it whole
// would only waste memory.
constexpr std::uintmax_t kMaxPaletteFileBytes = 16u << 20;

std::string Lowercase(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::string ReadSmallFile(const std::filesystem::path& path, const std::string& name) {
  std::error_code ec;
  const std::uintmax_t size = std::filesystem::file_size(path, ec);
  if (ec) FailFile(name, "cannot read (" + ec.message() + ")");
  if (size > kMaxPaletteFileBytes) {
    FailFile(name, std::to_string(size) + " bytes is too large for a palette file (at most 16 MiB)");
  }
  std::ifstream in(path, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad() || !in.is_open()) FailFile(name, "cannot read");
  return bytes;
}

}  // namespace

void CheckPaletteSize(const ColorList& colors, const std::string& name) {
  if (colors.empty()) FailFile(name, "holds no colour");
  if (colors.size() > kMaxPaletteColors) {
    FailFile(name, "holds " + std::to_string(colors.size()) + " colours, more than a palette's " +
                       std::to_string(kMaxPaletteColors));
  }
}

std::optional<PaletteFormat> PaletteFormatOf(const std::filesystem::path& path) {
  const std::string extension = Lowercase(path.extension().string());
  if (extension == ".ase") return PaletteFormat::SwatchExchange;
  if (extension == ".gpl") return PaletteFormat::Gimp;
  if (extension == ".pal") return PaletteFormat::Jasc;
  if (extension == ".hex") return PaletteFormat::Hex;
  if (extension == ".act") return PaletteFormat::ColorTable;
  if (extension == ".png") return PaletteFormat::Png;
  return std::nullopt;
}

ColorList ReadPaletteFile(const std::filesystem::path& path) {
  const std::string name = path.string();
  const std::optional<PaletteFormat> format = PaletteFormatOf(path);
  if (!format) {
    FailFile(name, "unknown palette format \"" + path.extension().string() +
                       "\" (known: .ase, .gpl, .pal, .hex, .act, .png)");
  }
  std::error_code ec;
  if (!std::filesystem::exists(path, ec)) FailFile(name, "no such file");
  if (!std::filesystem::is_regular_file(path, ec)) FailFile(name, "not a regular file");

  ColorList colors;
  switch (*format) {
    case PaletteFormat::SwatchExchange:
      colors = ReadSwatchExchangePalette(path, name);
      break;
    case PaletteFormat::Png:
      colors = ReadPngPalette(path, name);
      break;
    case PaletteFormat::Gimp:
      colors = ParseGimpPalette(ReadSmallFile(path, name), name);
      break;
    case PaletteFormat::Jasc:
      colors = ParseJascPalette(ReadSmallFile(path, name), name);
      break;
    case PaletteFormat::Hex:
      colors = ParseHexPalette(ReadSmallFile(path, name), name);
      break;
    case PaletteFormat::ColorTable:
      colors = ParseColorTable(ReadSmallFile(path, name), name);
      break;
  }
  CheckPaletteSize(colors, name);
  return colors;
}

float FromEightBit(unsigned k) { return static_cast<float>(k) / 255.0f; }

bool IsEightBit(float value, unsigned& k) {
  if (!(value >= 0.0f && value <= 1.0f)) return false;
  const auto nearest = static_cast<unsigned>(std::lround(static_cast<double>(value) * 255.0));
  // Bits, not ==: -0.0 equals 0.0 but is not what an 8-bit 0 becomes.
  if (std::bit_cast<uint32_t>(FromEightBit(nearest)) != std::bit_cast<uint32_t>(value)) return false;
  k = nearest;
  return true;
}
