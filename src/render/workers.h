// The threads a kernel's work runs on, lent by whoever hosts the kernels: render/ never sees the host. A
// plain record of the lender's functions, so that kernels stay free functions.
#pragma once

#include <cstdint>

struct Workers {
  using Task = void (*)(void* taskContext, std::int32_t worker, std::int32_t index);

  std::int32_t count = 1;  // workers that may run tasks at the same time; worker numbers are 0..count-1
  void* context = nullptr;
  // Calls task(taskContext, worker, i) once for every i in 0..tasks-1, in any order and possibly at once on
  // several workers, and returns when every task that started has finished. Tasks not yet started when a
  // stop is asked for are skipped.
  void (*run)(void* context, std::int32_t tasks, Task task, void* taskContext) = nullptr;
  // False once the user has asked to stop. Only worker 0 asks the host (and tells it how far the frame
  // has got, `done` of `total`); the others see its answer.
  bool (*keepGoing)(void* context, std::int32_t worker, std::int32_t done, std::int32_t total) = nullptr;

  void forEach(std::int32_t tasks, Task task, void* taskContext) const {
    if (run != nullptr) {
      run(context, tasks, task, taskContext);
    } else {
      for (std::int32_t i = 0; i < tasks; ++i) task(taskContext, 0, i);
    }
  }
  bool going(std::int32_t worker, std::int32_t done, std::int32_t total) const {
    return keepGoing == nullptr || keepGoing(context, worker, done, total);
  }
};
