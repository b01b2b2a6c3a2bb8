// Fixed-size big-endian fields from a byte stream. Each read reports whether every byte arrived, so that
// a short file is never mistaken for values left over from an earlier read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <istream>
#include <string>

namespace ase {

bool ReadBytes(std::istream& in, void* to, std::size_t count);
bool ReadU16(std::istream& in, std::uint16_t& value);
bool ReadU32(std::istream& in, std::uint32_t& value);
bool ReadF32(std::istream& in, float& value);

// A name of `units` UTF-16BE code units, converted to host order.
bool ReadName(std::istream& in, std::uint16_t units, std::u16string& name);

}  // namespace ase
