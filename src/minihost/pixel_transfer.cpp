#include "minihost/pixel_transfer.h"

#include <cstring>
#include <string>
#include <type_traits>

#include "minihost/host_error.h"
#include "minihost/world_access.h"

namespace minihost {
namespace {

template <typename Sample>
unsigned Load(const unsigned char* pixel, int channel) {
  Sample v;
  std::memcpy(&v, pixel + static_cast<std::size_t>(channel) * sizeof(Sample), sizeof v);
  return v;
}

template <typename Sample>
void Store(unsigned char* pixel, int channel, unsigned value) {
  const auto v = static_cast<Sample>(value);
  std::memcpy(pixel + static_cast<std::size_t>(channel) * sizeof(Sample), &v, sizeof v);
}

// What each pair of depths does to a sample on its way into a world, and what full opacity is there.
template <SampleBits From, bool Deep>
struct IntoWorld {
  static unsigned convert(unsigned v) {
    if constexpr (Deep)
      return From == SampleBits::Eight ? To16From8(v) : To16From16(v);
    else
      return From == SampleBits::Eight ? v : To8From16(v);
  }
  static constexpr unsigned kOpaque = Deep ? PF_MAX_CHAN16 : 255u;
};

// And on its way out of a world.
template <SampleBits To, bool Deep>
struct OutOfWorld {
  static unsigned convert(unsigned v) {
    if constexpr (Deep)
      return To == SampleBits::Sixteen ? From16To16(v) : To8From16(From16To16(v));
    else
      return To == SampleBits::Sixteen ? v * 257u : v;
  }
  static constexpr unsigned kOpaque = To == SampleBits::Sixteen ? 65535u : 255u;
};

template <SampleBits Bits>
using SampleOf = std::conditional_t<Bits == SampleBits::Eight, std::uint8_t, std::uint16_t>;
template <bool Deep>
using PixelOf = std::conditional_t<Deep, PF_Pixel16, PF_Pixel8>;

using ToWorldRow = void (*)(const unsigned char* row, void* out, A_long width, const PlainLayout& layout);
using FromWorldRow = void (*)(const void* in, unsigned char* row, A_long width, const PlainLayout& layout);

template <SampleBits From, bool Deep>
void RowToWorld(const unsigned char* row, void* out, A_long width, const PlainLayout& layout) {
  using Sample = SampleOf<From>;
  using Pixel = PixelOf<Deep>;
  using Channel = decltype(Pixel::red);
  using Rule = IntoWorld<From, Deep>;
  auto* pixels = static_cast<Pixel*>(out);
  const int channels = layout.channels, alpha = layout.alpha;
  const int g = channels >= 3 ? 1 : 0, b = channels >= 3 ? 2 : 0;
  for (A_long x = 0; x < width; ++x) {
    const unsigned char* p =
        row + static_cast<std::size_t>(x) * static_cast<std::size_t>(channels) * sizeof(Sample);
    pixels[x] = {static_cast<Channel>(alpha >= 0 ? Rule::convert(Load<Sample>(p, alpha)) : Rule::kOpaque),
                 static_cast<Channel>(Rule::convert(Load<Sample>(p, 0))),
                 static_cast<Channel>(Rule::convert(Load<Sample>(p, g))),
                 static_cast<Channel>(Rule::convert(Load<Sample>(p, b)))};
  }
}

template <SampleBits To, bool Deep>
void RowFromWorld(const void* in, unsigned char* row, A_long width, const PlainLayout& layout) {
  using Sample = SampleOf<To>;
  using Rule = OutOfWorld<To, Deep>;
  const auto* pixels = static_cast<const PixelOf<Deep>*>(in);
  const int channels = layout.channels, alpha = layout.alpha;
  for (A_long x = 0; x < width; ++x) {
    unsigned char* p =
        row + static_cast<std::size_t>(x) * static_cast<std::size_t>(channels) * sizeof(Sample);
    const auto& px = pixels[x];
    Store<Sample>(p, 0, Rule::convert(px.red));
    Store<Sample>(p, 1, Rule::convert(px.green));
    Store<Sample>(p, 2, Rule::convert(px.blue));
    for (int c = 3; c < channels; ++c)
      Store<Sample>(p, c, c == alpha ? Rule::convert(px.alpha) : Rule::kOpaque);
  }
}

// 8-bit RGBA and 8-bit worlds, the common case, a word a pixel (see HostWordFromRgba): reordered, and
// made opaque by OR-ing in `opaque`.
template <std::uint32_t (*Reorder)(std::uint32_t)>
void MoveWords(const unsigned char* from, unsigned char* to, A_long width, std::uint32_t opaque) {
  for (A_long x = 0; x < width; ++x) {
    std::uint32_t word;
    std::memcpy(&word, from + static_cast<std::size_t>(x) * 4, sizeof word);
    word = Reorder(word) | opaque;
    std::memcpy(to + static_cast<std::size_t>(x) * 4, &word, sizeof word);
  }
}

void RgbaWordsToWorld(const unsigned char* row, void* out, A_long width, const PlainLayout& layout) {
  MoveWords<HostWordFromRgba>(row, static_cast<unsigned char*>(out), width,
                              layout.alpha >= 0 ? 0u : kHostWordAlpha);
}

void RgbaWordsFromWorld(const void* in, unsigned char* row, A_long width, const PlainLayout& layout) {
  MoveWords<RgbaWordFromHost>(static_cast<const unsigned char*>(in), row, width,
                              layout.alpha >= 0 ? 0u : kRgbaWordAlpha);
}

bool IsRgbaWords(const PlainLayout& layout, bool deep) {
  return !deep && layout.bits == SampleBits::Eight && layout.channels == 4 &&
         (layout.alpha == 3 || layout.alpha < 0);
}

void CheckLayout(const PlainLayout& layout, const PF_EffectWorld& world, bool writing) {
  const bool ok = layout.channels >= (writing ? 3 : 1) && layout.alpha >= -1 &&
                  layout.alpha < layout.channels && !(writing && layout.alpha >= 0 && layout.alpha < 3) &&
                  layout.stride >= static_cast<std::size_t>(world.width) *
                                       static_cast<std::size_t>(layout.channels) *
                                       (layout.bits == SampleBits::Eight ? 1u : 2u) &&
                  WorldAddressable(world, IsDeep(world) ? sizeof(PF_Pixel16) : sizeof(PF_Pixel8));
  if (!ok) {
    throw HostError("cannot move pixels " + std::string(writing ? "out of" : "into") + " a world as " +
                    std::to_string(layout.channels) + " channels with alpha at " +
                    std::to_string(layout.alpha) + " and rows of " + std::to_string(layout.stride) +
                    " bytes");
  }
}

// The row functions by [deep world][16-bit buffer].
constexpr ToWorldRow kToWorldRows[2][2] = {
    {RowToWorld<SampleBits::Eight, false>, RowToWorld<SampleBits::Sixteen, false>},
    {RowToWorld<SampleBits::Eight, true>, RowToWorld<SampleBits::Sixteen, true>}};
constexpr FromWorldRow kFromWorldRows[2][2] = {
    {RowFromWorld<SampleBits::Eight, false>, RowFromWorld<SampleBits::Sixteen, false>},
    {RowFromWorld<SampleBits::Eight, true>, RowFromWorld<SampleBits::Sixteen, true>}};

unsigned char* RowAt(const PF_EffectWorld& world, A_long y) { return PixelAt<unsigned char>(world, 0, y); }

}  // namespace

void PlainToWorld(const void* plain, const PlainLayout& layout, PF_EffectWorld& world) {
  CheckLayout(layout, world, false);
  const bool deep = IsDeep(world);
  const ToWorldRow row =
      IsRgbaWords(layout, deep) ? RgbaWordsToWorld : kToWorldRows[deep][layout.bits == SampleBits::Sixteen];
  const auto* rows = static_cast<const unsigned char*>(plain);
  for (A_long y = 0; y < world.height; ++y) {
    row(rows + static_cast<std::size_t>(y) * layout.stride, RowAt(world, y), world.width, layout);
  }
}

void WorldToPlain(const PF_EffectWorld& world, void* plain, const PlainLayout& layout) {
  CheckLayout(layout, world, true);
  const bool deep = IsDeep(world);
  const FromWorldRow row = IsRgbaWords(layout, deep)
                               ? RgbaWordsFromWorld
                               : kFromWorldRows[deep][layout.bits == SampleBits::Sixteen];
  auto* rows = static_cast<unsigned char*>(plain);
  for (A_long y = 0; y < world.height; ++y) {
    row(RowAt(world, y), rows + static_cast<std::size_t>(y) * layout.stride, world.width, layout);
  }
}

}  // namespace minihost
