// How every benchmark here is timed: ms a frame, on the clock and in processor time summed over the process's
// threads. With --benchmark_repetitions=N each also reports "least" besides the mean, median and spread: the
// least of the N repetitions, column by column, the figure least disturbed by whatever else a busy machine
// runs.
#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <vector>

namespace bench {

inline benchmark::internal::Benchmark* TimedPerFrame(benchmark::internal::Benchmark* b) {
  return b->Unit(benchmark::kMillisecond)
      ->MeasureProcessCPUTime()
      ->UseRealTime()
      ->ComputeStatistics("least",
                          [](const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); });
}

// Runs the benchmarks registered, with the command line's options; the program's exit status.
inline int RunRegistered(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}

}  // namespace bench
