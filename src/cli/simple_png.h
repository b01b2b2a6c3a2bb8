// 8-bit RGB and RGBA PNGs, what image sequences are mostly made of, decoded here with libdeflate: several
// times faster than the general reader (image_io.cpp). Only files whose pixels the general reader would give
// exactly the same are taken here; every other file, and every file with anything amiss (a checksum, the
// image data's length, a filter), is left to it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

struct SimplePng {
  int width = 0;
  int height = 0;
  int channels = 0;  // 3 (RGB) or 4 (RGBA)
};

// The size and channels of `bytes` when it is a PNG taken here: 8 bits a sample, RGB or RGBA, not
// interlaced, with every chunk complete up to IEND, and besides the image data only chunks that leave the
// samples as stored (physical size, time, text, colour space and gamma notes, significant bits, background).
// None for anything else: a transparent colour, a palette, an EXIF orientation, an animation, a cut file.
std::optional<SimplePng> SimplePngHeader(std::span<const unsigned char> bytes);

// For `bytes` that SimplePngHeader took, as `header`: decodes the samples, a band of rows at a time, top to
// bottom: `band(firstRow, rows, samples, stride)` gets `rows` rows from `firstRow` on, width x channels
// samples each, row r at samples + r x stride. Checks for interruption (interrupt.h) between bands. False
// when anything is amiss: a chunk's checksum, the image data's stream, its length or a row's filter; the
// bands given until then are to be thrown away.
bool DecodeSimplePng(std::span<const unsigned char> bytes, const SimplePng& header,
                     const std::function<void(int, int, const std::uint8_t*, std::size_t)>& band);
