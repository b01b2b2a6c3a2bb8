#include "cli/gif_encoder.h"

#include <gif_lib.h>

#include <algorithm>
#include <array>
#include <stdexcept>
#include <string>

namespace {

// The smallest colour-table size GIF allows (a power of two from 2 to 256) that holds `colors`.
int TableSize(std::size_t colors) {
  int size = 2;
  while (static_cast<std::size_t>(size) < colors) size *= 2;
  return size;
}

struct ColorMap {
  ColorMapObject* map = nullptr;
  ColorMap() = default;
  ColorMap(const ColorMap&) = delete;
  ColorMap& operator=(const ColorMap&) = delete;
  ~ColorMap() { GifFreeMapObject(map); }
};

// The keys' colours, padded with black to a table size (the transparent key is black too).
void MakeMap(ColorMap& out, const std::vector<uint32_t>& keys) {
  const int size = TableSize(keys.size());
  std::vector<GifColorType> entries(static_cast<std::size_t>(size), GifColorType{0, 0, 0});
  for (std::size_t i = 0; i < keys.size(); ++i)
    entries[i] = {KeyRed(keys[i]), KeyGreen(keys[i]), KeyBlue(keys[i])};
  GifFreeMapObject(out.map);
  out.map = GifMakeMapObject(size, entries.data());
  if (out.map == nullptr) throw std::runtime_error("out of memory");
}

// Where `key` is in `table`, or NO_TRANSPARENT_COLOR.
int Position(const std::vector<uint32_t>& table, uint32_t key) {
  const auto at = std::find(table.begin(), table.end(), key);
  return at == table.end() ? NO_TRANSPARENT_COLOR : static_cast<int>(at - table.begin());
}

}  // namespace

void GifClip::add(const IndexedFrame& frame) {
  ++frames_;
  transparent_ = transparent_ || frame.holds(kTransparentKey);
  for (const uint32_t key : frame.colors) {
    if (tooMany_) break;
    if (std::find(colors_.begin(), colors_.end(), key) != colors_.end()) continue;
    if (colors_.size() == 256) {
      tooMany_ = true;
      break;
    }
    colors_.push_back(key);
  }
}

bool GifClip::differenced(const GifOptions& options) const {
  return options.differences && !transparent_ && frames_ > 1;
}

std::vector<uint32_t> GifClip::globalTable(const GifOptions& options) const {
  std::vector<uint32_t> table = colors_;
  if (differenced(options)) table.push_back(kTransparentKey);
  if (tooMany_ || table.size() > 256) table.clear();
  return table;
}

std::vector<int> GifDelays(std::size_t frames, long numerator, long denominator) {
  std::vector<int> delays(frames);
  for (std::size_t k = 0; k < frames; ++k) {
    delays[k] = std::max(1, static_cast<int>(FrameTicks(k, numerator, denominator, 100)));
  }
  return delays;
}

struct GifWriter::State {
  Output output;
  std::exception_ptr outputError;  // what the output threw, carried past giflib
  GifFileType* gif = nullptr;
  int width = 0, height = 0;
  GifOptions options;
  bool differences = false;
  bool transparent = false;      // whether any frame has transparent pixels
  std::vector<uint32_t> global;  // the one table, or empty
  std::size_t written = 0;
  IndexedFrame previous;
  std::vector<GifPixelType> line;

  static int Write(GifFileType* gif, const GifByteType* data, int length) {
    auto* state = static_cast<State*>(gif->UserData);
    if (state->outputError) return 0;
    try {
      state->output(data, static_cast<std::size_t>(length));
    } catch (...) {
      state->outputError = std::current_exception();
      return 0;
    }
    return length;
  }

  void check(int result) const {
    if (outputError) std::rethrow_exception(outputError);
    if (result != GIF_OK) throw std::runtime_error(GifErrorString(gif->Error));
  }
};

GifWriter::GifWriter(Output output, int width, int height, const GifClip& clip, const GifOptions& options)
    : state_(std::make_unique<State>()) {
  State& s = *state_;
  s.output = std::move(output);
  s.width = width;
  s.height = height;
  s.options = options;
  s.differences = clip.differenced(options);
  s.transparent = clip.transparent();
  s.global = clip.globalTable(options);
  s.line.resize(static_cast<std::size_t>(width));
  int error = 0;
  s.gif = EGifOpen(&s, State::Write, &error);
  if (s.gif == nullptr) throw std::runtime_error(GifErrorString(error));
  EGifSetGifVersion(s.gif, true);
  ColorMap globalMap;
  if (!s.global.empty()) MakeMap(globalMap, s.global);
  s.check(EGifPutScreenDesc(s.gif, width, height, 8, 0, globalMap.map));
  if (clip.frames() > 1 && options.plays != 1) {
    // NETSCAPE2.0: how many times to play again after the first, 0 for ever; without it, once.
    const int again = options.plays == 0 ? 0 : options.plays - 1;
    const GifByteType application[] = {'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0'};
    const GifByteType loops[] = {1, static_cast<GifByteType>(again & 0xFF),
                                 static_cast<GifByteType>((again >> 8) & 0xFF)};
    s.check(EGifPutExtensionLeader(s.gif, APPLICATION_EXT_FUNC_CODE));
    s.check(EGifPutExtensionBlock(s.gif, sizeof application, application));
    s.check(EGifPutExtensionBlock(s.gif, sizeof loops, loops));
    s.check(EGifPutExtensionTrailer(s.gif));
  }
}

GifWriter::~GifWriter() {
  if (state_->gif != nullptr) EGifCloseFile(state_->gif, nullptr);
}

void GifWriter::add(const IndexedFrame& frame, int delay) {
  State& s = *state_;
  const bool global = !s.global.empty();
  // The frame's table: the global one, or its own colours and, for differences, a transparent entry.
  const bool differenced = s.differences && s.written > 0 && (global || frame.colors.size() < 256);
  std::vector<uint32_t> table = global ? s.global : frame.colors;
  if (!global && differenced) table.push_back(kTransparentKey);
  const int transparentIndex = Position(table, kTransparentKey);
  // Each of the frame's indices in the table.
  std::array<GifPixelType, 256> entry{};
  for (std::size_t i = 0; i < frame.colors.size(); ++i) {
    entry[i] = static_cast<GifPixelType>(global ? Position(table, frame.colors[i]) : static_cast<int>(i));
  }

  // The rectangle that differs from the frame before (the whole frame for the first, or without
  // differences); a frame equal to the one before keeps one pixel, as a frame needs one.
  const auto unchanged = [&](std::size_t p) {
    return differenced && frame.colorAt(p) == s.previous.colorAt(p);
  };
  int left = 0, top = 0, right = s.width, bottom = s.height;
  if (differenced) {
    left = s.width, top = s.height, right = 0, bottom = 0;
    for (int y = 0; y < s.height; ++y) {
      for (int x = 0; x < s.width; ++x) {
        if (!unchanged(static_cast<std::size_t>(y) * static_cast<std::size_t>(s.width) +
                       static_cast<std::size_t>(x))) {
          left = std::min(left, x), right = std::max(right, x + 1);
          top = std::min(top, y), bottom = std::max(bottom, y + 1);
        }
      }
    }
    if (left >= right) left = top = 0, right = bottom = 1;
  }

  ColorMap localMap;
  if (!global) MakeMap(localMap, table);
  GraphicsControlBlock control{};
  // A clip with transparency is stored whole, each frame cleared before the next.
  control.DisposalMode = s.transparent ? DISPOSE_BACKGROUND : DISPOSE_DO_NOT;
  control.UserInputFlag = false;
  control.DelayTime = delay;
  control.TransparentColor = transparentIndex;
  GifByteType extension[4];
  EGifGCBToExtension(&control, extension);
  s.check(EGifPutExtension(s.gif, GRAPHICS_EXT_FUNC_CODE, sizeof extension, extension));
  s.check(EGifPutImageDesc(s.gif, left, top, right - left, bottom - top, false, localMap.map));
  for (int y = top; y < bottom; ++y) {
    for (int x = left; x < right; ++x) {
      const std::size_t p =
          static_cast<std::size_t>(y) * static_cast<std::size_t>(s.width) + static_cast<std::size_t>(x);
      s.line[static_cast<std::size_t>(x - left)] =
          unchanged(p) ? static_cast<GifPixelType>(transparentIndex) : entry[frame.index[p]];
    }
    s.check(EGifPutLine(s.gif, s.line.data(), right - left));
  }
  ++s.written;
  if (s.differences) s.previous = frame;
}

void GifWriter::finish() {
  State& s = *state_;
  int error = 0;
  const int closed = EGifCloseFile(s.gif, &error);
  s.gif = nullptr;
  if (s.outputError) std::rethrow_exception(s.outputError);
  if (closed != GIF_OK) throw std::runtime_error(GifErrorString(error));
}

std::vector<unsigned char> EncodeGif(const std::vector<IndexedFrame>& frames, std::span<const int> delays,
                                     int width, int height, const GifOptions& options) {
  GifClip clip;
  for (const IndexedFrame& frame : frames) clip.add(frame);
  std::vector<unsigned char> out;
  GifWriter writer(
      [&](const unsigned char* data, std::size_t size) { out.insert(out.end(), data, data + size); }, width,
      height, clip, options);
  for (std::size_t k = 0; k < frames.size(); ++k) writer.add(frames[k], k < delays.size() ? delays[k] : 0);
  writer.finish();
  return out;
}
