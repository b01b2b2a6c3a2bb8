#include "minihost/thread_pool.h"

namespace minihost {

ThreadPool::ThreadPool(unsigned workers) {
  threads_.reserve(workers);
  for (unsigned i = 0; i < workers; ++i) threads_.emplace_back([this] { work(); });
}

ThreadPool::~ThreadPool() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  for (std::thread& thread : threads_) thread.join();
}

bool ThreadPool::tryRun(const std::function<void(bool onCaller)>& task) {
  std::unique_lock busy(busy_, std::try_to_lock);
  if (!busy.owns_lock()) return false;
  {
    std::lock_guard lock(mutex_);
    task_ = &task;
    running_ = workers();
    ++generation_;
  }
  wake_.notify_all();
  task(true);
  std::unique_lock lock(mutex_);
  finished_.wait(lock, [this] { return running_ == 0; });
  task_ = nullptr;
  return true;
}

void ThreadPool::work() {
  uint64_t seen = 0;
  std::unique_lock lock(mutex_);
  for (;;) {
    wake_.wait(lock, [&] { return stopping_ || generation_ != seen; });
    if (stopping_) return;
    seen = generation_;
    const std::function<void(bool)>* task = task_;
    lock.unlock();
    (*task)(false);
    lock.lock();
    if (--running_ == 0) finished_.notify_all();
  }
}

}  // namespace minihost
