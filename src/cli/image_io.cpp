#include "cli/image_io.h"

#include <OpenImageIO/filesystem.h>
#include <OpenImageIO/imageio.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <exception>
#include <limits>
#include <memory>
#include <new>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "bytes/byte_order.h"
#include "bytes/pixels_per_byte.h"
#include "cli/exit_status.h"
#include "cli/gif_encoder.h"
#include "cli/image_checks.h"
#include "cli/image_formats.h"
#include "cli/indexed_frame.h"
#include "cli/indexed_png.h"
#include "cli/interrupt.h"
#include "cli/safe_output.h"
#include "cli/simple_png.h"
#include "cli/terminal.h"
#include "cli/webp_codec.h"
#include "minihost/pixel_transfer.h"

namespace OIIO = OIIO_NAMESPACE;
namespace fs = std::filesystem;

namespace {
std::atomic<unsigned long long> pixelBudget{kDefaultPixelBudget};
}  // namespace

void CheckPixelBudget(const std::string& name, long long width, long long height, std::uintmax_t fileBytes) {
  const unsigned long long pixels =
      static_cast<unsigned long long>(width) * static_cast<unsigned long long>(height);
  if (pixels > PixelBudget()) {
    throw CliError(kExitInput, name + ": " + std::to_string(width) + "x" + std::to_string(height) + " is " +
                                   std::to_string(pixels) + " pixels, more than the limit of " +
                                   std::to_string(PixelBudget()) + " (--max-pixels)");
  }
  if (MoreThanBytesCanHold(pixels, fileBytes)) {
    throw CliError(kExitInput, name + ": declares " + std::to_string(width) + "x" + std::to_string(height) +
                                   " pixels, more than its " + std::to_string(fileBytes) +
                                   " bytes can hold (a damaged file, or a decompression bomb)");
  }
}

namespace {

std::string Quote(const fs::path& path) { return path.string(); }

[[noreturn]] void Refuse(const fs::path& path, const std::string& why) {
  throw CliError(kExitInput, Quote(path) + ": " + why);
}

std::string Article(const std::string& name) {
  return (std::string_view("AEIOU").find(name.front()) != std::string_view::npos ? "an " : "a ") + name;
}

std::string KindOf(mode_t mode) {
  if (S_ISDIR(mode)) return "a folder";
  if (S_ISFIFO(mode)) return "a FIFO (named pipe)";
  if (S_ISCHR(mode)) return "a character device";
  if (S_ISBLK(mode)) return "a block device";
  if (S_ISSOCK(mode)) return "a socket";
  return "not a regular file";
}

// The whole file through one descriptor, opened without waiting (a FIFO or a device is refused, never read
// from): decoders then work from memory and never open a name themselves.
std::vector<unsigned char> ReadWholeFile(const fs::path& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    const int error = errno;
    if (error == ENOENT) Refuse(path, "no such file");
    Refuse(path, std::string("cannot open the file (") + std::strerror(error) + ")");
  }
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{fd};
  struct stat status {};
  if (::fstat(fd, &status) != 0)
    Refuse(path, std::string("cannot open the file (") + std::strerror(errno) + ")");
  if (!S_ISREG(status.st_mode)) Refuse(path, "is " + KindOf(status.st_mode) + ", not an image file");
  std::vector<unsigned char> bytes(static_cast<std::size_t>(status.st_size));
  std::size_t done = 0;
  while (done < bytes.size()) {
    ThrowIfInterrupted();
    const ssize_t got = ::read(fd, bytes.data() + done, std::min<std::size_t>(bytes.size() - done, 1u << 20));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) Refuse(path, std::string("cannot read the file (") + std::strerror(errno) + ")");
    if (got == 0) break;  // the file became shorter meanwhile
    done += static_cast<std::size_t>(got);
  }
  bytes.resize(done);
  return bytes;
}

// The reader the file's name and its content agree on. A file without an extension is read as what its
// content is; otherwise both must name the same format, so that no file reaches a reader it was not
// named for.
const ImageFormat& ChooseFormat(const fs::path& path, std::span<const unsigned char> bytes) {
  const std::string extension = path.extension().string();
  const ImageFormat* named = FormatByExtension(path);
  if (named == nullptr && !extension.empty()) {
    Refuse(path, extension + " files are not read (images are read as " + FormatList(false) + ")");
  }
  if (bytes.empty()) Refuse(path, "the file is empty");
  const ImageFormat* content =
      FormatByContent(bytes, bytes.size(), named != nullptr && named->reader == std::string_view("targa"));
  // (PPM, PGM, PBM and PFM are one reader.)
  if (content != nullptr && named == nullptr) return *content;
  if (content != nullptr && named->reader == std::string_view(content->reader)) return *named;
  const std::string foreign = ForeignFormat(bytes);
  const std::string is = content != nullptr ? Article(content->name) + " image"
                         : !foreign.empty() ? foreign
                                            : std::string();
  if (named == nullptr) {
    Refuse(path,
           (is.empty() ? std::string("the file is no image format") : "the file is " + is + ", a format") +
               " not read here (images are read as " + FormatList(false) + ")");
  }
  if (content != nullptr) {
    Refuse(path, "the file is " + is + ", not the " + named->name + " image its name says");
  }
  Refuse(path, "the file is not " + Article(named->name) + " image (" +
                   (is.empty() ? std::string("its content is no format read here") : "it is " + is) + ")");
}

struct PngFacts {
  bool cutShort = false;
  bool animated = false;
};

// A PNG walked chunk by chunk without decoding. A cut is found here first: libpng fails such a file from a
// read callback, and OpenImageIO leaks memory on that path. An animation control chunk marks an animated
// PNG, whose other frames the reader would silently drop.
PngFacts WalkPng(std::span<const unsigned char> bytes) {
  PngFacts facts;
  std::size_t at = 8;
  for (;;) {
    if (bytes.size() - at < 8) {
      facts.cutShort = true;
      return facts;
    }
    const std::uint32_t length = byte_order::ReadBig<std::uint32_t>(bytes.data() + at);
    const std::string_view type(reinterpret_cast<const char*>(bytes.data()) + at + 4, 4);
    if (type == "IEND") return facts;
    if (type == "acTL") facts.animated = true;
    // The data and the CRC must be there, and something after them.
    if (bytes.size() - at - 8 <= static_cast<std::uint64_t>(length) + 4) {
      facts.cutShort = true;
      return facts;
    }
    at += 8 + static_cast<std::size_t>(length) + 4;
  }
}

// A DPX header's offsets and sizes within the file: the library allocates what the header says of user data
// (up to 4 GB) before it looks at the file's size.
bool DpxSizesFit(std::span<const unsigned char> bytes) {
  if (bytes.size() < 36) return false;
  const bool big = bytes[0] == 'S';
  const auto word = [&](std::size_t at) {
    return big ? byte_order::ReadBig<std::uint32_t>(bytes.data() + at)
               : byte_order::ReadLittle<std::uint32_t>(bytes.data() + at);
  };
  const std::uint64_t size = bytes.size();
  return word(4) <= size && word(24) <= size && word(28) <= size && word(32) <= size;
}

// The picture's size an OpenEXR header declares (its first part's data window), found by walking the header's
// attributes: the library allocates its line buffers from it when the file is opened, before any check of
// ours could see it. False when the header is damaged.
bool ExrDataWindow(std::span<const unsigned char> bytes, long long& width, long long& height) {
  std::size_t at = 8;  // magic number and version
  const auto text = [&]() -> std::string_view {
    const std::size_t start = at;
    while (at < bytes.size() && bytes[at] != 0) ++at;
    if (at >= bytes.size()) return {};
    return std::string_view(reinterpret_cast<const char*>(bytes.data()) + start, at++ - start);
  };
  for (;;) {
    const std::string_view name = text();
    if (name.empty()) return false;  // the header's end (or a cut) before any data window
    const std::string_view type = text();
    if (type.empty() || bytes.size() - at < 4) return false;
    const std::uint32_t size = byte_order::ReadLittle<std::uint32_t>(bytes.data() + at);
    at += 4;
    if (bytes.size() - at < size) return false;
    if (name == "dataWindow" && type == "box2i" && size == 16) {
      const auto corner = [&](std::size_t i) {
        return static_cast<long long>(
            static_cast<std::int32_t>(byte_order::ReadLittle<std::uint32_t>(bytes.data() + at + 4 * i)));
      };
      width = corner(2) - corner(0) + 1;
      height = corner(3) - corner(1) + 1;
      return true;
    }
    at += size;
  }
}

void RefuseSeveral(const fs::path& path) {
  Refuse(path,
         "the file holds several images (pages, parts or frames) and one image a file is read: "
         "save them as a numbered image sequence (name.####.png) first");
}

// Decoded pixels as the file stores them, 8 or 16 bits a channel, before the orientation is applied.
struct Plain {
  int width = 0;
  int height = 0;
  int channels = 0;
  int alpha = -1;
  int bits = 8;
  int orientation = 1;
  std::vector<std::uint8_t> narrow;
  std::vector<std::uint16_t> wide;
};

void CheckSize(const fs::path& path, long long width, long long height, std::size_t fileBytes) {
  if (width <= 0 || height <= 0 || width > PF_MAX_WORLD_WIDTH || height > PF_MAX_WORLD_HEIGHT) {
    Refuse(path, "image size " + std::to_string(width) + "x" + std::to_string(height) +
                     " is outside 1 to 30000 pixels a side");
  }
  // Before anything the size of the image is allocated.
  CheckPixelBudget(Quote(path), width, height, fileBytes);
}

Plain DecodeWebpFile(const fs::path& path, std::span<const unsigned char> bytes) {
  WebpInfo info;
  std::string error;
  if (!ReadWebpInfo(bytes, info, error)) Refuse(path, "cannot read image (" + error + ")");
  if (info.animated) RefuseSeveral(path);
  CheckSize(path, info.width, info.height, bytes.size());
  WebpImage image;
  if (!DecodeWebp(bytes, info, image, error))
    Refuse(path, "cannot read image, the file is damaged (" + error + ")");
  Plain plain{image.width, image.height, image.alpha ? 4 : 3, image.alpha ? 3 : -1, 8, 1, {}, {}};
  plain.narrow = std::move(image.pixels);
  return plain;
}

// Binary PGM and PPM (P5, P6) read here: the library's reader brings 16-bit samples back a step low at the
// top of the range (65535 as 65534). Samples are scaled from the file's maximum to the full 8 or 16 bits.
// Returns false for the other PNM kinds (ASCII, bitmaps, floats), which the library reads right.
bool DecodeBinaryPnm(const fs::path& path, std::span<const unsigned char> bytes, Plain& plain) {
  if (bytes.size() < 2 || bytes[0] != 'P' || (bytes[1] != '5' && bytes[1] != '6')) return false;
  std::size_t at = 2;
  const auto number = [&]() -> unsigned long {
    // Whitespace and comments, then digits.
    for (;;) {
      while (at < bytes.size() && PnmSpace(bytes[at])) ++at;
      if (at < bytes.size() && bytes[at] == '#') {
        while (at < bytes.size() && bytes[at] != '\n' && bytes[at] != '\r') ++at;
        continue;
      }
      break;
    }
    unsigned long value = 0;
    const std::size_t start = at;
    while (at < bytes.size() && bytes[at] >= '0' && bytes[at] <= '9' && at - start < 9) {
      value = value * 10 + static_cast<unsigned long>(bytes[at++] - '0');
    }
    if (at == start) Refuse(path, "cannot read image, the file is damaged (its header is not a PNM header)");
    return value;
  };
  const unsigned long width = number(), height = number(), maximum = number();
  if (maximum < 1 || maximum > 65535)
    Refuse(path,
           "cannot read image (the maximum sample " + std::to_string(maximum) + " is outside 1 to 65535)");
  if (at >= bytes.size() || !PnmSpace(bytes[at]))
    Refuse(path, "cannot read image, the file is damaged (its header is not a PNM header)");
  ++at;
  CheckSize(path, static_cast<long long>(width), static_cast<long long>(height), bytes.size());
  const int channels = bytes[1] == '6' ? 3 : 1;
  const std::size_t sampleBytes = maximum > 255 ? 2 : 1;
  const std::size_t count = static_cast<std::size_t>(width) * height * channels;
  if ((bytes.size() - at) / sampleBytes < count) {
    Refuse(path, "cannot read image, the file is damaged (it ends before its last pixel)");
  }
  plain = Plain{
      static_cast<int>(width), static_cast<int>(height), channels, -1, sampleBytes == 2 ? 16 : 8, 1, {}, {}};
  const unsigned long full = sampleBytes == 2 ? 65535 : 255;
  const auto sample = [&](std::size_t i) -> unsigned long {
    const unsigned long v = sampleBytes == 2
                                ? (static_cast<unsigned long>(bytes[at + 2 * i]) << 8 | bytes[at + 2 * i + 1])
                                : bytes[at + i];
    return (std::min(v, maximum) * full + maximum / 2) / maximum;
  };
  if (sampleBytes == 2) {
    plain.wide.resize(count);
    for (std::size_t i = 0; i < count; ++i) plain.wide[i] = static_cast<std::uint16_t>(sample(i));
  } else {
    plain.narrow.resize(count);
    for (std::size_t i = 0; i < count; ++i) plain.narrow[i] = static_cast<std::uint8_t>(sample(i));
  }
  return true;
}

constexpr int kReadBand = 256;

// The first line of a library's message, without the file name some of them append.
std::string FirstLine(const std::string& text) {
  std::string line = text.substr(0, text.find('\n'));
  return line.empty() ? std::string("unknown error") : line;
}

// Colours as the effect takes them, from what the library read: CMYK with alpha (the library converts
// CMYK to RGB only without it) and colours multiplied by alpha become straight RGB(A).
void StraightenColours(std::vector<float>& data, int& channels, int alpha, bool cmyk, bool premultiplied) {
  const std::size_t pixels = data.size() / static_cast<std::size_t>(channels);
  if (cmyk) {
    // Ink coverage: each of cyan, magenta and yellow takes from one light, black from all three.
    std::vector<float> rgba(pixels * 4);
    for (std::size_t i = 0; i < pixels; ++i) {
      const float* ink = &data[i * static_cast<std::size_t>(channels)];
      const float white = 1.0f - ink[3];
      rgba[i * 4 + 0] = (1.0f - ink[0]) * white;
      rgba[i * 4 + 1] = (1.0f - ink[1]) * white;
      rgba[i * 4 + 2] = (1.0f - ink[2]) * white;
      rgba[i * 4 + 3] = ink[alpha];
    }
    data = std::move(rgba);
    channels = 4;
    alpha = 3;
  }
  if (!premultiplied) return;
  const int colours = std::min(alpha, 3);
  for (std::size_t i = 0; i < pixels; ++i) {
    float* pixel = &data[i * static_cast<std::size_t>(channels)];
    const float a = pixel[alpha];
    if (a <= 0.0f) continue;
    for (int c = 0; c < colours; ++c) pixel[c] = pixel[c] / a;
  }
}

template <typename T>
std::vector<T> Quantise(const std::vector<float>& data) {
  constexpr float kMax = static_cast<float>(std::numeric_limits<T>::max());
  std::vector<T> out(data.size());
  for (std::size_t i = 0; i < data.size(); ++i) {
    const float v = std::isnan(data[i]) ? 0.0f : std::clamp(data[i], 0.0f, 1.0f);
    out[i] = static_cast<T>(v * kMax + 0.5f);
  }
  return out;
}

// The library's reader for `format` alone, reading from `proxy` (the file's bytes), opened: its header read.
std::unique_ptr<OIIO::ImageInput> OpenWithLibrary(const fs::path& path, const ImageFormat& format,
                                                  std::span<const unsigned char> bytes,
                                                  OIIO::Filesystem::IOMemReader& proxy,
                                                  OIIO::ImageSpec& spec) {
  // Pixels exactly as stored: no premultiplication of colour by alpha on the way in.
  OIIO::ImageSpec config;
  config.attribute("oiio:UnassociatedAlpha", 1);
  auto in = OIIO::ImageInput::create(format.reader, false, &config);
  if (!in || !in->set_ioproxy(&proxy)) {
    throw CliError(kExitInput, Quote(path) + ": cannot read image (no " + format.name + " reader)");
  }
  if (format.reader == std::string_view("dpx") && !DpxSizesFit(bytes)) {
    Refuse(path, "cannot read image, the file is damaged (its header declares more than the file holds)");
  }
  if (format.reader == std::string_view("gif")) {
    // The reader allocates its canvas from the logical screen's size.
    if (bytes.size() < 13) Refuse(path, "cannot read image, the file is damaged (it ends inside its header)");
    CheckSize(path, byte_order::ReadLittle<std::uint16_t>(bytes.data() + 6),
              byte_order::ReadLittle<std::uint16_t>(bytes.data() + 8), bytes.size());
  }
  if (format.reader == std::string_view("openexr")) {
    long long width = 0, height = 0;
    if (!ExrDataWindow(bytes, width, height)) {
      Refuse(path, "cannot read image, the file is damaged (its header has no readable data window)");
    }
    CheckSize(path, width, height, bytes.size());
  }
  if (!in->open(path.string(), spec, config)) {
    Refuse(path, "cannot read image (" + FirstLine(in->geterror()) + ")");
  }
  return in;
}

bool SeparatedWithAlpha(const ImageFormat& format, const OIIO::ImageSpec& spec) {
  return format.reader == std::string_view("tiff") &&
         spec.get_int_attribute("tiff:PhotometricInterpretation", -1) == 5 && spec.nchannels == 5;
}

Plain DecodeWithLibrary(const fs::path& path, const ImageFormat& format,
                        std::span<const unsigned char> bytes) {
  const QuietLibraries quiet;
  OIIO::Filesystem::IOMemReader proxy(bytes.data(), bytes.size());
  OIIO::ImageSpec spec;
  const auto in = OpenWithLibrary(path, format, bytes, proxy, spec);
  CheckSize(path, spec.width, spec.height, bytes.size());
  if (format.reader == std::string_view("png")) {
    const PngFacts png = WalkPng(bytes);
    if (png.cutShort) Refuse(path, "cannot read image, the file is damaged (it ends before its last chunk)");
    if (png.animated) RefuseSeveral(path);
  }
  if (in->seek_subimage(1, 0)) RefuseSeveral(path);
  if (!in->seek_subimage(0, 0)) Refuse(path, "cannot read image (" + FirstLine(in->geterror()) + ")");
  (void)in->geterror();

  int channels = spec.nchannels;
  if (channels < 1) Refuse(path, "image has no channels");
  int alpha = AlphaChannel(spec);
  const bool cmyk = SeparatedWithAlpha(format, spec);
  if (cmyk) alpha = 4;
  const bool premultiplied =
      alpha >= 0 && (format.premultiplied || (format.reader == std::string_view("tiff") &&
                                              spec.get_int_attribute("oiio:UnassociatedAlpha", 0) == 0));
  const int fileBits = spec.format.size() == 1 ? 8 : 16;

  const std::size_t count = static_cast<std::size_t>(spec.width) * spec.height * channels;
  // Decoders report damaged data (a file cut short, a broken strip) as errors beside a read that still
  // succeeds with grey or black where the data is missing: either is a damaged input.
  // Read a band of rows at a time, so that Ctrl-C stops a large image part-way.
  const auto read = [&](OIIO::TypeDesc type, void* data) {
    const std::size_t rowBytes = static_cast<std::size_t>(spec.width) * channels * type.size();
    // Tiled files are read whole.
    const int band = spec.tile_width > 0 ? spec.height : kReadBand;
    for (int y = 0; y < spec.height; y += band) {
      ThrowIfInterrupted();
      const int end = std::min(spec.height, y + band);
      const bool ok = spec.tile_width > 0
                          ? in->read_image(0, 0, 0, channels, type, data)
                          : in->read_scanlines(
                                0, 0, spec.y + y, spec.y + end, 0, 0, channels, type,
                                static_cast<unsigned char*>(data) + rowBytes * static_cast<std::size_t>(y));
      const std::string error = in->geterror();
      if (!ok || !error.empty())
        Refuse(path, "cannot read image, the file is damaged (" + FirstLine(error) + ")");
    }
  };
  Plain plain{spec.width, spec.height, channels, alpha, fileBits, spec.get_int_attribute("Orientation", 1),
              {},         {}};
  if (cmyk || premultiplied) {
    std::vector<float> data(count);
    read(OIIO::TypeDesc::FLOAT, data.data());
    StraightenColours(data, plain.channels, alpha, cmyk, premultiplied);
    if (cmyk) plain.alpha = 3;
    if (fileBits == 8)
      plain.narrow = Quantise<std::uint8_t>(data);
    else
      plain.wide = Quantise<std::uint16_t>(data);
  } else if (fileBits == 8) {
    plain.narrow.resize(count);
    read(OIIO::TypeDesc::UINT8, plain.narrow.data());
  } else {
    plain.wide.resize(count);
    read(OIIO::TypeDesc::UINT16, plain.wide.data());
  }
  return plain;
}

// Rows and columns rearranged as the file's orientation (the EXIF values 1 to 8) says the picture is
// shown: the output is always upright.
template <typename T>
void Orient(std::vector<T>& data, int& width, int& height, int channels, int orientation) {
  if (orientation < 2 || orientation > 8) return;
  const int w = width, h = height;
  const bool turned = orientation >= 5;
  const int outWidth = turned ? h : w, outHeight = turned ? w : h;
  std::vector<T> out(data.size());
  for (int y = 0; y < outHeight; ++y) {
    for (int x = 0; x < outWidth; ++x) {
      int sx = x, sy = y;
      switch (orientation) {
        case 2:
          sx = w - 1 - x;
          break;  // mirrored
        case 3:
          sx = w - 1 - x;
          sy = h - 1 - y;
          break;  // upside down
        case 4:
          sy = h - 1 - y;
          break;  // mirrored upside down
        case 5:
          sx = y;
          sy = x;
          break;  // transposed
        case 6:
          sx = y;
          sy = h - 1 - x;
          break;  // to be turned a quarter clockwise
        case 7:
          sx = w - 1 - y;
          sy = h - 1 - x;
          break;  // transversed
        default:
          sx = w - 1 - y;
          sy = x;
          break;  // 8: to be turned a quarter anticlockwise
      }
      const T* from = &data[(static_cast<std::size_t>(sy) * w + sx) * channels];
      std::copy(from, from + channels, &out[(static_cast<std::size_t>(y) * outWidth + x) * channels]);
    }
  }
  data = std::move(out);
  width = outWidth;
  height = outHeight;
}

LoadedImage DecodeImageUnchecked(const fs::path& path, std::span<const unsigned char> bytes,
                                 const minihost::Depth* depth) {
  const ImageFormat& format = ChooseFormat(path, bytes);
  const std::optional<SimplePng> simple =
      format.reader == std::string_view("png") ? SimplePngHeader(bytes) : std::nullopt;
  if (simple) {
    // Decoded a band of rows at a time straight into the world.
    CheckSize(path, simple->width, simple->height, bytes.size());
    LoadedImage image{
        minihost::World(simple->width, simple->height, depth != nullptr ? *depth : minihost::Depth::Eight),
        simple->channels == 4, 8};
    PF_EffectWorld& world = image.world.pf();
    const auto band = [&](int first, int rows, const std::uint8_t* samples, std::size_t stride) {
      const minihost::PlainLayout layout{minihost::SampleBits::Eight, simple->channels,
                                         simple->channels == 4 ? 3 : -1, stride};
      PF_EffectWorld part = world;
      part.data = reinterpret_cast<PF_PixelPtr>(reinterpret_cast<char*>(world.data) +
                                                static_cast<std::ptrdiff_t>(first) * world.rowbytes);
      part.height = rows;
      part.extent_hint = PF_LRect{0, 0, world.width, rows};
      minihost::PlainToWorld(samples, layout, part);
    };
    if (DecodeSimplePng(bytes, *simple, band)) return image;
  }
  Plain plain;
  if (format.reader == std::string_view("webp"))
    plain = DecodeWebpFile(path, bytes);
  else if (format.reader != std::string_view("pnm") || !DecodeBinaryPnm(path, bytes, plain))
    plain = DecodeWithLibrary(path, format, bytes);
  if (plain.bits == 8)
    Orient(plain.narrow, plain.width, plain.height, plain.channels, plain.orientation);
  else
    Orient(plain.wide, plain.width, plain.height, plain.channels, plain.orientation);

  const minihost::Depth worldDepth =
      depth != nullptr ? *depth : (plain.bits == 8 ? minihost::Depth::Eight : minihost::Depth::Sixteen);
  LoadedImage image{minihost::World(plain.width, plain.height, worldDepth), plain.alpha >= 0, plain.bits};
  const minihost::PlainLayout layout{
      plain.bits == 8 ? minihost::SampleBits::Eight : minihost::SampleBits::Sixteen, plain.channels,
      plain.alpha, static_cast<std::size_t>(plain.width) * plain.channels * (plain.bits == 8 ? 1u : 2u)};
  // A 16-bit file asked to render at 8 bits gets the nearest 8-bit values.
  if (plain.bits == 8)
    minihost::PlainToWorld(plain.narrow.data(), layout, image.world.pf());
  else
    minihost::PlainToWorld(plain.wide.data(), layout, image.world.pf());
  return image;
}

}  // namespace

bool ImageHasAlpha(const std::filesystem::path& path) {
  try {
    const std::vector<unsigned char> bytes = ReadWholeFile(path);
    const ImageFormat& format = ChooseFormat(path, bytes);
    if (format.reader == std::string_view("webp")) {
      WebpInfo info;
      std::string error;
      return ReadWebpInfo(bytes, info, error) && info.alpha;
    }
    const QuietLibraries quiet;
    OIIO::Filesystem::IOMemReader proxy(bytes.data(), bytes.size());
    OIIO::ImageSpec spec;
    OpenWithLibrary(path, format, bytes, proxy, spec);
    return AlphaChannel(spec) >= 0 || SeparatedWithAlpha(format, spec);
  } catch (const CliError&) {
    return false;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

void SetPixelBudget(unsigned long long pixels) { pixelBudget.store(pixels); }
unsigned long long PixelBudget() { return pixelBudget.load(); }

LoadedImage ReadImage(const std::filesystem::path& path, const minihost::Depth* depth) {
  try {
    return DecodeImage(path, ReadWholeFile(path), depth);
  } catch (const std::bad_alloc&) {
    throw CliError(kExitInput, Quote(path) + ": not enough memory to read the image");
  }
}

LoadedImage DecodeImage(const std::filesystem::path& name, std::span<const unsigned char> bytes,
                        const minihost::Depth* depth) {
  try {
    return DecodeImageUnchecked(name, bytes, depth);
  } catch (const CliError&) {
    throw;
  } catch (const std::bad_alloc&) {
    throw CliError(kExitInput, Quote(name) + ": not enough memory to read the image");
  } catch (const std::exception& e) {
    // A decoder that gives up on a damaged file by throwing (a vector sized from a broken header).
    throw CliError(kExitInput, Quote(name) + ": cannot read image, the file is damaged (" + e.what() + ")");
  }
}

void EncodeImage(OutputFile& file, const minihost::World& world, bool withAlpha, PngColors colors) {
  const std::filesystem::path& path = file.target();
  const ImageFormat& format = OutputFormat(path);
  // What the format cannot hold is left out here, by the same rules as everywhere: 16-bit worlds become
  // the nearest 8-bit values, and alpha is dropped.
  const bool deep = world.depth() == minihost::Depth::Sixteen && format.sixteenBits;
  const bool alpha = withAlpha && format.alpha;
  const int channels = alpha ? 4 : 3;
  // Encoded in memory, then written with every error checked: a full disk is never a file that looks
  // complete.
  std::vector<unsigned char> encoded;
  // 8-bit frames of few colours are stored with a palette, indexed straight from the world.
  if (format.reader == std::string_view("png") && !deep && colors == PngColors::IndexedWhereTheyFit) {
    bool fits = false;
    try {
      fits = EncodeIndexedPng(world, alpha, encoded);
    } catch (const std::runtime_error& e) {
      throw CliError(kExitOutput, Quote(path) + ": cannot write image (" + e.what() + ")");
    }
    if (fits) {
      file.write(encoded.data(), encoded.size());
      file.close();
      return;
    }
  }
  const std::size_t count = static_cast<std::size_t>(world.width()) * world.height() * channels;
  std::vector<uint16_t> data16;
  std::vector<uint8_t> data8;
  if (deep)
    data16.resize(count);
  else
    data8.resize(count);
  const minihost::PlainLayout layout{deep ? minihost::SampleBits::Sixteen : minihost::SampleBits::Eight,
                                     channels, alpha ? 3 : -1,
                                     static_cast<std::size_t>(world.width()) * channels * (deep ? 2u : 1u)};
  if (deep)
    minihost::WorldToPlain(world.pf(), data16.data(), layout);
  else
    minihost::WorldToPlain(world.pf(), data8.data(), layout);

  if (format.reader == std::string_view("pnm")) {
    // Binary PPM, samples big-endian as the format has them (the library's writer loses 16-bit samples
    // when it writes to memory).
    const std::string header = "P6\n" + std::to_string(world.width()) + " " + std::to_string(world.height()) +
                               "\n" + (deep ? "65535" : "255") + "\n";
    encoded.assign(header.begin(), header.end());
    if (deep) {
      for (const uint16_t v : data16) {
        encoded.push_back(static_cast<unsigned char>(v >> 8));
        encoded.push_back(static_cast<unsigned char>(v & 0xff));
      }
    } else {
      encoded.insert(encoded.end(), data8.begin(), data8.end());
    }
  } else if (format.reader == std::string_view("gif")) {
    if (world.depth() == minihost::Depth::Sixteen) {
      throw CliError(kExitOutput, Quote(path) +
                                      ": GIF stores 8-bit colours and the image renders at 16 bits "
                                      "here; add --depth 8");
    }
    const std::optional<IndexedFrame> frame =
        IndexWorld(world.pf(), alpha ? AlphaBits::One : AlphaBits::None);
    if (!frame) {
      throw CliError(kExitOutput, Quote(path) +
                                      ": the image holds more than 256 colours (transparency counts "
                                      "as one), more than GIF stores; choose a swatch of fewer colours");
    }
    try {
      encoded = EncodeGif({*frame}, {}, world.width(), world.height(), {});
    } catch (const std::runtime_error& e) {
      throw CliError(kExitOutput, Quote(path) + ": cannot write image (" + e.what() + ")");
    }
  } else if (format.reader == std::string_view("webp")) {
    std::string error;
    if (!EncodeWebp({world.width(), world.height(), alpha, std::move(data8)}, encoded, error)) {
      throw CliError(kExitOutput, Quote(path) + ": cannot write image (" + error + ")");
    }
  } else {
    const QuietLibraries quiet;
    auto out = OIIO::ImageOutput::create(format.reader);
    OIIO::Filesystem::IOVecOutput proxy(encoded);
    if (!out || !out->set_ioproxy(&proxy)) {
      throw CliError(kExitOutput, Quote(path) + ": cannot write image (no " + format.name + " writer)");
    }
    OIIO::TypeDesc type = deep ? OIIO::TypeDesc::UINT16 : OIIO::TypeDesc::UINT8;
    const void* pixels =
        deep ? static_cast<const void*>(data16.data()) : static_cast<const void*>(data8.data());
    std::vector<float> associated;
    if (format.premultiplied) {
      // The format stores colours multiplied by alpha, as half floats.
      associated.resize(count);
      for (std::size_t i = 0; i < count; ++i) {
        associated[i] =
            deep ? static_cast<float>(data16[i]) / 65535.0f : static_cast<float>(data8[i]) / 255.0f;
      }
      if (alpha) {
        for (std::size_t i = 0; i < count; i += 4) {
          for (int c = 0; c < 3; ++c) associated[i + c] *= associated[i + 3];
        }
      }
      type = OIIO::TypeDesc::FLOAT;
      pixels = associated.data();
    }
    OIIO::ImageSpec spec(world.width(), world.height(), channels,
                         format.premultiplied ? OIIO::TypeDesc(OIIO::TypeDesc::HALF) : type);
    if (alpha) spec.alpha_channel = 3;
    // Elsewhere the colours are not premultiplied; the file must get them as they are.
    if (!format.premultiplied) spec.attribute("oiio:UnassociatedAlpha", 1);
    // Dithered pixels are all edges: full colour resolution and the finest quantisation JPEG has.
    if (format.reader == std::string_view("jpeg")) {
      spec.attribute("compression", "jpeg:100");
      spec.attribute("jpeg:subsampling", "4:4:4");
    }
    if (!(out->open(file.temp().string(), spec) && out->write_image(type, pixels) && out->close())) {
      throw CliError(kExitOutput, Quote(path) + ": cannot write image (" + FirstLine(out->geterror()) + ")");
    }
  }
  if (encoded.empty())
    throw CliError(kExitOutput, Quote(path) + ": cannot write image (nothing was encoded)");
  file.write(encoded.data(), encoded.size());
  file.close();
}

void WriteImage(const std::filesystem::path& path, const minihost::World& world, bool withAlpha,
                PngColors colors) {
  OutputFile file(path);
  EncodeImage(file, world, withAlpha, colors);
  file.commit();
}
