#include "plugin/pipl.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "plugin/effect_identity.h"

using namespace std::string_literals;

namespace {

// Every property: vendor '8BIM' and the key as the bytes of little-endian 32-bit codes, id 0, the padded
// length, the data.
std::string Property(const std::string& reversedKey, const std::string& length, const std::string& data) {
  return "MIB8"s + reversedKey + "\0\0\0\0"s + length + data;
}

}  // namespace

// Spec version 13.28 (the least a host renders on several threads is 13.25); global flags 2 are the
// collapsed-group flag 0x8, SmartFX 0x400, GET_FLATTENED support 0x800000 and threaded rendering 0x8000000.
TEST(PiPL, BytesFollowTheWindowsResourceLayout) {
  const std::string expected =
      "\x01\x00"s
      "\0\0\0\0"s
      "\x0C\0\0\0"s +
      Property("dnik", "\x04\0\0\0"s, "TKFe") + Property("eman", "\x0C\0\0\0"s, "\x09Palettrix\0\0"s) +
      Property("gtac", "\x10\0\0\0"s, "\x0CVorn Effects\0\0\0"s) +
      Property("4668", "\x0C\0\0\0"s, "EntryPoint\0\0"s) + Property("RVPe", "\x04\0\0\0"s, "\x02\0\0\0"s) +
      Property("RVSe", "\x04\0\0\0"s, "\x0D\0\x1C\0"s) + Property("REVe", "\x04\0\0\0"s, "\x01\x80\x08\0"s) +
      Property("FNIe", "\x04\0\0\0"s, "\0\0\0\0"s) + Property("OLGe", "\x04\0\0\0"s, "\x30\0\0\x02"s) +
      Property("2LGe", "\x04\0\0\0"s, "\x08\x04\x80\x08"s) +
      Property("ANMe", "\x10\0\0\0"s, "\x0EVORN Palettrix\0"s) + Property("LFea", "\x04\0\0\0"s, "\0\0\0\0"s);
  const auto bytes = BuildPiPL();
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), expected);
  EXPECT_EQ(bytes.size(), 290u);
}

TEST(PiPL, TheBuildWritesTheSameBytes) {
  std::ifstream file(PALETTRIX_PIPL_PATH, std::ios::binary);
  ASSERT_TRUE(file) << PALETTRIX_PIPL_PATH;
  const std::string onDisk((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  const auto bytes = BuildPiPL();
  EXPECT_EQ(onDisk, std::string(bytes.begin(), bytes.end()));
}

TEST(PiPL, VersionWordDecodesToOnePointOneBuildOne) {
  EXPECT_EQ(kEffectVersion >> 19, 1u);          // major
  EXPECT_EQ((kEffectVersion >> 15) & 0xF, 1u);  // minor
  EXPECT_EQ((kEffectVersion >> 11) & 0xF, 0u);  // bug-fix
  EXPECT_EQ((kEffectVersion >> 9) & 0x3, 0u);   // development stage
  EXPECT_EQ(kEffectVersion & 0x1FF, 1u);        // build
}
