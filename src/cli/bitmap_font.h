// A small built-in bitmap font for the gallery's labels: the same pixels on every machine, and no font file
// to find at run time.
#pragma once

#include <string>

inline constexpr int kGlyphWidth = 6;
inline constexpr int kGlyphHeight = 13;

// The kGlyphHeight rows of `c`'s glyph, top first, the leftmost of the kGlyphWidth pixels in bit 7.
// Characters outside printable ASCII get the glyph of '?'.
const unsigned char* GlyphRows(char c);

// Width in pixels of `text` drawn `scale` times the font's size.
long TextWidth(const std::string& text, int scale);
