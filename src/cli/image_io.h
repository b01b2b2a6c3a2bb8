// Still images in and out of host pixel worlds, through OpenImageIO.
#pragma once

#include <filesystem>

#include "minihost/world.h"

struct LoadedImage {
  minihost::World world;
  bool hasAlpha = false;
  int fileBits = 8;  // 8 for 8-bit files; 16 for 16-bit and deeper (float) files
};

// Reads `path` into a world of `depth`, or of the file's own depth when `depth` is not given (8-bit files
// into 8-bit worlds, deeper files into 16-bit worlds). Grey images become equal red, green and blue;
// without alpha every pixel is opaque. Throws CliError naming the file.
LoadedImage ReadImage(const std::filesystem::path& path, const minihost::Depth* depth);

// Writes the world at its own depth (16 bits where the format holds them), with alpha only when
// `withAlpha`. The file is written under a temporary name in the same folder and renamed when complete,
// so a failure never leaves a partial file or destroys an existing one. Throws CliError naming the file.
void WriteImage(const std::filesystem::path& path, const minihost::World& world, bool withAlpha);

// Channel conversions between files (0..255, 0..65535) and the host's 16-bit scale (0..32768).
inline unsigned To16From8(unsigned v) { return (v * 32768u + 127u) / 255u; }
inline unsigned To16From16(unsigned v) { return (v * 32768u + 32767u) / 65535u; }
inline unsigned From16To16(unsigned v) {
  const unsigned scaled = (v * 65535u + 16384u) / 32768u;
  return scaled < 65535u ? scaled : 65535u;
}
