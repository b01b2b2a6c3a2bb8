// What an image file declares, judged before its pixels are decoded, for the command's readers of images
// through OpenImageIO. The size bound is bytes/pixels_per_byte.h.
#pragma once

#include <OpenImageIO/imageio.h>

// The alpha channel's index, when the library's answer is one (GIF's reader names channel 4 of 4), else the
// channel named "A" or "Alpha", else the second of two and the fourth of four; -1 when there is none.
int AlphaChannel(const OIIO_NAMESPACE::ImageSpec& spec);
