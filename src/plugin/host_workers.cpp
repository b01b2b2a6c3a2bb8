#include "plugin/host_workers.h"

namespace {

struct Call {
  Workers::Task task;
  void* taskContext;
  A_long tasks;
};

PF_Err RunOne(void* refcon, A_long threadIndex, A_long i, A_long /*iterations*/) {
  const auto& call = *static_cast<const Call*>(refcon);
  if (i < call.tasks) call.task(call.taskContext, threadIndex, i);
  return PF_Err_NONE;
}

// How many of the host's workers run at once: one call on each tells.
PF_Err CountWorkers(void* refcon, A_long /*threadIndex*/, A_long /*i*/, A_long iterations) {
  static_cast<std::atomic<A_long>*>(refcon)->store(iterations);
  return PF_Err_NONE;
}

}  // namespace

HostWorkers::HostWorkers(PF_InData* inData) : inData_(inData) {
  workers_.context = this;
  workers_.run = &Run;
  workers_.keepGoing = &KeepGoing;
  workers_.count = 1;
  const auto* utils = inData_->utils;
  if (utils != nullptr && utils->iterate_generic != nullptr) {
    std::atomic<A_long> count{1};
    if (utils->iterate_generic(PF_Iterations_ONCE_PER_PROCESSOR, &count, CountWorkers) == PF_Err_NONE) {
      workers_.count = count.load() > 0 ? count.load() : 1;
    }
  }
}

void HostWorkers::Run(void* context, std::int32_t tasks, Workers::Task task, void* taskContext) {
  auto& self = *static_cast<HostWorkers*>(context);
  const auto* utils = self.inData_->utils;
  if (tasks <= 0) return;
  Call call{task, taskContext, tasks};
  // A host without iterate_generic, or one that refuses the call, gets the work on the calling thread,
  // which is worker 0.
  if (utils == nullptr || utils->iterate_generic == nullptr ||
      utils->iterate_generic(tasks, &call, RunOne) != PF_Err_NONE) {
    for (std::int32_t i = 0; i < tasks && !self.stopped(); ++i) task(taskContext, 0, i);
  }
}

bool HostWorkers::KeepGoing(void* context, std::int32_t worker, std::int32_t done, std::int32_t total) {
  auto& self = *static_cast<HostWorkers*>(context);
  if (self.stopped_.load(std::memory_order_relaxed)) return false;
  if (worker != 0) return true;
  const PF_InteractCallbacks& inter = self.inData_->inter;
  const bool stop =
      (inter.abort != nullptr && inter.abort(self.inData_->effect_ref) != PF_Err_NONE) ||
      (inter.progress != nullptr && inter.progress(self.inData_->effect_ref, done, total) != PF_Err_NONE);
  if (stop) self.stopped_.store(true);
  return !stop;
}
