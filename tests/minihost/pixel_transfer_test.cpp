#include "minihost/pixel_transfer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "minihost/host_error.h"
#include "minihost/world.h"

namespace {

using minihost::Depth;
using minihost::PlainLayout;
using minihost::SampleBits;
using minihost::World;

constexpr unsigned char kGap = 0xEE;

// 8-bit RGBA both ways through a world three pixels wide (odd), with the world's rows padded and the
// buffer's rows 4 bytes longer than their pixels: every byte lands where it belongs and no gap is written.
TEST(PixelTransfer, EightBitRoundTripKeepsEveryByteAndTouchesNoGap) {
  const PlainLayout layout{SampleBits::Eight, 4, 3, 3 * 4 + 4};
  std::vector<unsigned char> plain(layout.stride * 2, kGap);
  for (int y = 0; y < 2; ++y) {
    for (int x = 0; x < 3; ++x) {
      for (int c = 0; c < 4; ++c)
        plain[y * layout.stride + x * 4 + c] = static_cast<unsigned char>(y * 100 + x * 10 + c);
    }
  }
  World world(3, 2, Depth::Eight);
  minihost::PlainToWorld(plain.data(), layout, world.pf());
  // Host order: alpha, red, green, blue.
  EXPECT_EQ(world.pixel8(0, 0).alpha, 3);
  EXPECT_EQ(world.pixel8(0, 0).red, 0);
  EXPECT_EQ(world.pixel8(2, 1).alpha, 123);
  EXPECT_EQ(world.pixel8(2, 1).red, 120);
  EXPECT_EQ(world.pixel8(2, 1).green, 121);
  EXPECT_EQ(world.pixel8(2, 1).blue, 122);
  EXPECT_TRUE(world.paddingIntact());

  std::vector<unsigned char> back(plain.size(), kGap);
  minihost::WorldToPlain(world.pf(), back.data(), layout);
  EXPECT_EQ(back, plain);

  // Without alpha the fourth byte is ignored on the way in and written opaque on the way out.
  const PlainLayout opaque{SampleBits::Eight, 4, -1, layout.stride};
  minihost::PlainToWorld(plain.data(), opaque, world.pf());
  EXPECT_EQ(world.pixel8(1, 0).alpha, 255);
  EXPECT_EQ(world.pixel8(1, 0).blue, 12);
  world.pixel8(1, 0).alpha = 7;
  minihost::WorldToPlain(world.pf(), back.data(), opaque);
  EXPECT_EQ(back[4 + 3], 255);
  EXPECT_EQ(back[4 + 2], 12);
}

// 16-bit samples against the host's 0..32768 scale, at an odd width with padded rows on both sides.
TEST(PixelTransfer, SixteenBitSamplesScaleToTheHostAndBack) {
  const PlainLayout layout{SampleBits::Sixteen, 4, 3, 3 * 8 + 6};
  std::vector<unsigned char> plain(layout.stride, kGap);
  const std::uint16_t samples[12] = {65535, 32768, 1, 0, 0, 65535, 32768, 1, 257, 128, 129, 65535};
  std::memcpy(plain.data(), samples, sizeof samples);
  World world(3, 1, Depth::Sixteen);
  minihost::PlainToWorld(plain.data(), layout, world.pf());
  // (v * 32768 + 32767) / 65535: 65535 -> 32768, 32768 -> 16384 (16384.75 cut), 1 -> 1, 0 -> 0.
  const PF_Pixel16 first = world.pixel16(0, 0);
  EXPECT_EQ(first.red, 32768);
  EXPECT_EQ(first.green, 16384);
  EXPECT_EQ(first.blue, 1);
  EXPECT_EQ(first.alpha, 0);
  EXPECT_EQ(world.pixel16(1, 0).alpha, 1);
  EXPECT_TRUE(world.paddingIntact());

  std::vector<unsigned char> back(plain.size(), kGap);
  minihost::WorldToPlain(world.pf(), back.data(), layout);
  std::uint16_t out[12];
  std::memcpy(out, back.data(), sizeof out);
  // (v * 65535 + 16384) / 32768: 32768 -> 65535, 16384 -> 32768, 1 -> 2 (2.5 cut), 0 -> 0.
  EXPECT_EQ(out[0], 65535);
  EXPECT_EQ(out[1], 32768);
  EXPECT_EQ(out[2], 2);
  EXPECT_EQ(out[3], 0);
  for (std::size_t i = sizeof out; i < back.size(); ++i) EXPECT_EQ(back[i], kGap) << "gap byte " << i;
}

// A buffer of one depth into a world of the other, and back out to a buffer of the other depth.
TEST(PixelTransfer, CrossDepthsUseTheNearestOrScaledValue) {
  // 8-bit samples into a deep world: (v * 32768 + 127) / 255, so 1 -> 129, 128 -> 16448, 255 -> 32768.
  const unsigned char eight[4] = {1, 128, 255, 0};
  World deep(1, 1, Depth::Sixteen);
  minihost::PlainToWorld(eight, {SampleBits::Eight, 4, 3, 4}, deep.pf());
  EXPECT_EQ(deep.pixel16(0, 0).red, 129);
  EXPECT_EQ(deep.pixel16(0, 0).green, 16448);
  EXPECT_EQ(deep.pixel16(0, 0).blue, 32768);
  EXPECT_EQ(deep.pixel16(0, 0).alpha, 0);

  // 16-bit samples into an 8-bit world: the nearest, 128/257 rounds down and 129/257 up.
  const std::uint16_t sixteen[4] = {128, 129, 65535, 257};
  World shallow(1, 1, Depth::Eight);
  minihost::PlainToWorld(sixteen, {SampleBits::Sixteen, 4, 3, 8}, shallow.pf());
  EXPECT_EQ(shallow.pixel8(0, 0).red, 0);
  EXPECT_EQ(shallow.pixel8(0, 0).green, 1);
  EXPECT_EQ(shallow.pixel8(0, 0).blue, 255);
  EXPECT_EQ(shallow.pixel8(0, 0).alpha, 1);

  // An 8-bit world out to 16 bits: v * 257. No alpha in the layout: the fourth channel opaque.
  std::uint16_t wide[4] = {};
  minihost::WorldToPlain(shallow.pf(), wide, {SampleBits::Sixteen, 4, -1, 8});
  EXPECT_EQ(wide[0], 0);
  EXPECT_EQ(wide[1], 257);
  EXPECT_EQ(wide[2], 65535);
  EXPECT_EQ(wide[3], 65535);

  // A deep world out to 8 bits: 16384 is 32768 of 65535, nearest 8-bit 128.
  deep.pixel16(0, 0) = {32768, 16384, 0, 32768};
  unsigned char narrow[3] = {};
  minihost::WorldToPlain(deep.pf(), narrow, {SampleBits::Eight, 3, -1, 3});
  EXPECT_EQ(narrow[0], 128);
  EXPECT_EQ(narrow[1], 0);
  EXPECT_EQ(narrow[2], 255);
}

TEST(PixelTransfer, GreyBuffersFillAllThreeColours) {
  const unsigned char grey[2] = {40, 90};
  World world(2, 1, Depth::Eight);
  minihost::PlainToWorld(grey, {SampleBits::Eight, 1, -1, 2}, world.pf());
  EXPECT_EQ(world.pixel8(1, 0).red, 90);
  EXPECT_EQ(world.pixel8(1, 0).green, 90);
  EXPECT_EQ(world.pixel8(1, 0).blue, 90);
  EXPECT_EQ(world.pixel8(1, 0).alpha, 255);
  const unsigned char greyAlpha[4] = {40, 5, 90, 6};
  minihost::PlainToWorld(greyAlpha, {SampleBits::Eight, 2, 1, 4}, world.pf());
  EXPECT_EQ(world.pixel8(1, 0).blue, 90);
  EXPECT_EQ(world.pixel8(1, 0).alpha, 6);
}

TEST(PixelTransfer, RefusesLayoutsThatDoNotFit) {
  World world(3, 1, Depth::Eight);
  std::vector<unsigned char> plain(64);
  // Rows shorter than their pixels.
  EXPECT_THROW(minihost::PlainToWorld(plain.data(), {SampleBits::Eight, 4, 3, 11}, world.pf()),
               minihost::HostError);
  // Alpha outside the pixel, and grey or alpha among the colours on the way out.
  EXPECT_THROW(minihost::PlainToWorld(plain.data(), {SampleBits::Eight, 3, 3, 12}, world.pf()),
               minihost::HostError);
  EXPECT_THROW(minihost::WorldToPlain(world.pf(), plain.data(), {SampleBits::Eight, 2, 1, 12}),
               minihost::HostError);
  EXPECT_THROW(minihost::WorldToPlain(world.pf(), plain.data(), {SampleBits::Eight, 4, 0, 12}),
               minihost::HostError);
}

}  // namespace
