#include "cli/image_io.h"

#include <OpenImageIO/filesystem.h>
#include <OpenImageIO/imageio.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <new>
#include <string_view>
#include <system_error>
#include <vector>

#include "bytes/byte_order.h"
#include "cli/exit_status.h"
#include "cli/interrupt.h"
#include "cli/safe_output.h"
#include "cli/terminal.h"
#include "minihost/pixel_transfer.h"

namespace OIIO = OIIO_NAMESPACE;

namespace {

std::string Quote(const std::filesystem::path& path) { return path.string(); }

// A PNG cut short, walked chunk by chunk without decoding: libpng fails such a file from a read callback,
// and OpenImageIO leaks memory on that path, so the cut is found here first.
bool PngCutShort(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  char head[8];
  if (!in.read(head, 8) || std::string_view(head, 8) != std::string_view("\x89PNG\r\n\x1a\n", 8)) return false;
  for (;;) {
    unsigned char chunk[8];
    if (!in.read(reinterpret_cast<char*>(chunk), 8)) return true;
    const std::uint32_t length = byte_order::ReadBig<std::uint32_t>(chunk);
    if (std::string_view(reinterpret_cast<char*>(chunk) + 4, 4) == "IEND") return false;
    // The data and the CRC must be there.
    if (!in.seekg(static_cast<std::streamoff>(length) + 4, std::ios::cur) || in.peek() == EOF) return true;
  }
}

int AlphaChannel(const OIIO::ImageSpec& spec) {
  if (spec.alpha_channel >= 0) return spec.alpha_channel;
  // Grey with alpha and RGBA files that do not name their alpha channel.
  if (spec.nchannels == 2) return 1;
  if (spec.nchannels == 4) return 3;
  return -1;
}

}  // namespace

void CheckPixelBudget(const std::string& name, long long width, long long height, std::uintmax_t fileBytes) {
  const unsigned long long pixels = static_cast<unsigned long long>(width) * static_cast<unsigned long long>(height);
  if (pixels > PixelBudget()) {
    throw CliError(kExitInput, name + ": " + std::to_string(width) + "x" + std::to_string(height) + " is " +
                                   std::to_string(pixels) + " pixels, more than the limit of " +
                                   std::to_string(PixelBudget()) + " (--max-pixels)");
  }
  if (fileBytes != 0 && pixels > fileBytes * kMaxPixelsPerByte) {
    throw CliError(kExitInput, name + ": declares " + std::to_string(width) + "x" + std::to_string(height) +
                                   " pixels, more than its " + std::to_string(fileBytes) +
                                   " bytes can hold (a damaged file, or a decompression bomb)");
  }
}

namespace {

std::atomic<unsigned long long> pixelBudget{kDefaultPixelBudget};

constexpr int kReadBand = 256;

// The first line of a library's message, without the file name some of them append.
std::string FirstLine(const std::string& text) {
  std::string line = text.substr(0, text.find('\n'));
  return line.empty() ? std::string("unknown error") : line;
}

LoadedImage ReadImageUnchecked(const std::filesystem::path& path, const minihost::Depth* depth) {
  std::error_code ec;
  if (!std::filesystem::exists(path, ec)) throw CliError(kExitInput, Quote(path) + ": no such file");
  const std::uintmax_t fileBytes = std::filesystem::is_regular_file(path, ec) ? std::filesystem::file_size(path, ec) : 0;
  const QuietLibraries quiet;
  // Pixels exactly as stored: no premultiplication of colour by alpha on the way in.
  OIIO::ImageSpec config;
  config.attribute("oiio:UnassociatedAlpha", 1);
  auto in = OIIO::ImageInput::open(path.string(), &config);
  if (!in) {
    throw CliError(kExitInput, Quote(path) + ": cannot read image (" + FirstLine(OIIO::geterror()) + ")");
  }
  const OIIO::ImageSpec spec = in->spec();
  if (spec.width <= 0 || spec.height <= 0 || spec.width > PF_MAX_WORLD_WIDTH || spec.height > PF_MAX_WORLD_HEIGHT) {
    throw CliError(kExitInput, Quote(path) + ": image size " + std::to_string(spec.width) + "x" +
                                   std::to_string(spec.height) + " is outside 1 to 30000 pixels a side");
  }
  // Before anything the size of the image is allocated.
  CheckPixelBudget(Quote(path), spec.width, spec.height, ec ? 0 : fileBytes);
  if (std::string_view(in->format_name()) == "png" && PngCutShort(path)) {
    throw CliError(kExitInput, Quote(path) + ": cannot read image, the file is damaged (it ends before its last chunk)");
  }
  const int channels = spec.nchannels;
  if (channels < 1) throw CliError(kExitInput, Quote(path) + ": image has no channels");
  const int alpha = AlphaChannel(spec);
  const int fileBits = spec.format.size() == 1 ? 8 : 16;
  const minihost::Depth worldDepth =
      depth != nullptr ? *depth : (fileBits == 8 ? minihost::Depth::Eight : minihost::Depth::Sixteen);

  LoadedImage image{minihost::World(spec.width, spec.height, worldDepth), alpha >= 0, fileBits};
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
                          : in->read_scanlines(0, 0, spec.y + y, spec.y + end, 0, 0, channels, type,
                                               static_cast<unsigned char*>(data) + rowBytes * static_cast<std::size_t>(y));
      const std::string error = in->geterror();
      if (!ok || !error.empty()) {
        throw CliError(kExitInput,
                       Quote(path) + ": cannot read image, the file is damaged (" + FirstLine(error) + ")");
      }
    }
  };
  const minihost::PlainLayout layout{
      fileBits == 8 ? minihost::SampleBits::Eight : minihost::SampleBits::Sixteen, channels, alpha,
      static_cast<std::size_t>(spec.width) * channels * (fileBits == 8 ? 1u : 2u)};
  // A 16-bit file asked to render at 8 bits gets the nearest 8-bit values.
  if (fileBits == 8) {
    std::vector<uint8_t> data(count);
    read(OIIO::TypeDesc::UINT8, data.data());
    minihost::PlainToWorld(data.data(), layout, image.world.pf());
  } else {
    std::vector<uint16_t> data(count);
    read(OIIO::TypeDesc::UINT16, data.data());
    minihost::PlainToWorld(data.data(), layout, image.world.pf());
  }
  return image;
}

}  // namespace

void SetPixelBudget(unsigned long long pixels) { pixelBudget.store(pixels); }
unsigned long long PixelBudget() { return pixelBudget.load(); }

LoadedImage ReadImage(const std::filesystem::path& path, const minihost::Depth* depth) {
  try {
    return ReadImageUnchecked(path, depth);
  } catch (const std::bad_alloc&) {
    throw CliError(kExitInput, Quote(path) + ": not enough memory to read the image");
  }
}

void EncodeImage(OutputFile& file, const minihost::World& world, bool withAlpha) {
  const std::filesystem::path& path = file.target();
  const bool deep = world.depth() == minihost::Depth::Sixteen;
  const int channels = withAlpha ? 4 : 3;
  const std::size_t count = static_cast<std::size_t>(world.width()) * world.height() * channels;
  std::vector<uint16_t> data16;
  std::vector<uint8_t> data8;
  if (deep) data16.resize(count);
  else data8.resize(count);
  const minihost::PlainLayout layout{deep ? minihost::SampleBits::Sixteen : minihost::SampleBits::Eight,
                                     channels, withAlpha ? 3 : -1,
                                     static_cast<std::size_t>(world.width()) * channels * (deep ? 2u : 1u)};
  if (deep)
    minihost::WorldToPlain(world.pf(), data16.data(), layout);
  else
    minihost::WorldToPlain(world.pf(), data8.data(), layout);

  const QuietLibraries quiet;
  auto out = OIIO::ImageOutput::create(path.string());
  if (!out) {
    throw CliError(kExitOutput, Quote(path) + ": unsupported output format (" + FirstLine(OIIO::geterror()) + ")");
  }
  const OIIO::TypeDesc type = deep ? OIIO::TypeDesc::UINT16 : OIIO::TypeDesc::UINT8;
  OIIO::ImageSpec spec(world.width(), world.height(), channels, type);
  if (withAlpha) spec.alpha_channel = 3;
  // The colours are not premultiplied; the file must get them as they are.
  spec.attribute("oiio:UnassociatedAlpha", 1);

  const void* pixels = deep ? static_cast<const void*>(data16.data()) : static_cast<const void*>(data8.data());
  // Encoded in memory where the format allows, then written with every error checked: some OpenImageIO
  // writers do not report a failed write (a full disk) and would leave a truncated file that looks complete.
  // Writers that open the file themselves get it by its descriptor, never by a name someone could swap.
  std::vector<unsigned char> encoded;
  OIIO::Filesystem::IOVecOutput proxy(encoded);
  const bool inMemory = out->supports("ioproxy") && out->set_ioproxy(&proxy);
  const std::string name = inMemory ? file.temp().string() : file.descriptorPath();
  if (!(out->open(name, spec) && out->write_image(type, pixels) && out->close())) {
    throw CliError(kExitOutput, Quote(path) + ": cannot write image (" + FirstLine(out->geterror()) + ")");
  }
  if (inMemory) file.write(encoded.data(), encoded.size());
  file.close();
}

void WriteImage(const std::filesystem::path& path, const minihost::World& world, bool withAlpha) {
  OutputFile file(path);
  EncodeImage(file, world, withAlpha);
  file.commit();
}
