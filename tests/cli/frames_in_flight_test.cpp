// How many frames a run holds at once, and how many jobs render them, worked by hand from the budget.
#include <gtest/gtest.h>

#include "cli/frame_pipeline.h"

namespace {

TEST(FramesInFlight, JobsAskedForAreHeldToTheFrameMemoryBudget) {
  ASSERT_EQ(kFrameMemoryBudget, 536870912u);
  // Small frames: two a job plus two, as many jobs as asked.
  EXPECT_EQ(PlanFramesInFlight(64 * 48 * 4, 1).frames, 4u);
  EXPECT_EQ(PlanFramesInFlight(64 * 48 * 4, 1).jobs, 1u);
  EXPECT_EQ(PlanFramesInFlight(64 * 48 * 4, 8).frames, 18u);
  EXPECT_EQ(PlanFramesInFlight(64 * 48 * 4, 8).jobs, 8u);
  // 1080p at 8 bits, rows of 1920 x 4 + 40 bytes: 8,337,600 bytes, counted twice; 536870912 / 16675200 is
  // 32.2, so 32 frames and (32 - 2) / 2 = 15 jobs, however many are asked for.
  const std::size_t hd = (1920 * 4 + 40) * 1080;
  EXPECT_EQ(PlanFramesInFlight(hd, 1024).frames, 32u);
  EXPECT_EQ(PlanFramesInFlight(hd, 1024).jobs, 15u);
  EXPECT_EQ(PlanFramesInFlight(hd, 2).frames, 6u);
  EXPECT_EQ(PlanFramesInFlight(hd, 2).jobs, 2u);
  // A frame larger than the budget still gets what one job needs.
  EXPECT_EQ(PlanFramesInFlight(std::size_t{600} << 20, 16).frames, 4u);
  EXPECT_EQ(PlanFramesInFlight(std::size_t{600} << 20, 16).jobs, 1u);
  // No frame read (an empty input): the jobs asked for.
  EXPECT_EQ(PlanFramesInFlight(0, 3).jobs, 3u);
}

}  // namespace
