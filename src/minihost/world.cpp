#include "minihost/world.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <string>
#include <utility>

#include "minihost/host_error.h"

namespace minihost {
namespace {

// Written into every padding byte; any other value there means something wrote past a row.
constexpr unsigned char kPaddingByte = 0xA5;

std::size_t PixelSize(Depth depth) {
  switch (depth) {
    case Depth::Sixteen:
      return sizeof(PF_Pixel16);
    case Depth::ThirtyTwo:
      return sizeof(PF_PixelFloat);
    case Depth::Eight:
      break;
  }
  return sizeof(PF_Pixel8);
}

// Rows start where a channel may: 16-bit words and floats need their own alignment.
std::size_t ChannelSize(Depth depth) { return PixelSize(depth) / 4; }

}  // namespace

World::World(A_long width, A_long height, Depth depth, A_long rowPadding) : depth_(depth) {
  if (width < 0 || height < 0 || width > PF_MAX_WORLD_WIDTH || height > PF_MAX_WORLD_HEIGHT) {
    throw HostError("cannot make a pixel world of " + std::to_string(width) + " x " + std::to_string(height));
  }
  const auto pixelSize = static_cast<A_long>(PixelSize(depth));
  if (depth != Depth::Eight && depth != Depth::Sixteen && depth != Depth::ThirtyTwo) {
    throw HostError("cannot make a pixel world of " + std::to_string(static_cast<int>(depth)) + " bits");
  }
  if (rowPadding < 0 || rowPadding > PF_MAX_WORLD_WIDTH ||
      static_cast<std::size_t>(rowPadding) % ChannelSize(depth) != 0) {
    throw HostError("cannot pad pixel-world rows by " + std::to_string(rowPadding) + " bytes");
  }
  world_.world_flags = PF_WorldFlag_WRITEABLE | (depth == Depth::Sixteen ? PF_WorldFlag_DEEP : 0);
  world_.rowbytes = width * pixelSize + rowPadding;
  world_.width = width;
  world_.height = height;
  world_.extent_hint = PF_LRect{0, 0, width, height};
  world_.pix_aspect_ratio = PF_RationalScale{1, 1};

  storage_.assign(static_cast<std::size_t>(world_.rowbytes) * static_cast<std::size_t>(height), 0);
  const std::size_t pixelBytes = static_cast<std::size_t>(width) * static_cast<std::size_t>(pixelSize);
  for (A_long y = 0; y < height; ++y) {
    auto rowStart = storage_.begin() + static_cast<std::ptrdiff_t>(y) * world_.rowbytes;
    std::fill(rowStart + static_cast<std::ptrdiff_t>(pixelBytes), rowStart + world_.rowbytes, kPaddingByte);
  }
  bind();
}

World::World(const World& other) : depth_(other.depth_), storage_(other.storage_), world_(other.world_) {
  bind();
}

World& World::operator=(const World& other) {
  if (this != &other) {
    depth_ = other.depth_;
    storage_ = other.storage_;
    world_ = other.world_;
    bind();
  }
  return *this;
}

World::World(World&& other) noexcept
    : depth_(other.depth_), storage_(std::move(other.storage_)), world_(other.world_) {
  bind();
  other.world_ = PF_EffectWorld{};
  other.storage_.clear();
}

World& World::operator=(World&& other) noexcept {
  if (this != &other) {
    depth_ = other.depth_;
    storage_ = std::move(other.storage_);
    world_ = other.world_;
    bind();
    other.world_ = PF_EffectWorld{};
    other.storage_.clear();
  }
  return *this;
}

World::~World() = default;

void World::bind() {
  world_.data = storage_.empty() ? nullptr : reinterpret_cast<PF_Pixel*>(storage_.data());
}

namespace {

template <typename Pixel>
std::size_t Offset(const PF_EffectWorld& world, Depth depth, A_long x, A_long y) {
  if (PixelSize(depth) != sizeof(Pixel)) {
    throw std::logic_error("pixel of the wrong depth asked of a " + std::to_string(static_cast<int>(depth)) +
                           "-bit world");
  }
  if (x < 0 || y < 0 || x >= world.width || y >= world.height) {
    throw std::out_of_range("pixel (" + std::to_string(x) + ", " + std::to_string(y) + ") outside the world");
  }
  return static_cast<std::size_t>(y) * static_cast<std::size_t>(world.rowbytes) +
         static_cast<std::size_t>(x) * sizeof(Pixel);
}

}  // namespace

PF_Pixel8& World::pixel8(A_long x, A_long y) {
  return *reinterpret_cast<PF_Pixel8*>(storage_.data() + Offset<PF_Pixel8>(world_, depth_, x, y));
}
const PF_Pixel8& World::pixel8(A_long x, A_long y) const {
  return *reinterpret_cast<const PF_Pixel8*>(storage_.data() + Offset<PF_Pixel8>(world_, depth_, x, y));
}
PF_Pixel16& World::pixel16(A_long x, A_long y) {
  return *reinterpret_cast<PF_Pixel16*>(storage_.data() + Offset<PF_Pixel16>(world_, depth_, x, y));
}
const PF_Pixel16& World::pixel16(A_long x, A_long y) const {
  return *reinterpret_cast<const PF_Pixel16*>(storage_.data() + Offset<PF_Pixel16>(world_, depth_, x, y));
}

PF_PixelFloat& World::pixelFloat(A_long x, A_long y) {
  return *reinterpret_cast<PF_PixelFloat*>(storage_.data() + Offset<PF_PixelFloat>(world_, depth_, x, y));
}
const PF_PixelFloat& World::pixelFloat(A_long x, A_long y) const {
  return *reinterpret_cast<const PF_PixelFloat*>(storage_.data() +
                                                 Offset<PF_PixelFloat>(world_, depth_, x, y));
}

bool World::paddingIntact() const {
  const std::size_t pixelBytes = static_cast<std::size_t>(world_.width) * PixelSize(depth_);
  for (A_long y = 0; y < world_.height; ++y) {
    const std::size_t rowStart = static_cast<std::size_t>(y) * static_cast<std::size_t>(world_.rowbytes);
    for (std::size_t i = rowStart + pixelBytes; i < rowStart + static_cast<std::size_t>(world_.rowbytes);
         ++i) {
      if (storage_[i] != kPaddingByte) return false;
    }
  }
  return true;
}

std::vector<unsigned char> World::packedBytes() const {
  const std::size_t pixelBytes = static_cast<std::size_t>(world_.width) * PixelSize(depth_);
  std::vector<unsigned char> bytes;
  bytes.reserve(pixelBytes * static_cast<std::size_t>(world_.height));
  for (A_long y = 0; y < world_.height; ++y) {
    auto rowStart = storage_.begin() + static_cast<std::ptrdiff_t>(y) * world_.rowbytes;
    bytes.insert(bytes.end(), rowStart, rowStart + static_cast<std::ptrdiff_t>(pixelBytes));
  }
  return bytes;
}

}  // namespace minihost
