// Palette files for the custom palette: Adobe Swatch Exchange (.ase), GIMP (.gpl), JASC (.pal), hex lists
// (.hex), Adobe colour tables (.act) and PNG palette images (.png). The README says what each reader accepts.
#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "palette/color.h"

// A palette file that cannot be used; the message names the file (and the line of a text file) and why.
class PaletteFileError : public std::runtime_error {
 public:
  explicit PaletteFileError(const std::string& message) : std::runtime_error(message), message_(message) {}
  // The whole message: what() ends at a NUL byte that a file's text may have brought into it.
  const std::string& message() const { return message_; }

 private:
  std::string message_;
};

enum class PaletteFormat { SwatchExchange, Gimp, Jasc, Hex, ColorTable, Png };

// A palette of more colours is refused: each pixel is compared with every colour, so a photograph read as
// a palette image by mistake would make rendering take hours.
inline constexpr std::size_t kMaxPaletteColors = 65536;

// The format the file's extension names, without regard to case; none for an extension no reader knows.
std::optional<PaletteFormat> PaletteFormatOf(const std::filesystem::path& path);

// The colours of `path`, in file order. 8-bit values k become k / 255.0f, 16-bit ones k / 65535.0f (single
// precision). Throws PaletteFileError naming the file, and the line of a text file, when the file is
// missing or unreadable, its content is not of the format its extension names, an entry is malformed, or
// it holds no colour or more than kMaxPaletteColors.
ColorList ReadPaletteFile(const std::filesystem::path& path);

// Whether `text` is a list of colours rather than a path: its first word begins with '#'. (A file whose
// name begins with '#' is named "./#name".)
bool IsColorList(std::string_view text);
// The colours of a list of #RRGGBB values separated by spaces, commas, semicolons or line ends, in order.
// Throws PaletteFileError naming the first entry that is not such a value, or when there is none or more
// than kMaxPaletteColors.
ColorList ParseColorList(std::string_view text);

// The readers behind ReadPaletteFile, each given the file's bytes (or, for the formats whose readers take a
// path, the path) and the name to use in messages.
ColorList ParseGimpPalette(const std::string& bytes, const std::string& name);
ColorList ParseJascPalette(const std::string& bytes, const std::string& name);
ColorList ParseHexPalette(const std::string& bytes, const std::string& name);
ColorList ParseColorTable(const std::string& bytes, const std::string& name);
ColorList ReadSwatchExchangePalette(const std::filesystem::path& path, const std::string& name);
ColorList ReadPngPalette(const std::filesystem::path& path, const std::string& name);

// k / 255.0f, and whether `value` is exactly that for some k from 0 to 255 (then `k` receives it).
float FromEightBit(unsigned k);
bool IsEightBit(float value, unsigned& k);

// The bytes of a palette file of `format` holding `colors`, in order, that ReadPaletteFile reads back
// exactly: swatch exchange files keep every value as it is (RGB swatches of single-precision floats, named
// #RRGGBB); the other formats hold 8-bit values, and a value between two is written as the nearest.
// `title` names the palette where the format has a place for it (GIMP's Name line). Throws
// PaletteFileError naming `name` when the format cannot hold the palette: no colour, more than 256 in a
// colour table, more than kMaxPaletteColors. PNG palettes are images, written by the image writers.
std::string PaletteFileBytes(PaletteFormat format, const ColorList& colors, const std::string& name,
                             const std::string& title);
