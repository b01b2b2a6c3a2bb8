#include <gtest/gtest.h>

#include <string>

#include "minihost/host_error.h"
#include "test_support.h"

namespace minihost {
namespace {

using testing::FakeEffectTest;
using testing::kFakeEffectPath;

std::string LoadError(const std::filesystem::path& path, const std::string& entry) {
  try {
    EffectLibrary library(path, entry);
  } catch (const HostError& error) {
    return error.what();
  }
  return "";
}

TEST(EffectLibraryTest, FailuresNameTheFileAndTheReason) {
  const std::string missing = LoadError("/nonexistent/dir/libnothing.so", "EntryPoint");
  EXPECT_NE(missing.find("/nonexistent/dir/libnothing.so"), std::string::npos) << missing;
  EXPECT_NE(missing.find("No such file"), std::string::npos) << missing;

  const std::string noEntry = LoadError(kFakeEffectPath, "NoSuchEntry");
  EXPECT_NE(noEntry.find(kFakeEffectPath), std::string::npos) << noEntry;
  EXPECT_NE(noEntry.find("NoSuchEntry"), std::string::npos) << noEntry;

  EXPECT_NE(EffectLibrary(kFakeEffectPath).entryPoint(), nullptr);
}

TEST_F(FakeEffectTest, GlobalSetUpAndAboutComeFromTheEffect) {
  EXPECT_EQ(effect.version(), fake::kVersion);
  EXPECT_EQ(effect.outFlags(), PF_OutFlag_DEEP_COLOR_AWARE | PF_OutFlag_I_DO_DIALOG);
  EXPECT_EQ(effect.outFlags2(), PF_OutFlag2_PARAM_GROUP_START_COLLAPSED_FLAG);
  EXPECT_EQ(effect.about(), "Fake Effect v2.1\rfor host tests");
  EXPECT_TRUE(host.problems().empty());

  // A message that fills the whole field leaves no room for its terminator.
  fake::Script overlong{fake::Action::FillReturnMessage};
  run(overlong);
  EXPECT_TRUE(
      testing::OneProblemMentioning(host, "return_msg of command 17 is not terminated within its 256"));

  Host failing;
  failing.setApplId(fake::kFailingApplId);
  try {
    Effect broken(failing, kFakeEffectPath);
    ADD_FAILURE() << "global set-up failure was not reported";
  } catch (const HostError& error) {
    EXPECT_NE(std::string(error.what()).find("error 4: no memory for the tables"), std::string::npos)
        << error.what();
  }
}

TEST(HostTest, InDataCarriesTheHostsSettings) {
  Host host;
  PF_InData in = host.makeInData();
  EXPECT_EQ(in.appl_id, PF_FourCC('F', 'X', 'T', 'C'));
  EXPECT_EQ(in.version.major, 13);
  EXPECT_EQ(in.version.minor, 28);
  EXPECT_EQ(in.quality, 1);
  EXPECT_EQ(in.time_scale, 1u);
  EXPECT_EQ(in.downsample_x.num, 1);
  EXPECT_EQ(in.downsample_y.den, 1u);
  EXPECT_EQ(in.pixel_aspect_ratio.num, 1);
  EXPECT_NE(in.pica_basicP, nullptr);
  EXPECT_NE(in.effect_ref, nullptr);
  EXPECT_EQ(in.sequence_data, nullptr);
  EXPECT_EQ(in.num_params, 0);
  host.setApplId(PF_ApplID_PremierePro);
  EXPECT_EQ(host.makeInData().appl_id, 0x50724D72);
}

TEST_F(FakeEffectTest, AnInstanceRendersThroughFillAndIterateAtBothDepths) {
  Instance instance(effect);
  World input8(5, 4, Depth::Eight, 12);
  World output8(5, 4, Depth::Eight);
  input8.pixel8(1, 2) = PF_Pixel8{255, 10, 200, 0};
  ASSERT_EQ(instance.render(input8, output8), PF_Err_NONE);
  EXPECT_EQ(output8.pixel8(1, 2).red, 245);
  EXPECT_EQ(output8.pixel8(1, 2).green, 55);
  EXPECT_EQ(output8.pixel8(1, 2).blue, 255);
  EXPECT_EQ(output8.pixel8(1, 2).alpha, 255);
  EXPECT_EQ(output8.pixel8(4, 3).red, 255);  // an untouched input pixel (0, 0, 0, 0) inverts to white
  EXPECT_EQ(output8.pixel8(4, 3).alpha, 0);
  EXPECT_TRUE(output8.paddingIntact());

  host.setThreads(3);
  World input16(5, 4, Depth::Sixteen, 6);
  World output16(5, 4, Depth::Sixteen);
  input16.pixel16(3, 0) = PF_Pixel16{32768, 100, 32768, 16384};
  ASSERT_EQ(instance.render(input16, output16), PF_Err_NONE);
  EXPECT_EQ(output16.pixel16(3, 0).red, 32668);
  EXPECT_EQ(output16.pixel16(3, 0).green, 0);
  EXPECT_EQ(output16.pixel16(3, 0).blue, 16384);
  EXPECT_EQ(output16.pixel16(3, 0).alpha, 32768);
  EXPECT_TRUE(output16.paddingIntact());

  EXPECT_EQ(host.acquireCount(kPFHandleSuite), 2);
  EXPECT_EQ(host.releaseCount(kPFHandleSuite), 2);
  EXPECT_EQ(host.liveHandles(), 1u);  // the instance's sequence data, and no render's scratch handle
  EXPECT_TRUE(host.problems().empty());
  // The input layer belongs to one frame only.
  EXPECT_EQ(instance.params()[0].u.ld.data, nullptr);
  EXPECT_EQ(instance.params()[0].u.ld.dephault, PF_LayerDefault_MYSELF);
}

}  // namespace
}  // namespace minihost
