// Tasks run on a few threads of their own and their results taken back in the order the tasks were given:
// how an image sequence decodes the next frames ahead and encodes several frames at once while they stay
// in order.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "cli/interrupt.h"

template <typename Result>
class OrderedTasks {
 public:
  // `threads` at least 1. The threads leave the interrupting signals to the main thread (SignalBlock).
  explicit OrderedTasks(unsigned threads) {
    const SignalBlock leaveSignalsToTheMainThread;
    try {
      for (unsigned i = 0; i < std::max(threads, 1u); ++i) threads_.emplace_back([this] { run(); });
    } catch (...) {
      stop();
      throw;
    }
  }
  // Tasks not started are dropped; those running are waited for.
  ~OrderedTasks() { stop(); }
  OrderedTasks(const OrderedTasks&) = delete;
  OrderedTasks& operator=(const OrderedTasks&) = delete;

  void submit(std::function<Result()> task) {
    auto slot = std::make_shared<Slot>();
    slot->task = std::move(task);
    {
      std::lock_guard lock(mutex_);
      order_.push_back(slot);
      queue_.push_back(std::move(slot));
    }
    work_.notify_one();
  }

  // Tasks given and not yet taken back.
  std::size_t pending() const {
    std::lock_guard lock(mutex_);
    return order_.size();
  }

  // The result of the oldest task not yet taken, once it has run; throws what the task threw. Throws the
  // interruption when a signal comes meanwhile (interrupt.h). At least one task must be pending.
  Result takeNext() {
    std::unique_lock lock(mutex_);
    const std::shared_ptr<Slot> slot = order_.front();
    // A signal cannot wake a condition variable: the wait looks at the flag this often.
    while (!done_.wait_for(lock, std::chrono::milliseconds(50), [&] { return slot->finished; })) {
      lock.unlock();
      ThrowIfInterrupted();
      lock.lock();
    }
    order_.pop_front();
    if (slot->error) std::rethrow_exception(slot->error);
    return std::move(*slot->result);
  }

 private:
  struct Slot {
    std::function<Result()> task;
    std::optional<Result> result;
    std::exception_ptr error;
    bool finished = false;
  };

  void run() {
    for (;;) {
      std::shared_ptr<Slot> slot;
      {
        std::unique_lock lock(mutex_);
        work_.wait(lock, [&] { return stop_ || !queue_.empty(); });
        if (stop_) return;
        slot = std::move(queue_.front());
        queue_.pop_front();
      }
      std::optional<Result> result;
      std::exception_ptr error;
      try {
        result.emplace(slot->task());
      } catch (...) {
        error = std::current_exception();
      }
      {
        std::lock_guard lock(mutex_);
        // The task and what it holds go now, not when the result is taken.
        slot->task = nullptr;
        slot->result = std::move(result);
        slot->error = error;
        slot->finished = true;
      }
      done_.notify_all();
    }
  }

  void stop() {
    {
      std::lock_guard lock(mutex_);
      stop_ = true;
      queue_.clear();
    }
    work_.notify_all();
    for (std::thread& thread : threads_) thread.join();
    threads_.clear();
  }

  mutable std::mutex mutex_;
  std::condition_variable work_;             // a task to run, or stop
  std::condition_variable done_;             // a task finished
  std::deque<std::shared_ptr<Slot>> queue_;  // not started
  std::deque<std::shared_ptr<Slot>> order_;  // given and not taken, in order
  bool stop_ = false;
  std::vector<std::thread> threads_;
};
