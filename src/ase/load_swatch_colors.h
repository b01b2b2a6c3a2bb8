// The colours of a swatch file for the custom palette.
#pragma once

#include <string>

#include "palette/color.h"

// Whatever colours could be read, in file order; empty when the file cannot be opened or is not a swatch
// file. A damaged file still gives the colours before the damage.
ColorList LoadSwatchColors(const std::string& path);
