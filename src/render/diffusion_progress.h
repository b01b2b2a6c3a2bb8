// How far each row, or band of rows, of an error-diffusion walk has got, for the workers that wait on it.
#pragma once

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <limits>
#include <memory>
#include <mutex>

namespace diffusion {

// How far each of a run's rows (or bands of rows) has got, for those that wait on it; and whether the run
// is stopping.
class Progress {
 public:
  explicit Progress(std::int32_t count)
      : done_(std::make_unique<std::atomic<std::int64_t>[]>(static_cast<std::size_t>(std::max(count, 0)))) {
    for (std::int32_t i = 0; i < count; ++i) done_[static_cast<std::size_t>(i)].store(kNone);
  }

  // Waits until entry i has got to `value`; false when the run is stopping. A spin first, then sleep: the
  // band or row waited for is usually a stride of steps ahead, a few microseconds, and waking a sleeper
  // takes longer than that, often more than the stride itself. The spin gives up after some 50 microseconds,
  // so that on a host whose cores are busy with other frames a waiting worker soon leaves its core to them.
  // (A mutex and condition variable rather than atomic waits, which some C++ runtimes without futexes can
  // miss a wake-up in.)
  bool waitFor(std::int32_t i, std::int64_t value) {
    const std::atomic<std::int64_t>& done = done_[static_cast<std::size_t>(i)];
    for (int spins = 0; spins < kSpins; ++spins) {
      if (done.load(std::memory_order_acquire) >= value) return !stopping();
      Relax();
    }
    std::unique_lock lock(sleep_);
    sleepers_.fetch_add(1);
    wake_.wait(lock, [&] { return stopping() || done.load() >= value; });
    sleepers_.fetch_sub(1);
    return !stopping();
  }

  // Says entry i has got to `value`, waking sleepers only when there are any: a sleeper counts itself
  // before it looks at the entry, so either it sees this store or this sees it.
  void publish(std::int32_t i, std::int64_t value) {
    done_[static_cast<std::size_t>(i)].store(value);
    if (sleepers_.load() > 0) {
      { const std::lock_guard lock(sleep_); }
      wake_.notify_all();
    }
  }
  void finish(std::int32_t i) { publish(i, kAll); }

  // A worker that gives up lets whoever waits on its entry see the stop.
  void abandon(std::int32_t i) {
    stop_.store(true);
    finish(i);
  }
  bool stopping() const { return stop_.load(); }

 private:
  // About 25 ns each on the x86 cores this was measured on.
  static constexpr int kSpins = 2048;
  static void Relax() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
  }
  static constexpr std::int64_t kNone = std::numeric_limits<std::int64_t>::min();
  static constexpr std::int64_t kAll = std::numeric_limits<std::int64_t>::max();
  std::unique_ptr<std::atomic<std::int64_t>[]> done_;
  std::atomic<bool> stop_{false};
  std::atomic<std::int32_t> sleepers_{0};  // workers asleep in waitFor
  std::mutex sleep_{};
  std::condition_variable wake_{};
};

}  // namespace diffusion
