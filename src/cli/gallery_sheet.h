// The gallery's contact sheet: thumbnails in a grid on a dark ground, each with its label underneath.
#pragma once

#include <string>

#include "minihost/world.h"

// Pixels around the sheet and between cells, and above and below each label's text.
inline constexpr A_long kGalleryGap = 8;
inline constexpr A_long kLabelPadding = 4;
// The ground and the labels' text, as 8-bit red, green and blue.
inline constexpr unsigned char kSheetGround[3] = {0x20, 0x20, 0x20};
inline constexpr unsigned char kLabelInk[3] = {0xE0, 0xE0, 0xE0};

struct GalleryLayout {
  A_long thumbWidth = 0;
  A_long thumbHeight = 0;
  int columns = 0;
  int rows = 0;
  int textScale = 1;  // the font drawn this many times its size
  A_long labelHeight = 0;
  A_long width = 0;
  A_long height = 0;

  // The top-left corner of cell `i`'s thumbnail; cells fill the rows left to right, top to bottom.
  A_long cellX(int i) const { return kGalleryGap + (i % columns) * (thumbWidth + kGalleryGap); }
  A_long cellY(int i) const {
    return kGalleryGap + (i / columns) * (thumbHeight + labelHeight + kGalleryGap);
  }
};

// The layout of `count` cells in at most `columns` columns. The text scale is the largest of 1, 2 and 3 at
// which a label of `longestLabel` characters fits the thumbnail's width (1 when none does: longer labels
// are cut at the cell's edge). Sizes are not checked against the host's world limits here.
GalleryLayout LayOutGallery(A_long thumbWidth, A_long thumbHeight, int count, int columns,
                            std::size_t longestLabel);

// `image` scaled down to `width` pixels wide, the height in proportion (rounded to nearest, at least 1):
// each thumbnail pixel is the mean of the block of image pixels it covers, colours weighted by alpha,
// rounded to nearest. An image no wider than `width` is returned as it is: thumbnails are never enlarged.
minihost::World Thumbnail(const minihost::World& image, A_long width);

// A sheet of the layout's size and `depth`, all ground, opaque.
minihost::World BlankSheet(const GalleryLayout& layout, minihost::Depth depth);

// Copies `thumb` (of the layout's thumbnail size and the sheet's depth) into cell `i` and writes `label`
// centred underneath it, cut at the cell's edges.
void PlaceCell(minihost::World& sheet, const GalleryLayout& layout, int i, const minihost::World& thumb,
               const std::string& label);
