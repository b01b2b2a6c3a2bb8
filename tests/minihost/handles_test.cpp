#include <gtest/gtest.h>

#include "test_support.h"

namespace minihost {
namespace {

using testing::FakeEffectTest;
using testing::OneProblemMentioning;

TEST(HandlesTest, LockResizeAndDisposeKeepTheirBooks) {
  Host host;
  Host::Scope scope(host);
  PF_UtilCallbacks* utils = host.makeInData().utils;
  PF_Handle handle = utils->host_new_handle(5);
  ASSERT_NE(handle, nullptr);
  EXPECT_EQ(host.liveHandles(), 1u);
  EXPECT_EQ(utils->host_get_handle_size(handle), 5u);
  EXPECT_EQ(*handle, host.handleData(handle));

  auto* bytes = static_cast<unsigned char*>(utils->host_lock_handle(handle));
  EXPECT_EQ(utils->host_lock_handle(handle), bytes);
  EXPECT_EQ(host.lockCount(handle), 2);
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(bytes[i], 0) << "new handles are zero-filled";
    bytes[i] = static_cast<unsigned char>(i + 1);
  }
  utils->host_unlock_handle(handle);
  utils->host_unlock_handle(handle);
  EXPECT_EQ(host.lockCount(handle), 0);

  EXPECT_EQ(utils->host_resize_handle(8, &handle), PF_Err_NONE);
  EXPECT_EQ(utils->host_get_handle_size(handle), 8u);
  auto* grown = static_cast<unsigned char*>(*handle);
  EXPECT_EQ((std::vector<unsigned char>(grown, grown + 8)),
            (std::vector<unsigned char>{1, 2, 3, 4, 5, 0, 0, 0}));
  EXPECT_EQ(utils->host_resize_handle(2, &handle), PF_Err_NONE);
  EXPECT_EQ(static_cast<unsigned char*>(*handle)[1], 2);

  utils->host_dispose_handle(handle);
  EXPECT_EQ(host.liveHandles(), 0u);
  EXPECT_TRUE(host.problems().empty());
}

TEST_F(FakeEffectTest, HandleMisuseIsReportedAndHarmless) {
  fake::Script leak{fake::Action::LeakHandle};
  EXPECT_EQ(run(leak), PF_Err_NONE);
  EXPECT_EQ(host.liveHandles(), 1u);
  EXPECT_EQ(host.handleSize(leak.handle), 8u);
  host.disposeHandle(leak.handle);
  EXPECT_TRUE(host.problems().empty());

  fake::Script twice{fake::Action::DoubleDispose};
  run(twice);
  EXPECT_TRUE(OneProblemMentioning(host, "disposal of handle #2 (8 bytes) after its disposal"));
  EXPECT_EQ(host.liveHandles(), 0u);
  host.clearProblems();

  fake::Script late{fake::Action::UseAfterDispose};
  run(late);
  EXPECT_EQ(late.locked, nullptr);
  EXPECT_TRUE(OneProblemMentioning(host, "lock of handle #3 (8 bytes) after its disposal"));
  host.clearProblems();

  fake::Script unlock{fake::Action::UnbalancedUnlock};
  run(unlock);
  EXPECT_TRUE(OneProblemMentioning(host, "unlock of handle #4 (8 bytes), which is not locked"));
  EXPECT_EQ(host.liveHandles(), 0u);
}

TEST(HandlesTest, PointersTheHostNeverMadeAreRefused) {
  Host host;
  PF_UtilCallbacks* utils = host.makeInData().utils;
  void* stranger = nullptr;
  EXPECT_EQ(utils->host_new_handle(4), nullptr) << "no host is current";
  {
    Host::Scope scope(host);
    EXPECT_EQ(utils->host_lock_handle(&stranger), nullptr);
    EXPECT_TRUE(OneProblemMentioning(host, "lock of a handle the host never made"));
    host.clearProblems();
    EXPECT_EQ(utils->host_get_handle_size(nullptr), 0u);
    EXPECT_TRUE(OneProblemMentioning(host, "size query of a null handle"));
    host.clearProblems();
    PF_Handle none = nullptr;
    EXPECT_EQ(utils->host_resize_handle(4, &none), PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(host.problems().size(), 1u);
  }
}

}  // namespace
}  // namespace minihost
