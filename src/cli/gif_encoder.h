// Animated (or still) GIF files of rendered frames, stored with their exact colours: the frames hold only
// palette colours, so no second quantisation is needed, and none is done. Frames are written one at a time,
// so a clip of any length needs one frame in memory (and the one before it).
#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <span>
#include <vector>

#include "cli/frame_timing.h"
#include "cli/indexed_frame.h"

// Frame delays in GIF's 1/100 s steps for `frames` frames at `numerator` / `denominator` frames a second
// (FrameTicks at 100 a second). Delays of 0 become 1: many decoders slow those down.
std::vector<int> GifDelays(std::size_t frames, long numerator, long denominator);

struct GifOptions {
  int plays = 0;  // how many times the animation plays, 0 for ever
  bool differences =
      true;  // frames after the first store only the rectangle that changed, the rest transparent
};

// What a clip's frames (indexed with AlphaBits::One) hold together, gathered as they come, so that the file
// can have one colour table for all of them when they fit in it.
class GifClip {
 public:
  void add(const IndexedFrame& frame);
  std::size_t frames() const { return frames_; }
  bool transparent() const { return transparent_; }
  // Whether frames after the first store only what changed: with options.differences, for a clip of more
  // than one frame where no pixel is transparent (differences rely on each frame staying under the next).
  bool differenced(const GifOptions& options) const;
  // The one table, every colour in the order first met (with a transparent entry when differences need
  // one), or empty when they do not fit in 256 entries and each frame has a table of its own.
  std::vector<uint32_t> globalTable(const GifOptions& options) const;

 private:
  std::vector<uint32_t> colors_;  // in the order first met, until there are more than 256
  std::size_t frames_ = 0;
  bool transparent_ = false;
  bool tooMany_ = false;
};

// Writes the file to `output`, which receives the bytes in order; an exception it throws stops the writer
// and comes out of the call that caused it.
class GifWriter {
 public:
  using Output = std::function<void(const unsigned char* data, std::size_t size)>;
  // `clip` has seen every frame that add() will be given, in the same order.
  GifWriter(Output output, int width, int height, const GifClip& clip, const GifOptions& options);
  ~GifWriter();
  GifWriter(const GifWriter&) = delete;
  GifWriter& operator=(const GifWriter&) = delete;

  // The next frame, shown for `delay` hundredths of a second. Throws std::runtime_error when the encoder
  // fails.
  void add(const IndexedFrame& frame, int delay);
  // Ends the file. Throws as add() does.
  void finish();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// The whole file of `frames` in memory (for stills and tests).
std::vector<unsigned char> EncodeGif(const std::vector<IndexedFrame>& frames, std::span<const int> delays,
                                     int width, int height, const GifOptions& options);
