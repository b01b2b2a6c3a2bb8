#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "ase/load.h"
#include "ase/load_swatch_colors.h"
#include "ase_bytes.h"
#include "event_log.h"

namespace {

using namespace std::string_literals;

struct Parse {
  bool ok = false;
  EventLog log;
};

Parse Load(const std::string& bytes) {
  Parse result;
  std::istringstream in(bytes);
  result.ok = ase::LoadFromStream(result.log, in);
  return result;
}

TEST(AseReader, ReportsGroupsAndEntriesInFileOrder) {
  AseBytes file;
  file.Header(8)
      .GroupStart(u"Warm")
      .Color(u"red", "RGB ", {1.0f, 0.0f, 0.0f})
      .Color(u"ink", "CMYK", {0.1f, 0.2f, 0.3f, 0.4f})
      .GroupEnd()
      .GroupStart(u"Cool")
      .Color(u"sky", "LAB ", {0.75f, -10.5f, -30.25f})
      .GroupEnd()
      .Color(u"mid", "Gray", {0.5f});
  const Parse p = Load(file.str());
  EXPECT_TRUE(p.ok);
  ASSERT_EQ(p.log.Kinds(), "begin rgb cmyk end begin lab end gray");
  EXPECT_EQ(p.log.events[0].name, u"Warm");
  EXPECT_EQ(p.log.events[1].name, u"red");
  EXPECT_EQ(p.log.events[1].values, (std::vector<float>{1.0f, 0.0f, 0.0f}));
  EXPECT_EQ(p.log.events[2].values, (std::vector<float>{0.1f, 0.2f, 0.3f, 0.4f}));
  EXPECT_EQ(p.log.events[5].name, u"sky");
  EXPECT_EQ(p.log.events[5].values, (std::vector<float>{0.75f, -10.5f, -30.25f}));
  EXPECT_EQ(p.log.events[7].values, (std::vector<float>{0.5f}));
}

TEST(AseReader, NamesAreTheDeclaredUnitsInHostOrder) {
  // The terminating zero stays; a surrogate pair and a CJK unit must survive the byte swap intact.
  const std::u16string named = u"Caf\u00e9 \U0001F600 \u8272\0"s;
  ASSERT_EQ(named.size(), 10u);
  AseBytes file;
  file.Header(3).GroupStart(named).Color(u"", "Gray", {0.25f}).Color(named, "Gray", {0.75f});
  const Parse p = Load(file.str());
  EXPECT_TRUE(p.ok);
  ASSERT_EQ(p.log.Kinds(), "begin gray gray");
  EXPECT_EQ(p.log.events[0].name, named);
  EXPECT_EQ(p.log.events[1].name, u"");  // the model followed the length directly
  EXPECT_EQ(p.log.events[1].values, (std::vector<float>{0.25f}));
  EXPECT_EQ(p.log.events[2].name, named);
}

TEST(AseReader, HeaderAndStreamState) {
  Parse p = Load(AseBytes().Header(0).Color(u"after", "Gray", {1.0f}).str());
  EXPECT_TRUE(p.ok);  // nothing declared, nothing read
  EXPECT_TRUE(p.log.events.empty());

  p = Load("");
  EXPECT_FALSE(p.ok);
  p = Load(AseBytes().Raw("ASEX").U16(1).U16(0).U32(1).Color(u"x", "Gray", {1.0f}).str());
  EXPECT_FALSE(p.ok);
  EXPECT_TRUE(p.log.events.empty());
  p = Load("ASEF\0\1\0\0\0"s);  // header cut inside the block count
  EXPECT_FALSE(p.ok);

  // A stream that has already failed is not read at all, even though its bytes are a good file.
  std::istringstream failed(AseBytes().Header(1).Color(u"x", "Gray", {1.0f}).str());
  failed.setstate(std::ios::failbit);
  EventLog log;
  EXPECT_FALSE(ase::LoadFromStream(log, failed));
  EXPECT_TRUE(log.events.empty());

  EXPECT_FALSE(ase::LoadFromFile(log, PALETTRIX_ASE_DATA_DIR "/no-such-file.ase"));
  EXPECT_TRUE(log.events.empty());
  EXPECT_TRUE(LoadSwatchColors(PALETTRIX_ASE_DATA_DIR "/no-such-file.ase").empty());
}

TEST(AseReader, ShortDataEndsTheWalkKeepingWhatCameBefore) {
  AseBytes whole;
  whole.Header(4).GroupStart(u"g").Color(u"a", "RGB ", {0.1f, 0.2f, 0.3f}).Color(u"b", "Gray", {0.5f});
  whole.GroupEnd();
  const std::string bytes = whole.str();
  // Offsets within the file: header 12, group start 2+4+2+2 = 10, RGB entry 2+4+2+2+4+12+2 = 28, Gray entry
  // 2+4+2+2+4+4+2 = 20, group end 6. An entry is reported once its values are in, before its colour type.
  const std::size_t rgbValuesEnd = 12 + 10 + 26;
  const std::size_t grayValuesEnd = 12 + 10 + 28 + 18;
  for (std::size_t cut = 0; cut < bytes.size(); ++cut) {
    SCOPED_TRACE(cut);
    const Parse p = Load(bytes.substr(0, cut));
    EXPECT_FALSE(p.ok);
    std::string expected = cut >= 22 ? "begin" : "";
    if (cut >= rgbValuesEnd) expected += " rgb";
    if (cut >= grayValuesEnd) expected += " gray";
    EXPECT_EQ(p.log.Kinds(), expected);
  }
  EXPECT_TRUE(Load(bytes).ok);

  // A count of four billion over two entries must stop at the end of the data, not walk the count.
  AseBytes huge;
  huge.Header(0xFFFFFFFF).Color(u"a", "Gray", {0.1f}).Color(u"b", "Gray", {0.2f});
  const Parse p = Load(huge.str());
  EXPECT_FALSE(p.ok);
  EXPECT_EQ(p.log.Kinds(), "gray gray");
}

TEST(AseReader, ModelTagsAndBlockTypes) {
  AseBytes cases;
  cases.Header(4)
      .Color(u"", "GRAY", {0.5f})
      .Color(u"", "rgb ", {0.1f, 0.2f, 0.3f})
      .Color(u"", "Lab ", {0.5f, 0.0f, 0.0f})
      .Color(u"", "cmyk", {0.0f, 0.0f, 0.0f, 1.0f});
  const Parse anyCase = Load(cases.str());
  EXPECT_TRUE(anyCase.ok);
  EXPECT_EQ(anyCase.log.Kinds(), "gray rgb lab cmyk");

  // An unknown model has no values but keeps its colour type; an unknown block is its 2-byte type alone.
  AseBytes file;
  file.Header(4)
      .U16(0x0001)
      .U32(14)
      .Name(u"x")
      .Raw("HSB ")
      .U16(2)
      .U16(0x0042)
      .Color(u"after", "Gray", {0.5f})
      .U16(0xC003);
  const Parse p = Load(file.str());
  EXPECT_TRUE(p.ok);
  ASSERT_EQ(p.log.Kinds(), "gray");
  EXPECT_EQ(p.log.events[0].name, u"after");

  // The unknown block counts as one: with a count of 1 the Gray entry behind it is never reached.
  const Parse one = Load(AseBytes().Header(1).U16(0x0042).Color(u"x", "Gray", {0.5f}).str());
  EXPECT_TRUE(one.ok);
  EXPECT_TRUE(one.log.events.empty());
}

}  // namespace
