// Palettes made from footage: an image, a numbered image sequence or a video, its pixels counted at 8 bits
// and clustered (palette/make_palette.h).
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>

#include "minihost/world.h"
#include "palette/color.h"
#include "palette/make_palette.h"

// The palette sizes the command makes.
inline constexpr std::size_t kFewestMadeColors = 2;
inline constexpr std::size_t kMostMadeColors = 256;

// The frames of a clip whose pixels are counted: at most this many, spread evenly over the clip (or the
// --frames range), since neighbouring frames mostly repeat each other's colours.
inline constexpr std::size_t kSampledFrames = 32;

// Adds the pixels of the 8-bit `world` to `counts`, except fully transparent ones, which show nothing.
void CountPixels(const minihost::World& world, ColorCounts& counts);

struct FootageOptions {
  std::string frames;     // --frames A-B, for a sequence or a video; empty: all of it
  bool progress = false;  // a progress line on a terminal while a clip's frames are read
};

// The palette of at most `colors` colours for `input`. Throws CliError naming the file or option: a usage
// error for --frames given with one image, input errors for a file that cannot be read and for footage with
// no visible pixel.
ColorList PaletteFromFootage(const std::filesystem::path& input, std::size_t colors,
                             const FootageOptions& options);
