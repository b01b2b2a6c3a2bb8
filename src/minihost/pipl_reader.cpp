#include "minihost/pipl_reader.h"

#include <algorithm>

#include "bytes/byte_order.h"
#include "minihost/host_error.h"

namespace minihost {
namespace {

constexpr std::size_t kHeaderSize = 10;
constexpr std::size_t kPropertyHeaderSize = 16;

class Reader {
 public:
  Reader(const uint8_t* bytes, std::size_t size) : bytes_(bytes), size_(size) {}

  std::size_t remaining() const { return size_ - at_; }
  std::size_t offset() const { return at_; }

  template <typename T>
  T Le() {
    const T value = byte_order::ReadLittle<T>(bytes_ + at_);
    at_ += sizeof(T);
    return value;
  }
  const uint8_t* Take(std::size_t n) {
    const uint8_t* start = bytes_ + at_;
    at_ += n;
    return start;
  }

 private:
  const uint8_t* bytes_;
  std::size_t size_;
  std::size_t at_ = 0;
};

[[noreturn]] void Malformed(const std::string& what) { throw HostError("malformed PiPL resource: " + what); }

std::string CodeText(uint32_t code) {
  std::string text;
  for (int shift = 24; shift >= 0; shift -= 8) {
    const char c = static_cast<char>((code >> shift) & 0xFF);
    text += (c >= 0x20 && c < 0x7F) ? c : '?';
  }
  return "'" + text + "'";
}

}  // namespace

std::vector<PiPLProperty> ParsePiPL(const uint8_t* bytes, std::size_t size) {
  if (bytes == nullptr && size != 0) Malformed("no data");
  if (size < kHeaderSize) Malformed(std::to_string(size) + " bytes, shorter than the 10-byte header");
  Reader in(bytes, size);
  const uint32_t reserved = in.Le<uint16_t>();
  if (reserved != 1) Malformed("first word is " + std::to_string(reserved) + ", not 1");
  const uint32_t version = in.Le<uint32_t>();
  if (version != 0) Malformed("version " + std::to_string(version) + ", not 0");
  const uint32_t count = in.Le<uint32_t>();
  // Checked before anything is reserved: a damaged count must not become a huge allocation.
  if (count > in.remaining() / kPropertyHeaderSize) {
    Malformed(std::to_string(count) + " properties declared, but only " + std::to_string(in.remaining()) +
              " bytes follow the header");
  }

  std::vector<PiPLProperty> properties;
  properties.reserve(count);
  for (uint32_t i = 0; i < count; ++i) {
    const std::string where = "property " + std::to_string(i) + " at offset " + std::to_string(in.offset());
    if (in.remaining() < kPropertyHeaderSize) Malformed(where + " is cut short");
    PiPLProperty property;
    property.vendor = in.Le<uint32_t>();
    property.key = in.Le<uint32_t>();
    property.id = static_cast<int32_t>(in.Le<uint32_t>());
    const uint32_t length = in.Le<uint32_t>();
    // 64-bit arithmetic: a length near 2^32 must not wrap when its padding is added.
    const uint64_t padded = (static_cast<uint64_t>(length) + 3) & ~uint64_t{3};
    if (padded > in.remaining()) {
      Malformed(where + " (" + CodeText(property.key) + ") states " + std::to_string(length) +
                " bytes of data, but " + std::to_string(in.remaining()) + " remain");
    }
    const uint8_t* data = in.Take(static_cast<std::size_t>(padded));
    property.data.assign(data, data + length);
    properties.push_back(std::move(property));
  }
  if (in.remaining() != 0) {
    Malformed(std::to_string(in.remaining()) + " bytes follow the last of " + std::to_string(count) +
              " properties");
  }
  return properties;
}

const PiPLProperty* FindPiPLProperty(const std::vector<PiPLProperty>& properties, uint32_t key) {
  const auto found = std::find_if(properties.begin(), properties.end(), [key](const PiPLProperty& p) {
    return p.vendor == PiPLCode("8BIM") && p.key == key;
  });
  return found == properties.end() ? nullptr : &*found;
}

std::string EffectEntryName(const std::vector<PiPLProperty>& properties) {
  const PiPLProperty* kind = FindPiPLProperty(properties, PiPLCode("kind"));
  if (kind == nullptr) throw HostError("the PiPL resource has no 'kind' property");
  const uint32_t kindCode = kind->data.size() >= 4 ? byte_order::ReadLittle<uint32_t>(kind->data.data()) : 0;
  if (kind->data.size() < 4 || kindCode != PiPLCode("eFKT")) {
    throw HostError("the PiPL resource's kind is " +
                    (kind->data.size() < 4 ? std::string("shorter than 4 bytes") : CodeText(kindCode)) +
                    ", not an After Effects effect ('eFKT')");
  }

  const PiPLProperty* entry = FindPiPLProperty(properties, PiPLCode("8664"));
  if (entry == nullptr) throw HostError("the PiPL resource names no x86-64 Windows entry point ('8664')");
  const auto end = std::find(entry->data.begin(), entry->data.end(), uint8_t{0});
  if (end == entry->data.end())
    throw HostError("the PiPL resource's '8664' entry name is not zero-terminated");
  if (end == entry->data.begin()) throw HostError("the PiPL resource's '8664' entry name is empty");
  return std::string(entry->data.begin(), end);
}

}  // namespace minihost
