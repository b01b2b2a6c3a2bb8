// What an image file declares, judged before its pixels are decoded: for every reader of images, the
// command's and the palette images'.
#pragma once

#include <OpenImageIO/imageio.h>

#include <cstdint>

// Deflate (PNG, and TIFF and EXR as usually written) packs at most about 1032 bytes into one, and a byte
// holds at most 8 one-bit pixels: an image file declaring more pixels than this many times its size is
// damaged or a decompression bomb. (Fax-coded blank pages can pack more; they are no input for this tool.)
inline constexpr unsigned long long kMaxPixelsPerByte = 8ull * 1100ull;

// True when `pixels` is more than a file of `fileBytes` can hold; a size of 0 stands for an unknown one
// (a pipe), which holds anything.
bool MoreThanBytesCanHold(unsigned long long pixels, std::uintmax_t fileBytes);

// The alpha channel's index, when the library's answer is one (GIF's reader names channel 4 of 4), else the
// channel named "A" or "Alpha", else the second of two and the fourth of four; -1 when there is none.
int AlphaChannel(const OIIO_NAMESPACE::ImageSpec& spec);
