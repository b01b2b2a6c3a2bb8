// How many pixels a compressed image file can hold for its size: the bound that catches a damaged header or
// a decompression bomb before a pixel is decoded, for every reader of images. Header only and built on
// nothing, like the rest of this folder.
#pragma once

#include <cstdint>
#include <limits>

// Deflate (PNG, and TIFF and EXR as usually written) packs at most about 1032 bytes into one, and a byte
// holds at most 8 one-bit pixels: an image file declaring more pixels than this many times its size is
// damaged or a decompression bomb. (Fax-coded blank pages can pack more; they are no input for this tool.)
inline constexpr unsigned long long kMaxPixelsPerByte = 8ull * 1100ull;

// True when `pixels` is more than a file of `fileBytes` can hold; a size of 0 stands for an unknown one
// (a pipe), which holds anything, and so does a file whose bound passes the largest count.
constexpr bool MoreThanBytesCanHold(unsigned long long pixels, std::uintmax_t fileBytes) {
  if (fileBytes == 0 || fileBytes > std::numeric_limits<unsigned long long>::max() / kMaxPixelsPerByte) {
    return false;
  }
  return pixels > fileBytes * kMaxPixelsPerByte;
}
