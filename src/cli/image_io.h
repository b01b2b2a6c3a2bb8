// Still images in and out of host pixel worlds, through OpenImageIO.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

#include "minihost/pixel_transfer.h"
#include "minihost/world.h"

struct LoadedImage {
  minihost::World world;
  bool hasAlpha = false;
  int fileBits = 8;  // 8 for 8-bit files; 16 for 16-bit and deeper (float) files
};

// Reads `path` into a world of `depth`, or of the file's own depth when `depth` is not given (8-bit files
// into 8-bit worlds, deeper files into 16-bit worlds). Grey images become equal red, green and blue;
// without alpha every pixel is opaque. Throws CliError naming the file.
// Only regular files are read, and only in the formats of image_formats.h, where the file's content and its
// extension name the same format. A picture stored turned (EXIF or TIFF orientation) is turned upright;
// colours stored multiplied by alpha and CMYK are made straight RGB. A file holding several images is
// refused.
LoadedImage ReadImage(const std::filesystem::path& path, const minihost::Depth* depth);
// The same for a file's bytes already in memory; `name` is the file's, for its extension and messages.
LoadedImage DecodeImage(const std::filesystem::path& name, std::span<const unsigned char> bytes,
                        const minihost::Depth* depth);

// Whether the image file has alpha, from its header, by the same rules as ReadImage; false when it cannot be
// read (ReadImage says why).
bool ImageHasAlpha(const std::filesystem::path& path);

// How an 8-bit PNG stores its colours: with a palette (colour type 3) when the image holds at most 256
// colours, else as RGB(A); or always as RGB(A). Every pixel reads back the same either way.
enum class PngColors { IndexedWhereTheyFit, Full };

// Writes the world at its own depth (16 bits where the format holds them), with alpha only when
// `withAlpha`. The file is written under a temporary name in the same folder and renamed when complete,
// so a failure never leaves a partial file or destroys an existing one. Throws CliError naming the file.
void WriteImage(const std::filesystem::path& path, const minihost::World& world, bool withAlpha,
                PngColors colors = PngColors::IndexedWhereTheyFit);

// Encodes the world into `file` (its target's extension chooses the format) and closes it, leaving the
// commit to the caller. Throws CliError naming the target.
class OutputFile;
void EncodeImage(OutputFile& file, const minihost::World& world, bool withAlpha,
                 PngColors colors = PngColors::IndexedWhereTheyFit);

// The largest image or video frame read, in pixels: enough for a 16K frame (15360 x 8640) unless
// --max-pixels says otherwise. Checked against the size a file declares before its pixels are decoded.
inline constexpr unsigned long long kDefaultPixelBudget = 15360ull * 8640ull;
void SetPixelBudget(unsigned long long pixels);
unsigned long long PixelBudget();
// Throws CliError (input) naming `name` when width x height is over the budget or, for a file of
// `fileBytes` (0: unknown, as for a pipe), more than the file can hold (bytes/pixels_per_byte.h).
void CheckPixelBudget(const std::string& name, long long width, long long height, std::uintmax_t fileBytes);

// Channel conversions between files (0..255, 0..65535) and the host's 16-bit scale (0..32768).
using minihost::From16To16;
using minihost::To16From16;
using minihost::To16From8;
