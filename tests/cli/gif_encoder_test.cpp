// GIF files of rendered frames, read back by giflib's own decoder: every opaque pixel its exact colour,
// transparent where alpha is below half, delays without drift, the loop count, and the palette's bounds.
#include "cli/gif_encoder.h"

#include <gif_lib.h>
#include <gtest/gtest.h>

#include <cstring>

#include "minihost/pixel_transfer.h"
#include "minihost/world.h"

namespace {

// What a viewer shows of each frame: the canvas after every frame is drawn over it as its disposal says,
// 0xAARRGGBB a pixel (0 where nothing is drawn).
struct Decoded {
  std::vector<std::vector<uint32_t>> frames;
  std::vector<int> delays;
  int loops = -1;
};

struct Reader {
  const std::vector<unsigned char>* bytes;
  std::size_t at = 0;
};

int Read(GifFileType* gif, GifByteType* into, int length) {
  auto* r = static_cast<Reader*>(gif->UserData);
  const std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(length), r->bytes->size() - r->at);
  std::memcpy(into, r->bytes->data() + r->at, n);
  r->at += n;
  return static_cast<int>(n);
}

Decoded Decode(const std::vector<unsigned char>& bytes) {
  Reader reader{&bytes};
  int error = 0;
  GifFileType* gif = DGifOpen(&reader, Read, &error);
  EXPECT_NE(gif, nullptr);
  EXPECT_EQ(DGifSlurp(gif), GIF_OK);
  Decoded out;
  std::vector<uint32_t> canvas(static_cast<std::size_t>(gif->SWidth) * gif->SHeight, 0);
  for (int i = 0; i < gif->ImageCount; ++i) {
    const SavedImage& image = gif->SavedImages[i];
    GraphicsControlBlock control{};
    DGifSavedExtensionToGCB(gif, i, &control);
    out.delays.push_back(control.DelayTime);
    const ColorMapObject* map =
        image.ImageDesc.ColorMap != nullptr ? image.ImageDesc.ColorMap : gif->SColorMap;
    for (int y = 0; y < image.ImageDesc.Height; ++y) {
      for (int x = 0; x < image.ImageDesc.Width; ++x) {
        const int index = image.RasterBits[y * image.ImageDesc.Width + x];
        if (index == control.TransparentColor) continue;
        const GifColorType c = map->Colors[index];
        canvas[static_cast<std::size_t>(y + image.ImageDesc.Top) * gif->SWidth + x + image.ImageDesc.Left] =
            0xFF000000u | static_cast<uint32_t>(c.Red) << 16 | static_cast<uint32_t>(c.Green) << 8 | c.Blue;
      }
    }
    out.frames.push_back(canvas);
    if (control.DisposalMode == DISPOSE_BACKGROUND) std::fill(canvas.begin(), canvas.end(), 0u);
    for (int e = 0; e < image.ExtensionBlockCount; ++e) {
      const ExtensionBlock& block = image.ExtensionBlocks[e];
      if (block.Function == CONTINUE_EXT_FUNC_CODE && block.ByteCount == 3 && block.Bytes[0] == 1) {
        out.loops = block.Bytes[1] | block.Bytes[2] << 8;
      }
    }
  }
  DGifCloseFile(gif, &error);
  return out;
}

// The frame of `rgba` pixels indexed as GIF takes them, if it fits.
std::optional<IndexedFrame> TryIndex(const std::vector<uint8_t>& rgba, int width, int height) {
  minihost::World world(width, height, minihost::Depth::Eight);
  minihost::PlainToWorld(
      rgba.data(), {minihost::SampleBits::Eight, 4, 3, static_cast<std::size_t>(width) * 4}, world.pf());
  return IndexWorld(world.pf(), AlphaBits::One);
}

IndexedFrame Index(const std::vector<uint8_t>& rgba, int width, int height) {
  std::optional<IndexedFrame> frame = TryIndex(rgba, width, height);
  EXPECT_TRUE(frame);
  return frame ? *frame : IndexedFrame{};
}

// A frame as 0xAARRGGBB a pixel, alpha held to 0 or 0xFF as GIF stores it (transparent pixels as 0).
std::vector<uint32_t> Shown(const std::vector<uint8_t>& rgba) {
  std::vector<uint32_t> out;
  for (std::size_t i = 0; i < rgba.size(); i += 4) {
    out.push_back(rgba[i + 3] < 128 ? 0u
                                    : 0xFF000000u | static_cast<uint32_t>(rgba[i]) << 16 |
                                          static_cast<uint32_t>(rgba[i + 1]) << 8 | rgba[i + 2]);
  }
  return out;
}

// Frame `seed` of a clip, of `colors` colours; with `shifting`, each frame's colours are others than the
// frame before's.
std::vector<uint8_t> Frame(int width, int height, int seed, int colors, bool holes, bool shifting = false) {
  std::vector<uint8_t> rgba;
  for (int i = 0; i < width * height; ++i) {
    const int c = (i * 7 + seed * (i % 3 == 0)) % colors + (shifting ? seed * 60 : 0);
    rgba.insert(rgba.end(),
                {static_cast<uint8_t>(c * 3), static_cast<uint8_t>(255 - c % 256),
                 static_cast<uint8_t>(c / 2), static_cast<uint8_t>(holes && i % 5 == 0 ? 127 : 128)});
  }
  return rgba;
}

TEST(GifEncoder, FramesReadBackExactlyWithTheirTransparency) {
  constexpr int kW = 32, kH = 16;
  // One table for the clip, with and without transparency; a table a frame (the clip's colours do not fit in
  // one), with and without room in it for differences.
  struct Case {
    int colors;
    bool holes, shifting;
  };
  for (const Case c : {Case{4, false, false}, Case{200, false, false}, Case{100, true, false},
                       Case{256, false, false}, Case{200, false, true}, Case{100, true, true}}) {
    std::vector<std::vector<uint8_t>> rgba;
    std::vector<IndexedFrame> frames;
    for (int k = 0; k < 3; ++k) {
      rgba.push_back(Frame(kW, kH, k, c.colors, c.holes, c.shifting));
      frames.push_back(Index(rgba.back(), kW, kH));
    }
    const std::vector<int> delays = {3, 4, 3};
    const Decoded decoded = Decode(EncodeGif(frames, delays, kW, kH, {}));
    ASSERT_EQ(decoded.frames.size(), 3u);
    for (int k = 0; k < 3; ++k)
      EXPECT_EQ(decoded.frames[k], Shown(rgba[k]))
          << c.colors << (c.shifting ? " shifting" : "") << " frame " << k;
    EXPECT_EQ(decoded.delays, delays);
  }
}

TEST(GifEncoder, DelaysFollowTheFrameRateWithoutDrift) {
  EXPECT_EQ(GifDelays(6, 30, 1), (std::vector<int>{3, 4, 3, 3, 4, 3}));
  EXPECT_EQ(GifDelays(3, 25, 1), (std::vector<int>{4, 4, 4}));
  EXPECT_EQ(GifDelays(4, 30000, 1001), (std::vector<int>{3, 4, 3, 3}));
  EXPECT_EQ(GifDelays(2, 200, 1), (std::vector<int>{1, 1}));
  int total = 0;
  for (const int d : GifDelays(3000, 30000, 1001)) total += d;
  EXPECT_EQ(total, 10010);  // 3000 frames at 29.97 fps last 100.1 s
}

TEST(GifEncoder, MoreThan256ColoursInAFrameAreRefused) {
  std::vector<uint8_t> rgba;
  for (int i = 0; i < 257; ++i)
    rgba.insert(rgba.end(), {static_cast<uint8_t>(i), static_cast<uint8_t>(i >> 8), 0, 255});
  EXPECT_FALSE(TryIndex(rgba, 257, 1));
  rgba.resize(256 * 4);
  EXPECT_EQ(Index(rgba, 256, 1).colors.size(), 256u);
  // Transparency takes an entry of its own, whatever the colour under it.
  rgba[3] = 0;
  rgba.insert(rgba.end(), {1, 2, 3, 0});
  EXPECT_EQ(Index(rgba, 257, 1).colors.size(), 256u);
  rgba[3] = 255;  // 256 opaque colours and transparency
  EXPECT_FALSE(TryIndex(rgba, 257, 1));
}

TEST(GifEncoder, PlaysAsOftenAsAsked) {
  const std::vector<IndexedFrame> frames = {Index(Frame(4, 4, 0, 3, false), 4, 4),
                                            Index(Frame(4, 4, 1, 3, false), 4, 4)};
  const int delays[] = {4, 4};
  // NETSCAPE2.0 counts the plays after the first; a clip played once has no such block.
  for (const auto& [plays, block] : {std::pair{0, 0}, std::pair{3, 2}, std::pair{1, -1}}) {
    EXPECT_EQ(Decode(EncodeGif(frames, delays, 4, 4, {.plays = plays})).loops, block) << plays;
  }
}

}  // namespace
