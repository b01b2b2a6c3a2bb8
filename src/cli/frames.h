// Frames on their way through the command: where they come from (an image sequence or a video) and where
// they go, in order.
#pragma once

#include <cstddef>
#include <optional>
#include <vector>

#include "minihost/world.h"

struct Frame {
  long number = 0;  // the file's number in a sequence; a video's frames count from 1
  minihost::World world{1, 1, minihost::Depth::Eight};
  bool hasAlpha = false;
};

// A frame rate as a fraction, frames per second.
struct FrameRate {
  int num = 25;
  int den = 1;
};

// An inclusive range of frame numbers from --frames A-B.
struct FrameRange {
  long first = 0;
  long last = 0;
};

class FrameSource {
 public:
  virtual ~FrameSource() = default;
  // The next frame in order, or none after the last. Throws CliError naming the file.
  virtual std::optional<Frame> next() = 0;
  // How many frames next() will give, when known beforehand (a video's may be an estimate).
  virtual std::optional<long> frameCount() const = 0;
};

// Frames are written in order, one at a time, though not necessarily on the thread that made the sink. A
// sink may finish a frame on threads of its own after write() returns: a frame's failure is then thrown by
// a later write() or by finish(). Until finish() succeeds everything the sink wrote is under temporary
// names, and a sink destroyed without finish() removes it all: a failed or interrupted run leaves no output.
class FrameSink {
 public:
  virtual ~FrameSink() = default;
  virtual void write(Frame frame) = 0;
  // Completes the output and moves it to its final name(s). Throws CliError naming the file.
  virtual void finish() = 0;
};

// `most` positions (from 0) spread evenly over `count`: the middle one of each of `most` equal shares
// (position (2i + 1) x count / (2 x most), rounded down), or every position when there are no more.
inline std::vector<std::size_t> SpreadPositions(std::size_t count, std::size_t most) {
  std::vector<std::size_t> positions;
  if (count <= most) {
    for (std::size_t i = 0; i < count; ++i) positions.push_back(i);
    return positions;
  }
  for (std::size_t i = 0; i < most; ++i) positions.push_back((2 * i + 1) * count / (2 * most));
  return positions;
}
