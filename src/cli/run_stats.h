// What `render --stats` reports: where a run's time went, step by step, and how much memory it took.
#pragma once

#include <chrono>
#include <string>

// Time spent in each step, summed over the frames. The steps of different frames overlap (frame k+1 is
// read while frame k renders and frame k-1 is written), so the three may add up to more than the run's
// wall time.
struct StepTimes {
  long frames = 0;
  std::chrono::nanoseconds decode{};  // reading and decoding a frame into a host world
  std::chrono::nanoseconds effect{};  // the effect's render call alone
  std::chrono::nanoseconds encode{};  // converting, encoding and writing a result, finishing the output
};

// "stats: N frames, decode A ms/frame, effect B ms/frame, encode C ms/frame, total D ms/frame, peak memory
// M MB": per-frame averages in milliseconds with one decimal, the total being `wall` over the frames;
// `peakKilobytes` rounded to whole megabytes (1024 x 1024 bytes).
std::string FormatStats(const StepTimes& times, std::chrono::nanoseconds wall, long peakKilobytes);

// The process's peak resident memory so far, in kilobytes (getrusage's ru_maxrss).
long PeakMemoryKilobytes();
