// WebP through libwebp itself: colours stay straight (not multiplied by alpha) both ways, and what is written
// is lossless.
#pragma once

#include <cstdint>
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
