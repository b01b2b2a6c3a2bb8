#include "cli/run_stats.h"

#include <sys/resource.h>

#include <cstdio>

std::string FormatStats(const StepTimes& times, std::chrono::nanoseconds wall, long peakKilobytes) {
  // A run gives at least one frame or fails; the guard only keeps the division defined.
  const double frames = times.frames > 0 ? static_cast<double>(times.frames) : 1.0;
  auto perFrame = [frames](std::chrono::nanoseconds time) {
    return std::chrono::duration<double, std::milli>(time).count() / frames;
  };
  char text[256];
  std::snprintf(text, sizeof text,
                "stats: %ld frames, decode %.1f ms/frame, effect %.1f ms/frame, encode %.1f ms/frame, total "
                "%.1f ms/frame, peak memory %ld MB",
                times.frames, perFrame(times.decode), perFrame(times.effect), perFrame(times.encode),
                perFrame(wall), (peakKilobytes + 512) / 1024);
  return text;
}

long PeakMemoryKilobytes() {
  rusage usage{};
  if (getrusage(RUSAGE_SELF, &usage) != 0) return 0;
  return usage.ru_maxrss;
}
