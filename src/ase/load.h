// Reading an Adobe Swatch Exchange (.ase) file and reporting its groups and colours, in file order.
#pragma once

#include <istream>
#include <string>

#include "ase/color_callback.h"

namespace ase {

// False when the stream has already failed, the signature is not "ASEF", or the data ends before the
// declared blocks do; everything reported up to that point stands. True when every declared block was
// walked, or none was declared.
bool LoadFromStream(ColorCallback& callback, std::istream& in);

// The path is a byte string as the open-file dialog gives it (UTF-8 on Windows). False, with nothing
// reported, when the file cannot be opened.
bool LoadFromFile(ColorCallback& callback, const std::string& path);

}  // namespace ase
