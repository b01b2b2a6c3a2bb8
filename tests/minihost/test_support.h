// What the host tests share: the fake effect loaded on a single-threaded host, and running its scripts.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "fake_effect_script.h"
#include "minihost/instance.h"

namespace minihost::testing {

inline const char* const kFakeEffectPath = FAKE_EFFECT_PATH;

class FakeEffectTest : public ::testing::Test {
 protected:
  // The fake effect's journal outlives a test when the library stays loaded: start from an empty one.
  FakeEffectTest() { journal(); }

  PF_Err run(fake::Script& script, ParamSet* registry = nullptr) {
    PF_InData in = host.makeInData(registry);
    PF_OutData out{};
    return host.call(effect.entryPoint(), fake::kScriptCommand, in, out, nullptr, nullptr, &script);
  }

  // The sequence commands the effect received since the last call, in order.
  std::vector<fake::JournalEntry> journal() {
    fake::Script script{fake::Action::TakeJournal};
    run(script);
    return std::vector<fake::JournalEntry>(script.journal, script.journal + script.journalLength);
  }

  // The instance's sequence text as the effect sees it through its live handle ("" when not live).
  std::string sequenceText(Instance& instance) {
    fake::Script script{fake::Action::GetSequenceText};
    instance.command(fake::kScriptCommand, nullptr, &script);
    return script.text;
  }

  void setSequenceText(Instance& instance, const char* text) {
    fake::Script script{fake::Action::SetSequenceText};
    std::strncpy(script.text, text, sizeof script.text - 1);
    instance.command(fake::kScriptCommand, nullptr, &script);
  }

  Host host{Host::Options{1, PF_ApplID_AfterEffects}};
  Effect effect{host, kFakeEffectPath};
};

// True when exactly one problem was recorded and it mentions `text`.
inline ::testing::AssertionResult OneProblemMentioning(const Host& host, const std::string& text) {
  const std::vector<std::string> problems = host.problems();
  if (problems.size() == 1 && problems[0].find(text) != std::string::npos)
    return ::testing::AssertionSuccess();
  auto failure = ::testing::AssertionFailure() << "expected one problem mentioning \"" << text << "\", got";
  for (const std::string& problem : problems) failure << " [" << problem << "]";
  return failure;
}

}  // namespace minihost::testing
