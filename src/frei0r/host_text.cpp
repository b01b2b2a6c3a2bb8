#include "frei0r/host_text.h"

#include <cstdint>
#include <cstdio>

namespace {

// The length of the UTF-8 sequence at the start of `text`, or 0 when it does not start with one.
std::size_t Utf8Length(std::string_view text) {
  const auto byte = [&](std::size_t i) { return static_cast<uint8_t>(text[i]); };
  const uint8_t first = byte(0);
  std::size_t length;
  uint32_t code;
  if (first >= 0xC2 && first <= 0xDF) {
    length = 2;
    code = first & 0x1Fu;
  } else if (first >= 0xE0 && first <= 0xEF) {
    length = 3;
    code = first & 0x0Fu;
  } else if (first >= 0xF0 && first <= 0xF4) {
    length = 4;
    code = first & 0x07u;
  } else {
    return 0;
  }
  if (text.size() < length) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(i) & 0xC0u) != 0x80u) return 0;
    code = (code << 6) | (byte(i) & 0x3Fu);
  }
  // Overlong forms, surrogates and code points past U+10FFFF are not UTF-8.
  const bool overlong = (length == 3 && code < 0x800) || (length == 4 && code < 0x10000);
  const bool surrogate = code >= 0xD800 && code <= 0xDFFF;
  return overlong || surrogate || code > 0x10FFFF ? 0 : length;
}

// The printable form of `text`, stopping once it has `most` characters (a UTF-8 sequence counts as one);
// `cut` tells whether anything was left.
std::string Printable(std::string_view text, std::size_t most, bool& cut) {
  std::string out;
  std::size_t characters = 0;
  std::size_t i = 0;
  while (i < text.size() && characters < most) {
    const auto c = static_cast<uint8_t>(text[i]);
    std::size_t length = c >= 0x20 && c < 0x7F ? 1 : c >= 0x80 ? Utf8Length(text.substr(i)) : 0;
    if (length == 0) {
      char escaped[5];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", static_cast<unsigned>(c));
      out += escaped;
      length = 1;
    } else {
      out.append(text.substr(i, length));
    }
    i += length;
    ++characters;
  }
  cut = i < text.size();
  return out;
}

}  // namespace

std::string QuotedHostText(std::string_view text) {
  bool cut = false;
  // Built by appending: GCC 12 at -O3 misreads "literal" + std::string as overlapping copies.
  std::string quoted;
  quoted += '"';
  quoted += Printable(text, 120, cut);
  quoted += cut ? "...\"" : "\"";
  return quoted;
}

std::string PrintableMessage(std::string_view message) {
  constexpr std::size_t kHead = 200;
  constexpr std::size_t kTail = 200;
  bool cut = false;
  if (message.size() <= kHead + kTail) return Printable(message, message.size(), cut);
  std::string shortened = Printable(message.substr(0, kHead), kHead, cut);
  shortened += " ... ";
  shortened += Printable(message.substr(message.size() - kTail), kTail, cut);
  return shortened;
}
