// Animated PNG files: every frame whole, stored with a palette when the clip's colours fit in one (as the
// format has a single palette for all frames), else as RGB or RGBA of 8 or 16 bits a sample.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

struct ApngLayout {
  enum class Samples { Indexed, Rgb, Rgba };
  Samples samples = Samples::Rgb;
  int bits = 8;                  // a sample (Rgb, Rgba: 8 or 16); an index is always 8
  std::vector<uint32_t> colors;  // the palette, as ColorKey keys, for Indexed

  // Bytes a row of `width` pixels takes.
  std::size_t rowBytes(int width) const;
};

// Frames last delayNumerator / delayDenominator seconds (APNG's own fraction).
struct ApngDelay {
  uint16_t numerator = 1;
  uint16_t denominator = 25;
};

// The delays of `frames` frames at `numerator` / `denominator` frames a second: that fraction itself when it
// fits APNG's 16-bit fields, else whole milliseconds without drift (FrameTicks).
std::vector<ApngDelay> ApngDelays(std::size_t frames, long numerator, long denominator);

class ApngWriter {
 public:
  using Output = std::function<void(const unsigned char* data, std::size_t size)>;
  // Writes the signature and the header chunks for `frames` frames played `plays` times (0 for ever).
  ApngWriter(Output output, int width, int height, std::size_t frames, ApngLayout layout, unsigned plays);

  // The next frame's rows, top to bottom, each layout.rowBytes(width) bytes: indices into the palette, or
  // samples (16-bit ones big-endian, as PNG stores them).
  void add(std::span<const uint8_t> rows, ApngDelay delay);
  // Ends the file; throws std::logic_error when fewer frames came than were announced.
  void finish();

 private:
  void chunk(const char (&type)[5], std::span<const uint8_t> data);

  Output output_;
  int width_, height_;
  std::size_t frames_;
  ApngLayout layout_;
  std::size_t written_ = 0;
  uint32_t sequence_ = 0;  // fcTL and fdAT chunks are numbered in one sequence
};
