#include <array>
#include <cstdint>

#include "ase/big_endian_reads.h"
#include "ase/load.h"

namespace ase {
namespace {

constexpr std::uint16_t kColorEntry = 0x0001;
constexpr std::uint16_t kGroupStart = 0xC001;
constexpr std::uint16_t kGroupEnd = 0xC002;

using Tag = std::array<char, 4>;

char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// One writer stores "GRAY"; the tags are plain ASCII, so folding case is enough.
bool SameTag(const Tag& tag, const char (&expected)[5]) {
  for (std::size_t i = 0; i < tag.size(); ++i) {
    if (AsciiLower(tag[i]) != AsciiLower(expected[i])) return false;
  }
  return true;
}

// Values of the models this reader knows, then the callback. An unknown model reads no values; the caller
// still reads the colour type that follows either way.
bool ReadColorValues(std::istream& in, const Tag& model, const std::u16string& name,
                     ColorCallback& callback) {
  if (SameTag(model, "CMYK")) {
    float cmyk[4];
    for (float& v : cmyk)
      if (!ReadF32(in, v)) return false;
    callback.CMYKColor(name, cmyk[0], cmyk[1], cmyk[2], cmyk[3]);
  } else if (SameTag(model, "Gray")) {
    float gray;
    if (!ReadF32(in, gray)) return false;
    callback.GrayColor(name, gray);
  } else if (SameTag(model, "LAB ")) {
    float lab[3];
    for (float& v : lab)
      if (!ReadF32(in, v)) return false;
    callback.LABColor(name, lab[0], lab[1], lab[2]);
  } else if (SameTag(model, "RGB ")) {
    Color3 rgb;
    if (!ReadF32(in, rgb.r) || !ReadF32(in, rgb.g) || !ReadF32(in, rgb.b)) return false;
    callback.RGBColor(name, rgb);
  }
  return true;
}

// False when the data ends inside the block.
bool ReadBlock(std::istream& in, ColorCallback& callback) {
  std::uint16_t type;
  if (!ReadU16(in, type)) return false;
  // Writers disagree about the block length, so it is read past and never trusted for skipping.
  std::uint32_t length;
  if (type == kGroupEnd) {
    if (!ReadU32(in, length)) return false;
    callback.GroupEnd();
    return true;
  }
  if (type != kColorEntry && type != kGroupStart) return true;

  if (!ReadU32(in, length)) return false;
  // Some writers store a group start with no data at all: reading a name there would take the next
  // block's bytes and lose every colour after it.
  if (type == kGroupStart && length == 0) {
    callback.GroupBegin(std::u16string());
    return true;
  }
  std::uint16_t units;
  std::u16string name;
  if (!ReadU16(in, units) || !ReadName(in, units, name)) return false;
  if (type == kGroupStart) {
    callback.GroupBegin(name);
    return true;
  }
  Tag model;
  std::uint16_t colorType;
  return ReadBytes(in, model.data(), model.size()) && ReadColorValues(in, model, name, callback) &&
         ReadU16(in, colorType);
}

}  // namespace

bool LoadFromStream(ColorCallback& callback, std::istream& in) {
  if (in.fail()) return false;
  Tag signature;
  if (!ReadBytes(in, signature.data(), signature.size()) || signature != Tag{'A', 'S', 'E', 'F'})
    return false;
  std::uint16_t major, minor;
  std::uint32_t blocks;
  if (!ReadU16(in, major) || !ReadU16(in, minor) || !ReadU32(in, blocks)) return false;
  // The count comes from the file: a short read ends the walk, so a huge count costs nothing extra.
  for (std::uint32_t i = 0; i < blocks; ++i) {
    if (!ReadBlock(in, callback)) return false;
  }
  return true;
}

}  // namespace ase
