#include <gtest/gtest.h>

#include <cstring>

#include "test_support.h"

namespace minihost {
namespace {

using testing::FakeEffectTest;
using testing::OneProblemMentioning;

TEST_F(FakeEffectTest, ASuiteHeldAfterACommandIsReportedOnce) {
  fake::Script leak{fake::Action::LeakSuite};
  EXPECT_EQ(run(leak), PF_Err_NONE);
  EXPECT_EQ(leak.spErr, kSPNoError);
  EXPECT_NE(leak.suite, nullptr);
  EXPECT_EQ(host.acquireCount(kPFANSISuite), 1);
  EXPECT_EQ(host.releaseCount(kPFANSISuite), 0);
  EXPECT_EQ(host.suitesHeld(), 1);
  EXPECT_TRUE(OneProblemMentioning(host, "suite \"PF ANSI Suite\" still held"));

  fake::Script other{fake::Action::AcquireAndRelease, kPFHandleSuite, kPFHandleSuiteVersion1};
  run(other);
  EXPECT_EQ(host.problems().size(), 1u) << "the same leak is not reported again";

  // A later release still matches the acquire that leaked.
  Host::Scope scope(host);
  EXPECT_EQ(host.makeInData().pica_basicP->ReleaseSuite(kPFANSISuite, kPFANSISuiteVersion1), kSPNoError);
  EXPECT_EQ(host.suitesHeld(), 0);
  EXPECT_EQ(host.releaseCount(kPFANSISuite), 1);
  EXPECT_EQ(host.problems().size(), 1u);
}

TEST_F(FakeEffectTest, AReleaseWithoutAnAcquireIsAProblem) {
  fake::Script script{fake::Action::ReleaseUnacquired};
  run(script);
  EXPECT_NE(script.spErr, kSPNoError);
  EXPECT_EQ(host.releaseCount(kPFHandleSuite), 0);
  EXPECT_TRUE(OneProblemMentioning(
      host, "release of suite \"PF Handle Suite\" version 2 without a matching acquire"));
}

TEST_F(FakeEffectTest, OnlyTheFourSuitesAreOfferedAndRefusalIsHonoured) {
  const std::pair<const char*, int32_t> offered[] = {
      {kPFANSISuite, 1}, {kPFHandleSuite, 2}, {kPFParamUtilsSuite, 3}, {kPFEffectUISuite, 1}};
  // Parameter set-up, when the effect was loaded, already used the UI suite once: count from here.
  for (const auto& [name, version] : offered) {
    const int acquired = host.acquireCount(name), released = host.releaseCount(name);
    fake::Script script{fake::Action::AcquireAndRelease, name, version};
    run(script);
    EXPECT_EQ(script.spErr, kSPNoError) << name;
    EXPECT_NE(script.suite, nullptr) << name;
    EXPECT_EQ(host.acquireCount(name), acquired + 1) << name;
    EXPECT_EQ(host.releaseCount(name), released + 1) << name;
  }
  const std::pair<const char*, int32_t> unknown[] = {
      {kPFHandleSuite, 1},  // the first handle suite is version 2
      {kPFParamUtilsSuite, 2},
      {"PF World Suite", 2},
      {kSPBasicSuite, kSPBasicSuiteVersion}};
  for (const auto& [name, version] : unknown) {
    fake::Script script{fake::Action::AcquireAndRelease, name, version};
    script.suite = &script;
    run(script);
    EXPECT_NE(script.spErr, kSPNoError) << name << " " << version;
    EXPECT_EQ(script.suite, nullptr) << name << " " << version;
  }
  host.refuseSuite(kPFEffectUISuite);
  const int acquired = host.acquireCount(kPFEffectUISuite);
  fake::Script refused{fake::Action::AcquireAndRelease, kPFEffectUISuite, 1};
  run(refused);
  EXPECT_NE(refused.spErr, kSPNoError);
  EXPECT_EQ(host.acquireCount(kPFEffectUISuite), acquired);
  EXPECT_EQ(host.suitesHeld(), 0);
  EXPECT_TRUE(host.problems().empty());

  host.setBasicSuiteAvailable(false);
  EXPECT_EQ(host.makeInData().pica_basicP, nullptr);
}

TEST_F(FakeEffectTest, SprintfAndStrcpyWorkThroughTheSuiteAndTheUtilities) {
  fake::Script script{fake::Action::FormatThroughSuite};
  run(script);
  EXPECT_STREQ(script.text, "frame 7/042 2.50");
  EXPECT_EQ(script.written, 16);
  EXPECT_STREQ(script.copy, "Reset palette");

  PF_UtilCallbacks* utils = host.makeInData().utils;
  char buffer[32];
  EXPECT_EQ(utils->ansi.sprintf(buffer, "%c%u|%x", 'n', 12u, 255u), 6);
  EXPECT_STREQ(buffer, "n12|ff");
  EXPECT_EQ(utils->ansi.strcpy(buffer, "Load Palette"), buffer);
  EXPECT_STREQ(buffer, "Load Palette");
  EXPECT_TRUE(host.problems().empty());
}

TEST_F(FakeEffectTest, AnExceptionOutOfTheEntryPointIsCaughtAndReported) {
  fake::Script script{fake::Action::Throw};
  EXPECT_EQ(run(script), PF_Err_INTERNAL_STRUCT_DAMAGED);
  EXPECT_TRUE(OneProblemMentioning(host, "exception escaped the entry point"));
}

}  // namespace
}  // namespace minihost
