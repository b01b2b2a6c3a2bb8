#include "minihost/thread_pool.h"

namespace minihost {

ThreadPool::ThreadPool(unsigned workers) {
  threads_.reserve(workers);
  for (unsigned i = 0; i < workers; ++i) threads_.emplace_back([this, i] { work(i + 1); });
}

ThreadPool::~ThreadPool() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  for (std::thread& thread : threads_) thread.join();
}

bool ThreadPool::tryRun(const std::function<void(unsigned thread)>& task) {
  if (busy_.exchange(true, std::memory_order_acquire)) return false;
  {
    std::lock_guard lock(mutex_);
    task_ = &task;
    running_ = workers();
    ++generation_;
  }
  wake_.notify_all();
  task(0);
  {
    std::unique_lock lock(mutex_);
    finished_.wait(lock, [this] { return running_ == 0; });
    task_ = nullptr;
  }
  busy_.store(false, std::memory_order_release);
  return true;
}

void ThreadPool::work(unsigned thread) {
  uint64_t seen = 0;
  std::unique_lock lock(mutex_);
  for (;;) {
    wake_.wait(lock, [&] { return stopping_ || generation_ != seen; });
    if (stopping_) return;
    seen = generation_;
    const std::function<void(unsigned)>* task = task_;
    lock.unlock();
    (*task)(thread);
    lock.lock();
    if (--running_ == 0) finished_.notify_all();
  }
}

}  // namespace minihost
