#include "plugin/pipl.h"

#include <cstring>
#include <string_view>

#include "bytes/byte_order.h"
#include "plugin/effect_identity.h"

namespace {

// Four-character codes are written as the little-endian bytes of the 32-bit value whose most significant
// byte is the first character, so 'kind' appears in the file as "dnik".
uint32_t FourCC(std::string_view code) {
  return static_cast<uint32_t>(PF_FourCC(code[0], code[1], code[2], code[3]));
}

class PiPLWriter {
 public:
  void Int16(uint16_t value) { byte_order::AppendLittle(bytes_, value); }
  void Int32(uint32_t value) { byte_order::AppendLittle(bytes_, value); }

  // One property: vendor '8BIM', key, id 0, then the data padded with zeros to a multiple of four, the
  // stated length counting the padding.
  void Property(std::string_view key, const std::vector<uint8_t>& data) {
    const std::size_t padded = (data.size() + 3) & ~std::size_t{3};
    Int32(FourCC("8BIM"));
    Int32(FourCC(key));
    Int32(0);
    Int32(static_cast<uint32_t>(padded));
    bytes_.insert(bytes_.end(), data.begin(), data.end());
    bytes_.resize(bytes_.size() + (padded - data.size()), 0);
    ++count_;
  }

  std::vector<uint8_t> Finish() const {
    PiPLWriter out;
    out.Int16(1);  // reserved word of the Windows resource
    out.Int32(0);  // PiPL version
    out.Int32(count_);
    out.bytes_.insert(out.bytes_.end(), bytes_.begin(), bytes_.end());
    return out.bytes_;
  }

 private:
  std::vector<uint8_t> bytes_;
  uint32_t count_ = 0;
};

std::vector<uint8_t> Le32(uint32_t value) {
  std::vector<uint8_t> out;
  byte_order::AppendLittle(out, value);
  return out;
}

std::vector<uint8_t> Le16Pair(uint16_t first, uint16_t second) {
  std::vector<uint8_t> out;
  byte_order::AppendLittle(out, first);
  byte_order::AppendLittle(out, second);
  return out;
}

std::vector<uint8_t> PascalString(std::string_view text) {
  std::vector<uint8_t> out;
  out.push_back(static_cast<uint8_t>(text.size()));
  for (char c : text) out.push_back(static_cast<uint8_t>(c));
  return out;
}

std::vector<uint8_t> CString(std::string_view text) {
  std::vector<uint8_t> out;
  for (char c : text) out.push_back(static_cast<uint8_t>(c));
  out.push_back(0);
  return out;
}

}  // namespace

std::vector<uint8_t> BuildPiPL() {
  static_assert(sizeof(kEffectName) - 1 <= 255 && sizeof(kEffectMatchName) - 1 <= 255);
  PiPLWriter pipl;
  pipl.Property("kind", Le32(FourCC("eFKT")));
  pipl.Property("name", PascalString(kEffectName));
  pipl.Property("catg", PascalString(kEffectCategory));
  pipl.Property("8664", CString(kEffectEntryName));
  pipl.Property("ePVR", Le16Pair(2, 0));
  pipl.Property("eSVR", Le16Pair(kEffectSpecMajor, kEffectSpecMinor));
  pipl.Property("eVER", Le32(kEffectVersion));
  pipl.Property("eINF", {0, 0});
  pipl.Property("eGLO", Le32(static_cast<uint32_t>(kEffectOutFlags)));
  pipl.Property("eGL2", Le32(static_cast<uint32_t>(kEffectOutFlags2)));
  pipl.Property("eMNA", PascalString(kEffectMatchName));
  pipl.Property("aeFL", Le32(0));
  return pipl.Finish();
}
