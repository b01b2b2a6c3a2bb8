// Reading the registration resource as a Windows host reads it, on bytes written out by hand here and on
// what BuildPiPL() makes; damaged bytes are refused with a reason and never read past their end.
#include "minihost/pipl_reader.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "minihost/host_error.h"
#include "plugin/pipl.h"

using minihost::HostError;
using minihost::PiPLCode;
using minihost::PiPLProperty;

namespace {

// Little-endian bytes as the file holds them; a four-character code is written reversed ('kind' as "dnik").
class Bytes {
 public:
  Bytes& U16(uint16_t v) { return Raw({static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8)}); }
  Bytes& U32(uint32_t v) {
    return Raw({static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
                static_cast<uint8_t>(v >> 24)});
  }
  Bytes& Code(const char* code) { return Text(std::string{code[3], code[2], code[1], code[0]}); }
  Bytes& Text(const std::string& text) {
    bytes.insert(bytes.end(), text.begin(), text.end());
    return *this;
  }
  Bytes& Raw(std::initializer_list<uint8_t> values) {
    bytes.insert(bytes.end(), values);
    return *this;
  }
  // One property: vendor '8BIM', key, id 0, the stated length, then `data` exactly as given.
  Bytes& Property(const char* key, uint32_t statedLength, const std::string& data,
                  const char* vendor = "8BIM") {
    return Code(vendor).Code(key).U32(0).U32(statedLength).Text(data);
  }
  std::vector<uint8_t> bytes;
};

Bytes Header(uint32_t count) { return Bytes().U16(1).U32(0).U32(count); }

// An effect with entry point "Go": the kind, then the name with its zero and two bytes of padding.
std::vector<uint8_t> SmallEffect() {
  using namespace std::string_literals;
  return Header(2).Property("kind", 4, "TKFe").Property("8664", 4, "Go\0\0"s).bytes;
}

// Parses a copy in an allocation of exactly its size, so that a read past the end is a memory error the
// sanitizer build reports.
std::vector<PiPLProperty> Parse(const std::vector<uint8_t>& bytes) {
  std::unique_ptr<uint8_t[]> exact(new uint8_t[bytes.size()]);
  if (!bytes.empty()) std::memcpy(exact.get(), bytes.data(), bytes.size());
  return minihost::ParsePiPL(bytes.empty() ? nullptr : exact.get(), bytes.size());
}

std::string ParseError(const std::vector<uint8_t>& bytes) {
  try {
    Parse(bytes);
  } catch (const HostError& error) {
    return error.what();
  }
  return "";
}

std::string EntryError(const std::vector<uint8_t>& bytes) {
  try {
    minihost::EffectEntryName(Parse(bytes));
  } catch (const HostError& error) {
    return error.what();
  }
  return "";
}

}  // namespace

TEST(PiPLReader, ReadsTheEffectsOwnResource) {
  const std::vector<PiPLProperty> properties = Parse(BuildPiPL());
  const char keys[][5] = {"kind", "name", "catg", "8664", "ePVR", "eSVR",
                          "eVER", "eINF", "eGLO", "eGL2", "eMNA", "aeFL"};
  ASSERT_EQ(properties.size(), std::size(keys));
  for (std::size_t i = 0; i < properties.size(); ++i) {
    EXPECT_EQ(properties[i].vendor, 0x3842494Du) << i;  // '8BIM'
    EXPECT_EQ(properties[i].key, PiPLCode(keys[i])) << keys[i];
    EXPECT_EQ(properties[i].id, 0) << keys[i];
  }
  EXPECT_EQ(properties[1].data, (std::vector<uint8_t>{9, 'P', 'a', 'l', 'e', 't', 't', 'r', 'i', 'x', 0, 0}));
  EXPECT_EQ(properties[6].data, (std::vector<uint8_t>{0x01, 0x80, 0x08, 0x00}));
  EXPECT_EQ(minihost::EffectEntryName(properties), "EntryPoint");
}

TEST(PiPLReader, CodesAreTheFirstCharacterMostSignificant) {
  EXPECT_EQ(PiPLCode("kind"), 0x6B696E64u);
  EXPECT_EQ(PiPLCode("8664"), 0x38363634u);
  EXPECT_EQ(PiPLCode("eFKT"), 0x65464B54u);
}

TEST(PiPLReader, FindsTheEntryOfASmallEffect) {
  const std::vector<PiPLProperty> properties = Parse(SmallEffect());
  ASSERT_EQ(properties.size(), 2u);
  EXPECT_EQ(properties[0].key, PiPLCode("kind"));
  EXPECT_EQ(minihost::EffectEntryName(properties), "Go");
  ASSERT_NE(minihost::FindPiPLProperty(properties, PiPLCode("8664")), nullptr);
  EXPECT_EQ(minihost::FindPiPLProperty(properties, PiPLCode("name")), nullptr);

  // A header with no properties is well formed; it just describes nothing loadable.
  EXPECT_TRUE(Parse(Header(0).bytes).empty());
}

TEST(PiPLReader, StepsOverPaddingALengthDoesNotCount) {
  // "Go" and its zero stated as 3 bytes, padded to 4 in the file, followed by another property.
  using namespace std::string_literals;
  const std::vector<uint8_t> bytes =
      Header(3).Property("8664", 3, "Go\0\xEE"s).Property("kind", 4, "TKFe").Property("aeFL", 0, "").bytes;
  const std::vector<PiPLProperty> properties = Parse(bytes);
  ASSERT_EQ(properties.size(), 3u);
  EXPECT_EQ(properties[0].data, (std::vector<uint8_t>{'G', 'o', 0}));
  EXPECT_EQ(properties[1].key, PiPLCode("kind"));
  EXPECT_TRUE(properties[2].data.empty());
  EXPECT_EQ(minihost::EffectEntryName(properties), "Go");
}

TEST(PiPLReader, EveryTruncationIsRefused) {
  for (const std::vector<uint8_t>& whole : {SmallEffect(), BuildPiPL()}) {
    for (std::size_t size = 0; size < whole.size(); ++size) {
      const std::vector<uint8_t> cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(size));
      EXPECT_NE(ParseError(cut).find("malformed PiPL resource"), std::string::npos) << size;
    }
  }
}

TEST(PiPLReader, DamagedHeadersAndLengthsAreRefusedWithTheReason) {
  using namespace std::string_literals;
  EXPECT_NE(ParseError(Bytes().U16(2).U32(0).U32(0).bytes).find("first word is 2"), std::string::npos);
  EXPECT_NE(ParseError(Bytes().U16(1).U32(1).U32(0).bytes).find("version 1"), std::string::npos);
  // A count no file could hold is refused before anything is allocated for it.
  EXPECT_NE(ParseError(Header(0xFFFFFFFF).bytes).find("4294967295 properties declared"), std::string::npos);
  EXPECT_NE(ParseError(Header(2).Property("kind", 4, "TKFe").bytes).find("2 properties declared"),
            std::string::npos);
  EXPECT_NE(ParseError(Header(2).Property("kind", 4, "TKFe").Code("8BIM").Code("8664").U32(0).bytes)
                .find("property 1 at offset 30 is cut short"),
            std::string::npos);
  // A length whose padding would wrap a 32-bit sum to 0.
  EXPECT_NE(ParseError(Header(1).Property("8664", 0xFFFFFFFD, "Go").bytes).find("states 4294967293 bytes"),
            std::string::npos);
  EXPECT_NE(ParseError(Header(1).Property("8664", 8, "Go\0\0"s).bytes).find("remain"), std::string::npos);
  std::vector<uint8_t> trailing = SmallEffect();
  trailing.push_back(0);
  EXPECT_NE(ParseError(trailing).find("1 bytes follow the last of 2 properties"), std::string::npos);
}

TEST(PiPLReader, AnEntryNameNeedsAnEffectKindAndATerminatedName) {
  using namespace std::string_literals;
  EXPECT_EQ(EntryError(SmallEffect()), "");
  EXPECT_NE(EntryError(Header(1).Property("8664", 4, "Go\0\0"s).bytes).find("no 'kind' property"),
            std::string::npos);
  EXPECT_NE(EntryError(Header(2).Property("kind", 4, "TKFS").Property("8664", 4, "Go\0\0"s).bytes)
                .find("kind is 'SFKT', not an After Effects effect"),
            std::string::npos);
  EXPECT_NE(EntryError(Header(2).Property("kind", 2, "TK\0\0"s).Property("8664", 4, "Go\0\0"s).bytes)
                .find("shorter than 4 bytes"),
            std::string::npos);
  EXPECT_NE(EntryError(Header(1).Property("kind", 4, "TKFe").bytes).find("no x86-64 Windows entry point"),
            std::string::npos);
  // Another vendor's property with the same key is not the host's.
  EXPECT_NE(EntryError(Header(2).Property("kind", 4, "TKFe").Property("8664", 4, "Go\0\0"s, "ACME").bytes)
                .find("no x86-64 Windows entry point"),
            std::string::npos);
  EXPECT_NE(EntryError(Header(2).Property("kind", 4, "TKFe").Property("8664", 4, "Goes").bytes)
                .find("not zero-terminated"),
            std::string::npos);
  EXPECT_NE(EntryError(Header(2).Property("kind", 4, "TKFe").Property("8664", 4, "\0Go\0"s).bytes)
                .find("entry name is empty"),
            std::string::npos);
}
