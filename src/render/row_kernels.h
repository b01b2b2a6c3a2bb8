// "Threshold" and the ordered patterns: every output pixel depends only on the input, so the frame is cut
// into bands of rows that the workers take in any order, and each row goes through the fast rows of the
// frame's instruction set.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>
#include <type_traits>
#include <vector>

#include "render/dither_matrices.h"
#include "render/kernel.h"
#include "render/pixel_convert.h"
#include "render/vector_kernels.h"

namespace row_kernels {

inline constexpr std::int32_t kBandRows = 8;

// What the bands of one frame share; read only while they run.
struct Frame {
  const FrameDescription* frame = nullptr;
  const ImageView* input = nullptr;
  const ImageView* output = nullptr;
  const Workers* workers = nullptr;
  RowFunction row = nullptr;
  std::int32_t width = 0, height = 0;   // the pixels written: a window of the output
  std::int32_t firstX = 0, firstY = 0;  // the window's top-left in the output
  std::int64_t layerX = 0;              // the layer position of the window's first column
  std::uint64_t scale = 1;
  const DitherMatrix* matrix = nullptr;         // null for "Threshold"
  std::vector<std::vector<float>> biasRows;     // one row of biases for each matrix row
  std::vector<std::uint64_t> colorPixels;       // the palette's colours as pixels of the frame's depth
  std::unique_ptr<std::uint64_t[]> cellPixels;  // the search's unit-grid cells as pixels, or marked open
  std::size_t cellCount = 0;                    // how many
  bool stopped = false;                         // written by worker 0 only, read after the run
};

template <typename Pixel>
void RunBand(Frame& f, std::int32_t worker, std::int32_t band) {
  const std::int32_t first = band * kBandRows;
  const std::int32_t end = std::min(first + kBandRows, f.height);
  RowJob job;
  job.palette = &f.frame->palette;
  job.colorPixels = f.colorPixels.empty() ? nullptr : f.colorPixels.data();
  job.cellPixels = f.cellPixels.get();
  job.threshold = f.frame->threshold;
  job.count = f.width;
  std::vector<Pixel> blocks;           // the row of block origins, when blocks are wider than a pixel
  std::vector<std::uint32_t> scratch;  // the two-pass nearest-colour rows' working rows
  if (job.cellPixels != nullptr) {
    scratch.resize(kScratchRows * (static_cast<std::size_t>(f.width) + kScratchSlack));
    job.scratch = scratch.data();
  }
  for (std::int32_t y = first; y < end; ++y) {
    if (!f.workers->going(worker, y, f.height)) {
      if (worker == 0) f.stopped = true;
      return;
    }
    job.out = f.output->row<Pixel>(f.firstY + y) + f.firstX;
    const std::int64_t layerY = std::int64_t{f.output->originY} + f.firstY + y;
    const std::int64_t inX = f.layerX - f.input->originX;  // the window's first column in the input
    if (f.matrix == nullptr) {
      job.in = f.input->row<Pixel>(static_cast<std::int32_t>(layerY - f.input->originY)) + inX;
    } else {
      const auto s = f.scale;
      const Pixel* origins =
          f.input->row<Pixel>(static_cast<std::int32_t>(BlockOrigin(layerY, s) - f.input->originY));
      if (s == 1) {
        job.in = origins + inX;
      } else {
        blocks.resize(static_cast<std::size_t>(f.width));
        for (std::int32_t x = 0; x < f.width; ++x) {
          blocks[static_cast<std::size_t>(x)] = origins[BlockOrigin(f.layerX + x, s) - f.input->originX];
        }
        job.in = blocks.data();
      }
      const std::uint64_t row =
          (static_cast<std::uint32_t>(layerY) + static_cast<std::uint32_t>(f.frame->offsetY)) / s;
      job.bias = f.biasRows[row % f.matrix->rows].data();
    }
    f.row(job);
  }
}

// The bias of every column for each matrix row. The column of layer position x is (x + offsetX, wrapped to
// 32 bits and read as unsigned) div scale, mod the matrix's columns: worked out once a frame, not once a
// pixel.
inline void MakeBiasRows(Frame& f) {
  const DitherMatrix& m = *f.matrix;
  f.biasRows.assign(m.rows, std::vector<float>(static_cast<std::size_t>(f.width)));
  for (std::int32_t x = 0; x < f.width; ++x) {
    const std::uint64_t column =
        (static_cast<std::uint32_t>(f.layerX + x) + static_cast<std::uint32_t>(f.frame->offsetX)) / f.scale;
    for (std::uint32_t r = 0; r < m.rows; ++r) {
      const std::uint8_t cell = m.cells[r * m.columns + column % m.columns];
      f.biasRows[r][static_cast<std::size_t>(x)] = static_cast<float>(cell) / m.divisor - 0.5f;
    }
  }
}

// Each palette colour as the pixel the reference definition stores for it (alpha left 0), so the rows store a
// colour found without converting it again; and room for the search's unit grid as pixels (FillCellPixels).
template <typename Pixel>
void MakeColorPixels(Frame& f) {
  using Word = std::conditional_t<sizeof(Pixel) == 4, std::uint32_t, std::uint64_t>;
  const NearestColorSearch& search = *f.frame->palette.search;
  const auto words = [](std::vector<std::uint64_t>& storage, std::size_t count) {
    storage.resize((count * sizeof(Word) + 7) / 8);
    return reinterpret_cast<Word*>(storage.data());
  };
  const std::span<const Color3> colors = search.colors();
  Word* colorWords = words(f.colorPixels, colors.size());
  for (std::size_t i = 0; i < colors.size(); ++i) {
    Pixel pixel;
    StoreColor(pixel, colors[i], 0);
    std::memcpy(&colorWords[i], &pixel, sizeof pixel);
  }
  f.cellCount = search.unitCellCount();
  f.cellPixels = std::make_unique_for_overwrite<std::uint64_t[]>((f.cellCount * sizeof(Word) + 7) / 8);
}

// Cells `first` to `end` of the unit grid as pixels: a cell one colour answers as that colour's pixel, any
// other as a pixel whose alpha is all ones and whose colour bits hold the cell (its block, or 0).
template <typename Pixel>
void FillCellPixels(Frame& f, std::size_t first, std::size_t end) {
  using Word = std::conditional_t<sizeof(Pixel) == 4, std::uint32_t, std::uint64_t>;
  constexpr int kAlphaBits = 8 * sizeof(Pixel) / 4;
  f.frame->palette.search->unitCellWords(reinterpret_cast<const Word*>(f.colorPixels.data()),
                                         (Word{1} << kAlphaBits) - 1, kAlphaBits, first, end,
                                         reinterpret_cast<Word*>(f.cellPixels.get()));
}

template <typename Pixel>
bool Run(const FrameDescription& frame, const ImageView& input, const ImageView& output,
         const Workers& workers, const DitherMatrix* matrix) {
  if (input.depth != output.depth || !input.rowsHoldWidth<Pixel>() || !output.rowsHoldWidth<Pixel>())
    return true;
  Frame f;
  f.frame = &frame;
  f.input = &input;
  f.output = &output;
  f.workers = &workers;
  f.scale = static_cast<std::uint64_t>(frame.scale < 1 ? 1 : frame.scale);
  const std::uint64_t block = matrix != nullptr ? f.scale : 1;
  const Span columns = WrittenSpan(output.originX, output.width, input.originX, input.width, block);
  const Span lines = WrittenSpan(output.originY, output.height, input.originY, input.height, block);
  if (columns.end <= columns.first || lines.end <= lines.first) return true;
  f.width = static_cast<std::int32_t>(columns.end - columns.first);
  f.height = static_cast<std::int32_t>(lines.end - lines.first);
  f.firstX = static_cast<std::int32_t>(columns.first - output.originX);
  f.firstY = static_cast<std::int32_t>(lines.first - output.originY);
  f.layerX = columns.first;
  const FastRows& rows = FastRowsFor(frame.isa);
  f.row = kDepthOf<Pixel> == PixelDepth::Eight     ? rows.row8
          : kDepthOf<Pixel> == PixelDepth::Sixteen ? rows.row16
                                                   : rows.row32;
  f.matrix = matrix;
  if (matrix != nullptr) MakeBiasRows(f);
  // The two-pass nearest-colour rows need the search's unit grid; palettes without one go lane by lane. Float
  // rows look colours up by the search's grids, as the bands do, and need no table of pixels.
  if (kDepthOf<Pixel> != PixelDepth::ThirtyTwo && frame.palette.rule == QuantizeRule::NearestColor &&
      frame.palette.search->hasUnitGrid()) {
    MakeColorPixels<Pixel>(f);
    // A grid of 64 cells a side (a quarter of a million) is filled by the workers, a slice each; a smaller
    // one costs less than handing it out.
    constexpr std::size_t kCellsToShare = std::size_t{1} << 16;
    constexpr std::int32_t kSlices = 16;
    if (f.cellCount < kCellsToShare || workers.count < 2) {
      FillCellPixels<Pixel>(f, 0, f.cellCount);
    } else {
      workers.forEach(
          kSlices,
          [](void* context, std::int32_t, std::int32_t slice) {
            Frame& shared = *static_cast<Frame*>(context);
            const std::size_t all = shared.cellCount;
            FillCellPixels<Pixel>(shared, all * static_cast<std::size_t>(slice) / kSlices,
                                  all * static_cast<std::size_t>(slice + 1) / kSlices);
          },
          &f);
      // A slice skipped for a stop leaves its cells unset: no row may read them.
      if (!workers.going(0, 0, f.height)) return false;
    }
  }
  const std::int32_t bands = (f.height + kBandRows - 1) / kBandRows;
  workers.forEach(
      bands,
      [](void* context, std::int32_t worker, std::int32_t band) {
        RunBand<Pixel>(*static_cast<Frame*>(context), worker, band);
      },
      &f);
  return !f.stopped && workers.going(0, f.height, f.height);
}

}  // namespace row_kernels

template <typename Pixel>
bool ThresholdRows(const FrameDescription& frame, const ImageView& input, const ImageView& output,
                   const Workers& workers) {
  return row_kernels::Run<Pixel>(frame, input, output, workers, nullptr);
}

template <typename Pixel, const DitherMatrix& kMatrix>
bool OrderedDither(const FrameDescription& frame, const ImageView& input, const ImageView& output,
                   const Workers& workers) {
  return row_kernels::Run<Pixel>(frame, input, output, workers, &kMatrix);
}
