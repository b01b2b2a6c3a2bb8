// WebP through libwebp itself: colours stay straight (not multiplied by alpha) both ways, and what is written
// is lossless.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

struct WebpImage {
  int width = 0;
  int height = 0;
  bool alpha = false;
  std::vector<std::uint8_t> pixels;  // RGB or RGBA rows, 8 bits a channel
};

struct WebpInfo {
  int width = 0;
  int height = 0;
  bool alpha = false;
  bool animated = false;
};

// The header's facts; false with `error` set when the data is no WebP image.
bool ReadWebpInfo(std::span<const std::uint8_t> data, WebpInfo& info, std::string& error);
// Decodes a still image whose info has been read; false with `error` set when the data is damaged.
bool DecodeWebp(std::span<const std::uint8_t> data, const WebpInfo& info, WebpImage& image,
                std::string& error);
// Encodes losslessly, keeping the colours under transparent pixels; false with `error` set.
bool EncodeWebp(const WebpImage& image, std::vector<std::uint8_t>& encoded, std::string& error);

// An animated WebP of lossless frames, given one at a time (kept compressed until finish()). Every frame
// decodes to exactly the pixels it was given, alpha included.
class WebpAnimation {
 public:
  // Plays `plays` times, 0 for ever. Throws std::runtime_error when out of memory.
  WebpAnimation(int width, int height, unsigned plays);
  ~WebpAnimation();
  WebpAnimation(const WebpAnimation&) = delete;
  WebpAnimation& operator=(const WebpAnimation&) = delete;

  // The next frame (width x height), shown for `durationMs`; false with `error` set.
  bool add(const WebpImage& frame, int durationMs, std::string& error);
  // The file; false with `error` set.
  bool finish(std::vector<std::uint8_t>& encoded, std::string& error);

 private:
  struct State;
  std::unique_ptr<State> state_;
};
