// Unsigned integers and single-precision floats in a fixed byte order, whatever the machine's: the stored
// forms (saved state, the custom palette's flat bytes, the registration resource, swatch and PNG files)
// are the same bytes on every platform. Header only and built on nothing, so every layer may use it.
#pragma once

#include <bit>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace byte_order {

// `Byte` is any of char, signed char, unsigned char or std::uint8_t: each element is taken as 0..255.
template <std::unsigned_integral T, typename Byte>
constexpr T ReadLittle(const Byte* p) {
  T value = 0;
  for (std::size_t i = 0; i < sizeof(T); ++i)
    value |= static_cast<T>(static_cast<T>(static_cast<unsigned char>(p[i])) << (8 * i));
  return value;
}

template <std::unsigned_integral T, typename Byte>
constexpr T ReadBig(const Byte* p) {
  T value = 0;
  for (std::size_t i = 0; i < sizeof(T); ++i)
    value = static_cast<T>(static_cast<T>(value << 8) | static_cast<unsigned char>(p[i]));
  return value;
}

template <std::unsigned_integral T>
constexpr void WriteLittle(unsigned char* p, T value) {
  for (std::size_t i = 0; i < sizeof(T); ++i) p[i] = static_cast<unsigned char>(value >> (8 * i));
}

template <std::unsigned_integral T>
void AppendLittle(std::vector<std::uint8_t>& out, T value) {
  for (std::size_t i = 0; i < sizeof(T); ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

template <typename Byte>
float ReadLittleFloat(const Byte* p) {
  return std::bit_cast<float>(ReadLittle<std::uint32_t>(p));
}
template <typename Byte>
float ReadBigFloat(const Byte* p) {
  return std::bit_cast<float>(ReadBig<std::uint32_t>(p));
}
inline void WriteLittleFloat(unsigned char* p, float value) {
  WriteLittle(p, std::bit_cast<std::uint32_t>(value));
}

}  // namespace byte_order
