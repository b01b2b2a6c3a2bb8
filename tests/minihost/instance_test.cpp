// An instance's life as the host runs it, seen from the fake effect's journal of sequence commands.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "minihost/host_error.h"
#include "test_support.h"

namespace minihost {
namespace {

using testing::FakeEffectTest;
using testing::OneProblemMentioning;

using Bytes = std::vector<uint8_t>;

// The fake effect's saved state with "Channel" on "Blue", "Amount" 2.5, "Zoom" 1.5 and the sequence
// text "abc", typed from the documented layout.
Bytes HandSavedState() {
  return {
      'P',  'L',  'X',  'S',                           // magic
      0x01, 0x00, 0x00, 0x00,                          // version 1
      0x04, 0x00, 0x00, 0x00,                          // 4 parameter records
      0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  // 0: layer, no value
      0x01, 0x00, 0x00, 0x00, 0x07, 0x00, 0x00, 0x00,  // 1: popup
      0x03, 0x00, 0x00, 0x00,                          //    choice 3
      0x02, 0x00, 0x00, 0x00, 0x0A, 0x00, 0x00, 0x00,  // 2: float slider
      0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x04, 0x40,  //    2.5 = 0x4004000000000000
      0x03, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00,  // 3: fixed slider
      0x00, 0x80, 0x01, 0x00,                          //    1.5 = 0x00018000
      0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  // 3 bytes of sequence data
      'a',  'b',  'c',
  };
}

// Offsets into HandSavedState.
constexpr std::size_t kCountAt = 8, kRecord1At = 20, kRecord2At = 32, kRecord3At = 48, kLengthAt = 60;

TEST_F(FakeEffectTest, TheLifeCycleSendsTheHostsCommandsInOrder) {
  Instance original(effect);
  std::vector<fake::JournalEntry> sent = journal();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].cmd, PF_Cmd_SEQUENCE_SETUP);
  EXPECT_EQ(sent[0].in, nullptr);
  EXPECT_NE(sent[0].out, nullptr);
  EXPECT_EQ(original.sequenceData(), sent[0].out);
  EXPECT_EQ(sequenceText(original), fake::kFreshText);

  // Save: flatten, then re-setup with the flat handle the effect gave back.
  setSequenceText(original, "abc");
  const PF_Handle applied = original.sequenceData();
  const Bytes saved = original.save();
  sent = journal();
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[0].cmd, PF_Cmd_SEQUENCE_FLATTEN);
  EXPECT_EQ(sent[0].in, applied);
  EXPECT_EQ(sent[0].inSize, 8u);
  EXPECT_EQ(sent[1].cmd, PF_Cmd_SEQUENCE_RESETUP);
  EXPECT_EQ(sent[1].in, sent[0].out);
  EXPECT_EQ(sent[1].inSize, 3u);
  EXPECT_EQ(original.sequenceData(), sent[1].out);
  EXPECT_EQ(sequenceText(original), "abc");

  // Load: a re-setup only, with a handle of its own holding the saved bytes.
  Instance loaded = Instance::load(effect, saved);
  sent = journal();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].cmd, PF_Cmd_SEQUENCE_RESETUP);
  EXPECT_EQ(sent[0].inSize, 3u);
  EXPECT_NE(sent[0].in, original.sequenceData());
  EXPECT_EQ(loaded.sequenceData(), sent[0].out);
  EXPECT_EQ(sequenceText(loaded), "abc");

  // Duplicate: one flatten, then a re-setup of the original and one of the copy, each with its own handle.
  const PF_Handle beforeDuplicate = original.sequenceData();
  Instance copy = original.duplicate();
  sent = journal();
  ASSERT_EQ(sent.size(), 3u);
  EXPECT_EQ(sent[0].cmd, PF_Cmd_SEQUENCE_FLATTEN);
  EXPECT_EQ(sent[0].in, beforeDuplicate);
  EXPECT_EQ(sent[1].cmd, PF_Cmd_SEQUENCE_RESETUP);
  EXPECT_EQ(sent[1].in, sent[0].out);
  EXPECT_EQ(sent[1].out, original.sequenceData());
  EXPECT_EQ(sent[2].cmd, PF_Cmd_SEQUENCE_RESETUP);
  EXPECT_NE(sent[2].in, sent[0].out);
  EXPECT_EQ(sent[2].inSize, 3u);
  EXPECT_EQ(sent[2].out, copy.sequenceData());
  setSequenceText(copy, "xyz");
  EXPECT_EQ(sequenceText(copy), "xyz");
  EXPECT_EQ(sequenceText(original), "abc");

  // Remove: one set-down with the current handle, however often it is asked for.
  const PF_Handle copyHandle = copy.sequenceData();
  copy.remove();
  copy.remove();
  EXPECT_FALSE(copy.active());
  EXPECT_THROW(copy.save(), HostError);
  sent = journal();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].cmd, PF_Cmd_SEQUENCE_SETDOWN);
  EXPECT_EQ(sent[0].in, copyHandle);
  EXPECT_EQ(sent[0].out, nullptr);

  // A moved-from instance sends nothing; the instance it moved into is removed once.
  const PF_Handle loadedHandle = loaded.sequenceData();
  {
    Instance moved = std::move(loaded);
    EXPECT_FALSE(loaded.active());
    EXPECT_EQ(loaded.sequenceData(), nullptr);
  }
  // Move assignment removes the instance assigned to first.
  const PF_Handle originalHandle = original.sequenceData();
  original = std::move(loaded);
  EXPECT_FALSE(original.active());
  sent = journal();
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[0].cmd, PF_Cmd_SEQUENCE_SETDOWN);
  EXPECT_EQ(sent[0].in, loadedHandle);
  EXPECT_EQ(sent[1].cmd, PF_Cmd_SEQUENCE_SETDOWN);
  EXPECT_EQ(sent[1].in, originalHandle);

  EXPECT_EQ(host.liveHandles(), 0u);
  EXPECT_EQ(host.suitesHeld(), 0);
  EXPECT_TRUE(host.problems().empty());
}

TEST_F(FakeEffectTest, ASavedStateIsTheDocumentedLayoutAndRoundTrips) {
  {
    Instance instance(effect);
    instance.params().setPopup(1, "Blue");
    instance.params().setFloat(2, 2.5);
    instance.params().setFixed(3, 0x18000);
    setSequenceText(instance, "abc");
    EXPECT_EQ(instance.save(), HandSavedState());

    Instance loaded = Instance::load(effect, HandSavedState());
    EXPECT_EQ(loaded.params()[1].u.pd.value, 3);
    EXPECT_EQ(loaded.params()[2].u.fs_d.value, 2.5);
    EXPECT_EQ(loaded.params()[3].u.fd.value, 0x18000);
    EXPECT_EQ(loaded.params().popupChoices(1)[2], "Blue");
    EXPECT_EQ(sequenceText(loaded), "abc");
    EXPECT_EQ(loaded.save(), HandSavedState());

    // An empty flat part still becomes a handle, of no bytes, and a re-setup.
    journal();
    Instance empty = Instance::load(effect, EncodeSavedState(effect.registeredParams(), {}));
    const std::vector<fake::JournalEntry> sent = journal();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].cmd, PF_Cmd_SEQUENCE_RESETUP);
    ASSERT_NE(sent[0].in, nullptr);
    EXPECT_EQ(sent[0].inSize, 0u);
    EXPECT_EQ(sequenceText(empty), "");
    EXPECT_EQ(empty.params()[1].u.pd.value, 2);
  }
  EXPECT_EQ(host.liveHandles(), 0u);
  EXPECT_TRUE(host.problems().empty());
}

TEST_F(FakeEffectTest, ValuesFromASavedStateAreHeldToTheirRanges) {
  Bytes saved = HandSavedState();
  saved[kRecord1At + 8] = 9;         // choice 9 of 3
  saved[kRecord2At + 8 + 6] = 0x08;  // -3.0 = 0xC008000000000000
  saved[kRecord2At + 8 + 7] = 0xC0;
  saved[kRecord3At + 8 + 1] = 0x00;  // 5.0 = 0x00050000, above 4
  saved[kRecord3At + 8 + 2] = 0x05;
  Instance high = Instance::load(effect, saved);
  EXPECT_EQ(high.params()[1].u.pd.value, 3);
  EXPECT_EQ(high.params()[2].u.fs_d.value, 0.0);
  EXPECT_EQ(high.params()[3].u.fd.value, 0x40000);

  saved[kRecord1At + 8] = 0;
  saved[kRecord3At + 8 + 2] = 0x00;  // 0.0, below 1
  Instance low = Instance::load(effect, saved);
  EXPECT_EQ(low.params()[1].u.pd.value, 1);
  EXPECT_EQ(low.params()[3].u.fd.value, 0x10000);
}

TEST_F(FakeEffectTest, MalformedSavedStatesAreRefusedBeforeAnythingIsSent) {
  struct Case {
    const char* what;
    Bytes bytes;
    const char* message;
  };
  std::vector<Case> cases;
  auto with = [](auto change) {
    Bytes bytes = HandSavedState();
    change(bytes);
    return bytes;
  };
  cases.push_back({"empty", {}, "0 bytes are too few for its 12-byte header"});
  cases.push_back({"magic", with([](Bytes& b) { b[3] = 'T'; }), "does not start with \"PLXS\""});
  cases.push_back({"version", with([](Bytes& b) { b[4] = 2; }), "version 2 is not supported"});
  cases.push_back(
      {"cut in a value", with([](Bytes& b) { b.resize(kRecord2At + 8); }), "ends inside parameter record 2"});
  cases.push_back({"cut before the length", with([](Bytes& b) { b.resize(kLengthAt); }),
                   "ends before the length of its sequence data"});
  cases.push_back({"cut in the data", with([](Bytes& b) { b.pop_back(); }),
                   "ends inside its sequence data (3 bytes declared, 2 present)"});
  cases.push_back({"huge length",
                   with([](Bytes& b) { std::fill(b.begin() + kLengthAt, b.begin() + kLengthAt + 8, 0xFF); }),
                   "ends inside its sequence data (18446744073709551615 bytes declared, 3 present)"});
  cases.push_back({"huge count",
                   with([](Bytes& b) { std::fill(b.begin() + kCountAt, b.begin() + kCountAt + 4, 0xFF); }),
                   "ends inside parameter record"});
  cases.push_back({"trailing", with([](Bytes& b) { b.push_back(0); }), "1 byte follows its sequence data"});
  cases.push_back({"unknown type", with([](Bytes& b) { b[kRecord1At + 4] = 99; }),
                   "parameter record 1 has unknown type 99"});
  cases.push_back({"record missing", with([](Bytes& b) {
                     b[kCountAt] = 3;
                     b.erase(b.begin() + kRecord3At, b.begin() + kLengthAt);
                   }),
                   "it holds 3 parameters, the effect registered 4"});
  cases.push_back({"wrong index", with([](Bytes& b) { b[kRecord2At] = 5; }),
                   "record 2 is for parameter 5, expected parameter 2"});
  cases.push_back({"wrong type", with([](Bytes& b) { b[kRecord3At + 4] = 7; }),
                   "parameter 3 is saved as a popup, the effect registered a fixed slider"});
  cases.push_back({"not a number", with([](Bytes& b) {
                     b[kRecord2At + 8 + 6] = 0xF8;
                     b[kRecord2At + 8 + 7] = 0x7F;
                   }),
                   "parameter 2 holds NaN"});

  for (const Case& c : cases) {
    try {
      Instance::load(effect, c.bytes);
      ADD_FAILURE() << c.what << ": accepted";
    } catch (const HostError& error) {
      const std::string message = error.what();
      EXPECT_EQ(message.rfind("saved state refused: ", 0), 0u) << c.what << ": " << message;
      EXPECT_NE(message.find(c.message), std::string::npos) << c.what << ": " << message;
    }
  }
  EXPECT_TRUE(journal().empty());
  EXPECT_EQ(host.liveHandles(), 0u);
  EXPECT_TRUE(host.problems().empty());
}

TEST_F(FakeEffectTest, AFailedSequenceCommandIsReportedWithItsNameAndCode) {
  auto failure = [](auto action) -> std::string {
    try {
      action();
    } catch (const HostError& error) {
      return error.what();
    }
    return "no failure";
  };
  host.setApplId(fake::kSequenceFailApplId);
  EXPECT_EQ(failure([&] { Instance failed(effect); }), "PF_Cmd_SEQUENCE_SETUP failed with error 512");
  EXPECT_EQ(host.liveHandles(), 0u);

  host.setApplId(PF_ApplID_AfterEffects);
  Instance instance(effect);
  setSequenceText(instance, "kept");
  const Bytes saved = instance.save();
  const PF_Handle handle = instance.sequenceData();
  journal();

  host.setApplId(fake::kSequenceFailApplId);
  EXPECT_EQ(failure([&] { instance.save(); }), "PF_Cmd_SEQUENCE_FLATTEN failed with error 512");
  EXPECT_EQ(failure([&] { instance.duplicate(); }), "PF_Cmd_SEQUENCE_FLATTEN failed with error 512");
  EXPECT_EQ(instance.sequenceData(), handle);
  // A flat handle that never got through its re-setup is the host's to dispose, without a set-down.
  EXPECT_EQ(failure([&] { Instance::load(effect, saved); }), "PF_Cmd_SEQUENCE_RESETUP failed with error 512");
  EXPECT_EQ(host.liveHandles(), 1u);
  const std::vector<fake::JournalEntry> sent = journal();
  ASSERT_EQ(sent.size(), 3u);
  EXPECT_EQ(sent[2].cmd, PF_Cmd_SEQUENCE_RESETUP);
  EXPECT_EQ(sent[2].err, PF_Err_INTERNAL_STRUCT_DAMAGED);

  host.setApplId(PF_ApplID_AfterEffects);
  EXPECT_EQ(sequenceText(instance), "kept");
  host.setApplId(fake::kSequenceFailApplId);
  EXPECT_EQ(failure([&] { instance.remove(); }), "PF_Cmd_SEQUENCE_SETDOWN failed with error 512");
  EXPECT_EQ(failure([&] { instance.remove(); }), "no failure");
  EXPECT_TRUE(host.problems().empty());

  // The destructor reports instead of throwing.
  host.setApplId(PF_ApplID_AfterEffects);
  {
    Instance doomed(effect);
    host.setApplId(fake::kSequenceFailApplId);
  }
  EXPECT_TRUE(OneProblemMentioning(host, "PF_Cmd_SEQUENCE_SETDOWN failed with error 512"));
  EXPECT_EQ(host.liveHandles(), 0u);
}

TEST_F(FakeEffectTest, AHandleTheEffectKeepsAfterSetDownStaysLive) {
  Instance instance(effect);
  const PF_Handle handle = instance.sequenceData();
  host.setApplId(fake::kLeakAtSetdownApplId);
  instance.remove();
  EXPECT_EQ(host.liveHandles(), 1u);
  EXPECT_EQ(host.handleSize(handle), 8u);
  EXPECT_EQ(instance.sequenceData(), nullptr);
}

TEST_F(FakeEffectTest, AFlattenThatGivesNoHandleIsFollowedByNoResetup) {
  Instance instance(effect);
  journal();
  host.setApplId(fake::kFlattenToNothingApplId);
  const Bytes saved = instance.save();
  std::vector<fake::JournalEntry> sent = journal();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].cmd, PF_Cmd_SEQUENCE_FLATTEN);
  EXPECT_EQ(sent[0].out, nullptr);
  EXPECT_EQ(instance.sequenceData(), nullptr);
  EXPECT_TRUE(DecodeSavedState(saved).sequenceData.empty());

  Instance copy = instance.duplicate();
  EXPECT_EQ(copy.sequenceData(), nullptr);
  instance.remove();
  sent = journal();
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[0].cmd, PF_Cmd_SEQUENCE_FLATTEN);
  EXPECT_EQ(sent[0].in, nullptr);
  EXPECT_EQ(sent[1].cmd, PF_Cmd_SEQUENCE_SETDOWN);
  EXPECT_EQ(sent[1].in, nullptr);
  EXPECT_EQ(host.liveHandles(), 0u);
}

}  // namespace
}  // namespace minihost
