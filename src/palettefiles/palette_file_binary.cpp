// The binary palette formats: Adobe colour tables, and swatch exchange files through the effect's own reader.
#include <cmath>
#include <cstdint>
#include <fstream>
#include <initializer_list>

#include "ase/ase_populate_rgb.h"
#include "ase/load.h"
#include "bytes/byte_order.h"
#include "palettefiles/palette_file.h"
#include "palettefiles/palette_file_errors.h"

namespace {

constexpr std::size_t kTableColors = 256;
constexpr std::size_t kTableBytes = 3 * kTableColors;
constexpr unsigned kNoTransparentIndex = 0xFFFF;

// The effect's reader turns LAB and CMYK swatches into RGB on the way, and the conversions can hide a NaN
// (LAB's becomes 0, CMYK's is clamped away): the values are checked as the file holds them.
class CheckedSwatches final : public ase::ColorCallback {
 public:
  void GroupBegin(const std::u16string& name) override { rgb.GroupBegin(name); }
  void GroupEnd() override { rgb.GroupEnd(); }
  void GrayColor(const std::u16string& name, float gray) override {
    check({gray});
    rgb.GrayColor(name, gray);
  }
  void RGBColor(const std::u16string& name, const Color3& color) override {
    check({color.r, color.g, color.b});
    rgb.RGBColor(name, color);
  }
  void LABColor(const std::u16string& name, const float& l, const float& a, const float& b) override {
    check({l, a, b});
    rgb.LABColor(name, l, a, b);
  }
  void CMYKColor(const std::u16string& name, const float& c, const float& m, const float& y,
                 const float& k) override {
    check({c, m, y, k});
    rgb.CMYKColor(name, c, m, y, k);
  }

  ASEPopulateRGB rgb;
  std::size_t swatches = 0;
  std::size_t firstNonFinite = 0;  // 1-based; 0 when every value is finite

 private:
  void check(std::initializer_list<float> values) {
    ++swatches;
    for (float v : values) {
      if (!std::isfinite(v) && firstNonFinite == 0) firstNonFinite = swatches;
    }
  }
};

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
    count = byte_order::ReadBig<uint16_t>(bytes.data() + kTableBytes);
    transparent = byte_order::ReadBig<uint16_t>(bytes.data() + kTableBytes + 2);
    if (count > kTableColors) {
      FailFile(name, "declares " + std::to_string(count) + " colours; a colour table holds at most 256");
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
  // 65536 swatches, the most a palette holds, take well under this.
  constexpr std::uintmax_t kMaxSwatchFileBytes = 16u << 20;
  std::error_code ec;
  if (const std::uintmax_t size = std::filesystem::file_size(path, ec); !ec && size > kMaxSwatchFileBytes) {
    FailFile(name, std::to_string(size) + " bytes is too large for a swatch file (at most 16 MiB)");
  }
  CheckedSwatches swatches;
  ase::LoadFromFile(swatches, path.string());
  if (swatches.firstNonFinite != 0) {
    FailFile(name, "swatch " + std::to_string(swatches.firstNonFinite) +
                       " holds a value that is not a finite number");
  }
  return swatches.rgb.colors;
}
