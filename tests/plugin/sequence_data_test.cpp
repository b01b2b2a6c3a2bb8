// The custom palette's handle through the sequence commands, as the host sends them.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "palette/flat_palette.h"
#include "support/effect_under_test.h"

namespace {

using Bytes = std::vector<uint8_t>;

// The colours as the flat form stores them, typed as little-endian IEEE-754 floats.
const Bytes kZero = {0, 0, 0, 0};
const Bytes kOne = {0x00, 0x00, 0x80, 0x3F};
const Bytes kHalf = {0x00, 0x00, 0x00, 0x3F};
const Bytes kQuarter = {0x00, 0x00, 0x80, 0x3E};

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}

class SequenceData : public ::testing::Test {
 protected:
  // Sends `cmd` with `handle` as the in-data sequence data; gives back the out-data handle.
  PF_Handle Send(PF_Cmd cmd, PF_Handle handle, PF_Err expected = PF_Err_NONE) {
    PF_InData in = host().makeInData();
    in.sequence_data = handle;
    PF_OutData out{};
    EXPECT_EQ(host().call(loaded_.effect.entryPoint(), cmd, in, out, nullptr, nullptr, nullptr), expected)
        << cmd;
    return out.sequence_data;
  }

  PF_Handle Flat(const Bytes& bytes) {
    PF_Handle handle = host().newHandle(bytes.size());
    if (!bytes.empty()) std::memcpy(host().handleData(handle), bytes.data(), bytes.size());
    return handle;
  }

  Bytes Contents(PF_Handle handle) {
    const auto* data = static_cast<const uint8_t*>(host().handleData(handle));
    return Bytes(data, data + host().handleSize(handle));
  }

  // Flattens a live handle and reads the stored colours back.
  Bytes Save(PF_Handle& live) {
    PF_Handle flat = Send(PF_Cmd_SEQUENCE_FLATTEN, live);
    Bytes bytes = Contents(flat);
    live = Send(PF_Cmd_SEQUENCE_RESETUP, flat);
    return bytes;
  }

  void ExpectNothingLeft() {
    EXPECT_EQ(host().liveHandles(), 0u);
    EXPECT_EQ(host().suitesHeld(), 0);
    EXPECT_TRUE(host().problems().empty()) << (host().problems().empty() ? "" : host().problems().front());
  }

  minihost::Host& host() { return loaded_.host; }
  LoadedEffect loaded_;
  minihost::Host::Scope scope_{loaded_.host};
};

}  // namespace

TEST_F(SequenceData, ANewInstanceHoldsBlackAndFlattensToTwelveZeroBytes) {
  // The loaded effect's own instance holds a handle too; this test works on one of its own.
  const std::size_t before = host().liveHandles();
  PF_Handle live = Send(PF_Cmd_SEQUENCE_SETUP, nullptr);
  ASSERT_NE(live, nullptr);
  EXPECT_EQ(host().handleSize(live), 8u);
  PF_Handle flat = Send(PF_Cmd_SEQUENCE_FLATTEN, live);
  EXPECT_EQ(Contents(flat), Concat({kZero, kZero, kZero}));
  EXPECT_EQ(host().liveHandles(), before + 1);  // flatten disposed the live handle
  live = Send(PF_Cmd_SEQUENCE_RESETUP, flat);
  EXPECT_EQ(Send(PF_Cmd_SEQUENCE_SETDOWN, live), nullptr);
  EXPECT_EQ(host().liveHandles(), before);
}

TEST_F(SequenceData, ResetupReadsWholeRecordsInOrder) {
  const Bytes three = Concat({kOne, kHalf, kQuarter, kHalf, kZero, kOne, kQuarter, kQuarter, kHalf});
  const struct {
    Bytes flat;
    Bytes saved;
  } cases[] = {
      {{}, {}},
      {Concat({kOne, kHalf, kQuarter, {0x7F}}), Concat({kOne, kHalf, kQuarter})},  // 13 bytes: one colour
      {Concat({kOne, kHalf, kQuarter, kHalf, kZero, kOne}),
       Concat({kOne, kHalf, kQuarter, kHalf, kZero, kOne})},
      {three, three},
  };
  const std::size_t before = host().liveHandles();
  for (const auto& c : cases) {
    PF_Handle live = Send(PF_Cmd_SEQUENCE_RESETUP, Flat(c.flat));
    ASSERT_NE(live, nullptr);
    EXPECT_EQ(host().handleSize(live), 8u);
    EXPECT_EQ(Save(live), c.saved) << c.flat.size();
    EXPECT_EQ(Save(live), c.saved) << "saving twice changes nothing";
    Send(PF_Cmd_SEQUENCE_SETDOWN, live);
  }
  EXPECT_EQ(host().liveHandles(), before);
}

TEST_F(SequenceData, ALiveHandleIsKeptAndSetupResetsItToBlack) {
  PF_Handle live = Send(PF_Cmd_SEQUENCE_RESETUP, Flat(Concat({kOne, kOne, kOne, kHalf, kHalf, kHalf})));
  void* address = nullptr;
  std::memcpy(&address, host().handleData(live), sizeof address);

  EXPECT_EQ(Send(PF_Cmd_SEQUENCE_RESETUP, live), live);
  EXPECT_EQ(std::memcmp(host().handleData(live), &address, sizeof address), 0);
  EXPECT_EQ(Save(live).size(), 24u);

  PF_Handle same = Send(PF_Cmd_SEQUENCE_SETUP, live);
  EXPECT_EQ(same, live);
  EXPECT_EQ(Save(live), Concat({kZero, kZero, kZero}));
  Send(PF_Cmd_SEQUENCE_SETDOWN, live);
}

TEST_F(SequenceData, MissingOrFlatHandlesAreNeverReadAsAnAddress) {
  const std::size_t before = host().liveHandles();
  // Flatten and set-down without a handle succeed and do nothing.
  EXPECT_EQ(Send(PF_Cmd_SEQUENCE_FLATTEN, nullptr), nullptr);
  EXPECT_EQ(Send(PF_Cmd_SEQUENCE_SETDOWN, nullptr), nullptr);
  // A flat handle handed to flatten is already flat; to set-down, it is disposed.
  PF_Handle flat = Flat(Concat({kOne, kOne, kOne, kHalf, kHalf, kHalf, kZero, kZero, kZero}));
  EXPECT_EQ(Send(PF_Cmd_SEQUENCE_FLATTEN, flat), flat);
  EXPECT_EQ(Send(PF_Cmd_SEQUENCE_SETDOWN, flat), nullptr);
  // Sixteen bytes of stored colour (one whole record) are not an address either; set-up replaces them.
  PF_Handle replaced = Send(PF_Cmd_SEQUENCE_SETUP, Flat(Concat({kOne, kOne, kOne, kOne})));
  EXPECT_EQ(host().handleSize(replaced), 8u);
  EXPECT_EQ(Save(replaced), Concat({kZero, kZero, kZero}));
  Send(PF_Cmd_SEQUENCE_SETDOWN, replaced);
  EXPECT_EQ(host().liveHandles(), before);
  EXPECT_TRUE(host().problems().empty());
}

TEST_F(SequenceData, WithoutTheHandleSuiteNothingChanges) {
  PF_Handle flat = Flat(Concat({kOne, kHalf, kQuarter}));
  host().refuseSuite("PF Handle Suite");
  for (PF_Cmd cmd :
       {PF_Cmd_SEQUENCE_SETUP, PF_Cmd_SEQUENCE_RESETUP, PF_Cmd_SEQUENCE_FLATTEN, PF_Cmd_SEQUENCE_SETDOWN}) {
    EXPECT_EQ(Send(cmd, flat, PF_Err_BAD_CALLBACK_PARAM), nullptr);
    EXPECT_EQ(Contents(flat), Concat({kOne, kHalf, kQuarter}));
  }
  host().disposeHandle(flat);
}

TEST(FlatPalette, LittleEndianFloatsTwelveBytesAColour) {
  const ColorList colors = {Color3(1.0f, 0.5f, 0.25f), Color3(-2.0f, 0.0f, 1.0f)};
  Bytes bytes(colors.size() * kFlatColorSize);
  WriteFlatColors(colors, bytes.data());
  EXPECT_EQ(bytes, Concat({kOne, kHalf, kQuarter, {0x00, 0x00, 0x00, 0xC0}, kZero, kOne}));
  ColorList back = {Color3(9.0f)};
  AppendFlatColors(back, bytes.data(), bytes.size() - 1);  // the last partial record is ignored
  ASSERT_EQ(back.size(), 2u);
  EXPECT_EQ(back[1], colors[0]);
}
