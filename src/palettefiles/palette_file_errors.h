// How the palette readers report a bad file: "FILE: reason", or "FILE:LINE: reason" for a line of a text
// file.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "palette/color.h"
#include "palettefiles/palette_file.h"

// `text` in double quotes. Built by appending: GCC 12 at -O3 misreads some "literal" + std::string
// concatenations as overlapping copies.
inline std::string Quote(std::string_view text) {
  std::string quoted;
  quoted.reserve(text.size() + 2);
  quoted += '"';
  quoted += text;
  quoted += '"';
  return quoted;
}

[[noreturn]] inline void FailFile(const std::string& name, const std::string& reason) {
  throw PaletteFileError(name + ": " + reason);
}

[[noreturn]] inline void FailLine(const std::string& name, std::size_t line, const std::string& reason) {
  throw PaletteFileError(name + ":" + std::to_string(line) + ": " + reason);
}

// Refuses a palette that holds nothing to quantise to, or more colours than rendering can bear.
void CheckPaletteSize(const ColorList& colors, const std::string& name);
