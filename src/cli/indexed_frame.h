// Frames of few colours as FFmpeg's pal8 pictures: one byte a pixel, an index into a palette of 256
// entries. The frames the effect renders hold only palette colours, so most fit, and a PNG of indices
// deflates faster and smaller than one of RGB samples.
#pragma once

#include <cstddef>
#include <cstdint>

#include "sdk/ae_effect.h"

// Indexes the pixels of an 8-bit world into `indices` (rows `stride` bytes apart) and `palette` (256
// entries as FFmpeg holds a pal8 palette: 0xAARRGGBB in native order), colours numbered as they are first
// met, scanning rows top to bottom. Alpha counts only when `alpha` is set; otherwise every entry is opaque.
// Entries past the colours in use are opaque black, so that an opaque frame's PNG needs no transparency.
// Returns false, with `indices` and `palette` undefined, when the world holds more than 256 colours (colour
// and alpha pairs when `alpha`).
bool IndexWorld(const PF_EffectWorld& world, bool alpha, std::uint8_t* indices, std::ptrdiff_t stride,
                std::uint32_t* palette);
