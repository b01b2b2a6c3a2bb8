// Palette files written by the command: a palette in any format the readers know, chosen by the file's
// extension, and the strip of colour squares that `palette --strip` draws.
#pragma once

#include <filesystem>

#include "palette/color.h"

// The nearest 8-bit value, for showing a colour that is not exactly one; NaN as 0.
unsigned NearestEightBit(float value);

// Before any work: refuses (CliError) a palette output whose extension names no palette format (a usage
// error), that is a device, a pipe or a folder, or whose folder is missing.
void CheckPaletteOutput(const std::filesystem::path& path);

// Writes `colors` to `path` in the format its extension names (palettefiles/palette_file.h
// PaletteFileBytes; .png: the strip, as WriteStrip), under a temporary name renamed when complete. Throws
// CliError naming the file.
void WritePaletteFile(const std::filesystem::path& path, const ColorList& colors);

// 32-pixel squares, 16 a row (over 14,992 colours: 8-pixel squares, 256 a row), in RGBA: squares past the
// last colour stay transparent, so the strip read back as a palette image gives the colours in order.
void WriteStrip(const std::filesystem::path& path, const ColorList& colors);
