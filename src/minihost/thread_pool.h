// A fixed set of worker threads that run one task at a time together with the calling thread.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace minihost {

class ThreadPool {
 public:
  explicit ThreadPool(unsigned workers);
  ~ThreadPool();
  ThreadPool(const ThreadPool&) = delete;
  ThreadPool& operator=(const ThreadPool&) = delete;

  unsigned workers() const { return static_cast<unsigned>(threads_.size()); }

  // Runs `task` once on the calling thread (argument 0) and once on every worker (arguments 1 to
  // workers(), each worker always with its own number), and returns when all have finished. When
  // another caller is using the pool (another thread, or a task that iterates again), returns false at
  // once without running anything: the caller then does the work alone, so nested or concurrent use
  // never deadlocks. `task` must not throw.
  bool tryRun(const std::function<void(unsigned thread)>& task);

 private:
  void work(unsigned thread);

  // A flag, not a mutex: a task running on the calling thread may ask again, and a mutex must not be
  // tried by the thread that holds it.
  std::atomic<bool> busy_{false};
  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable finished_;
  const std::function<void(unsigned)>* task_ = nullptr;
  uint64_t generation_ = 0;
  unsigned running_ = 0;
  bool stopping_ = false;
  std::vector<std::thread> threads_;
};

}  // namespace minihost
