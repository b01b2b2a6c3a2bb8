#include "ase/big_endian_reads.h"

#include <cstring>

#include "bytes/byte_order.h"

namespace ase {

bool ReadBytes(std::istream& in, void* to, std::size_t count) {
  const auto wanted = static_cast<std::streamsize>(count);
  in.read(static_cast<char*>(to), wanted);
  return in.gcount() == wanted;
}

bool ReadU16(std::istream& in, std::uint16_t& value) {
  unsigned char bytes[2];
  if (!ReadBytes(in, bytes, sizeof bytes)) return false;
  value = byte_order::ReadBig<std::uint16_t>(bytes);
  return true;
}

bool ReadU32(std::istream& in, std::uint32_t& value) {
  unsigned char bytes[4];
  if (!ReadBytes(in, bytes, sizeof bytes)) return false;
  value = byte_order::ReadBig<std::uint32_t>(bytes);
  return true;
}

bool ReadF32(std::istream& in, float& value) {
  unsigned char bytes[4];
  if (!ReadBytes(in, bytes, sizeof bytes)) return false;
  value = byte_order::ReadBigFloat(bytes);
  return true;
}

bool ReadName(std::istream& in, std::uint16_t units, std::u16string& name) {
  name.assign(units, u'\0');
  if (!ReadBytes(in, name.data(), std::size_t{units} * 2)) return false;
  for (char16_t& unit : name) {
    unsigned char bytes[2];
    std::memcpy(bytes, &unit, sizeof bytes);
    unit = byte_order::ReadBig<char16_t>(bytes);
  }
  return true;
}

}  // namespace ase
