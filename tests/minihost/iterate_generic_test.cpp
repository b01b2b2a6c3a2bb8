#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <map>
#include <mutex>
#include <numeric>
#include <set>
#include <thread>
#include <utility>
#include <vector>

#include "minihost/host.h"
#include "minihost/params.h"
#include "minihost/world.h"
#include "test_support.h"

namespace minihost {
namespace {

using GenericFunc = PF_Err (*)(void* refcon, A_long threadIndex, A_long i, A_long iterations);

// iterate_generic has no in-data record: the host serving it is the one current on the calling thread,
// as during a command.
PF_Err IterateGeneric(Host& host, A_long iterations, void* refcon, GenericFunc fn) {
  Host::Scope scope(host);
  PF_InData in = host.makeInData();
  return in.utils->iterate_generic(iterations, refcon, fn);
}

// Everything the calls of one iterate_generic did: visits per item, the items in the order they came,
// the threads each thread index ran on, and each thing a call found wrong.
struct Tally {
  Tally(A_long items, A_long threadCount)
      : count(items), threads(threadCount), visits(items), busy(threadCount) {}

  const A_long count, threads;
  std::vector<std::atomic<int>> visits;
  std::vector<std::atomic<bool>> busy;  // per thread index: a call is running with it
  std::atomic<int> calls{0}, wrongCount{0}, wrongItem{0}, wrongIndex{0}, sharedIndex{0};
  std::mutex mutex;
  std::vector<A_long> order;
  std::map<A_long, std::set<std::thread::id>> threadsOf;

  static PF_Err Visit(void* refcon, A_long threadIndex, A_long i, A_long iterations) {
    auto& t = *static_cast<Tally*>(refcon);
    ++t.calls;
    if (iterations != t.count) ++t.wrongCount;
    if (threadIndex < 0 || threadIndex >= t.threads) {
      ++t.wrongIndex;
      return PF_Err_NONE;
    }
    if (t.busy[threadIndex].exchange(true)) ++t.sharedIndex;
    if (i < 0 || i >= t.count) {
      ++t.wrongItem;
    } else {
      ++t.visits[i];
    }
    {
      std::lock_guard lock(t.mutex);
      t.order.push_back(i);
      t.threadsOf[threadIndex].insert(std::this_thread::get_id());
    }
    std::this_thread::yield();  // holds the index a little longer, so a second user of it would show
    t.busy[threadIndex] = false;
    return PF_Err_NONE;
  }

  bool eachVisitedOnce() const {
    return std::all_of(visits.begin(), visits.end(), [](const std::atomic<int>& v) { return v.load() == 1; });
  }

  // Thread index 0 ran on `caller` only, and every index on one thread of its own.
  bool indexesAreThreads(std::thread::id caller) const {
    std::set<std::thread::id> all;
    for (const auto& [index, ids] : threadsOf) {
      if (ids.size() != 1 || (index == 0 && *ids.begin() != caller)) return false;
      all.insert(*ids.begin());
    }
    return all.size() == threadsOf.size();
  }
};

const IterateOrder kOrders[] = {IterateOrder::Rows, IterateOrder::Shuffled};

TEST(IterateGenericTest, EveryItemIsVisitedOnceOnThreadsNamedByTheirIndex) {
  const std::thread::id caller = std::this_thread::get_id();
  for (unsigned threads : {1u, 2u, 7u}) {
    for (IterateOrder order : kOrders) {
      Host host(Host::Options{threads, PF_ApplID_AfterEffects});
      host.setIterateOrder(order, 21);
      for (A_long iterations : {0, 1, 7, 1000}) {
        SCOPED_TRACE(::testing::Message() << threads << " threads, order " << static_cast<int>(order) << ", "
                                          << iterations << " iterations");
        Tally tally(iterations, static_cast<A_long>(threads));
        ASSERT_EQ(IterateGeneric(host, iterations, &tally, Tally::Visit), PF_Err_NONE);
        EXPECT_EQ(tally.calls.load(), iterations);
        EXPECT_TRUE(tally.eachVisitedOnce());
        EXPECT_EQ(tally.wrongCount.load(), 0);
        EXPECT_EQ(tally.wrongItem.load(), 0);
        EXPECT_EQ(tally.wrongIndex.load(), 0);
        EXPECT_EQ(tally.sharedIndex.load(), 0);
        EXPECT_TRUE(tally.indexesAreThreads(caller));
        // A single item is not worth waking the workers for.
        if (iterations == 1) {
          EXPECT_EQ(tally.threadsOf.begin()->first, 0);
        }
      }
      EXPECT_TRUE(host.problems().empty());
    }
  }
}

TEST(IterateGenericTest, TheShuffledOrderIsFixedByTheSeed) {
  auto visitOrder = [](IterateOrder order, uint64_t seed) {
    Host host(Host::Options{1, PF_ApplID_AfterEffects});
    host.setIterateOrder(order, seed);
    Tally tally(1000, 1);
    IterateGeneric(host, 1000, &tally, Tally::Visit);
    return tally.order;
  };
  std::vector<A_long> increasing(1000);
  std::iota(increasing.begin(), increasing.end(), 0);
  EXPECT_EQ(visitOrder(IterateOrder::Rows, 4), increasing);
  const std::vector<A_long> first = visitOrder(IterateOrder::Shuffled, 4);
  EXPECT_NE(first, increasing);
  EXPECT_EQ(visitOrder(IterateOrder::Shuffled, 4), first);
  EXPECT_NE(visitOrder(IterateOrder::Shuffled, 5), first);
}

TEST(IterateGenericTest, OncePerProcessorCallsEveryThreadOnceWithTheRealCount) {
  const std::thread::id caller = std::this_thread::get_id();
  for (unsigned threads : {1u, 2u, 7u}) {
    for (IterateOrder order : kOrders) {
      SCOPED_TRACE(::testing::Message() << threads << " threads, order " << static_cast<int>(order));
      Host host(Host::Options{threads, PF_ApplID_AfterEffects});
      host.setIterateOrder(order, 8);
      const auto n = static_cast<A_long>(threads);
      Tally tally(n, n);
      ASSERT_EQ(IterateGeneric(host, PF_Iterations_ONCE_PER_PROCESSOR, &tally, Tally::Visit), PF_Err_NONE);
      EXPECT_EQ(tally.calls.load(), n);
      EXPECT_TRUE(tally.eachVisitedOnce());
      EXPECT_EQ(tally.wrongCount.load(), 0) << "every call is told the count, never -1";
      EXPECT_EQ(tally.wrongIndex.load(), 0);
      EXPECT_EQ(tally.threadsOf.size(), threads) << "one call on each thread";
      EXPECT_TRUE(tally.indexesAreThreads(caller));
    }
  }

  // With the thread setting left at 0, a thread per core.
  Host host;
  const auto cores = static_cast<A_long>(std::max(1u, std::thread::hardware_concurrency()));
  Tally tally(cores, cores);
  ASSERT_EQ(IterateGeneric(host, PF_Iterations_ONCE_PER_PROCESSOR, &tally, Tally::Visit), PF_Err_NONE);
  EXPECT_EQ(tally.calls.load(), cores);
  EXPECT_EQ(tally.wrongCount.load(), 0);
}

// Fails with 42 at item 3.
PF_Err FailAtThree(void* refcon, A_long, A_long i, A_long) {
  static_cast<std::vector<A_long>*>(refcon)->push_back(i);
  return i == 3 ? 42 : PF_Err_NONE;
}

// Fails with 600 plus the item at every call.
PF_Err FailEverywhere(void* refcon, A_long, A_long i, A_long) {
  ++*static_cast<std::atomic<int>*>(refcon);
  return 600 + i;
}

// The first call to start fails with 42; every other call waits for that failure, then takes its time
// to finish, time in which the host sees the error.
struct LateFinishers {
  std::atomic<int> started{0}, finished{0};
  std::atomic<bool> failed{false};

  static PF_Err Call(void* refcon, A_long, A_long, A_long) {
    auto& self = *static_cast<LateFinishers*>(refcon);
    if (self.started++ == 0) {
      self.failed = true;
      return 42;
    }
    while (!self.failed) std::this_thread::yield();
    for (int k = 0; k < 100; ++k) std::this_thread::yield();
    ++self.finished;
    return PF_Err_NONE;
  }
};

TEST(IterateGenericTest, TheFirstErrorIsReturnedAndNoLaterCallStarts) {
  // One thread, items in increasing order: 0, 1, 2 and the failing 3, nothing after.
  Host one(Host::Options{1, PF_ApplID_AfterEffects});
  std::vector<A_long> items;
  EXPECT_EQ(IterateGeneric(one, 10, &items, FailAtThree), 42);
  EXPECT_EQ(items, (std::vector<A_long>{0, 1, 2, 3}));

  // Every call fails: each thread stops at its own first call, so at most one call per thread.
  for (IterateOrder order : kOrders) {
    Host host(Host::Options{7, PF_ApplID_AfterEffects});
    host.setIterateOrder(order, 2);
    std::atomic<int> calls{0};
    const PF_Err err = IterateGeneric(host, 1000, &calls, FailEverywhere);
    EXPECT_GE(err, 600);
    EXPECT_LT(err, 1600);
    EXPECT_GE(calls.load(), 1);
    EXPECT_LE(calls.load(), 7);
    calls = 0;
    EXPECT_GE(IterateGeneric(host, PF_Iterations_ONCE_PER_PROCESSOR, &calls, FailEverywhere), 600);
    EXPECT_LE(calls.load(), 7);
  }

  // Calls running when the error comes are waited for, and the other threads take no more items (were
  // they not stopped, they would go through all 1000).
  Host host(Host::Options{7, PF_ApplID_AfterEffects});
  LateFinishers late;
  EXPECT_EQ(IterateGeneric(host, 1000, &late, LateFinishers::Call), 42);
  EXPECT_EQ(late.finished.load(), late.started.load() - 1);
  EXPECT_LT(late.started.load(), 1000);
}

TEST(IterateGenericTest, ABadCountOrNoFunctionIsRefusedWithoutACall) {
  Host host(Host::Options{2, PF_ApplID_AfterEffects});
  Tally tally(0, 2);
  EXPECT_EQ(IterateGeneric(host, -2, &tally, Tally::Visit), PF_Err_BAD_CALLBACK_PARAM);
  EXPECT_TRUE(testing::OneProblemMentioning(host, "-2 iterations"));
  host.clearProblems();
  EXPECT_EQ(IterateGeneric(host, INT_MIN, &tally, Tally::Visit), PF_Err_BAD_CALLBACK_PARAM);
  host.clearProblems();
  EXPECT_EQ(IterateGeneric(host, 5, &tally, nullptr), PF_Err_BAD_CALLBACK_PARAM);
  EXPECT_TRUE(testing::OneProblemMentioning(host, "no function"));
  host.clearProblems();
  EXPECT_EQ(IterateGeneric(host, 0, &tally, Tally::Visit), PF_Err_NONE);
  EXPECT_TRUE(host.problems().empty());

  // Outside any command no host is current, and there are no threads to name.
  PF_InData in = host.makeInData();
  EXPECT_EQ(in.utils->iterate_generic(3, &tally, Tally::Visit), PF_Err_INVALID_CALLBACK);
  EXPECT_EQ(tally.calls.load(), 0);
}

// Each of 8 outer calls runs 5 inner items through iterate_generic again, then once per processor,
// then iterate over a 3 x 2 world, all from inside the outer call.
struct Nested {
  PF_InData in;
  std::atomic<int> inner[8][5] = {};
  std::atomic<int> pixels{0}, wrong{0};

  static PF_Err Inner(void* refcon, A_long threadIndex, A_long i, A_long iterations) {
    auto* row = static_cast<std::atomic<int>*>(refcon);
    // Inside another iteration the calling thread works alone, as thread index 0.
    if (threadIndex != 0 || iterations != 5 || i < 0 || i >= 5) return 1;
    ++row[i];
    return PF_Err_NONE;
  }
  static PF_Err Once(void* refcon, A_long threadIndex, A_long i, A_long iterations) {
    if (threadIndex != 0 || i != 0 || iterations != 1) ++static_cast<Nested*>(refcon)->wrong;
    return PF_Err_NONE;
  }
  static PF_Err Pixel(void* refcon, A_long, A_long, PF_Pixel8*, PF_Pixel8*) {
    ++static_cast<Nested*>(refcon)->pixels;
    return PF_Err_NONE;
  }
  static PF_Err Outer(void* refcon, A_long, A_long i, A_long) {
    auto& self = *static_cast<Nested*>(refcon);
    PF_UtilCallbacks& utils = *self.in.utils;
    if (PF_Err err = utils.iterate_generic(5, self.inner[i], Inner)) return err;
    if (PF_Err err = utils.iterate_generic(PF_Iterations_ONCE_PER_PROCESSOR, &self, Once)) return err;
    World world(3, 2, Depth::Eight);
    return utils.iterate(&self.in, 0, 2, nullptr, nullptr, &self, Pixel, &world.pf());
  }
};

// Every pixel runs 3 items through iterate_generic.
struct GenericPerPixel {
  PF_UtilCallbacks* utils;
  std::atomic<int> calls{0};

  static PF_Err Count(void* refcon, A_long, A_long, A_long) {
    ++static_cast<GenericPerPixel*>(refcon)->calls;
    return PF_Err_NONE;
  }
  static PF_Err Pixel(void* refcon, A_long, A_long, PF_Pixel8*, PF_Pixel8*) {
    auto& self = *static_cast<GenericPerPixel*>(refcon);
    return self.utils->iterate_generic(3, &self, Count);
  }
};

TEST(IterateGenericTest, ACallFromInsideAnIterationRunsOnItsThreadInsteadOfWaiting) {
  for (unsigned threads : {2u, 7u}) {
    Host host(Host::Options{threads, PF_ApplID_AfterEffects});
    Host::Scope scope(host);
    Nested nested{host.makeInData()};
    ASSERT_EQ(nested.in.utils->iterate_generic(8, &nested, Nested::Outer), PF_Err_NONE);
    for (const auto& row : nested.inner) {
      for (const auto& cell : row) EXPECT_EQ(cell.load(), 1);
    }
    EXPECT_EQ(nested.wrong.load(), 0);
    EXPECT_EQ(nested.pixels.load(), 8 * 6);

    // And from inside an iterate pixel function, on iterate's workers.
    World world(4, 6, Depth::Eight);
    GenericPerPixel perPixel{nested.in.utils};
    EXPECT_EQ(nested.in.utils->iterate(&nested.in, 0, 6, nullptr, nullptr, &perPixel, GenericPerPixel::Pixel,
                                       &world.pf()),
              PF_Err_NONE);
    EXPECT_EQ(perPixel.calls.load(), 4 * 6 * 3);
    EXPECT_TRUE(host.problems().empty());
  }
}

TEST(IterateGenericTest, AbortAndProgressAskTheHostsProgressFunction) {
  Host host;
  ParamSet registry;
  PF_InData in = host.makeInData();
  PF_InData other = host.makeInData(&registry);  // another effect reference
  EXPECT_EQ(in.inter.abort(in.effect_ref), PF_Err_NONE) << "no function: nothing stops";
  EXPECT_EQ(in.inter.progress(in.effect_ref, 1, 2), PF_Err_NONE);

  std::vector<std::pair<A_long, A_long>> asked;
  bool goOn = true;
  host.setProgress([&](A_long done, A_long total) {
    asked.emplace_back(done, total);
    return goOn;
  });
  EXPECT_EQ(in.inter.progress(in.effect_ref, 3, 10), PF_Err_NONE);
  EXPECT_EQ(in.inter.abort(in.effect_ref), PF_Err_NONE);
  EXPECT_EQ(other.inter.abort(other.effect_ref), PF_Err_NONE);
  goOn = false;
  EXPECT_EQ(in.inter.abort(in.effect_ref), PF_Interrupt_CANCEL);
  EXPECT_EQ(in.inter.progress(in.effect_ref, 4, 10), PF_Interrupt_CANCEL);
  goOn = true;
  EXPECT_EQ(in.inter.abort(in.effect_ref), PF_Err_NONE) << "every call asks again";
  // abort passes on the last numbers given to progress through the same reference (none: 0 of 0).
  EXPECT_EQ(asked,
            (std::vector<std::pair<A_long, A_long>>{{3, 10}, {3, 10}, {0, 0}, {3, 10}, {4, 10}, {4, 10}}));
  EXPECT_TRUE(host.problems().empty());

  Host::Scope scope(host);
  EXPECT_EQ(in.inter.abort(nullptr), PF_Err_BAD_CALLBACK_PARAM);
  EXPECT_TRUE(testing::OneProblemMentioning(host, "abort with an unknown effect reference"));
}

// The fake effect spreading items with iterate_generic inside a command, as the effect does, and the
// host's progress function as the user who may stop it.
class IterateGenericEffectTest : public testing::FakeEffectTest {
 protected:
  struct Asked {
    A_long done, total;
    std::thread::id thread;
    bool operator==(const Asked&) const = default;
  };

  // The progress function answers false from its `stopAt`-th question on (counting from 1).
  void stopFrom(std::size_t stopAt) {
    host.setProgress([this, stopAt](A_long done, A_long total) {
      std::lock_guard lock(mutex);
      asked.push_back(Asked{done, total, std::this_thread::get_id()});
      return asked.size() < stopAt;
    });
  }

  PF_Err visit(A_long items) {
    script = fake::Script{fake::Action::VisitItems};
    script.iterations = items;
    return run(script);
  }

  bool askedOnThisThreadOnly() {
    std::lock_guard lock(mutex);
    return std::all_of(asked.begin(), asked.end(),
                       [](const Asked& a) { return a.thread == std::this_thread::get_id(); });
  }

  int visited(int value) const {
    return static_cast<int>(std::count(std::begin(script.visits), std::end(script.visits), value));
  }

  fake::Script script{fake::Action::VisitItems};
  std::mutex mutex;
  std::vector<Asked> asked;
};

TEST_F(IterateGenericEffectTest, AbortAndProgressFromThreadZeroLetTheHostStopTheWork) {
  // One thread: item 0 is asked about before (abort: nothing reported yet) and after (progress 1 of
  // 10); the abort before item 1 is refused.
  const std::thread::id self = std::this_thread::get_id();
  stopFrom(3);
  EXPECT_EQ(visit(10), PF_Interrupt_CANCEL);
  EXPECT_EQ(script.usedGeneric, 1);
  EXPECT_EQ(script.err, PF_Interrupt_CANCEL);
  EXPECT_EQ(asked, (std::vector<Asked>{{0, 0, self}, {1, 10, self}, {1, 10, self}}));
  EXPECT_EQ(script.visits[0], 1);
  EXPECT_EQ(visited(1), 1);

  // Seven threads: thread index 0 is the calling thread, the only one that asks, and it is told to stop
  // at once; whatever other threads did, they did once.
  host.setThreads(7);
  asked.clear();
  stopFrom(1);
  EXPECT_EQ(visit(64), PF_Interrupt_CANCEL);
  EXPECT_FALSE(asked.empty());
  EXPECT_TRUE(askedOnThisThreadOnly());
  EXPECT_EQ(visited(0) + visited(1), fake::kMaxItems);

  // Not stopped, every item is done once.
  asked.clear();
  stopFrom(1000);
  EXPECT_EQ(visit(64), PF_Err_NONE);
  EXPECT_EQ(visited(1), fake::kMaxItems);
  EXPECT_TRUE(askedOnThisThreadOnly());
  EXPECT_TRUE(host.problems().empty());
}

TEST_F(IterateGenericEffectTest, AHostWithoutTheSlotLeavesTheWorkToTheEffect) {
  host.setThreads(7);
  host.setIterateGenericAvailable(false);
  const PF_InData in = host.makeInData();
  EXPECT_EQ(in.utils->iterate_generic, nullptr);
  EXPECT_NE(in.utils->iterate, nullptr);
  EXPECT_NE(in.utils->host_new_handle, nullptr);

  stopFrom(1000);
  EXPECT_EQ(visit(20), PF_Err_NONE);
  EXPECT_EQ(script.usedGeneric, 0);
  EXPECT_EQ(visited(1), 20);
  EXPECT_EQ(asked.size(), 40u);  // the effect's own loop is all thread index 0

  host.setIterateGenericAvailable(true);
  EXPECT_EQ(visit(20), PF_Err_NONE);
  EXPECT_EQ(script.usedGeneric, 1);
  EXPECT_EQ(visited(1), 20);
  EXPECT_TRUE(host.problems().empty());
}

}  // namespace
}  // namespace minihost
