// Workers for tests of the kernels: the tasks in a shuffled order on a given number of threads, the first of
// them the calling one, so that output that depends on the order or the thread count shows.
#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <numeric>
#include <thread>
#include <vector>

#include "render/workers.h"
#include "support/seeded_generator.h"

namespace palettrix_test {

// Helper threads kept from one frame to the next: starting threads for every frame would cost more than
// the frames, under Wine most of all.
class Crew {
 public:
  explicit Crew(int32_t helpers) {
    for (int32_t t = 1; t <= helpers; ++t) threads_.emplace_back([this, t] { Serve(t); });
  }
  ~Crew() {
    {
      const std::lock_guard lock(mutex_);
      quit_ = true;
    }
    wake_.notify_all();
    for (std::thread& thread : threads_) thread.join();
  }
  // Runs work(worker) on the calling thread as worker 0 and on every helper at once; returns when all are
  // done.
  void Run(const std::function<void(int32_t)>& work) {
    {
      const std::lock_guard lock(mutex_);
      work_ = &work;
      ++round_;
      busy_ = threads_.size();
    }
    wake_.notify_all();
    work(0);
    std::unique_lock lock(mutex_);
    done_.wait(lock, [this] { return busy_ == 0; });
  }

 private:
  void Serve(int32_t worker) {
    for (uint64_t seen = 0;;) {
      const std::function<void(int32_t)>* work;
      {
        std::unique_lock lock(mutex_);
        wake_.wait(lock, [&] { return quit_ || round_ != seen; });
        if (quit_) return;
        seen = round_;
        work = work_;
      }
      (*work)(worker);
      const std::lock_guard lock(mutex_);
      if (--busy_ == 0) done_.notify_one();
    }
  }

  std::mutex mutex_;
  std::condition_variable wake_, done_;
  const std::function<void(int32_t)>* work_ = nullptr;
  uint64_t round_ = 0;
  std::size_t busy_ = 0;
  bool quit_ = false;
  std::vector<std::thread> threads_;
};

inline Crew& CrewOf(int32_t threads) {
  static std::array<std::unique_ptr<Crew>, 8> crews;
  auto& crew = crews.at(static_cast<std::size_t>(threads));
  if (!crew) crew = std::make_unique<Crew>(threads - 1);
  return *crew;
}

// Workers that take the tasks in a shuffled order on `count` threads, the first of them the calling one.
struct ShuffledWorkers {
  int32_t threads;
  uint64_t seed;
  Workers workers() {
    Workers w;
    w.count = threads;
    w.context = this;
    w.run = [](void* context, int32_t tasks, Workers::Task task, void* taskContext) {
      auto& self = *static_cast<ShuffledWorkers*>(context);
      std::vector<int32_t> order(static_cast<std::size_t>(tasks));
      std::iota(order.begin(), order.end(), 0);
      SeededGenerator rng{self.seed};
      for (std::size_t i = order.size(); i > 1; --i) std::swap(order[i - 1], order[rng.below(i)]);
      std::atomic<std::size_t> next{0};
      CrewOf(self.threads).Run([&](int32_t worker) {
        for (std::size_t k; (k = next.fetch_add(1)) < order.size();) task(taskContext, worker, order[k]);
      });
    };
    return w;
  }
};

}  // namespace palettrix_test
