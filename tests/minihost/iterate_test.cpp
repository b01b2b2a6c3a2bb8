#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <numeric>
#include <utility>
#include <vector>

#include "minihost/host.h"
#include "minihost/world.h"

namespace minihost {
namespace {

// 8-bit: red gains x, green gains y, blue is inverted. 16-bit: red gains x, green gains 2y, blue is
// mirrored on the 0..32768 scale. Alpha passes through.
PF_Err Shift8(void*, A_long x, A_long y, PF_Pixel8* in, PF_Pixel8* out) {
  *out = PF_Pixel8{in->alpha, static_cast<A_u_char>(in->red + x), static_cast<A_u_char>(in->green + y),
                   static_cast<A_u_char>(in->blue ^ 0xFF)};
  return PF_Err_NONE;
}
PF_Err Shift16(void*, A_long x, A_long y, PF_Pixel16* in, PF_Pixel16* out) {
  *out = PF_Pixel16{in->alpha, static_cast<A_u_short>(in->red + x), static_cast<A_u_short>(in->green + 2 * y),
                    static_cast<A_u_short>(32768 - in->blue)};
  return PF_Err_NONE;
}

// Input pixel (x, y) holds red 3x, green 5y, blue x + y; the outputs follow from Shift8/Shift16.
World Source(Depth depth, A_long width, A_long height) {
  World world(width, height, depth, 12);
  for (A_long y = 0; y < height; ++y) {
    for (A_long x = 0; x < width; ++x) {
      if (depth == Depth::Eight) {
        world.pixel8(x, y) = PF_Pixel8{200, static_cast<A_u_char>(3 * x), static_cast<A_u_char>(5 * y),
                                       static_cast<A_u_char>(x + y)};
      } else {
        world.pixel16(x, y) = PF_Pixel16{32768, static_cast<A_u_short>(3 * x), static_cast<A_u_short>(5 * y),
                                         static_cast<A_u_short>(x + y)};
      }
    }
  }
  return world;
}

const std::pair<unsigned, IterateOrder> kRuns[] = {{1, IterateOrder::Rows},     {2, IterateOrder::Rows},
                                                   {8, IterateOrder::Rows},     {1, IterateOrder::Shuffled},
                                                   {2, IterateOrder::Shuffled}, {8, IterateOrder::Shuffled}};

TEST(IterateTest, ResultsDoNotDependOnThreadsOrOrder) {
  const A_long width = 37, height = 23;
  for (Depth depth : {Depth::Eight, Depth::Sixteen}) {
    World src = Source(depth, width, height);
    std::vector<unsigned char> first;
    for (const auto& [threads, order] : kRuns) {
      Host host(Host::Options{threads, PF_ApplID_AfterEffects});
      host.setIterateOrder(order, 99);
      PF_InData in = host.makeInData();
      World dst(width, height, depth, 20);  // rows of another length than the source's
      const PF_Err err =
          depth == Depth::Eight
              ? in.utils->iterate(&in, 0, height, &src.pf(), nullptr, nullptr, Shift8, &dst.pf())
              : in.utils->iterate16(&in, 0, height, &src.pf(), nullptr, nullptr, Shift16, &dst.pf());
      ASSERT_EQ(err, PF_Err_NONE);
      EXPECT_TRUE(dst.paddingIntact());
      EXPECT_TRUE(host.problems().empty());
      if (depth == Depth::Eight) {
        // (2, 1): in (200, 6, 5, 3) -> (200, 8, 6, 252); (36, 22): in (200, 108, 110, 58) -> (200, 144, 132,
        // 197).
        EXPECT_EQ(dst.pixel8(2, 1).red, 8);
        EXPECT_EQ(dst.pixel8(2, 1).green, 6);
        EXPECT_EQ(dst.pixel8(2, 1).blue, 252);
        EXPECT_EQ(dst.pixel8(36, 22).red, 144);
        EXPECT_EQ(dst.pixel8(36, 22).green, 132);
        EXPECT_EQ(dst.pixel8(36, 22).blue, 197);
      } else {
        // (36, 22): in (32768, 108, 110, 58) -> (32768, 144, 154, 32710).
        EXPECT_EQ(dst.pixel16(36, 22).red, 144);
        EXPECT_EQ(dst.pixel16(36, 22).green, 154);
        EXPECT_EQ(dst.pixel16(36, 22).blue, 32710);
        EXPECT_EQ(dst.pixel16(36, 22).alpha, 32768);
      }
      if (first.empty()) first = dst.packedBytes();
      EXPECT_EQ(dst.packedBytes(), first) << threads << " threads, order " << static_cast<int>(order);
    }
  }
}

// Counts the visits of every pixel of a `width` x `height` destination and checks the pointers.
struct Visits {
  const World* src;
  const World* dst;
  A_long width, height;
  std::unique_ptr<std::atomic<int>[]> counts;
  std::atomic<int> wrong{0};

  Visits(const World* source, const World& destination)
      : src(source),
        dst(&destination),
        width(destination.width()),
        height(destination.height()),
        counts(new std::atomic<int>[static_cast<std::size_t>(width * height)]()) {}

  int at(A_long x, A_long y) const { return counts[static_cast<std::size_t>(y * width + x)].load(); }

  static PF_Err Visit(void* refcon, A_long x, A_long y, PF_Pixel8* in, PF_Pixel8* out) {
    auto& self = *static_cast<Visits*>(refcon);
    if (x < 0 || y < 0 || x >= self.width || y >= self.height) {
      ++self.wrong;
      return PF_Err_NONE;
    }
    const World& source = self.src != nullptr ? *self.src : *self.dst;
    if (in != &source.pixel8(x, y) || out != &self.dst->pixel8(x, y)) ++self.wrong;
    ++self.counts[static_cast<std::size_t>(y * self.width + x)];
    out->alpha = 1;
    return PF_Err_NONE;
  }
};

TEST(IterateTest, EveryPixelOfTheAreaIsVisitedOnceWithItsOwnCoordinatesAndPixels) {
  for (const auto& [threads, order] : kRuns) {
    Host host(Host::Options{threads, PF_ApplID_AfterEffects});
    host.setIterateOrder(order, 5);
    PF_InData in = host.makeInData();

    // No area: the pixels present in both worlds, here 10 x 6.
    World src(10, 8, Depth::Eight, 4);
    World dst(12, 6, Depth::Eight, 16);
    Visits whole(&src, dst);
    ASSERT_EQ(in.utils->iterate(&in, 0, 6, &src.pf(), nullptr, &whole, Visits::Visit, &dst.pf()),
              PF_Err_NONE);
    // An area reaching past the world is clipped; no source means the destination is also the input.
    const PF_Rect area{3, 2, 30, 5};
    Visits part(nullptr, dst);
    ASSERT_EQ(in.utils->iterate(&in, 0, 6, nullptr, &area, &part, Visits::Visit, &dst.pf()), PF_Err_NONE);

    EXPECT_EQ(whole.wrong.load() + part.wrong.load(), 0);
    for (A_long y = 0; y < 6; ++y) {
      for (A_long x = 0; x < 12; ++x) {
        EXPECT_EQ(whole.at(x, y), x < 10 ? 1 : 0) << x << "," << y;
        EXPECT_EQ(part.at(x, y), x >= 3 && y >= 2 && y < 5 ? 1 : 0) << x << "," << y;
      }
    }
    EXPECT_TRUE(dst.paddingIntact());
  }
}

TEST(IterateTest, ProgressIsReportedAndCanStopTheWorkPartWay) {
  for (IterateOrder order : {IterateOrder::Rows, IterateOrder::Shuffled}) {
    Host host(Host::Options{1, PF_ApplID_AfterEffects});
    host.setIterateOrder(order, 3);
    std::vector<std::pair<A_long, A_long>> reports;
    host.setProgress([&](A_long done, A_long total) {
      reports.emplace_back(done, total);
      return reports.size() < 2;
    });
    PF_InData in = host.makeInData();
    World dst(4, 5, Depth::Eight);
    Visits visits(nullptr, dst);
    EXPECT_EQ(in.utils->iterate(&in, 0, 5, nullptr, nullptr, &visits, Visits::Visit, &dst.pf()),
              PF_Interrupt_CANCEL);
    // Rows count rows (2 of 5 done); the shuffled order counts pixels, a row's worth at a time (8 of 20).
    const A_long unit = order == IterateOrder::Rows ? 1 : 4;
    EXPECT_EQ(reports, (std::vector<std::pair<A_long, A_long>>{{unit, 5 * unit}, {2 * unit, 5 * unit}}));
    int touched = 0;
    for (A_long y = 0; y < 5; ++y) {
      for (A_long x = 0; x < 4; ++x) {
        touched += visits.at(x, y);
        EXPECT_EQ(dst.pixel8(x, y).alpha, visits.at(x, y)) << "untouched pixels stay as they were";
        if (order == IterateOrder::Rows) {
          EXPECT_EQ(visits.at(x, y), y < 2 ? 1 : 0);
        }
      }
    }
    EXPECT_EQ(touched, 8);
  }

  // With workers, where the stop lands is not fixed; the answer and the single visits are.
  Host host(Host::Options{8, PF_ApplID_AfterEffects});
  host.setProgress([](A_long, A_long) { return false; });
  PF_InData in = host.makeInData();
  World dst(16, 64, Depth::Eight);
  Visits visits(nullptr, dst);
  EXPECT_EQ(in.utils->iterate(&in, 0, 64, nullptr, nullptr, &visits, Visits::Visit, &dst.pf()),
            PF_Interrupt_CANCEL);
  for (A_long y = 0; y < 64; ++y) {
    for (A_long x = 0; x < 16; ++x) EXPECT_LE(visits.at(x, y), 1);
  }

  // A run that is not stopped ends with a report of all the work.
  A_long lastDone = 0, lastTotal = 0;
  host.setProgress([&](A_long done, A_long total) {
    EXPECT_GE(done, lastDone);
    lastDone = done;
    lastTotal = total;
    return true;
  });
  EXPECT_EQ(in.utils->iterate(&in, 0, 64, nullptr, nullptr, &visits, Visits::Visit, &dst.pf()), PF_Err_NONE);
  EXPECT_EQ(lastDone, 64);
  EXPECT_EQ(lastTotal, 64);
}

PF_Err RecordOrder(void* refcon, A_long x, A_long y, PF_Pixel8*, PF_Pixel8*) {
  static_cast<std::vector<A_long>*>(refcon)->push_back(y * 8 + x);
  return PF_Err_NONE;
}

TEST(IterateTest, TheShuffledOrderIsAPermutationFixedByTheSeed) {
  auto visitOrder = [](uint64_t seed) {
    Host host(Host::Options{1, PF_ApplID_AfterEffects});
    host.setIterateOrder(IterateOrder::Shuffled, seed);
    PF_InData in = host.makeInData();
    World dst(8, 8, Depth::Eight);
    std::vector<A_long> order;
    in.utils->iterate(&in, 0, 8, nullptr, nullptr, &order, RecordOrder, &dst.pf());
    return order;
  };
  const std::vector<A_long> first = visitOrder(11);
  EXPECT_EQ(visitOrder(11), first);
  EXPECT_NE(visitOrder(12), first);
  std::vector<A_long> sorted = first;
  std::sort(sorted.begin(), sorted.end());
  std::vector<A_long> rowOrder(64);
  std::iota(rowOrder.begin(), rowOrder.end(), 0);
  EXPECT_EQ(sorted, rowOrder);
  EXPECT_NE(first, rowOrder);
}

PF_Err FailAtOneOne(void* refcon, A_long x, A_long y, PF_Pixel8*, PF_Pixel8*) {
  ++*static_cast<int*>(refcon);
  return x == 1 && y == 1 ? 7 : PF_Err_NONE;
}

TEST(IterateTest, APixelFunctionErrorStopsTheWorkAndIsReturned) {
  Host host(Host::Options{1, PF_ApplID_AfterEffects});
  PF_InData in = host.makeInData();
  World dst(4, 3, Depth::Eight);
  int calls = 0;
  EXPECT_EQ(in.utils->iterate(&in, 0, 3, nullptr, nullptr, &calls, FailAtOneOne, &dst.pf()), 7);
  EXPECT_EQ(calls, 4 + 2);  // row 0, then (0, 1) and the failing (1, 1)
}

TEST(IterateTest, AWorldOfTheWrongDepthIsRefused) {
  Host host;
  PF_InData in = host.makeInData();
  World eight(2, 2, Depth::Eight);
  World deep(2, 2, Depth::Sixteen);
  EXPECT_EQ(in.utils->iterate(&in, 0, 2, nullptr, nullptr, nullptr, Shift8, &deep.pf()),
            PF_Err_BAD_CALLBACK_PARAM);
  EXPECT_EQ(in.utils->iterate16(&in, 0, 2, nullptr, nullptr, nullptr, Shift16, &eight.pf()),
            PF_Err_BAD_CALLBACK_PARAM);
  EXPECT_EQ(in.utils->iterate(&in, 0, 2, &deep.pf(), nullptr, nullptr, Shift8, &eight.pf()),
            PF_Err_BAD_CALLBACK_PARAM);
  const std::vector<std::string> problems = host.problems();
  ASSERT_EQ(problems.size(), 3u);
  EXPECT_EQ(problems[0], "iterate on a 16-bit world");
  EXPECT_EQ(problems[1], "iterate16 on an 8-bit world");
  EXPECT_EQ(eight.packedBytes(), std::vector<unsigned char>(16, 0));
  EXPECT_EQ(deep.packedBytes(), std::vector<unsigned char>(32, 0));
}

}  // namespace
}  // namespace minihost
