// The host's threads lent to the kernels: iterate_generic when the host has it, else the calling thread.
// Worker 0 alone asks the host whether to go on and reports progress, as the host wants.
#pragma once

#include <atomic>

#include "render/workers.h"
#include "sdk/ae_effect.h"

class HostWorkers {
 public:
  explicit HostWorkers(PF_InData* inData);
  HostWorkers(const HostWorkers&) = delete;
  HostWorkers& operator=(const HostWorkers&) = delete;

  const Workers& workers() const { return workers_; }
  // True once the host has said to stop.
  bool stopped() const { return stopped_.load(); }

 private:
  static void Run(void* context, std::int32_t tasks, Workers::Task task, void* taskContext);
  static bool KeepGoing(void* context, std::int32_t worker, std::int32_t done, std::int32_t total);

  PF_InData* inData_;
  Workers workers_;
  std::atomic<bool> stopped_{false};
};
