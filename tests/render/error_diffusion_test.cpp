// The eleven error-diffusion patterns: small frames worked by hand, whole frames against the plain
// reference, frames of unusual sizes, and the work buffer's life.
#include "render/error_diffusion.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <memory>
#include <new>
#include <vector>

#include "dither_reference.h"
#include "render/pattern_catalogue.h"
#include "render/work_buffer.h"

#if defined(__SANITIZE_ADDRESS__)
// A refused allocation must come back to the effect as a failure rather than end the process.
extern "C" __attribute__((visibility("default"))) const char* __asan_default_options() {
  return "allocator_may_return_null=1";
}
#endif

using namespace dither_test;

namespace {

constexpr unsigned kFull16 = 32768;

// 16-bit channels in 32nds, so that every sum below is exact and can be followed by hand.
PF_Pixel16 Deep(unsigned r32, unsigned g32, unsigned b32, unsigned alpha = kFull16) {
  const auto c = [](unsigned v) { return static_cast<A_u_short>(v); };
  return PF_Pixel16{c(alpha), c(r32 * 1024), c(g32 * 1024), c(b32 * 1024)};
}

minihost::World DeepFrame(A_long width, A_long height, const std::vector<PF_Pixel16>& pixels) {
  minihost::World world(width, height, minihost::Depth::Sixteen);
  for (std::size_t i = 0; i < pixels.size(); ++i) {
    world.pixel16(static_cast<A_long>(i) % width, static_cast<A_long>(i) / width) = pixels[i];
  }
  return world;
}

std::vector<std::vector<unsigned>> Channels(minihost::World& world) {
  std::vector<std::vector<unsigned>> result;
  for (A_long y = 0; y < world.height(); ++y) {
    for (A_long x = 0; x < world.width(); ++x) {
      const PF_Pixel16& p = world.pixel16(x, y);
      result.push_back({p.alpha, p.red, p.green, p.blue});
    }
  }
  return result;
}

struct HandCase {
  const char* what;
  A_long pattern;
  A_long width, height;
  std::vector<PF_Pixel16> in;
  std::vector<std::vector<unsigned>> out;  // alpha, red, green, blue per pixel
};

template <typename Pixel>
void CheckAgainstReference(LoadedEffect& loaded, uint64_t seed) {
  minihost::World input = Noise<Pixel>(17, 9, seed);
  for (const Diffusion& d : Diffusions()) {
    for (const A_long swatch : {kRgb9, kGray2, kGray1, kRgb6}) {
      // Scale, offsets and thresholds play no part in error diffusion.
      const Controls c{d.pattern, swatch, 3, 5, -2, {40, -40, 0}};
      EXPECT_EQ(Render(loaded, input, c).packedBytes(), DiffusionRef<Pixel>(input, c).packedBytes())
          << d.label << ", swatch " << swatch << ", depth " << sizeof(Pixel) * 2;
    }
  }
}

}  // namespace

// All under "3-bit RGB": a channel leaves at full scale when its value plus received error is 0.5 or more.
TEST(ErrorDiffusion, SmallFramesWorkedByHand) {
  const unsigned F = kFull16;
  // clang-format off
  const HandCase cases[] = {
      // Red: (0,0) keeps 13/16 of its 12/32 in the frame; its 3/16 is dropped, not sent to (1,0), which
      // gets 10/32 + 7/16 x 12/32 = 0.4766. Green: (1,0) drops its 7/16 (not sent to (0,1)), and its 3/16
      // reaches (0,1): 12/32 + 0.0703 = 0.4453. Blue likewise: 14/32 + 0.0703 = 0.5078.
      {"Floyd Steinberg at the left and right edges", 1, 2, 2,
       {Deep(12, 0, 0), Deep(10, 12, 12), Deep(0, 12, 14), Deep(0, 0, 0)},
       {{F, 0, 0, 0}, {F, 0, 0, 0}, {F, 0, 0, F}, {F, 0, 0, 0}}},
      // On the last row only the 7/16 to the right goes on. Red: 13/32 + 7/16 x 7/16 x 12/32 = 0.4780 (a
      // 3/16 from (0,0) would make it 0.548). Green: 11/32 + 7/16 x 12/32 = 0.5078.
      {"Floyd Steinberg on the last row", 1, 3, 1,
       {Deep(12, 12, 0), Deep(0, 11, 0), Deep(13, 0, 0)},
       {{F, 0, 0, 0}, {F, 0, F, 0}, {F, 0, 0, 0}}},
      // Red: (0,0)'s error does not reach (0,1) straight below: 14/32 + 1/4 x 6/32 (from (1,0)) = 0.4844.
      // Green: (1,0)'s share one left and down does: 14/32 + 1/4 x 12/32 = 0.5313.
      {"Filter Lite skips the pixel below", 3, 2, 2,
       {Deep(12, 0, 0), Deep(0, 12, 0), Deep(14, 14, 0), Deep(0, 0, 0)},
       {{F, 0, 0, 0}, {F, 0, 0, 0}, {F, 0, F, 0}, {F, 0, 0, 0}}},
      // Six shares of an eighth, so a quarter is lost even away from the edges. Red: 14/32 + 1/8 x 14/32 +
      // 1/8 x 1/8 x 14/32 = 0.4990 stays below a half; green: 13/32 + 1/8 x 14/32 + 1/8 x 0.4922 = 0.5225.
      {"Atkinson hands on three quarters", 11, 3, 1,
       {Deep(14, 14, 0), Deep(0, 14, 0), Deep(14, 13, 0)},
       {{F, 0, 0, 0}, {F, 0, 0, 0}, {F, 0, F, 0}}},
      // The transparent white pixel counts as black plus 7/16 x 12/32; it keeps alpha 0 and hands its
      // error on: 14/32 + 7/16 x 0.1641 = 0.5093 at x 2.
      {"a transparent pixel", 1, 3, 1,
       {Deep(12, 0, 0), Deep(32, 32, 32, 0), Deep(14, 0, 0)},
       {{F, 0, 0, 0}, {0, 0, 0, 0}, {F, F, 0, 0}}},
      // A 1x1 frame: the pixel is quantised and its error dropped; a channel of 2.0 is held to full scale.
      {"a single pixel", 1, 1, 1, {Deep(51, 15, 16, 77)}, {{77, F, 0, F}}},
  };
  // clang-format on
  LoadedEffect loaded;
  for (const HandCase& c : cases) {
    minihost::World input = DeepFrame(c.width, c.height, c.in);
    minihost::World output = Render(loaded, input, {c.pattern, kRgb3});
    EXPECT_EQ(Channels(output), c.out) << c.what;
  }
}

TEST(ErrorDiffusion, ChannelsAreTruncatedAtBothDepths) {
  // "2-bit Gray" on grey inputs: levels 0.25, 0.5, 0.75 and 1 are written as 63, 127, 191 and 255 (8-bit)
  // and 8192, 16384, 24576 and 32768 (16-bit).
  const struct {
    minihost::Depth depth;
    unsigned grey, written;
  } cases[] = {
      {minihost::Depth::Eight, 62, 63},         {minihost::Depth::Eight, 128, 127},
      {minihost::Depth::Eight, 186, 191},       {minihost::Depth::Eight, 255, 255},
      {minihost::Depth::Sixteen, 8000, 8192},   {minihost::Depth::Sixteen, 16384, 16384},
      {minihost::Depth::Sixteen, 24000, 24576}, {minihost::Depth::Sixteen, 32768, 32768},
  };
  LoadedEffect loaded;
  for (const auto& c : cases) {
    minihost::World input(1, 1, c.depth);
    if (c.depth == minihost::Depth::Eight) {
      const auto g = static_cast<A_u_char>(c.grey);
      input.pixel8(0, 0) = {255, g, g, g};
      const PF_Pixel8 out = Render(loaded, input, {7, kGray2}).pixel8(0, 0);
      EXPECT_EQ(std::vector<unsigned>({out.red, out.green, out.blue}), std::vector<unsigned>(3, c.written))
          << c.grey;
    } else {
      const auto g = static_cast<A_u_short>(c.grey);
      input.pixel16(0, 0) = {kFull16, g, g, g};
      const PF_Pixel16 out = Render(loaded, input, {7, kGray2}).pixel16(0, 0);
      EXPECT_EQ(std::vector<unsigned>({out.red, out.green, out.blue}), std::vector<unsigned>(3, c.written))
          << c.grey;
    }
  }
}

TEST(ErrorDiffusion, EveryPatternMatchesThePlainReference) {
  LoadedEffect loaded;
  CheckAgainstReference<PF_Pixel8>(loaded, 1);
  CheckAgainstReference<PF_Pixel16>(loaded, 2);
}

TEST(ErrorDiffusion, EmptyFrames) {
  LoadedEffect loaded;
  for (const auto depth : {minihost::Depth::Eight, minihost::Depth::Sixteen}) {
    for (const auto& [w, h] : {std::pair<A_long, A_long>{0, 0}, {0, 3}, {3, 0}}) {
      minihost::World input(w, h, depth);
      Render(loaded, input, {6, kRgb6});
    }
  }
}

// The fill pass reaches only pixels that both worlds have; the diffusion covers the whole input and
// writes only where the output has pixels.
TEST(ErrorDiffusion, OutputsSmallerOrLargerThanTheInput) {
  LoadedEffect loaded;
  minihost::World input = Noise<PF_Pixel8>(6, 4, 21);
  const Controls c{1, kRgb9};
  Apply(loaded.instance.params(), c);
  for (const auto& [w, h] : {std::pair<A_long, A_long>{3, 2}, {9, 5}}) {
    minihost::World output(w, h, minihost::Depth::Eight);
    ASSERT_EQ(loaded.instance.render(input, output), PF_Err_NONE);
    EXPECT_TRUE(output.paddingIntact());
    const A_long fw = w, fh = h;
    minihost::World expected =
        DiffusionRef<PF_Pixel8>(input, c, [&](A_long x, A_long y) { return x < fw && y < fh; });
    for (A_long y = 0; y < h; ++y) {
      for (A_long x = 0; x < w; ++x) {
        const PF_Pixel8 want = x < 6 && y < 4 ? expected.pixel8(x, y) : PF_Pixel8{0, 0, 0, 0};
        const PF_Pixel8& got = output.pixel8(x, y);
        EXPECT_EQ(std::vector<unsigned>({got.alpha, got.red, got.green, got.blue}),
                  std::vector<unsigned>({want.alpha, want.red, want.green, want.blue}))
            << w << "x" << h << " at " << x << "," << y;
      }
    }
  }
}

TEST(ErrorDiffusion, AnOutputOfTheOtherDepthIsNotWritten) {
  LoadedEffect loaded;
  minihost::World input = Noise<PF_Pixel16>(12, 3, 8);
  minihost::World output = Noise<PF_Pixel8>(12, 3, 9);
  Apply(loaded.instance.params(), {1, kRgb6});
  loaded.instance.render(input, output);
  EXPECT_TRUE(output.paddingIntact());
  EXPECT_EQ(output.packedBytes(), std::vector<unsigned char>(output.packedBytes().size(), 0));
}

// A frame the user stopped is not passed off as rendered: the host would keep it.
TEST(ErrorDiffusion, AStoppedFrameEndsCancelledWithNothingHeld) {
  for (const unsigned threads : {1u, 2u}) {
    LoadedEffect loaded(minihost::Host::Options{threads, PF_ApplID_AfterEffects});
    loaded.host.setProgress([](A_long, A_long) { return false; });
    minihost::World input = Noise<PF_Pixel8>(7, 5, 4);
    Apply(loaded.instance.params(), {9, kRgb9});
    minihost::World output(7, 5, minihost::Depth::Eight);
    EXPECT_EQ(loaded.instance.render(input, output), PF_Interrupt_CANCEL) << threads;
    EXPECT_TRUE(loaded.host.problems().empty());
    EXPECT_EQ(loaded.host.suitesHeld(), 0);
  }
}

TEST(ErrorDiffusion, AWorkBufferThatCannotBeHadEndsTheFrameOutOfMemory) {
  const struct {
    A_long width, height;
  } sizes[] = {
      {std::numeric_limits<A_long>::max(), std::numeric_limits<A_long>::max()},
      {1 << 30, 1 << 30},  // work rows of tens of gigabytes, refused by the allocator
  };
  for (const auto depth : {minihost::Depth::Eight, minihost::Depth::Sixteen}) {
    for (const auto& size : sizes) {
      LoadedEffect loaded;
      Apply(loaded.instance.params(), {4, kRgb6});
      // The input's pixels are never reached: the buffer is asked for before the fill pass.
      minihost::World input(2, 2, depth);
      input.pf().width = size.width;
      input.pf().height = size.height;
      minihost::World output(3, 2, depth);
      output.pf().data->alpha = 1;
      EXPECT_EQ(loaded.instance.render(input, output), PF_Err_OUT_OF_MEMORY) << size.width;
      input.pf().width = input.pf().height = 2;
      EXPECT_EQ(output.packedBytes(), std::vector<unsigned char>(output.packedBytes().size(), 0));
      EXPECT_TRUE(loaded.host.problems().empty());
      EXPECT_EQ(loaded.host.suitesHeld(), 0);
      EXPECT_EQ(loaded.host.liveHandles(), 1u);  // the instance's own palette
    }
  }
}

TEST(WorkBuffer, SizesAreCountedInSixtyFourBits) {
  EXPECT_NO_THROW(NewWorkRows(0, 5));
  EXPECT_NO_THROW(NewWorkRows(-1, 5));
  EXPECT_NO_THROW(NewWorkRows(5, -1));
  EXPECT_NO_THROW(NewWorkRows(7, 3));
  // 2^62 entries of 12 bytes: the byte count does not fit in 64 bits and must not wrap into a small one.
  EXPECT_THROW(NewWorkRows(int64_t{1} << 31, int64_t{1} << 31), std::bad_array_new_length);
}

// The kernel straight, with no host: on the calling thread, and on workers that take tasks in any order.
TEST(ErrorDiffusion, KernelsRunWithoutAHost) {
  minihost::World input = Noise<PF_Pixel8>(37, 11, 6);
  const ImageView in{input.pf().data, input.pf().rowbytes, 37, 11, PixelDepth::Eight};
  for (std::size_t pattern = 1; pattern <= 11; ++pattern) {
    FrameDescription frame;
    frame.pattern = pattern;
    frame.palette = PaletteFor(kRgb9 - 1, nullptr);
    minihost::World output(37, 11, minihost::Depth::Eight);
    const ImageView out{output.pf().data, output.pf().rowbytes, 37, 11, PixelDepth::Eight};
    EXPECT_TRUE(PatternCatalogue[pattern].kernel8(frame, in, out, Workers{}));
    EXPECT_EQ(output.packedBytes(),
              DiffusionRef<PF_Pixel8>(input, {static_cast<A_long>(pattern), kRgb9}).packedBytes())
        << PatternCatalogue[pattern].label;
  }
}
