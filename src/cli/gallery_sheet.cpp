#include "cli/gallery_sheet.h"

#include <algorithm>
#include <cstdint>

#include "cli/bitmap_font.h"
#include "cli/image_io.h"

namespace {

template <typename Pixel>
Pixel Mean(const minihost::World& image, A_long x0, A_long x1, A_long y0, A_long y1,
           const Pixel& (minihost::World::*pixel)(A_long, A_long) const) {
  uint64_t sums[3] = {0, 0, 0}, weighted[3] = {0, 0, 0}, alpha = 0;
  for (A_long y = y0; y < y1; ++y) {
    for (A_long x = x0; x < x1; ++x) {
      const Pixel& p = (image.*pixel)(x, y);
      const uint64_t channels[3] = {p.red, p.green, p.blue};
      for (int c = 0; c < 3; ++c) {
        sums[c] += channels[c];
        weighted[c] += channels[c] * p.alpha;
      }
      alpha += p.alpha;
    }
  }
  const auto n = static_cast<uint64_t>(x1 - x0) * static_cast<uint64_t>(y1 - y0);
  // Colours are not premultiplied: a see-through pixel's colour must not tint its neighbours. A block
  // that is see-through throughout keeps its plain mean colour.
  uint64_t out[3];
  for (int c = 0; c < 3; ++c) out[c] = alpha == 0 ? (sums[c] + n / 2) / n : (weighted[c] + alpha / 2) / alpha;
  using Channel = decltype(Pixel::alpha);
  Pixel result;
  result.alpha = static_cast<Channel>((alpha + n / 2) / n);
  result.red = static_cast<Channel>(out[0]);
  result.green = static_cast<Channel>(out[1]);
  result.blue = static_cast<Channel>(out[2]);
  return result;
}

void SetPixel(minihost::World& world, A_long x, A_long y, const unsigned char rgb[3]) {
  if (world.depth() == minihost::Depth::Eight) {
    world.pixel8(x, y) = {255, rgb[0], rgb[1], rgb[2]};
  } else {
    const auto deep = [](unsigned char v) { return static_cast<A_u_short>(To16From8(v)); };
    world.pixel16(x, y) = {static_cast<A_u_short>(PF_MAX_CHAN16), deep(rgb[0]), deep(rgb[1]), deep(rgb[2])};
  }
}

}  // namespace

GalleryLayout LayOutGallery(A_long thumbWidth, A_long thumbHeight, int count, int columns,
                            std::size_t longestLabel) {
  GalleryLayout layout;
  layout.thumbWidth = thumbWidth;
  layout.thumbHeight = thumbHeight;
  layout.columns = std::max(1, std::min(columns, count));
  layout.rows = (count + layout.columns - 1) / layout.columns;
  const auto labelWidth = static_cast<long>(std::max<std::size_t>(longestLabel, 1)) * kGlyphWidth;
  layout.textScale = static_cast<int>(std::clamp<long>(thumbWidth / labelWidth, 1, 3));
  layout.labelHeight = 2 * kLabelPadding + kGlyphHeight * layout.textScale;
  layout.width = layout.columns * thumbWidth + (layout.columns + 1) * kGalleryGap;
  layout.height = layout.rows * (thumbHeight + layout.labelHeight) + (layout.rows + 1) * kGalleryGap;
  return layout;
}

minihost::World Thumbnail(const minihost::World& image, A_long width) {
  const A_long w = image.width(), h = image.height();
  if (w <= width) return image;
  const auto height = static_cast<A_long>(std::max<int64_t>(1, (int64_t{h} * width + w / 2) / w));
  minihost::World thumb(width, height, image.depth());
  for (A_long y = 0; y < height; ++y) {
    const auto y0 = static_cast<A_long>(int64_t{y} * h / height),
               y1 = static_cast<A_long>(int64_t{y + 1} * h / height);
    for (A_long x = 0; x < width; ++x) {
      const auto x0 = static_cast<A_long>(int64_t{x} * w / width),
                 x1 = static_cast<A_long>(int64_t{x + 1} * w / width);
      if (image.depth() == minihost::Depth::Eight) {
        thumb.pixel8(x, y) = Mean<PF_Pixel8>(image, x0, x1, y0, y1, &minihost::World::pixel8);
      } else {
        thumb.pixel16(x, y) = Mean<PF_Pixel16>(image, x0, x1, y0, y1, &minihost::World::pixel16);
      }
    }
  }
  return thumb;
}

minihost::World BlankSheet(const GalleryLayout& layout, minihost::Depth depth) {
  minihost::World sheet(layout.width, layout.height, depth);
  for (A_long y = 0; y < layout.height; ++y) {
    for (A_long x = 0; x < layout.width; ++x) SetPixel(sheet, x, y, kSheetGround);
  }
  return sheet;
}

void PlaceCell(minihost::World& sheet, const GalleryLayout& layout, int i, const minihost::World& thumb,
               const std::string& label) {
  const A_long left = layout.cellX(i), top = layout.cellY(i);
  for (A_long y = 0; y < thumb.height(); ++y) {
    for (A_long x = 0; x < thumb.width(); ++x) {
      if (sheet.depth() == minihost::Depth::Eight) {
        sheet.pixel8(left + x, top + y) = thumb.pixel8(x, y);
      } else {
        sheet.pixel16(left + x, top + y) = thumb.pixel16(x, y);
      }
    }
  }
  const int scale = layout.textScale;
  const long textWidth = TextWidth(label, scale);
  const A_long textLeft = left + static_cast<A_long>(std::max<long>(0, (layout.thumbWidth - textWidth) / 2));
  const A_long textTop = top + layout.thumbHeight + kLabelPadding;
  for (std::size_t k = 0; k < label.size(); ++k) {
    const unsigned char* rows = GlyphRows(label[k]);
    const A_long glyphLeft = textLeft + static_cast<A_long>(k) * kGlyphWidth * scale;
    for (int row = 0; row < kGlyphHeight * scale; ++row) {
      for (int column = 0; column < kGlyphWidth * scale; ++column) {
        const A_long x = glyphLeft + column;
        if (x >= left + layout.thumbWidth) break;
        if (rows[row / scale] & (0x80 >> (column / scale))) SetPixel(sheet, x, textTop + row, kLabelInk);
      }
    }
  }
}
