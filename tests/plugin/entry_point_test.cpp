#include <gtest/gtest.h>

#include <cstring>

#include "plugin/effect_identity.h"
#include "support/effect_under_test.h"

namespace {

PF_Err Call(LoadedEffect& loaded, PF_Cmd cmd, PF_OutData& out, minihost::World* output = nullptr) {
  PF_InData in = loaded.host.makeInData(&loaded.instance.params());
  return loaded.host.call(loaded.effect.entryPoint(), cmd, in, out, loaded.instance.params().array(),
                          output != nullptr ? &output->pf() : nullptr, nullptr);
}

}  // namespace

TEST(EntryPoint, GlobalSetupReportsVersionAndFlagsEvenWithoutABasicSuite) {
  LoadedEffect loaded;
  EXPECT_EQ(loaded.effect.version(), 0x00088001u);
  EXPECT_EQ(loaded.effect.outFlags(), 0x02000030);
  EXPECT_EQ(loaded.effect.outFlags2(), 0x08800408);

  loaded.host.setBasicSuiteAvailable(false);
  PF_OutData out{};
  EXPECT_EQ(Call(loaded, PF_Cmd_GLOBAL_SETUP, out), PF_Err_NONE);
  EXPECT_EQ(out.my_version, kEffectVersion);
  EXPECT_EQ(out.out_flags, kEffectOutFlags);
  EXPECT_EQ(out.out_flags2, kEffectOutFlags2);
}

TEST(EntryPoint, CommandsOutsideTheSwitchDoNothing) {
  LoadedEffect loaded;
  for (PF_Cmd cmd : {2, 3, 10, 12, 15, 16, 20, 27, 29, 30, 33, 99, -1}) {
    PF_OutData out;
    std::memset(&out, 0x5A, sizeof out);
    PF_OutData before = out;
    EXPECT_EQ(Call(loaded, cmd, out), PF_Err_NONE) << cmd;
    EXPECT_EQ(std::memcmp(&out, &before, sizeof out), 0) << cmd;
  }
  EXPECT_TRUE(loaded.host.problems().empty());
  EXPECT_EQ(loaded.host.suitesHeld(), 0);
}

TEST(EntryPoint, EveryHandlerButGlobalSetupNeedsTheBasicSuite) {
  LoadedEffect loaded;
  loaded.host.setBasicSuiteAvailable(false);
  minihost::World output(4, 4, minihost::Depth::Eight);
  for (PF_Cmd cmd : {PF_Cmd_ABOUT, PF_Cmd_PARAMS_SETUP, PF_Cmd_SEQUENCE_SETUP, PF_Cmd_SEQUENCE_RESETUP,
                     PF_Cmd_SEQUENCE_FLATTEN, PF_Cmd_SEQUENCE_SETDOWN, PF_Cmd_DO_DIALOG, PF_Cmd_RENDER,
                     PF_Cmd_USER_CHANGED_PARAM, PF_Cmd_UPDATE_PARAMS_UI}) {
    PF_OutData out{};
    PF_UserChangedParamExtra extra{15};
    PF_InData in = loaded.host.makeInData(&loaded.instance.params());
    EXPECT_EQ(loaded.host.call(loaded.effect.entryPoint(), cmd, in, out, loaded.instance.params().array(),
                               &output.pf(), &extra),
              PF_Err_BAD_CALLBACK_PARAM)
        << cmd;
  }
}

TEST(EntryPoint, ASuiteThatCannotBeHadEndsTheCommandWithEverySuiteReleased) {
  LoadedEffect loaded;
  loaded.host.refuseSuite("PF Handle Suite");
  minihost::World input(3, 2, minihost::Depth::Eight);
  minihost::World output(3, 2, minihost::Depth::Eight);
  EXPECT_EQ(loaded.instance.render(input, output), PF_Err_BAD_CALLBACK_PARAM);
  EXPECT_EQ(loaded.host.suitesHeld(), 0);
  EXPECT_TRUE(loaded.host.problems().empty());

  loaded.host.refuseSuite("PF ANSI Suite");
  PF_OutData out{};
  EXPECT_EQ(Call(loaded, PF_Cmd_ABOUT, out), PF_Err_BAD_CALLBACK_PARAM);
  EXPECT_EQ(out.return_msg[0], '\0');
}
