// The fast kernels against the plain per-pixel definitions, byte for byte: every pattern, every palette
// (and custom palettes of awkward shapes), both depths, on noise and on frames built to sit on the edges
// where a reordered operation would show, with every instruction set this CPU runs and several thread
// counts taking the work in a shuffled order.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <mutex>
#include <numeric>
#include <string>
#include <thread>
#include <vector>

#include "palette/color_tables.h"
#include "palette/nearest_color.h"
#include "palette/palette_catalogue.h"
#include "render/band_nearest.h"
#include "render/error_diffusion.h"
#include "render/pattern_catalogue.h"
#include "render/shuffled_workers.h"
#include "support/seeded_generator.h"

namespace {

using Rng = palettrix_test::SeededGenerator;
using palettrix_test::ShuffledWorkers;

struct Image {
  int32_t width, height;
  PixelDepth depth;
  std::ptrdiff_t rowBytes;
  std::vector<unsigned char> bytes;
  Image(int32_t w, int32_t h, PixelDepth d)
      : width(w),
        height(h),
        depth(d),
        rowBytes(static_cast<std::ptrdiff_t>(w) * (d == PixelDepth::Eight ? 4 : 8) + 24),  // padded rows
        bytes(static_cast<std::size_t>(rowBytes) * static_cast<std::size_t>(h), 0xA5) {}
  ImageView view() { return ImageView{bytes.data(), rowBytes, width, height, depth}; }
  void set(int32_t x, int32_t y, unsigned a, unsigned r, unsigned g, unsigned b) {
    if (depth == PixelDepth::Eight) {
      view().at<Pixel8>(x, y) = {static_cast<uint8_t>(a), static_cast<uint8_t>(r), static_cast<uint8_t>(g),
                                 static_cast<uint8_t>(b)};
    } else {
      view().at<Pixel16>(x, y) = {static_cast<uint16_t>(a), static_cast<uint16_t>(r),
                                  static_cast<uint16_t>(g), static_cast<uint16_t>(b)};
    }
  }
};

// Noise, every palette colour exactly, and midpoints between neighbouring table colours (ties); 16-bit
// values also above full scale. Alpha varies, zero included.
Image Frame(PixelDepth depth, uint64_t seed) {
  Image image(45, 23, depth);
  Rng rng{seed};
  const bool deep = depth == PixelDepth::Sixteen;
  const auto scaled = [&](uint32_t byte) { return deep ? byte * 128u + (byte == 255 ? 128u : 0u) : byte; };
  std::vector<std::array<unsigned, 3>> special;
  for (const PaletteRow& row : PaletteCatalogue) {
    for (std::size_t i = 0; i < row.colors.size(); ++i) {
      const Color3& c = row.colors[i];
      const auto byte = [](float v) { return static_cast<unsigned>(v * 255.0f + 0.5f); };
      special.push_back({byte(c.r), byte(c.g), byte(c.b)});
      if (i + 1 < row.colors.size()) {
        const Color3& d = row.colors[i + 1];
        special.push_back(
            {(byte(c.r) + byte(d.r)) / 2, (byte(c.g) + byte(d.g)) / 2, (byte(c.b) + byte(d.b)) / 2});
      }
    }
  }
  std::size_t k = rng.below(special.size());
  for (int32_t y = 0; y < image.height; ++y) {
    for (int32_t x = 0; x < image.width; ++x) {
      const unsigned alpha = (x + y) % 7 == 0 ? 0 : rng.below(deep ? 32769 : 256);
      if ((x + y) % 3 == 0) {
        const auto& s = special[k++ % special.size()];
        image.set(x, y, alpha, scaled(s[0]), scaled(s[1]), scaled(s[2]));
      } else {
        const unsigned top = deep ? (x % 11 == 0 ? 65536u : 32769u) : 256u;
        image.set(x, y, alpha, rng.below(top), rng.below(top), rng.below(top));
      }
    }
  }
  return image;
}

std::vector<CustomPalette> CustomPalettes() {
  Rng rng{77};
  ColorList many;
  for (int i = 0; i < 300; ++i) many.push_back(Color3(rng.unit(), rng.unit(), rng.unit()));
  many.push_back(many[5]);  // a duplicate: the earlier one must win
  ColorList odd = {Color3(0.5f), Color3(std::nextafter(0.5f, 1.0f)), Color3(-0.25f, 1.5f, 0.3f)};
  return {CustomPalette(ColorList{Color3(0.3f, 0.6f, 0.9f)}), CustomPalette(many), CustomPalette(odd)};
}

struct Controls {
  Color3 threshold;
  int32_t offsetX, offsetY;
  int64_t scale;
};

std::vector<unsigned char> RenderFast(const FrameDescription& frame, Image& input, int32_t threads,
                                      uint64_t seed) {
  Image output(input.width, input.height, input.depth);
  ShuffledWorkers workers{threads, seed};
  const PatternRow& row = PatternCatalogue[frame.pattern];
  const Kernel kernel = input.depth == PixelDepth::Eight ? row.kernel8 : row.kernel16;
  EXPECT_TRUE(kernel(frame, input.view(), output.view(), workers.workers()));
  return output.bytes;
}

TEST(FastPaths, EveryPatternPaletteDepthInstructionSetAndThreadCountMatchesTheReference) {
  const std::vector<CustomPalette> customs = CustomPalettes();
  const Controls controls[] = {
      {Color3(0.0f), 0, 0, 1},
      {Color3(0.37f, -0.6f, 10.0f), -5, 1000, 3},        // thresholds far beyond the cube
      {Color3(-10.0f, 0.25f, 0.5f), 2147483647, -7, 2},  // offset sums that wrap
  };
  uint64_t seed = 1;
  for (const PixelDepth depth : {PixelDepth::Eight, PixelDepth::Sixteen}) {
    Image input = Frame(depth, seed++);
    for (std::size_t pattern = 0; pattern < kPatternCount; ++pattern) {
      for (std::size_t palette = 0; palette < kPaletteCount + customs.size(); ++palette) {
        const CustomPalette* custom = palette >= kPaletteCount ? &customs[palette - kPaletteCount] : nullptr;
        for (const Controls& c : controls) {
          if (!PatternCatalogue[pattern].usesPatternControls() && &c != &controls[0]) continue;
          FrameDescription frame;
          frame.pattern = pattern;
          frame.palette = PaletteFor(palette >= kPaletteCount ? kCustomPalette : palette, custom);
          frame.threshold = c.threshold + frame.palette.spread;
          frame.offsetX = c.offsetX;
          frame.offsetY = c.offsetY;
          frame.scale = c.scale;
          Image expected(input.width, input.height, depth);
          RenderReference(frame, input.view(), expected.view());
          for (const Isa isa : SupportedIsas()) {
            frame.isa = isa;
            for (const int32_t threads : {1, 2, 7}) {
              ASSERT_EQ(RenderFast(frame, input, threads, seed++), expected.bytes)
                  << PatternCatalogue[pattern].label << ", palette " << palette << ", "
                  << (depth == PixelDepth::Eight ? "8" : "16") << "-bit, " << IsaName(isa) << ", " << threads
                  << " threads, scale " << c.scale;
            }
          }
        }
      }
    }
  }
}

// One large palette through every kind of kernel, at both depths, against the plain definition.
void MatchesTheReferenceWithoutTheUnitGrid(const CustomPalette& custom, Rng& rng) {
  for (const PixelDepth depth : {PixelDepth::Eight, PixelDepth::Sixteen}) {
    Image input(61, 7, depth);
    for (int32_t y = 0; y < input.height; ++y) {
      for (int32_t x = 0; x < input.width; ++x) {
        const unsigned top = depth == PixelDepth::Eight ? 256u : 32769u;
        input.set(x, y, 255, rng.below(top), rng.below(top), rng.below(top));
      }
    }
    for (const std::size_t pattern :
         {std::size_t{0}, std::size_t{1}, std::size_t{6}, FirstOrderedPattern()}) {
      FrameDescription frame;
      frame.pattern = pattern;
      frame.palette = PaletteFor(kCustomPalette, &custom);
      frame.threshold = Color3(0.5f);
      Image expected(input.width, input.height, depth);
      RenderReference(frame, input.view(), expected.view());
      for (const Isa isa : SupportedIsas()) {
        frame.isa = isa;
        ASSERT_EQ(RenderFast(frame, input, 2, 3), expected.bytes)
            << PatternCatalogue[pattern].label << ", " << IsaName(isa) << ", " << custom.colors().size()
            << " colours";
      }
    }
  }
}

// Palettes of thousands of colours, which the search answers without its unit-cube grid: every pixel of
// the threshold and ordered rows then goes through the rows' second pass, and error diffusion looks up
// lane by lane. Besides random colours, shapes that crowd the search's cells: a grey ramp (its colours on
// one line), one colour repeated, and tight clusters.
TEST(FastPaths, PalettesTooLargeForTheUnitGridMatchTheReference) {
  Rng rng{5};
  ColorList many;
  for (int i = 0; i < 5000; ++i) many.push_back(Color3(rng.unit(), rng.unit(), rng.unit()));
  ColorList greys;
  for (int k = 0; k < 16384; ++k) greys.push_back(Color3(static_cast<float>(k) / 16383.0f));
  ColorList clusters;
  const Color3 centres[] = {Color3(0.2f, 0.7f, 0.4f), Color3(0.9f, 0.1f, 0.5f), Color3(0.4f, 0.4f, 0.95f)};
  for (int i = 0; i < 12000; ++i) {
    clusters.push_back(centres[i % 3] + Color3(rng.unit(), rng.unit(), rng.unit()) * 0.004f);
  }
  const CustomPalette customs[] = {CustomPalette(std::move(many)), CustomPalette(std::move(greys)),
                                   CustomPalette(ColorList(20000, Color3(0.3f, 0.5f, 0.1f))),
                                   CustomPalette(std::move(clusters))};
  for (const CustomPalette& custom : customs) {
    MatchesTheReferenceWithoutTheUnitGrid(custom, rng);
  }
}

// Error diffusion at widths where the lag between rows covers the whole row, heights below a table's reach,
// and heights that leave the last band of rows part-filled; at both depths, with pixels of both kinds of
// alpha.
TEST(FastPaths, DiffusionAtNarrowAndOddSizes) {
  const CustomPalette custom(ColorList{Color3(0.0f), Color3(1.0f), Color3(0.5f, 0.2f, 0.9f)});
  for (const PixelDepth depth : {PixelDepth::Eight, PixelDepth::Sixteen}) {
    const unsigned top = depth == PixelDepth::Eight ? 256u : 32769u;
    for (const auto& [w, h] : std::vector<std::pair<int32_t, int32_t>>{
             {1, 1}, {1, 9}, {2, 5}, {3, 3}, {9, 1}, {130, 4}, {67, 2}, {5, 17}, {40, 12}}) {
      Image input(w, h, depth);
      Rng rng{static_cast<uint64_t>(w * 100 + h)};
      for (int32_t y = 0; y < h; ++y) {
        for (int32_t x = 0; x < w; ++x) {
          const unsigned alpha = (x * 3 + y) % 5 == 0 ? 0 : top - 1;
          input.set(x, y, alpha, rng.below(top), rng.below(top), rng.below(top));
        }
      }
      for (std::size_t pattern = 1; pattern <= 11; ++pattern) {
        FrameDescription frame;
        frame.pattern = pattern;
        frame.palette = PaletteFor(kCustomPalette, &custom);
        Image expected(w, h, depth);
        RenderReference(frame, input.view(), expected.view());
        for (const Isa isa : SupportedIsas()) {
          frame.isa = isa;
          for (const int32_t threads : {1, 2, 3, 7}) {
            ASSERT_EQ(RenderFast(frame, input, threads, 9), expected.bytes)
                << PatternCatalogue[pattern].label << " " << w << "x" << h << ", "
                << (depth == PixelDepth::Eight ? "8" : "16") << "-bit, " << IsaName(isa) << ", " << threads
                << " threads";
          }
        }
      }
    }
  }
}

// Palettes whose colours do not surround the image's: error diffusion's working colours then run far out of
// the cube, growing along every row, through every grid of the search and past them. A few dark colours
// (each compared with every pixel), dozens (looked up in the grids), and two far apart.
TEST(FastPaths, DiffusionThatRunsFarOutOfTheCube) {
  Rng rng{11};
  ColorList dozens;
  for (int i = 0; i < 40; ++i) dozens.push_back(Color3(rng.unit(), rng.unit(), rng.unit()) * 0.2f);
  const CustomPalette palettes[] = {CustomPalette(ColorList{Color3(0.0f), Color3(0.1f, 0.0f, 0.05f)}),
                                    CustomPalette(dozens),
                                    CustomPalette(ColorList{Color3(-3000.0f), Color3(0.2f, 4000.0f, 0.0f)})};
  for (const PixelDepth depth : {PixelDepth::Eight, PixelDepth::Sixteen}) {
    Image input(300, 19, depth);
    for (int32_t y = 0; y < input.height; ++y) {
      for (int32_t x = 0; x < input.width; ++x) {
        const unsigned top = depth == PixelDepth::Eight ? 255u : 32768u;
        input.set(x, y, 1 + x % 255, top - rng.below(16), top - rng.below(16), top / 2 + rng.below(16));
      }
    }
    for (const CustomPalette& custom : palettes) {
      for (const std::size_t pattern : {std::size_t{1}, std::size_t{6}, std::size_t{11}}) {
        FrameDescription frame;
        frame.pattern = pattern;
        frame.palette = PaletteFor(kCustomPalette, &custom);
        Image expected(input.width, input.height, depth);
        RenderReference(frame, input.view(), expected.view());
        for (const Isa isa : SupportedIsas()) {
          frame.isa = isa;
          ASSERT_EQ(RenderFast(frame, input, 2, 4), expected.bytes)
              << PatternCatalogue[pattern].label << ", " << custom.colors().size() << " colours, "
              << IsaName(isa);
        }
      }
    }
  }
}

// The bands look colours up through the search's grids and shells themselves, scanning a cell's blocks
// several to a vector. Pairs of colours a step apart along one channel, inside the cube, just outside it and
// thousands of units away, each pair listed in one order or the other; the points lie exactly as far from
// both colours of a pair (the numbers are exact in single precision), around them, and anywhere out to
// 4,096 units, with infinities and NaN. Every point must get the plain scan's colour, bit for bit.
TEST(FastPaths, TheBandsLookUpColoursAsThePlainScanEvenFarOutAndOnTies) {
  ColorList colors;
  std::vector<Color3> points;
  const float centres[] = {0.25f, 0.5f, 0.75f, 1.25f, -0.375f, 3.5f, -20.5f, 300.25f, -2000.5f};
  const float steps[] = {0.015625f, 0.125f, 4.0f};
  int pair = 0;
  for (const float centre : centres) {
    for (const float step : steps) {
      const int axis = pair % 3;
      Color3 middle(centre, 0.5f - centre * 0.5f, centre * 0.25f + 0.125f);
      Color3 low = middle, high = middle;
      low[axis] -= step;
      high[axis] += step;
      colors.push_back(pair % 2 == 0 ? low : high);
      colors.push_back(pair % 2 == 0 ? high : low);
      for (const float t : {0.0f, step, -2.0f * step, 0.25f * step, 64.0f * step}) {
        for (const float u : {0.0f, -step, 0.5f * step}) {
          Color3 p = middle;
          p[(axis + 1) % 3] += t;
          p[(axis + 2) % 3] += u;
          points.push_back(p);
        }
      }
      ++pair;
    }
  }
  Rng rng{23};
  for (int i = 0; i < 20000; ++i) {
    const float reach = i % 4 == 0 ? 4096.0f : i % 4 == 1 ? 64.0f : i % 4 == 2 ? 4.0f : 1.5f;
    points.emplace_back((rng.unit() - 0.5f) * 2.0f * reach, (rng.unit() - 0.5f) * 2.0f * reach,
                        (rng.unit() - 0.5f) * 2.0f * reach);
  }
  const float inf = std::numeric_limits<float>::infinity(), nan = std::numeric_limits<float>::quiet_NaN();
  points.insert(points.end(), {Color3(inf, 0.5f, 0.5f), Color3(-inf, -inf, 2.0f), Color3(nan, 0.5f, 0.5f),
                               Color3(30.0f, nan, -30.0f), Color3(1e30f, -1e30f, 0.0f)});
  ASSERT_GE(colors.size(), 33u);  // enough for the shells
  const NearestColorSearch search(colors);
  std::vector<Color3> expected(points.size());
  for (std::size_t i = 0; i < points.size(); ++i)
    NearestColor(expected[i], points[i], colors.data(), colors.size());
  for (const Isa isa : SupportedIsas()) {
    const diffusion::BandLookup lookup = diffusion::BandLookupFor(isa);
    if (lookup == nullptr) continue;
    std::vector<Color3> got(points.size());
    lookup(search, points.data(), got.data(), static_cast<int32_t>(points.size()));
    for (std::size_t i = 0; i < points.size(); ++i) {
      ASSERT_EQ(std::memcmp(&got[i], &expected[i], sizeof(Color3)), 0)
          << IsaName(isa) << ", point " << i << " (" << points[i].r << ", " << points[i].g << ", "
          << points[i].b << "): " << got[i].r << ", " << got[i].g << ", " << got[i].b << " instead of "
          << expected[i].r << ", " << expected[i].g << ", " << expected[i].b;
    }
  }
}

// Worker 0 asks to stop; the kernels say they did not finish, whichever family.
TEST(FastPaths, AStopAskedByWorkerZeroEndsTheFrameUnfinished) {
  Image input = Frame(PixelDepth::Eight, 3);
  for (const std::size_t pattern : {std::size_t{0}, std::size_t{1}, std::size_t{6}, std::size_t{16}}) {
    for (const Isa isa : SupportedIsas()) {
      FrameDescription frame;
      frame.pattern = pattern;
      frame.palette = PaletteFor(7, nullptr);
      frame.isa = isa;
      Image output(input.width, input.height, PixelDepth::Eight);
      ShuffledWorkers shuffled{2, 5};
      Workers workers = shuffled.workers();
      workers.keepGoing = [](void*, int32_t worker, int32_t done, int32_t) {
        return worker != 0 || done < 3;
      };
      EXPECT_FALSE(PatternCatalogue[pattern].kernel8(frame, input.view(), output.view(), workers))
          << PatternCatalogue[pattern].label << ", " << IsaName(isa);
    }
  }
}

}  // namespace

// A part of a frame placed anywhere in the layer (the worlds of a SmartFX request) renders exactly the pixels
// the whole gives at the same layer positions, by the fast rows on every instruction set and thread count
// and by the reference alike. The input sits left of and above the layer's 0 as well as right of and below
// it, so that blocks of "Scale" tile across 0. A pixel the input does not have, or whose block starts
// before the input's first column or row, is left as it was.
TEST(FastPaths, PartsPlacedInTheLayerRenderAsTheWhole) {
  const Controls controls[] = {
      {Color3(0.2f, 0.3f, 0.1f), 3, -5, 1}, {Color3(0.4f), -2, 7, 3}, {Color3(0.1f), 0, 0, 4}};
  uint64_t seed = 500;
  Rng rng{seed};
  for (const PixelDepth depth : {PixelDepth::Eight, PixelDepth::Sixteen}) {
    Image input = Frame(depth, seed++);
    for (const auto& [inX, inY] : {std::pair<int32_t, int32_t>{-7, -4}, {5, 2}}) {
      ImageView in = input.view();
      in.originX = inX;
      in.originY = inY;
      for (std::size_t pattern = 0; pattern < kPatternCount; ++pattern) {
        if (PatternCatalogue[pattern].family == PatternFamily::ErrorDiffusion) continue;
        for (const Controls& c : controls) {
          FrameDescription frame;
          frame.pattern = pattern;
          frame.palette = PaletteFor(11, nullptr);
          frame.threshold = c.threshold + frame.palette.spread;
          frame.offsetX = c.offsetX;
          frame.offsetY = c.offsetY;
          frame.scale = c.scale;
          const int64_t block = PatternCatalogue[pattern].family == PatternFamily::Ordered ? c.scale : 1;
          Image whole(input.width, input.height, depth);
          ImageView wholeView = whole.view();
          wholeView.originX = inX;
          wholeView.originY = inY;
          RenderReference(frame, in, wholeView);
          const std::size_t pixel = depth == PixelDepth::Eight ? 4 : 8;
          for (int part = 0; part < 6; ++part) {
            // Windows from 3 pixels before the input to 3 past it, some reaching beyond it.
            const int32_t x =
                inX - 3 + static_cast<int32_t>(rng.below(static_cast<uint64_t>(input.width) + 3));
            const int32_t y =
                inY - 3 + static_cast<int32_t>(rng.below(static_cast<uint64_t>(input.height) + 3));
            Image out(1 + static_cast<int32_t>(rng.below(20)), 1 + static_cast<int32_t>(rng.below(12)),
                      depth);
            const auto expected = [&] {
              std::vector<unsigned char> bytes = out.bytes;
              for (int32_t v = 0; v < out.height; ++v) {
                for (int32_t u = 0; u < out.width; ++u) {
                  const int32_t lx = x + u, ly = y + v;
                  // The block's first column and row by floor division, worked here apart from the kernels.
                  const int64_t bx = lx >= 0 ? lx / block * block : -((-lx + block - 1) / block) * block;
                  const int64_t by = ly >= 0 ? ly / block * block : -((-ly + block - 1) / block) * block;
                  const bool inside =
                      lx >= inX && ly >= inY && lx < inX + input.width && ly < inY + input.height;
                  if (!inside || bx < inX || by < inY) continue;
                  std::memcpy(&bytes[static_cast<std::size_t>(v * out.rowBytes) +
                                     static_cast<std::size_t>(u) * pixel],
                              &whole.bytes[static_cast<std::size_t>((ly - inY) * whole.rowBytes) +
                                           static_cast<std::size_t>(lx - inX) * pixel],
                              pixel);
                }
              }
              return bytes;
            }();
            const std::string what = std::string(PatternCatalogue[pattern].label) + ", scale " +
                                     std::to_string(c.scale) + ", input at " + std::to_string(inX) +
                                     ", window at " + std::to_string(x) + ", " + std::to_string(y);
            Image reference = out;
            ImageView referenceView = reference.view();
            referenceView.originX = x;
            referenceView.originY = y;
            RenderReference(frame, in, referenceView);
            ASSERT_EQ(reference.bytes, expected) << what << ", reference";
            for (const Isa isa : SupportedIsas()) {
              frame.isa = isa;
              for (const int32_t threads : {1, 2, 7}) {
                Image fast = out;
                ImageView fastView = fast.view();
                fastView.originX = x;
                fastView.originY = y;
                ShuffledWorkers workers{threads, seed++};
                const PatternRow& row = PatternCatalogue[pattern];
                EXPECT_TRUE((depth == PixelDepth::Eight ? row.kernel8 : row.kernel16)(frame, in, fastView,
                                                                                      workers.workers()));
                ASSERT_EQ(fast.bytes, expected)
                    << what << ", " << IsaName(isa) << ", " << threads << " threads";
              }
            }
          }
        }
      }
    }
  }
}
