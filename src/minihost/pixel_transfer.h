// Moving pixels between a host pixel world (alpha, red, green, blue; 8 bits, or 16 bits on the host's
// 0..32768 scale; rows `rowbytes` apart) and the plain interleaved buffers image files, video frames and
// other hosts use (0..255 or 0..65535 samples in native order, red first). One row at a time, with the row
// function chosen once per transfer from the two depths and the layout, so that no pixel loop branches.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

#include "sdk/ae_effect.h"

namespace minihost {

// Sample conversions between plain buffers (0..255, 0..65535) and the host's 16-bit scale (0..32768).
inline unsigned To16From8(unsigned v) { return (v * 32768u + 127u) / 255u; }
inline unsigned To16From16(unsigned v) { return (v * 32768u + 32767u) / 65535u; }
inline unsigned From16To16(unsigned v) {
  const unsigned scaled = (v * 65535u + 16384u) / 32768u;
  return scaled < 65535u ? scaled : 65535u;
}
// A 16-bit sample (0..65535) at 8 bits: the nearest value.
inline unsigned To8From16(unsigned v) { return (v * 255u + 32767u) / 65535u; }

// 8-bit pixels moved as 32-bit words between the host's channel order (alpha, red, green, blue) and RGBA
// bytes: the reorder is one rotation of the word, which the baseline x86-64 vector unit does four pixels
// at a time, where moving the bytes one by one cannot be vectorised without a byte shuffle.
static_assert(sizeof(PF_Pixel8) == 4, "a host pixel is one 32-bit word");
inline constexpr bool kLittleEndianWords = std::endian::native == std::endian::little;
// The four RGBA bytes of a pixel, read as a word, as the host's alpha, red, green, blue.
inline std::uint32_t HostWordFromRgba(std::uint32_t rgba) {
  return kLittleEndianWords ? std::rotl(rgba, 8) : std::rotr(rgba, 8);
}
// The reverse.
inline std::uint32_t RgbaWordFromHost(std::uint32_t host) {
  return kLittleEndianWords ? std::rotr(host, 8) : std::rotl(host, 8);
}
// The alpha byte of each kind of word, all ones: OR-ed in to make a pixel opaque.
inline constexpr std::uint32_t kHostWordAlpha = kLittleEndianWords ? 0x000000FFu : 0xFF000000u;
inline constexpr std::uint32_t kRgbaWordAlpha = kLittleEndianWords ? 0xFF000000u : 0x000000FFu;

enum class SampleBits { Eight = 8, Sixteen = 16 };

// A plain interleaved buffer: `channels` samples a pixel, rows `stride` bytes apart.
// One or two channels are grey (and alpha); three or more start with red, green, blue. `alpha` is the
// channel holding alpha, or -1: read as opaque, and any channel beyond the colours written fully opaque.
struct PlainLayout {
  SampleBits bits = SampleBits::Eight;
  int channels = 4;
  int alpha = 3;
  std::size_t stride = 0;
};

// The buffer's pixels into every row of `world`, converted to the world's depth.
void PlainToWorld(const void* plain, const PlainLayout& layout, PF_EffectWorld& world);
// The world's pixels into the buffer, converted to its sample size. Grey layouts are not written to.
void WorldToPlain(const PF_EffectWorld& world, void* plain, const PlainLayout& layout);

}  // namespace minihost
