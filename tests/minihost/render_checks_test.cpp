// What the host checks around a render under multi-frame rendering: the sequence data is only read (no
// lock, resize, disposal or change of its bytes), the read-only suite answers for the reference, and a
// suite left held is blamed on the command that held it, even while other commands run on other threads.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>

#include "minihost/host.h"
#include "minihost/host_error.h"
#include "minihost/host_impl.h"
#include "minihost/params.h"
#include "minihost/render_copy.h"
#include "test_support.h"

namespace minihost {
namespace {

enum class Misdeed { None, Lock, Write, Resize, LeakSuite, ReadThroughSuite, HoldSuiteUntilReleased };

// One entry point for every case; the case is chosen by `extra` (a Misdeed) on PF_Cmd_RENDER.
std::atomic<bool> gRelease{false};
std::atomic<int> gHolding{0};
const void* gAnswered = nullptr;

PF_Err Entry(PF_Cmd cmd, PF_InData* in, PF_OutData*, PF_ParamDef**, PF_LayerDef*, void* extra) {
  const Misdeed misdeed = extra != nullptr ? *static_cast<const Misdeed*>(extra) : Misdeed::None;
  PF_Handle data = in->sequence_data;
  if (cmd != PF_Cmd_RENDER) {
    // Outside a render the sequence data may be locked as usual.
    if (data != nullptr) {
      in->utils->host_lock_handle(data);
      in->utils->host_unlock_handle(data);
    }
    return PF_Err_NONE;
  }
  // Under multi-frame rendering the record carries none: the misdeeds go for what the suite would give.
  if (data == nullptr && ContextOf(in->effect_ref) != nullptr)
    data = ContextOf(in->effect_ref)->sequenceData.load();
  switch (misdeed) {
    case Misdeed::None:
      break;
    case Misdeed::Lock:
      in->utils->host_lock_handle(data);
      in->utils->host_unlock_handle(data);
      break;
    case Misdeed::Write:
      static_cast<char*>(*data)[0] ^= 1;
      break;
    case Misdeed::Resize:
      in->utils->host_resize_handle(in->utils->host_get_handle_size(data) + 8, &data);
      break;
    case Misdeed::LeakSuite: {
      const void* suite = nullptr;
      in->pica_basicP->AcquireSuite(kPFANSISuite, kPFANSISuiteVersion1, &suite);
      break;
    }
    case Misdeed::ReadThroughSuite: {
      const void* suite = nullptr;
      if (in->pica_basicP->AcquireSuite(kPFEffectSequenceDataSuite, kPFEffectSequenceDataSuiteVersion1,
                                        &suite) != kSPNoError) {
        return PF_Err_BAD_CALLBACK_PARAM;
      }
      PF_ConstHandle handle = nullptr;
      static_cast<const PF_EffectSequenceDataSuite1*>(suite)->PF_GetConstSequenceData(in->effect_ref,
                                                                                      &handle);
      gAnswered = handle;
      in->pica_basicP->ReleaseSuite(kPFEffectSequenceDataSuite, kPFEffectSequenceDataSuiteVersion1);
      break;
    }
    case Misdeed::HoldSuiteUntilReleased: {
      const void* suite = nullptr;
      in->pica_basicP->AcquireSuite(kPFANSISuite, kPFANSISuiteVersion1, &suite);
      ++gHolding;
      while (!gRelease.load()) std::this_thread::yield();
      in->pica_basicP->ReleaseSuite(kPFANSISuite, kPFANSISuiteVersion1);
      break;
    }
  }
  return PF_Err_NONE;
}

class RenderChecks : public ::testing::Test {
 protected:
  RenderChecks() : data_(host_.newHandle(8)) { std::memset(host_.handleData(data_), 0x11, 8); }

  // A render whose in-data record carries the sequence data (as without multi-frame rendering), or,
  // with `throughSuite`, carries none while the read-only suite answers with it.
  PF_Err render(Misdeed misdeed, bool throughSuite = false) {
    PF_InData in = host_.makeInData(&registry_);
    if (throughSuite) {
      ContextOf(in.effect_ref)->sequenceData.store(data_);
    } else {
      in.sequence_data = data_;
    }
    PF_OutData out{};
    return host_.call(Entry, PF_Cmd_RENDER, in, out, nullptr, nullptr, &misdeed);
  }

  bool problemMentions(const std::string& text) const {
    for (const std::string& problem : host_.problems()) {
      if (problem.find(text) != std::string::npos) return true;
    }
    return false;
  }

  Host host_{Host::Options{1, PF_ApplID_AfterEffects}};
  ParamSet registry_;
  PF_Handle data_;
};

TEST_F(RenderChecks, ARenderMayOnlyReadTheSequenceData) {
  for (bool throughSuite : {false, true}) {
    SCOPED_TRACE(throughSuite ? "through the suite" : "in the in-data record");
    host_.clearProblems();
    EXPECT_EQ(render(Misdeed::None, throughSuite), PF_Err_NONE);
    EXPECT_TRUE(host_.problems().empty());

    render(Misdeed::Lock, throughSuite);
    EXPECT_TRUE(problemMentions("lock of the sequence data")) << host_.problems().size();
    EXPECT_EQ(host_.lockCount(data_), 0);

    host_.clearProblems();
    render(Misdeed::Write, throughSuite);
    ASSERT_EQ(host_.problems().size(), 1u);
    EXPECT_TRUE(problemMentions("was written during PF_Cmd_RENDER"));

    host_.clearProblems();
    render(Misdeed::Resize, throughSuite);
    EXPECT_TRUE(problemMentions("resize of the sequence data"));
    EXPECT_TRUE(problemMentions("was written during PF_Cmd_RENDER"));
  }

  // Outside a render the same lock is nothing to report.
  host_.clearProblems();
  PF_InData in = host_.makeInData(&registry_);
  in.sequence_data = data_;
  PF_OutData out{};
  EXPECT_EQ(host_.call(Entry, PF_Cmd_SEQUENCE_RESETUP, in, out, nullptr, nullptr, nullptr), PF_Err_NONE);
  EXPECT_TRUE(host_.problems().empty());
}

TEST_F(RenderChecks, TheReadOnlySuiteAnswersForTheReference) {
  gAnswered = reinterpret_cast<const void*>(&gAnswered);
  EXPECT_EQ(render(Misdeed::ReadThroughSuite, true), PF_Err_NONE);
  EXPECT_EQ(gAnswered, static_cast<const void*>(data_));
  // A reference with no data behind it gets NULL, not the last answer.
  ParamSet other;
  PF_InData in = host_.makeInData(&other);
  PF_OutData out{};
  Misdeed misdeed = Misdeed::ReadThroughSuite;
  EXPECT_EQ(host_.call(Entry, PF_Cmd_RENDER, in, out, nullptr, nullptr, &misdeed), PF_Err_NONE);
  EXPECT_EQ(gAnswered, nullptr);
  EXPECT_TRUE(host_.problems().empty());
  EXPECT_EQ(host_.suitesHeld(), 0);
}

TEST_F(RenderChecks, ASuiteHeldIsBlamedOnTheCommandThatHeldIt) {
  render(Misdeed::LeakSuite);
  EXPECT_EQ(host_.problems().size(), 1u);
  EXPECT_TRUE(problemMentions("still held"));
  host_.clearProblems();
  {
    Host::Scope scope(host_);
    host_.makeInData().pica_basicP->ReleaseSuite(kPFANSISuite, kPFANSISuiteVersion1);
  }

  // One render holds a suite on its thread while another render returns on this one: that is no leak.
  gRelease = false;
  gHolding = 0;
  std::thread holder([&] { render(Misdeed::HoldSuiteUntilReleased); });
  while (gHolding.load() == 0) std::this_thread::yield();
  EXPECT_EQ(host_.suitesHeld(), 1);
  EXPECT_EQ(render(Misdeed::None), PF_Err_NONE);
  gRelease = true;
  holder.join();
  EXPECT_TRUE(host_.problems().empty()) << host_.problems().front();
  EXPECT_EQ(host_.suitesHeld(), 0);
}

}  // namespace
}  // namespace minihost

namespace minihost {
namespace {

using testing::FakeEffectTest;

// The host renders frames of an effect at once only when the effect says it may.
TEST_F(FakeEffectTest, NoRenderCopyOfAnEffectThatDoesNotDeclareMultiFrameRendering) {
  Instance instance(effect);
  EXPECT_THROW(RenderCopy copy(instance), HostError);
  EXPECT_TRUE(host.problems().empty());
}

}  // namespace
}  // namespace minihost
