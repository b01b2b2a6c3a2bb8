// Swatch files written byte by byte for the tests, big-endian as the format wants.
#pragma once

#include <bit>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

class AseBytes {
 public:
  AseBytes& U16(std::uint16_t v) {
    bytes_ += static_cast<char>(v >> 8);
    bytes_ += static_cast<char>(v & 0xFF);
    return *this;
  }
  AseBytes& U32(std::uint32_t v) { return U16(static_cast<std::uint16_t>(v >> 16)).U16(v & 0xFFFF); }
  AseBytes& F32(float v) { return U32(std::bit_cast<std::uint32_t>(v)); }
  AseBytes& Raw(std::string_view text) {
    bytes_ += text;
    return *this;
  }

  AseBytes& Header(std::uint32_t blocks) { return Raw("ASEF").U16(1).U16(0).U32(blocks); }
  AseBytes& Name(std::u16string_view name) {
    U16(static_cast<std::uint16_t>(name.size()));
    for (char16_t unit : name) U16(unit);
    return *this;
  }
  AseBytes& GroupStart(std::u16string_view name) {
    return U16(0xC001).U32(static_cast<std::uint32_t>(2 + 2 * name.size())).Name(name);
  }
  AseBytes& GroupEnd() { return U16(0xC002).U32(0); }
  // A colour entry with its true block length and colour type 2 (normal).
  AseBytes& Color(std::u16string_view name, std::string_view model, std::initializer_list<float> values) {
    U16(0x0001).U32(static_cast<std::uint32_t>(2 + 2 * name.size() + 4 + 4 * values.size() + 2));
    Name(name).Raw(model);
    for (float v : values) F32(v);
    return U16(2);
  }

  const std::string& str() const { return bytes_; }

 private:
  std::string bytes_;
};
