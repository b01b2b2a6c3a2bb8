// 8-bit pixels moved as 32-bit words between the host's channel order (alpha, red, green, blue) and
// libswscale's RGBA: the reorder is one rotation of the word, which the baseline x86-64 vector unit does
// four pixels at a time, where moving the bytes one by one cannot be vectorised without a byte shuffle.
#pragma once

#include <bit>
#include <cstdint>

#include "sdk/ae_effect.h"

static_assert(sizeof(PF_Pixel8) == 4, "a host pixel is one 32-bit word");

constexpr bool kLittleEndian = std::endian::native == std::endian::little;

// The four RGBA bytes of a pixel, read as a word, as the host's alpha, red, green, blue.
inline uint32_t HostWordFromRgba(uint32_t rgba) {
  return kLittleEndian ? std::rotl(rgba, 8) : std::rotr(rgba, 8);
}
// The reverse.
inline uint32_t RgbaWordFromHost(uint32_t host) {
  return kLittleEndian ? std::rotr(host, 8) : std::rotl(host, 8);
}

// The alpha byte of each kind of word, all ones: OR-ed in to make a pixel opaque.
constexpr uint32_t kHostWordAlpha = kLittleEndian ? 0x000000FFu : 0xFF000000u;
constexpr uint32_t kRgbaWordAlpha = kLittleEndian ? 0xFF000000u : 0x000000FFu;
