// The text palette formats: GIMP palettes, JASC palettes and hex lists.
#include <charconv>
#include <string_view>
#include <vector>

#include "bytes/hex_digit.h"
#include "palettefiles/palette_file.h"
#include "palettefiles/palette_file_errors.h"

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

// The file's lines, without their line ends and without a leading byte-order mark; lines[0] is line 1.
std::vector<std::string_view> Lines(const std::string& bytes) {
  std::string_view text(bytes);
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return lines;
}

// Splits off the next whitespace-separated word of `text`.
std::string_view NextWord(std::string_view& text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  std::size_t end = 0;
  while (end < text.size() && !IsBlank(text[end])) ++end;
  const std::string_view word = text.substr(0, end);
  text.remove_prefix(end);
  return word;
}

// A decimal channel value 0..255, or false.
bool Channel(std::string_view word, unsigned& value) {
  if (word.empty()) return false;
  const auto [end, ec] = std::from_chars(word.data(), word.data() + word.size(), value);
  return ec == std::errc() && end == word.data() + word.size() && value <= 255;
}

// "R G B" at the start of `text` (which keeps what follows), or an error naming the line.
Color3 ChannelTriple(std::string_view& text, const std::string& name, std::size_t line) {
  unsigned rgb[3];
  for (unsigned& channel : rgb) {
    const std::string_view word = NextWord(text);
    if (word.empty()) FailLine(name, line, "expected three values 0 to 255 (red green blue)");
    if (!Channel(word, channel)) {
      FailLine(name, line, Quote(word) + " is not a channel value 0 to 255");
    }
  }
  return Color3(FromEightBit(rgb[0]), FromEightBit(rgb[1]), FromEightBit(rgb[2]));
}

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

}  // namespace

ColorList ParseGimpPalette(const std::string& bytes, const std::string& name) {
  const std::vector<std::string_view> lines = Lines(bytes);
  if (lines.empty()) FailFile(name, "the file is empty");
  if (Trim(lines[0]) != "GIMP Palette") FailLine(name, 1, "not a GIMP palette (no \"GIMP Palette\" line)");
  ColorList colors;
  for (std::size_t i = 1; i < lines.size(); ++i) {
    const std::size_t number = i + 1;
    std::string_view text = Trim(lines[i]);
    if (text.empty() || text.front() == '#') continue;
    // The header lines GIMP writes before the colours; a colour's name may say anything after its values.
    if (colors.empty() && (StartsWith(text, "Name:") || StartsWith(text, "Columns:"))) continue;
    colors.push_back(ChannelTriple(text, name, number));
    if (colors.size() > kMaxPaletteColors) CheckPaletteSize(colors, name);
  }
  return colors;
}

ColorList ParseJascPalette(const std::string& bytes, const std::string& name) {
  if (bytes.empty()) FailFile(name, "the file is empty");
  if (StartsWith(bytes, "RIFF")) {
    FailFile(name, "a RIFF palette; only JASC-PAL text palettes are read from .pal files");
  }
  const std::vector<std::string_view> lines = Lines(bytes);
  if (lines.empty()) FailFile(name, "the file is empty");
  if (Trim(lines[0]) != "JASC-PAL") FailLine(name, 1, "not a JASC palette (no \"JASC-PAL\" line)");
  if (lines.size() < 2 || Trim(lines[1]) != "0100") FailLine(name, 2, "expected the version \"0100\"");
  if (lines.size() < 3) FailLine(name, 3, "expected the number of colours");
  const std::string_view countText = Trim(lines[2]);
  std::size_t count = 0;
  const auto [end, ec] = std::from_chars(countText.data(), countText.data() + countText.size(), count);
  if (countText.empty() || ec != std::errc() || end != countText.data() + countText.size()) {
    FailLine(name, 3, Quote(countText) + " is not a number of colours");
  }
  if (count == 0) FailFile(name, "holds no colour (its count is 0)");
  if (count > kMaxPaletteColors) {
    FailLine(name, 3,
             "a count of " + std::string(countText) + " is more than a palette's " +
                 std::to_string(kMaxPaletteColors) + " colours");
  }
  ColorList colors;
  colors.reserve(count);
  std::size_t i = 3;
  for (; i < lines.size() && colors.size() < count; ++i) {
    std::string_view text = lines[i];
    colors.push_back(ChannelTriple(text, name, i + 1));
    if (!Trim(text).empty()) FailLine(name, i + 1, Quote(Trim(text)) + " follows the blue value");
  }
  if (colors.size() < count) {
    FailLine(name, i + 1,
             "the file ends after " + std::to_string(colors.size()) + " of its " + std::to_string(count) +
                 " colours");
  }
  for (; i < lines.size(); ++i) {
    if (!Trim(lines[i]).empty()) {
      FailLine(name, i + 1, "more colours than the count of " + std::to_string(count));
    }
  }
  return colors;
}

namespace {

// "RRGGBB" or "#RRGGBB" as a colour, or false.
bool HexColor(std::string_view text, Color3& color) {
  if (!text.empty() && text.front() == '#') text.remove_prefix(1);
  if (text.size() != 6) return false;
  unsigned rgb[3] = {0, 0, 0};
  for (std::size_t d = 0; d < 6; ++d) {
    const int digit = HexDigit(text[d]);
    if (digit < 0) return false;
    rgb[d / 2] = rgb[d / 2] * 16 + static_cast<unsigned>(digit);
  }
  color = Color3(FromEightBit(rgb[0]), FromEightBit(rgb[1]), FromEightBit(rgb[2]));
  return true;
}

bool IsListSeparator(char c) { return IsBlank(c) || c == '\n' || c == ',' || c == ';'; }

}  // namespace

ColorList ParseHexPalette(const std::string& bytes, const std::string& name) {
  if (bytes.empty()) FailFile(name, "the file is empty");
  const std::vector<std::string_view> lines = Lines(bytes);
  ColorList colors;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::string_view text = Trim(lines[i]);
    if (text.empty()) continue;
    Color3 color;
    if (!HexColor(text, color))
      FailLine(name, i + 1, Quote(text) + " is not a colour RRGGBB of six hex digits");
    colors.push_back(color);
    if (colors.size() > kMaxPaletteColors) CheckPaletteSize(colors, name);
  }
  return colors;
}

bool IsColorList(std::string_view text) {
  while (!text.empty() && IsListSeparator(text.front())) text.remove_prefix(1);
  return !text.empty() && text.front() == '#';
}

ColorList ParseColorList(std::string_view text) {
  const std::string name = "the colour list";
  ColorList colors;
  std::size_t number = 0;
  while (true) {
    while (!text.empty() && IsListSeparator(text.front())) text.remove_prefix(1);
    if (text.empty()) break;
    std::size_t end = 0;
    while (end < text.size() && !IsListSeparator(text[end])) ++end;
    const std::string_view word = text.substr(0, end);
    text.remove_prefix(end);
    ++number;
    Color3 color;
    if (word.front() != '#' || !HexColor(word, color)) {
      FailFile(name, "colour " + std::to_string(number) + ", " + Quote(word) + ", is not #RRGGBB");
    }
    colors.push_back(color);
    if (colors.size() > kMaxPaletteColors) CheckPaletteSize(colors, name);
  }
  if (colors.empty()) FailFile(name, "it holds no colour");
  return colors;
}
