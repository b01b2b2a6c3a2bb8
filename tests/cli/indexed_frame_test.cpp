// Frames indexed for pal8 PNG video: indices and palette entries worked out by hand from the pixels.
#include "cli/indexed_frame.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

#include "minihost/world.h"

namespace {

constexpr std::uint32_t kUnused = 0xFF000000u;  // opaque black past the colours in use

TEST(IndexedFrame, ColoursNumberedAsFirstMetWithAlphaOnlyWhenAsked) {
  // Rows padded in the world and in the indices (stride 5 for 3 pixels): neither padding is read or
  // written.
  minihost::World world(3, 2, minihost::Depth::Eight);
  const PF_Pixel8 pixels[2][3] = {{{255, 1, 2, 3}, {255, 10, 20, 30}, {255, 1, 2, 3}},
                                  {{0, 1, 2, 3}, {128, 10, 20, 30}, {255, 250, 0, 0}}};
  for (int y = 0; y < 2; ++y) {
    for (int x = 0; x < 3; ++x) world.pixel8(x, y) = pixels[y][x];
  }
  const struct {
    bool alpha;
    std::vector<std::uint8_t> indices;
    std::vector<std::uint32_t> colours;
  } cases[] = {
      // Alpha left out: the transparent (1, 2, 3) is the opaque one's entry 0.
      {false, {0, 1, 0, 0xEE, 0xEE, 0, 1, 2, 0xEE, 0xEE}, {0xFF010203u, 0xFF0A141Eu, 0xFFFA0000u}},
      {true,
       {0, 1, 0, 0xEE, 0xEE, 2, 3, 4, 0xEE, 0xEE},
       {0xFF010203u, 0xFF0A141Eu, 0x00010203u, 0x800A141Eu, 0xFFFA0000u}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.alpha ? "with alpha" : "opaque");
    std::vector<std::uint8_t> indices(10, 0xEE);
    std::array<std::uint32_t, 256> palette{};
    ASSERT_TRUE(IndexWorld(world.pf(), c.alpha ? AlphaBits::Eight : AlphaBits::None, indices.data(), 5,
                           palette.data()));
    EXPECT_EQ(indices, c.indices);
    for (std::size_t i = 0; i < palette.size(); ++i)
      EXPECT_EQ(palette[i], i < c.colours.size() ? c.colours[i] : kUnused) << "entry " << i;
    EXPECT_TRUE(world.paddingIntact());
  }
}

TEST(IndexedFrame, TwoHundredFiftySixColoursFitAndOneMoreDoesNot) {
  // Pixel i of a row is red i % 256, green i / 256: every pixel a new colour.
  for (const int width : {256, 257}) {
    SCOPED_TRACE(width);
    minihost::World world(width, 1, minihost::Depth::Eight);
    for (int x = 0; x < width; ++x) {
      world.pixel8(x, 0) = {255, static_cast<A_u_char>(x % 256), static_cast<A_u_char>(x / 256), 7};
    }
    std::vector<std::uint8_t> indices(static_cast<std::size_t>(width));
    std::array<std::uint32_t, 256> palette{};
    const bool fits =
        IndexWorld(world.pf(), AlphaBits::None, indices.data(), width, palette.data()).has_value();
    EXPECT_EQ(fits, width == 256);
    if (!fits) continue;
    for (int x = 0; x < width; ++x) {
      EXPECT_EQ(indices[static_cast<std::size_t>(x)], x) << x;
      EXPECT_EQ(palette[static_cast<std::size_t>(x)], 0xFF000007u | static_cast<std::uint32_t>(x) << 16) << x;
    }
  }
}

}  // namespace
