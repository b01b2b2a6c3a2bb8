// CIE L*a*b* swatch values as the sRGB colour a screen shows for them.
#pragma once

#include "palette/color.h"

// `l` is the lightness as the file stores it: 0..1 for most writers, 0..100 for some; a value above 1
// can only be the latter. a* and b* as stored. The result is clamped to 0..1, since many swatch colours
// lie outside the sRGB gamut.
Color3 LabToSrgb(float l, float a, float b);
