// Reading an effect's registration resource (PiPL) in its Windows form, as a host does before it calls
// anything in the library: is it an effect, and what is its entry point called. Plain bytes in, so it
// works and is tested on every platform; the Windows loader hands it the resource it found.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "bytes/byte_order.h"

namespace minihost {

// A four-character code as the PiPL stores it: a 32-bit value whose most significant byte is the first
// character ('kind' is 0x6B696E64), written little-endian on Windows.
constexpr uint32_t PiPLCode(const char (&code)[5]) { return byte_order::ReadBig<uint32_t>(code); }

struct PiPLProperty {
  uint32_t vendor = 0;  // '8BIM' for every property an After Effects host reads
  uint32_t key = 0;
  int32_t id = 0;
  std::vector<uint8_t> data;  // the stated length of bytes, padding included
};

// The properties in file order. The layout: a 16-bit 1, a 32-bit version 0, a 32-bit property count, then
// per property vendor, key, id and a length (32 bits each) and that many bytes of data. A length that is
// not a multiple of four is followed by padding up to one. Throws HostError naming the fault when the
// header is not that, when the count or any length reaches past the end, or when bytes follow the last
// property; nothing is read outside [bytes, bytes + size).
std::vector<PiPLProperty> ParsePiPL(const uint8_t* bytes, std::size_t size);

// The first '8BIM' property with `key`, or null.
const PiPLProperty* FindPiPLProperty(const std::vector<PiPLProperty>& properties, uint32_t key);

// The name of the entry function for x86-64 Windows: the zero-terminated string of the '8664' property.
// Throws HostError unless the kind is an After Effects effect ('eFKT') and that property holds a name of
// at least one character, ended by a zero inside the data.
std::string EffectEntryName(const std::vector<PiPLProperty>& properties);

}  // namespace minihost
