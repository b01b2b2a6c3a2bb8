// The progress line of a sequence or video render on stderr: "frame 12/250, 24.1 fps, 0:09 left",
// rewritten in place on a terminal, never written elsewhere.
#pragma once

#include <chrono>
#include <cstddef>
#include <limits>
#include <optional>
#include <string>

// The line for `done` frames of `total` (when known) after `seconds`, in at most `width` characters: what
// does not fit is left out, the rate first, then the time left, then the words before the count (`what`,
// "frame" unless another step is meant); a count wider than `width` is cut to it.
std::string FormatProgress(long done, std::optional<long> total, double seconds,
                           std::size_t width = std::numeric_limits<std::size_t>::max(),
                           const std::string& what = "frame");

// The width a line on the terminal `fd` may take without wrapping: its columns (else $COLUMNS, else 80)
// less one, since some terminals wrap as soon as the last column is written.
std::size_t LineWidth(int fd);

class Progress {
 public:
  // Shows nothing unless `enabled` and stderr is a terminal. `what` comes before the count.
  Progress(bool enabled, std::optional<long> total, std::string what = "frame");
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
  std::string what_;
  long done_ = 0;
  std::size_t width_ = 0;
  bool lineOpen_ = false;
  std::chrono::steady_clock::time_point start_, lastDraw_;
};
