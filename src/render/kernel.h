// A dither kernel: one pattern at one depth, over a whole frame, on the workers it is lent. Gives false
// when the user asked to stop part-way (the output is then incomplete); may throw std::bad_alloc before
// it reads any pixel.
#pragma once

#include "render/frame_description.h"
#include "render/image_view.h"
#include "render/workers.h"

using Kernel = bool (*)(const FrameDescription& frame, const ImageView& input, const ImageView& output,
                        const Workers& workers);
