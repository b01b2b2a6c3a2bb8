#include "cli/animation_sink.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "cli/apng_encoder.h"
#include "cli/exit_status.h"
#include "cli/frame_timing.h"
#include "cli/image_sequence.h"
#include "cli/indexed_frame.h"
#include "cli/interrupt.h"
#include "cli/progress.h"
#include "cli/safe_output.h"
#include "minihost/pixel_transfer.h"

namespace fs = std::filesystem;

namespace {

// The frame's pixels as red, green, blue and alpha samples of `bits`.
template <typename Sample>
std::vector<Sample> Samples(const Frame& frame, minihost::SampleBits bits) {
  const auto width = static_cast<std::size_t>(frame.world.width());
  std::vector<Sample> rgba(width * static_cast<std::size_t>(frame.world.height()) * 4);
  minihost::WorldToPlain(frame.world.pf(), rgba.data(),
                         {bits, 4, frame.hasAlpha ? 3 : -1, width * 4 * sizeof(Sample)});
  return rgba;
}

// How a frame is kept aside.
enum class Record : uint8_t { Indexed, Eight, Sixteen };

}  // namespace

// Frames kept aside in a temporary file that disappears with it, read back in the order written.
struct AnimationSink::Spool {
  std::FILE* file = nullptr;
  const fs::path& output;

  explicit Spool(const fs::path& out) : output(out) {
    file = std::tmpfile();
    if (file == nullptr) fail(errno);
  }
  ~Spool() {
    if (file != nullptr) std::fclose(file);
  }
  Spool(const Spool&) = delete;
  Spool& operator=(const Spool&) = delete;

  [[noreturn]] void fail(int error) const {
    throw CliError(kExitOutput, output.string() + ": cannot keep the frames aside until the last (" +
                                    (error != 0 ? std::strerror(error) : "the temporary file ended early") +
                                    ")");
  }
  void put(const void* data, std::size_t size) {
    if (size != 0 && std::fwrite(data, 1, size, file) != size) fail(errno);
  }
  void get(void* data, std::size_t size) {
    errno = 0;
    if (size != 0 && std::fread(data, 1, size, file) != size) fail(errno);
  }
  template <typename T>
  void putVector(const std::vector<T>& values) {
    const uint64_t count = values.size();
    put(&count, sizeof count);
    put(values.data(), values.size() * sizeof(T));
  }
  template <typename T>
  std::vector<T> getVector() {
    uint64_t count = 0;
    get(&count, sizeof count);
    std::vector<T> values(count);
    get(values.data(), values.size() * sizeof(T));
    return values;
  }

  void putIndexed(const IndexedFrame& frame) {
    const Record record = Record::Indexed;
    put(&record, 1);
    putVector(frame.colors);
    putVector(frame.index);
  }
  template <typename Sample>
  void putSamples(const std::vector<Sample>& rgba) {
    const Record record = sizeof(Sample) == 1 ? Record::Eight : Record::Sixteen;
    put(&record, 1);
    putVector(rgba);
  }
  void rewind() {
    if (std::fflush(file) != 0 || std::fseek(file, 0, SEEK_SET) != 0) fail(errno);
  }
};

std::optional<AnimationFormat> AnimationFormatOf(const fs::path& path) {
  std::string ext = path.extension().string();
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
  if (ext == ".gif") return AnimationFormat::Gif;
  if (ext == ".apng") return AnimationFormat::Apng;
  if (ext == ".webp") return AnimationFormat::Webp;
  return std::nullopt;
}

AnimationSink::AnimationSink(const fs::path& path, AnimationFormat format, const AnimationOptions& options)
    : path_(path), format_(format), options_(options) {
  RequireOutputFolder(path);
}

AnimationSink::~AnimationSink() = default;

void AnimationSink::fail(const std::string& why) const {
  throw CliError(kExitOutput, path_.string() + ": " + why);
}

void AnimationSink::write(Frame frame) {
  const bool sixteen = frame.world.depth() == minihost::Depth::Sixteen;
  if (frames_ == 0) {
    width_ = frame.world.width();
    height_ = frame.world.height();
    if (format_ != AnimationFormat::Webp) spool_ = std::make_unique<Spool>(path_);
  } else if (frame.world.width() != width_ || frame.world.height() != height_) {
    fail("frame " + std::to_string(frame.number) + " is " + std::to_string(frame.world.width()) + "x" +
         std::to_string(frame.world.height()) + ", the first " + std::to_string(width_) + "x" +
         std::to_string(height_) + ": an animation's frames are all one size");
  }
  switch (format_) {
    case AnimationFormat::Gif: {
      if (sixteen) fail("GIF stores 8-bit colours and frames render at 16 bits here; add --depth 8");
      const std::optional<IndexedFrame> indexed =
          IndexWorld(frame.world.pf(), frame.hasAlpha ? AlphaBits::One : AlphaBits::None);
      if (!indexed) {
        fail("frame " + std::to_string(frame.number) +
             " holds more than 256 colours (transparency counts as one), more than GIF stores; choose a "
             "swatch of fewer colours");
      }
      gifClip_.add(*indexed);
      spool_->putIndexed(*indexed);
      break;
    }
    case AnimationFormat::Apng: {
      apng_.alpha = apng_.alpha || frame.hasAlpha;
      apng_.sixteen = apng_.sixteen || sixteen;
      if (sixteen) {
        apng_.indexed = false;
        spool_->putSamples(Samples<uint16_t>(frame, minihost::SampleBits::Sixteen));
        break;
      }
      std::optional<IndexedFrame> indexed;
      if (!options_.fullColor) {
        indexed = IndexWorld(frame.world.pf(), frame.hasAlpha ? AlphaBits::Eight : AlphaBits::None);
      }
      if (indexed && apng_.indexed) {
        for (const uint32_t key : indexed->colors) {
          if (std::find(apng_.colors.begin(), apng_.colors.end(), key) == apng_.colors.end())
            apng_.colors.push_back(key);
        }
        apng_.indexed = apng_.colors.size() <= 256;
      } else {
        apng_.indexed = false;
      }
      if (indexed) {
        spool_->putIndexed(*indexed);
      } else {
        spool_->putSamples(Samples<uint8_t>(frame, minihost::SampleBits::Eight));
      }
      break;
    }
    case AnimationFormat::Webp: {
      if (!webp_) webp_ = std::make_unique<WebpAnimation>(width_, height_, options_.plays);
      const auto rgba = Samples<uint8_t>(frame, minihost::SampleBits::Eight);
      std::string error;
      const auto duration =
          static_cast<int>(FrameTicks(frames_, options_.frameRate.num, options_.frameRate.den, 1000));
      if (!webp_->add({width_, height_, true, rgba}, duration, error))
        fail("cannot write frame " + std::to_string(frame.number) + " (" + error + ")");
      break;
    }
  }
  ++frames_;
}

void AnimationSink::finish() {
  if (frames_ == 0) fail("there are no frames to write");
  file_ = std::make_unique<OutputFile>(path_);
  if (format_ == AnimationFormat::Gif) finishGif();
  if (format_ == AnimationFormat::Apng) finishApng();
  if (format_ == AnimationFormat::Webp) {
    std::vector<uint8_t> encoded;
    std::string error;
    if (!webp_->finish(encoded, error)) fail("cannot write the animation (" + error + ")");
    file_->write(encoded.data(), encoded.size());
  }
  file_->commit();
}

void AnimationSink::finishGif() {
  spool_->rewind();
  const GifOptions options{static_cast<int>(options_.plays), true};
  const std::vector<int> delays = GifDelays(frames_, options_.frameRate.num, options_.frameRate.den);
  try {
    GifWriter writer([&](const unsigned char* data, std::size_t size) { file_->write(data, size); }, width_,
                     height_, gifClip_, options);
    Progress progress(options_.showProgress, static_cast<long>(frames_), "writing frame");
    for (std::size_t k = 0; k < frames_; ++k) {
      ThrowIfInterrupted();
      Record record;
      spool_->get(&record, 1);
      IndexedFrame frame;
      frame.colors = spool_->getVector<uint32_t>();
      frame.index = spool_->getVector<uint8_t>();
      writer.add(frame, delays[k]);
      progress.frameDone();
    }
    writer.finish();
    progress.finish();
  } catch (const std::runtime_error& e) {
    fail(std::string("cannot write the animation (") + e.what() + ")");
  }
}

void AnimationSink::finishApng() {
  spool_->rewind();
  ApngLayout layout;
  if (apng_.indexed) {
    layout.samples = ApngLayout::Samples::Indexed;
    layout.colors = apng_.colors;
  } else {
    layout.samples = apng_.alpha ? ApngLayout::Samples::Rgba : ApngLayout::Samples::Rgb;
    layout.bits = apng_.sixteen ? 16 : 8;
  }
  const std::vector<ApngDelay> delays = ApngDelays(frames_, options_.frameRate.num, options_.frameRate.den);
  const std::size_t pixels = static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_);
  const std::size_t channels = apng_.alpha ? 4 : 3;
  std::vector<uint8_t> rows(layout.rowBytes(width_) * static_cast<std::size_t>(height_));
  ApngWriter writer([&](const unsigned char* data, std::size_t size) { file_->write(data, size); }, width_,
                    height_, frames_, layout, options_.plays);
  Progress progress(options_.showProgress, static_cast<long>(frames_), "writing frame");
  for (std::size_t k = 0; k < frames_; ++k) {
    ThrowIfInterrupted();
    Record record;
    spool_->get(&record, 1);
    // Every sample of the frame as a 16-bit value (8-bit ones times 257) or an 8-bit one, as the layout has.
    const auto put = [&](std::size_t pixel, std::size_t channel, uint16_t value) {
      const std::size_t at = (pixel * channels + channel) * (layout.bits / 8u);
      if (layout.bits == 16) {
        rows[at] = static_cast<uint8_t>(value >> 8);
        rows[at + 1] = static_cast<uint8_t>(value);
      } else {
        rows[at] = static_cast<uint8_t>(value);
      }
    };
    const uint16_t scale = layout.bits == 16 ? 257 : 1;
    if (record == Record::Indexed) {
      IndexedFrame frame;
      frame.colors = spool_->getVector<uint32_t>();
      frame.index = spool_->getVector<uint8_t>();
      if (layout.samples == ApngLayout::Samples::Indexed) {
        std::array<uint8_t, 256> entry{};
        for (std::size_t i = 0; i < frame.colors.size(); ++i) {
          entry[i] = static_cast<uint8_t>(
              std::find(layout.colors.begin(), layout.colors.end(), frame.colors[i]) - layout.colors.begin());
        }
        for (std::size_t p = 0; p < pixels; ++p) rows[p] = entry[frame.index[p]];
      } else {
        for (std::size_t p = 0; p < pixels; ++p) {
          const uint32_t key = frame.colorAt(p);
          const uint8_t samples[] = {KeyRed(key), KeyGreen(key), KeyBlue(key), KeyAlpha(key)};
          for (std::size_t c = 0; c < channels; ++c) put(p, c, static_cast<uint16_t>(samples[c] * scale));
        }
      }
    } else if (record == Record::Eight) {
      const auto rgba = spool_->getVector<uint8_t>();
      for (std::size_t p = 0; p < pixels; ++p) {
        for (std::size_t c = 0; c < channels; ++c) put(p, c, static_cast<uint16_t>(rgba[p * 4 + c] * scale));
      }
    } else {
      const auto rgba = spool_->getVector<uint16_t>();
      for (std::size_t p = 0; p < pixels; ++p) {
        for (std::size_t c = 0; c < channels; ++c) put(p, c, rgba[p * 4 + c]);
      }
    }
    writer.add(rows, delays[k]);
    progress.frameDone();
  }
  writer.finish();
  progress.finish();
}
