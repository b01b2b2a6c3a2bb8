// The progress line of a sequence or video render on stderr: "frame 12/250, 24.1 fps, 0:09 left",
// rewritten in place on a terminal, never written elsewhere.
#pragma once

#include <chrono>
#include <optional>
#include <string>

// The line for `done` frames of `total` (when known) after `seconds`.
std::string FormatProgress(long done, std::optional<long> total, double seconds);

class Progress {
 public:
  // Shows nothing unless `enabled` and stderr is a terminal.
  Progress(bool enabled, std::optional<long> total);
  ~Progress();
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;

  // One more frame written; the line is redrawn a few times a second at most.
  void frameDone();
  // Draws the final count and ends the line.
  void finish();

 private:
  void draw();

  bool shown_;
  std::optional<long> total_;
  long done_ = 0;
  std::size_t width_ = 0;
  bool lineOpen_ = false;
  std::chrono::steady_clock::time_point start_, lastDraw_;
};
