#include "cli/apng_encoder.h"

#include <algorithm>
#include <stdexcept>

#include "cli/frame_timing.h"
#include "cli/indexed_frame.h"
#include "cli/png_chunks.h"

namespace {

// The rows, each after its filter byte (none: dithered pixels gain little from prediction and the rows
// compress faster without), as PNG image data.
std::vector<unsigned char> Compress(std::span<const uint8_t> rows, std::size_t rowBytes, int height) {
  std::vector<unsigned char> filtered;
  filtered.reserve(rows.size() + static_cast<std::size_t>(height));
  for (int y = 0; y < height; ++y) {
    filtered.push_back(0);
    const auto row = rows.subspan(static_cast<std::size_t>(y) * rowBytes, rowBytes);
    filtered.insert(filtered.end(), row.begin(), row.end());
  }
  return DeflatePng(filtered);
}

}  // namespace

std::size_t ApngLayout::rowBytes(int width) const {
  const std::size_t perPixel =
      samples == Samples::Indexed ? 1 : (samples == Samples::Rgb ? 3u : 4u) * (bits / 8u);
  return static_cast<std::size_t>(width) * perPixel;
}

std::vector<ApngDelay> ApngDelays(std::size_t frames, long numerator, long denominator) {
  // A frame lasts denominator / numerator seconds.
  if (numerator <= 0xFFFF && denominator <= 0xFFFF) {
    return std::vector<ApngDelay>(frames,
                                  {static_cast<uint16_t>(denominator), static_cast<uint16_t>(numerator)});
  }
  std::vector<ApngDelay> delays(frames);
  for (std::size_t k = 0; k < frames; ++k) {
    delays[k] = {static_cast<uint16_t>(FrameTicks(k, numerator, denominator, 1000)), 1000};
  }
  return delays;
}

ApngWriter::ApngWriter(Output output, int width, int height, std::size_t frames, ApngLayout layout,
                       unsigned plays)
    : output_(std::move(output)),
      width_(width),
      height_(height),
      frames_(frames),
      layout_(std::move(layout)) {
  output_(kPngSignature, sizeof kPngSignature);
  std::vector<uint8_t> header;
  PutBig32(header, static_cast<uint32_t>(width));
  PutBig32(header, static_cast<uint32_t>(height));
  const bool indexed = layout_.samples == ApngLayout::Samples::Indexed;
  header.push_back(static_cast<uint8_t>(indexed ? 8 : layout_.bits));
  header.push_back(indexed ? 3 : layout_.samples == ApngLayout::Samples::Rgb ? 2 : 6);
  header.insert(header.end(), {0, 0, 0});  // deflate, adaptive filtering, no interlace
  chunk("IHDR", header);
  std::vector<uint8_t> control;
  PutBig32(control, static_cast<uint32_t>(frames));
  PutBig32(control, plays);
  chunk("acTL", control);
  if (indexed) {
    std::vector<uint8_t> palette, alpha;
    for (const uint32_t key : layout_.colors) {
      palette.insert(palette.end(), {KeyRed(key), KeyGreen(key), KeyBlue(key)});
      alpha.push_back(KeyAlpha(key));
    }
    chunk("PLTE", palette);
    // Entries after the last translucent one are opaque without being listed.
    while (!alpha.empty() && alpha.back() == 0xFF) alpha.pop_back();
    if (!alpha.empty()) chunk("tRNS", alpha);
  }
}

void ApngWriter::add(std::span<const uint8_t> rows, ApngDelay delay) {
  if (written_ == frames_) throw std::logic_error("more frames than announced");
  std::vector<uint8_t> control;
  PutBig32(control, sequence_++);
  PutBig32(control, static_cast<uint32_t>(width_));
  PutBig32(control, static_cast<uint32_t>(height_));
  PutBig32(control, 0);  // x offset
  PutBig32(control, 0);  // y offset
  PutBig16(control, delay.numerator);
  PutBig16(control, delay.denominator);
  // Each frame replaces the last whole, alpha and all: the canvas is cleared after it, and it is not blended
  // over what was there (decoders that blend regardless then blend over nothing).
  control.push_back(1);  // dispose: background
  control.push_back(0);  // blend: source
  chunk("fcTL", control);
  const std::vector<uint8_t> data = Compress(rows, layout_.rowBytes(width_), height_);
  if (written_ == 0) {
    // The first frame is the default image, which decoders without animation show.
    std::vector<unsigned char> idat;
    PutPngImageData(idat, data);
    output_(idat.data(), idat.size());
  } else {
    std::vector<uint8_t> frame;
    frame.reserve(data.size() + 4);
    PutBig32(frame, sequence_++);
    frame.insert(frame.end(), data.begin(), data.end());
    chunk("fdAT", frame);
  }
  ++written_;
}

void ApngWriter::finish() {
  if (written_ != frames_) throw std::logic_error("fewer frames than announced");
  chunk("IEND", {});
}

void ApngWriter::chunk(const char (&type)[5], std::span<const uint8_t> data) {
  std::vector<unsigned char> bytes;
  bytes.reserve(data.size() + 12);
  PutPngChunk(bytes, type, data);
  output_(bytes.data(), bytes.size());
}
