#include "cli/gif_encoder.h"

#include <gif_lib.h>

#include <algorithm>
#include <cmath>
#include <unordered_map>

namespace {

// The smallest colour-table size GIF allows (a power of two from 2 to 256) that holds `colors`.
int TableSize(std::size_t colors) {
  int size = 2;
  while (static_cast<std::size_t>(size) < colors) size *= 2;
  return size;
}

struct ColorMap {
  ColorMapObject* map = nullptr;
  ~ColorMap() { GifFreeMapObject(map); }
};

// `colors` (0xRRGGBB), padded with black to a table size.
void MakeMap(ColorMap& out, const std::vector<uint32_t>& colors) {
  const int size = TableSize(colors.size());
  std::vector<GifColorType> entries(static_cast<std::size_t>(size), GifColorType{0, 0, 0});
  for (std::size_t i = 0; i < colors.size(); ++i) {
    entries[i] = GifColorType{static_cast<GifByteType>(colors[i] >> 16), static_cast<GifByteType>(colors[i] >> 8),
                              static_cast<GifByteType>(colors[i])};
  }
  out.map = GifMakeMapObject(size, entries.data());
  if (out.map == nullptr) throw std::runtime_error("out of memory");
}

int Append(GifFileType* gif, const GifByteType* data, int length) {
  auto* out = static_cast<std::vector<unsigned char>*>(gif->UserData);
  out->insert(out->end(), data, data + length);
  return length;
}

struct Writer {
  GifFileType* gif = nullptr;
  ~Writer() {
    if (gif != nullptr) EGifCloseFile(gif, nullptr);
  }
  void check(int result) const {
    if (result != GIF_OK) throw std::runtime_error(GifErrorString(gif->Error));
  }
};

// The colour of a frame's pixel, or kNone where it is transparent.
constexpr uint32_t kNone = 0xFFFFFFFFu;

uint32_t ColorAt(const IndexedFrame& frame, std::size_t pixel) {
  const uint16_t i = frame.index[pixel];
  return i == IndexedFrame::kTransparent ? kNone : frame.colors[i];
}

}  // namespace

IndexedFrame IndexFrame(std::span<const uint8_t> rgba, int width, int height) {
  IndexedFrame frame;
  const std::size_t count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
  frame.index.resize(count);
  std::unordered_map<uint32_t, uint16_t> seen;
  for (std::size_t i = 0; i < count; ++i) {
    const uint8_t* p = &rgba[4 * i];
    if (p[3] < 128) {
      frame.transparent = true;
      frame.index[i] = IndexedFrame::kTransparent;
      continue;
    }
    const uint32_t color = static_cast<uint32_t>(p[0]) << 16 | static_cast<uint32_t>(p[1]) << 8 | p[2];
    const auto [at, added] = seen.try_emplace(color, static_cast<uint16_t>(frame.colors.size()));
    if (added) {
      frame.colors.push_back(color);
      if (frame.colors.size() > 256) throw TooManyGifColors(frame.colors.size());
    }
    frame.index[i] = at->second;
  }
  if (frame.colors.size() + (frame.transparent ? 1 : 0) > 256) throw TooManyGifColors(frame.colors.size());
  return frame;
}

std::vector<int> GifDelays(std::size_t frames, long numerator, long denominator) {
  std::vector<int> delays(frames);
  // Frame k starts at k / rate seconds, rounded to the nearest 1/100 s, in whole arithmetic.
  const auto start = [&](std::size_t k) {
    const long long hundredths = static_cast<long long>(k) * 100 * denominator;
    return (2 * hundredths + numerator) / (2 * static_cast<long long>(numerator));
  };
  for (std::size_t k = 0; k < frames; ++k) {
    delays[k] = std::max(1, static_cast<int>(start(k + 1) - start(k)));
  }
  return delays;
}

std::vector<unsigned char> EncodeGif(const std::vector<IndexedFrame>& frames, std::span<const int> delays,
                                     int width, int height, const GifOptions& options) {
  bool anyTransparent = false;
  for (const IndexedFrame& frame : frames) anyTransparent = anyTransparent || frame.transparent;
  // Differences leave unchanged pixels transparent over the frame before, which only works where no pixel
  // turns transparent: clips with transparency are stored whole, each frame cleared before the next.
  const bool differences = options.differences && !anyTransparent && frames.size() > 1;
  const bool needTransparent = anyTransparent || differences;

  // All the clip's colours, in the order first met: one global table when they fit.
  std::vector<uint32_t> all;
  std::unordered_map<uint32_t, uint8_t> globalIndex;
  bool global = true;
  for (const IndexedFrame& frame : frames) {
    for (const uint32_t color : frame.colors) {
      if (globalIndex.count(color) != 0) continue;
      if (all.size() + 1 + (needTransparent ? 1 : 0) > 256) {
        global = false;
        break;
      }
      globalIndex.emplace(color, static_cast<uint8_t>(all.size()));
      all.push_back(color);
    }
    if (!global) break;
  }

  std::vector<unsigned char> out;
  int error = 0;
  Writer writer;
  writer.gif = EGifOpen(&out, Append, &error);
  if (writer.gif == nullptr) throw std::runtime_error(GifErrorString(error));
  EGifSetGifVersion(writer.gif, true);
  ColorMap globalMap;
  if (global) {
    // The transparent entry, when there is one, follows the colours.
    std::vector<uint32_t> entries = all;
    if (needTransparent) entries.push_back(0);
    MakeMap(globalMap, entries);
  }
  writer.check(EGifPutScreenDesc(writer.gif, width, height, 8, 0, global ? globalMap.map : nullptr));
  if (frames.size() > 1) {
    // NETSCAPE2.0: how many times to play again, 0 for ever.
    const GifByteType application[] = {'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0'};
    const GifByteType loops[] = {1, static_cast<GifByteType>(options.loops & 0xFF),
                                 static_cast<GifByteType>((options.loops >> 8) & 0xFF)};
    writer.check(EGifPutExtensionLeader(writer.gif, APPLICATION_EXT_FUNC_CODE));
    writer.check(EGifPutExtensionBlock(writer.gif, sizeof application, application));
    writer.check(EGifPutExtensionBlock(writer.gif, sizeof loops, loops));
    writer.check(EGifPutExtensionTrailer(writer.gif));
  }

  std::vector<GifPixelType> line(static_cast<std::size_t>(width));
  for (std::size_t k = 0; k < frames.size(); ++k) {
    const IndexedFrame& frame = frames[k];
    // The rectangle that differs from the frame before (the whole frame for the first, or without
    // differences); a frame equal to the one before keeps one pixel, as a frame needs one.
    int left = 0, top = 0, right = width, bottom = height;
    // A frame of 256 colours of its own has no entry left for transparency: it is stored whole.
    const bool differenced = differences && k > 0 && (global || frame.colors.size() < 256);
    if (differenced) {
      left = width, top = height, right = 0, bottom = 0;
      for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
          const std::size_t p = static_cast<std::size_t>(y) * width + x;
          if (ColorAt(frame, p) != ColorAt(frames[k - 1], p)) {
            left = std::min(left, x), right = std::max(right, x + 1);
            top = std::min(top, y), bottom = std::max(bottom, y + 1);
          }
        }
      }
      if (left >= right) left = top = 0, right = bottom = 1;
    }
    // This frame's table: the global one, or its own colours and a transparent entry after them.
    ColorMap localMap;
    if (!global) {
      std::vector<uint32_t> colors = frame.colors;
      if (frame.transparent || differenced) colors.push_back(0);
      MakeMap(localMap, colors);
    }
    const int transparentIndex = global ? (needTransparent ? static_cast<int>(all.size()) : NO_TRANSPARENT_COLOR)
                                 : frame.transparent || differenced ? static_cast<int>(frame.colors.size())
                                                                    : NO_TRANSPARENT_COLOR;
    GraphicsControlBlock control{};
    control.DisposalMode = anyTransparent ? DISPOSE_BACKGROUND : DISPOSE_DO_NOT;
    control.UserInputFlag = false;
    control.DelayTime = k < delays.size() ? delays[k] : 0;
    control.TransparentColor = transparentIndex;
    GifByteType extension[4];
    EGifGCBToExtension(&control, extension);
    writer.check(EGifPutExtension(writer.gif, GRAPHICS_EXT_FUNC_CODE, sizeof extension, extension));
    writer.check(EGifPutImageDesc(writer.gif, left, top, right - left, bottom - top, false,
                                  global ? nullptr : localMap.map));
    for (int y = top; y < bottom; ++y) {
      for (int x = left; x < right; ++x) {
        const std::size_t p = static_cast<std::size_t>(y) * width + x;
        const uint32_t color = ColorAt(frame, p);
        GifPixelType index;
        if (color == kNone || (differenced && color == ColorAt(frames[k - 1], p))) {
          index = static_cast<GifPixelType>(transparentIndex);
        } else {
          index = global ? globalIndex.at(color) : static_cast<GifPixelType>(frame.index[p]);
        }
        line[static_cast<std::size_t>(x - left)] = index;
      }
      writer.check(EGifPutLine(writer.gif, line.data(), right - left));
    }
  }
  const int closed = EGifCloseFile(writer.gif, &error);
  writer.gif = nullptr;
  if (closed != GIF_OK) throw std::runtime_error(GifErrorString(error));
  return out;
}
