#include "minihost/world.h"

#include <gtest/gtest.h>

#include "minihost/host_error.h"

namespace minihost {
namespace {

TEST(WorldTest, RowsArePaddedAndTheRecordDescribesThem) {
  World eight(3, 2, Depth::Eight, 5);
  EXPECT_EQ(eight.rowbytes(), 3 * 4 + 5);
  EXPECT_EQ(eight.pf().world_flags, PF_WorldFlag_WRITEABLE);
  EXPECT_EQ(eight.pf().extent_hint.right, 3);
  EXPECT_EQ(eight.pf().extent_hint.bottom, 2);
  EXPECT_EQ(eight.pf().pix_aspect_ratio.num, 1);
  EXPECT_EQ(eight.pf().pix_aspect_ratio.den, 1u);
  auto* base = reinterpret_cast<unsigned char*>(eight.pf().data);
  EXPECT_EQ(reinterpret_cast<unsigned char*>(&eight.pixel8(2, 1)), base + 17 + 8);
  EXPECT_EQ(eight.packedBytes(), std::vector<unsigned char>(24, 0));
  EXPECT_TRUE(eight.paddingIntact());

  World deep(3, 2, Depth::Sixteen);
  EXPECT_EQ(deep.rowbytes(), 3 * 8 + World::kDefaultRowPadding);
  EXPECT_EQ(deep.pf().world_flags, PF_WorldFlag_DEEP | PF_WorldFlag_WRITEABLE);
  EXPECT_EQ(deep.packedBytes(), std::vector<unsigned char>(48, 0));
  EXPECT_THROW(deep.pixel8(0, 0), std::logic_error);
  EXPECT_THROW(deep.pixel16(3, 0), std::out_of_range);

  // Float: 16 bytes a pixel, no depth flag, rows that start on a float boundary.
  World real(3, 2, Depth::ThirtyTwo, 4);
  EXPECT_EQ(real.rowbytes(), 3 * 16 + 4);
  EXPECT_EQ(real.pf().world_flags, PF_WorldFlag_WRITEABLE);
  EXPECT_EQ(reinterpret_cast<unsigned char*>(&real.pixelFloat(2, 1)),
            reinterpret_cast<unsigned char*>(real.pf().data) + 52 + 32);
  EXPECT_EQ(real.packedBytes(), std::vector<unsigned char>(96, 0));
  EXPECT_THROW(real.pixel16(0, 0), std::logic_error);
  EXPECT_THROW(World(3, 2, Depth::ThirtyTwo, 6), HostError);
  EXPECT_THROW(World(3, 2, Depth::Sixteen, 3), HostError);
}

TEST(WorldTest, PaddingCatchesARowWrittenWithTheWrongStride) {
  World world(4, 3, Depth::Eight, 8);
  world.pixel8(3, 0) = PF_Pixel8{1, 2, 3, 4};
  world.pixel8(0, 2) = PF_Pixel8{5, 6, 7, 8};
  EXPECT_TRUE(world.paddingIntact());
  const std::vector<unsigned char> packed = world.packedBytes();
  ASSERT_EQ(packed.size(), 48u);
  EXPECT_EQ(packed[12], 1);
  EXPECT_EQ(packed[15], 4);
  EXPECT_EQ(packed[32], 5);

  // Row 1 placed as if rows were width x 4 bytes apart lands in row 0's padding (bytes 16..23).
  reinterpret_cast<unsigned char*>(world.pf().data)[16 + 3] = 0x11;
  EXPECT_FALSE(world.paddingIntact());
}

TEST(WorldTest, CopiesAndMovesKeepTheirOwnPixels) {
  World original(2, 2, Depth::Sixteen);
  original.pixel16(1, 1) = PF_Pixel16{32768, 1, 2, 3};
  World copy(original);
  EXPECT_NE(copy.pf().data, original.pf().data);
  EXPECT_EQ(reinterpret_cast<void*>(&copy.pixel16(0, 0)), copy.pf().data);
  copy.pixel16(1, 1).red = 9;
  EXPECT_EQ(original.pixel16(1, 1).red, 1);

  World assigned(1, 1, Depth::Eight);
  assigned = copy;
  EXPECT_EQ(assigned.depth(), Depth::Sixteen);
  EXPECT_EQ(reinterpret_cast<void*>(&assigned.pixel16(0, 0)), assigned.pf().data);
  EXPECT_EQ(assigned.pixel16(1, 1).red, 9);

  World moved(std::move(copy));
  EXPECT_EQ(reinterpret_cast<void*>(&moved.pixel16(0, 0)), moved.pf().data);
  EXPECT_EQ(moved.pixel16(1, 1).red, 9);
  EXPECT_TRUE(moved.paddingIntact());
}

TEST(WorldTest, RefusesSizesNoHostWouldMake) {
  EXPECT_THROW(World(-1, 2, Depth::Eight), HostError);
  EXPECT_THROW(World(2, PF_MAX_WORLD_HEIGHT + 1, Depth::Eight), HostError);
  EXPECT_THROW(World(2, 2, Depth::Eight, -4), HostError);
  EXPECT_THROW(World(2, 2, Depth::Sixteen, 3), HostError);  // rows of 16-bit words on odd addresses
  EXPECT_NO_THROW(World(0, 0, Depth::Eight));
}

}  // namespace
}  // namespace minihost
