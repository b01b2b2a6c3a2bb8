// Every dither kernel gives the same bytes whatever the number of iterate threads and the pixel order.
#include <gtest/gtest.h>

#include "dither_reference.h"

using namespace dither_test;

namespace {

template <typename Pixel>
void CheckEveryPattern(LoadedEffect& loaded, const char* setup) {
  minihost::World input = Noise<Pixel>(23, 13, 77);
  for (A_long pattern = 1; pattern <= 25; ++pattern) {
    const Controls c{pattern, kRgb9, 2, -3, 4, {20, -10, 35}};
    const minihost::World expected =
        pattern <= 11 ? DiffusionRef<Pixel>(input, c) : OrderedRef<Pixel>(input, c);
    EXPECT_EQ(Render(loaded, input, c).packedBytes(), expected.packedBytes())
        << "pattern " << pattern << ", depth " << sizeof(Pixel) * 2 << ", " << setup;
  }
}

}  // namespace

TEST(DitherThreads, SameBytesWhateverTheThreadsAndPixelOrder) {
  for (const unsigned threads : {1u, 2u, 8u}) {
    for (const auto order : {minihost::IterateOrder::Rows, minihost::IterateOrder::Shuffled}) {
      LoadedEffect loaded(minihost::Host::Options{threads, PF_ApplID_AfterEffects});
      loaded.host.setIterateOrder(order, threads + 5);
      const std::string setup = std::to_string(threads) + " threads, " +
                                (order == minihost::IterateOrder::Rows ? "rows" : "shuffled");
      CheckEveryPattern<PF_Pixel8>(loaded, setup.c_str());
      CheckEveryPattern<PF_Pixel16>(loaded, setup.c_str());
    }
  }
}

// A host that does not lend its threads gets the same frame, rendered on the thread that asked for it.
TEST(DitherThreads, SameBytesFromAHostWithoutIterateGeneric) {
  LoadedEffect loaded(minihost::Host::Options{4, PF_ApplID_AfterEffects});
  loaded.host.setIterateGenericAvailable(false);
  CheckEveryPattern<PF_Pixel8>(loaded, "no iterate_generic");
  CheckEveryPattern<PF_Pixel16>(loaded, "no iterate_generic");
}
