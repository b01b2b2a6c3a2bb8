// Hexadecimal digits of colours written as text ("#RRGGBB", .hex palettes). Header only and built on
// nothing, like the rest of this folder.
#pragma once

// The value of the hexadecimal digit `c` (either case), or -1 when it is none.
constexpr int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}
