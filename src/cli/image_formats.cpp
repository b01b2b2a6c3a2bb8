#include "cli/image_formats.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <string_view>

#include "bytes/byte_order.h"
#include "cli/exit_status.h"

namespace {

// Why each format is here, and what it keeps, is in the README's table.
constexpr std::array<ImageFormat, 14> kFormats{{
    {"PNG", "png", "png", true, true, true, false},
    {"JPEG", "jpeg", "jpg jpeg jpe jfif", true, false, false, false},
    {"TIFF", "tiff", "tif tiff", true, true, true, false},
    {"OpenEXR", "openexr", "exr", true, true, true, true},
    {"DPX", "dpx", "dpx", true, true, true, false},
    {"Targa", "targa", "tga tpic", true, false, true, false},
    {"BMP", "bmp", "bmp dib", true, false, true, false},
    {"WebP", "webp", "webp", true, false, true, false},
    {"PPM", "pnm", "ppm pnm", true, true, false, false},
    {"PGM", "pnm", "pgm", false, false, false, false},
    {"PBM", "pnm", "pbm", false, false, false, false},
    {"PFM", "pnm", "pfm", false, false, false, false},
    {"Radiance HDR", "hdr", "hdr rgbe", false, false, false, false},
    {"GIF", "gif", "gif", true, false, true, false},
}};

const ImageFormat& Named(std::string_view reader) {
  return *std::find_if(kFormats.begin(), kFormats.end(),
                       [&](const ImageFormat& f) { return f.reader == reader; });
}

bool StartsWith(std::span<const unsigned char> head, std::string_view magic, std::size_t at = 0) {
  return head.size() >= at + magic.size() &&
         std::equal(magic.begin(), magic.end(), head.begin() + static_cast<std::ptrdiff_t>(at),
                    [](char a, unsigned char b) { return static_cast<unsigned char>(a) == b; });
}

// A Targa header: no signature, but a colour-map flag, an image type, a size and a pixel depth that
// must make sense.
bool TargaHeader(std::span<const unsigned char> head, std::size_t fileBytes) {
  if (head.size() < 18 || fileBytes < 18) return false;
  const unsigned colorMap = head[1], type = head[2], bits = head[16];
  const unsigned width = byte_order::ReadLittle<std::uint16_t>(head.data() + 12);
  const unsigned height = byte_order::ReadLittle<std::uint16_t>(head.data() + 14);
  const bool knownType = type == 1 || type == 2 || type == 3 || type == 9 || type == 10 || type == 11;
  const bool knownBits = bits == 8 || bits == 15 || bits == 16 || bits == 24 || bits == 32;
  return colorMap <= 1 && knownType && knownBits && width > 0 && height > 0;
}

std::string Extension(const std::filesystem::path& path) {
  std::string ext = path.extension().string();
  if (!ext.empty()) ext.erase(0, 1);
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
  return ext;
}

bool Lists(const char* extensions, const std::string& ext) {
  std::string_view list(extensions);
  while (!list.empty()) {
    const std::size_t end = std::min(list.find(' '), list.size());
    if (list.substr(0, end) == ext) return true;
    list.remove_prefix(std::min(end + 1, list.size()));
  }
  return false;
}

}  // namespace

const ImageFormat* FormatByExtension(const std::filesystem::path& path) {
  const std::string ext = Extension(path);
  if (ext.empty()) return nullptr;
  for (const ImageFormat& format : kFormats) {
    if (Lists(format.extensions, ext)) return &format;
  }
  return nullptr;
}

const ImageFormat* FormatByContent(std::span<const unsigned char> head, std::size_t fileBytes,
                                   bool namedTarga) {
  if (StartsWith(head, "\x89PNG\r\n\x1a\n")) return &Named("png");
  if (StartsWith(head, "\xff\xd8\xff")) return &Named("jpeg");
  if (StartsWith(head, std::string_view("II*\0", 4)) || StartsWith(head, std::string_view("MM\0*", 4)) ||
      StartsWith(head, std::string_view("II+\0", 4)) || StartsWith(head, std::string_view("MM\0+", 4))) {
    return &Named("tiff");
  }
  if (StartsWith(head, "\x76\x2f\x31\x01")) return &Named("openexr");
  if (StartsWith(head, "SDPX") || StartsWith(head, "XPDS")) return &Named("dpx");
  if (StartsWith(head, "RIFF") && StartsWith(head, "WEBP", 8)) return &Named("webp");
  if (StartsWith(head, "#?RADIANCE") || StartsWith(head, "#?RGBE")) return &Named("hdr");
  if (StartsWith(head, "GIF87a") || StartsWith(head, "GIF89a")) return &Named("gif");
  if (StartsWith(head, "BM") && head.size() >= 18) {
    // "BM" alone could start a text file: the header that follows must be one of the BMP headers' sizes.
    const std::uint32_t header = byte_order::ReadLittle<std::uint32_t>(head.data() + 14);
    if (header == 12 || header == 40 || header == 52 || header == 56 || header == 64 || header == 108 ||
        header == 124) {
      return &Named("bmp");
    }
  }
  if (head.size() >= 3 && head[0] == 'P' && PnmSpace(head[2]) &&
      ((head[1] >= '1' && head[1] <= '6') || head[1] == 'f' || head[1] == 'F')) {
    return &Named("pnm");
  }
  // A Targa header can begin with the same bytes as an icon's: a name that says Targa decides.
  if (TargaHeader(head, fileBytes) && (namedTarga || ForeignFormat(head).empty())) return &Named("targa");
  return nullptr;
}

std::string ForeignFormat(std::span<const unsigned char> head) {
  struct Known {
    std::string_view magic;
    std::size_t at;
    const char* what;
  };
  static constexpr Known kKnown[] = {
      {std::string_view("\0\0\1\0", 4), 0, "an ICO icon"},
      {std::string_view("\0\0\2\0", 4), 0, "a CUR cursor"},
      {"FOR4", 0, "an IFF image"},
      {"FORM", 0, "an IFF image"},
      {"8BPS", 0, "a Photoshop document"},
      {std::string_view("\0\0\0\x0cjP  ", 8), 0, "a JPEG 2000 image"},
      {"\xff\x4f\xff\x51", 0, "a JPEG 2000 codestream"},
      {"\x01\xda", 0, "an SGI image"},
      {"SIMPLE  =", 0, "a FITS file"},
      {"ftypheic", 4, "a HEIF image"},
      {"ftypheix", 4, "a HEIF image"},
      {"ftypmif1", 4, "a HEIF image"},
      {"ftypavif", 4, "an AVIF image"},
      {"ftyp", 4, "an MP4 or QuickTime file"},
      {"\x1a\x45\xdf\xa3", 0, "a Matroska or WebM file"},
      {"DDS ", 0, "a DDS texture"},
      {"\x80\x2a\x5f\xd7", 0, "a Cineon image"},
      {"\x53\x80\xf6\x34", 0, "a Softimage PIC image"},
      {"%PDF", 0, "a PDF document"},
      {"PK\x03\x04", 0, "a ZIP archive"},
  };
  for (const Known& known : kKnown) {
    if (StartsWith(head, known.magic, known.at)) return known.what;
  }
  return {};
}

std::string FormatList(bool written) {
  std::string list;
  for (const ImageFormat& format : kFormats) {
    if (written && !format.written) continue;
    if (!list.empty()) list += ", ";
    list += format.name;
  }
  return list;
}

const ImageFormat& OutputFormat(const std::filesystem::path& path) {
  const ImageFormat* format = FormatByExtension(path);
  if (format == nullptr || !format->written) {
    const std::string ext = path.extension().string();
    throw CliError(kExitUsage,
                   path.string() + ": " +
                       (ext.empty() ? std::string("an image OUTPUT needs an extension")
                                    : (format ? std::string(format->name) : ext) + " is not written") +
                       " (images are written as " + FormatList(true) + ")");
  }
  return *format;
}
