// iterate_generic: an effect's function called for a count of items, or once per thread, on the same
// pool of threads as iterate. What it promises is written in host.h.
#include <atomic>
#include <cstdint>
#include <memory>
#include <new>
#include <optional>
#include <string>

#include "minihost/host_impl.h"
#include "minihost/shuffle.h"
#include "minihost/thread_pool.h"

namespace minihost {
namespace {

using GenericFunc = PF_Err (*)(void* refcon, A_long threadIndex, A_long i, A_long iterations);

struct GenericJob {
  GenericFunc fn = nullptr;
  void* refcon = nullptr;
  bool oncePerThread = false;
  A_long iterations = 0;  // as asked; ONCE_PER_PROCESSOR is replaced by the thread count
  uint64_t seed = 0;
  bool shuffled = false;
  std::optional<SeededPermutation> order;

  // The next position to hand out. Position 0 is kept for thread index 0, so that the calling thread
  // makes a call whenever there is one to make: an effect that asks abort and progress only there (as
  // it must) is then always asked. 64 bits: every thread takes one more number than there is work, and
  // with up to 2^31 - 1 items a 32-bit counter would wrap to negative items.
  std::atomic<int64_t> next{1};
  std::atomic<bool> stop{false};
  std::atomic<PF_Err> error{PF_Err_NONE};

  // Fixes the count of calls for `threads` threads, before any call is made.
  void prepare(A_long threads) {
    if (oncePerThread) iterations = threads;
    order.reset();
    if (shuffled) order.emplace(static_cast<uint64_t>(iterations), seed);
  }

  A_long item(A_long position) const {
    return order ? static_cast<A_long>((*order)(static_cast<uint64_t>(position))) : position;
  }

  void fail(PF_Err err) {
    PF_Err none = PF_Err_NONE;
    error.compare_exchange_strong(none, err);
    stop.store(true);
  }

  // False once this call failed.
  bool call(A_long thread, A_long position) {
    if (PF_Err err = fn(refcon, thread, item(position), iterations)) {
      fail(err);
      return false;
    }
    return true;
  }

  void work(Host::Impl& impl, A_long thread) {
    // Calls from inside fn (handles, suites, a nested iteration) find the host through this.
    Host::Scope scope(impl.owner);
    try {
      if (oncePerThread) {
        if (thread < iterations && !stop.load()) call(thread, thread);
        return;
      }
      bool first = thread == 0;
      while (!stop.load(std::memory_order_relaxed)) {
        const int64_t position = first ? 0 : next.fetch_add(1);
        first = false;
        if (position >= iterations || !call(thread, static_cast<A_long>(position))) break;
      }
    } catch (...) {
      impl.problem("an exception escaped an iterate_generic function");
      fail(PF_Err_INTERNAL_STRUCT_DAMAGED);
    }
  }
};

PF_Err Run(Host::Impl& impl, A_long iterations, void* refcon, GenericFunc fn) {
  if (fn == nullptr) {
    impl.problem("iterate_generic with no function");
    return PF_Err_BAD_CALLBACK_PARAM;
  }
  if (iterations < 0 && iterations != PF_Iterations_ONCE_PER_PROCESSOR) {
    impl.problem("iterate_generic of " + std::to_string(iterations) + " iterations");
    return PF_Err_BAD_CALLBACK_PARAM;
  }
  if (iterations == 0) return PF_Err_NONE;

  const IterateSettings settings = impl.iterateSettings();
  GenericJob job;
  job.fn = fn;
  job.refcon = refcon;
  job.oncePerThread = iterations == PF_Iterations_ONCE_PER_PROCESSOR;
  job.iterations = iterations;
  job.seed = settings.seed;
  job.shuffled = settings.order == IterateOrder::Shuffled;

  const std::function<void(unsigned)> task = [&](unsigned thread) {
    job.work(impl, static_cast<A_long>(thread));
  };
  bool ran = false;
  if (settings.threads > 1 && (job.oncePerThread || iterations > 1)) {
    if (std::shared_ptr<ThreadPool> pool = impl.poolFor(settings.threads)) {
      job.prepare(static_cast<A_long>(pool->workers() + 1));
      ran = pool->tryRun(task);
    }
  }
  // The pool is another iteration's, or one thread is all there is: the calling thread alone.
  if (!ran) {
    job.prepare(1);
    task(0);
  }
  return job.error.load();
}

}  // namespace

PF_Err IterateGeneric(A_long iterations, void* refcon, GenericFunc fn) {
  Host* host = CurrentHost();
  if (host == nullptr) return PF_Err_INVALID_CALLBACK;
  try {
    return Run(host->impl(), iterations, refcon, fn);
  } catch (const std::bad_alloc&) {
    return PF_Err_OUT_OF_MEMORY;
  } catch (...) {
    host->impl().problem("iterate_generic could not run");
    return PF_Err_INTERNAL_STRUCT_DAMAGED;
  }
}

}  // namespace minihost
