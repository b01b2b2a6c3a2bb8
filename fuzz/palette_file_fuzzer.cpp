// Any byte string through every palette-file reader: no crash, no hang, no sanitizer report; a bad file
// may only be refused with PaletteFileError. The first byte picks the reader (the seeds carry it).
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "palettefiles/palette_file.h"

namespace {

// The readers that take a file by name get the bytes through one scratch file.
std::filesystem::path Scratch(const std::string& extension, const std::string& bytes) {
  const std::filesystem::path path =
      std::filesystem::temp_directory_path() / ("palette-fuzz-" + std::to_string(getpid()) + extension);
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  try {
    switch (data[0] % 6) {
      case 0:
        ParseGimpPalette(bytes, "fuzz.gpl");
        break;
      case 1:
        ParseJascPalette(bytes, "fuzz.pal");
        break;
      case 2:
        ParseHexPalette(bytes, "fuzz.hex");
        break;
      case 3:
        ParseColorTable(bytes, "fuzz.act");
        break;
      case 4:
        ReadSwatchExchangePalette(Scratch(".ase", bytes), "fuzz.ase");
        break;
      default:
        ReadPngPalette(Scratch(".png", bytes), "fuzz.png");
        break;
    }
  } catch (const PaletteFileError&) {
  }
  return 0;
}
