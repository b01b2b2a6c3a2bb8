// Animated (or still) GIF files of rendered frames, stored with their exact colours: the frames hold only
// palette colours, so no second quantisation is needed, and none is done.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

// A frame of 8-bit pixels, red, green, blue and alpha a pixel, as indices into a palette of its own: what a
// GIF file needs of it, made once as the frame arrives. Pixels with alpha below half are transparent (GIF's
// alpha is one bit), whatever their colour.
struct IndexedFrame {
  std::vector<uint32_t> colors;  // 0xRRGGBB, in the order first met, at most 256
  std::vector<uint16_t> index;   // a pixel each; kTransparent for transparent pixels
  bool transparent = false;      // whether any pixel is

  static constexpr uint16_t kTransparent = 0xFFFF;
};

// Thrown when a frame holds more than 256 colours (counting transparency as one), which GIF cannot store.
class TooManyGifColors : public std::runtime_error {
 public:
  explicit TooManyGifColors(std::size_t colors)
      : std::runtime_error("it holds more than 256 colours"), colors_(colors) {}
  std::size_t colors() const { return colors_; }

 private:
  std::size_t colors_;
};

// The frame's colours and indices; throws TooManyGifColors.
IndexedFrame IndexFrame(std::span<const uint8_t> rgba, int width, int height);

// Frame delays in GIF's 1/100 s steps for `frames` frames at `numerator` / `denominator` frames a second,
// each the difference of the rounded times of its start and the next frame's: no drift over a clip (30 fps
// alternates 3 and 4; 25 fps is 4 every frame). Delays of 0 become 1: many decoders slow those down.
std::vector<int> GifDelays(std::size_t frames, long numerator, long denominator);

struct GifOptions {
  int loops = 0;            // 0: forever; else how many times the animation plays after the first
  bool differences = true;  // frames after the first store only the rectangle that changed, the rest transparent
};

// The GIF file of `frames`, all `width` x `height`. One global palette when the frames' colours together
// are at most 256 (a transparent index among them when any frame needs one), else a palette of its own for
// each frame. Throws std::runtime_error when the encoder fails.
std::vector<unsigned char> EncodeGif(const std::vector<IndexedFrame>& frames, std::span<const int> delays,
                                     int width, int height, const GifOptions& options);
