// Error diffusion, rows as a wavefront over the workers. Each pixel's colour plus the error it has received
// goes to the palette and the difference is handed on to pixels not yet visited, as in a walk of the frame
// in scan order; but row y + 1 starts as soon as row y is far enough ahead. A row may take column c only
// when the row above has finished every column a share could reach from c, so every entry receives its
// shares in scan order and every float sum is the one the serial walk makes.
//
// Two walks do this. Where the frame's instruction set has them, bands of rows go through the vectorised
// band functions (diffusion_bands.inc), one row in each lane, and the bands form the wavefront; the
// baseline build walks rows, a few to a worker. Either way the work entries are a ring of the few rows a
// table reaches plus those in flight, instead of an entry for every pixel: rows finish in order (each waits
// for the one above), so the rows far enough back are done and their place free.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <memory>
#include <utility>

#include "render/diffusion_progress.h"
#include "render/diffusion_tables.h"
#include "render/kernel.h"
#include "render/lanes4.h"
#include "render/pixel_convert.h"
#include "render/vector_kernels.h"
#include "render/work_buffer.h"

namespace diffusion {

// Whether the views describe pixels a walk may touch: the same depth, not empty, rows that hold their width.
template <typename Pixel>
bool Walkable(const ImageView& input, const ImageView& output) {
  return input.depth == output.depth && input.width > 0 && input.height > 0 && input.rowsHoldWidth<Pixel>() &&
         output.rowsHoldWidth<Pixel>();
}

// Runs a walk's Work on `tasks` workers at once; false when it stopped or the user asked to stop.
template <typename Run>
bool WalkOnWorkers(Run& run, const Workers& workers, std::int32_t tasks, std::int32_t height) {
  workers.forEach(
      tasks,
      [](void* context, std::int32_t worker, std::int32_t) { static_cast<Run*>(context)->Work(worker); },
      &run);
  return !run.finished.stopping() && workers.going(0, height, height);
}

// Columns a row publishes its progress in: fewer means less waiting, more means less traffic.
inline constexpr std::int32_t kStride = 64;

template <typename Pixel, const auto& kTable>
struct Wavefront {
  using F4 = lanes4::F4;
  static constexpr int kReach = Reach(kTable);
  static constexpr int kRowsDown = RowsDown(kTable);
  // Rows one worker walks together, and how far each trails the one above: far enough that a share of
  // the row above has reached every entry before this row's shares go there.
  static constexpr std::int32_t kGroupRows = 3;
  static constexpr std::int32_t kLag = 2 * kReach;
  // The shares to the right in the same row, which the next pixels wait for.
  static constexpr float kRight = ShareTo(kTable, 1, 0);
  static constexpr float kTwoRight = ShareTo(kTable, 2, 0);
  static_assert(kRight > 0.0f && ShareTo(kTable, 3, 0) == 0.0f,
                "a share to the next pixel, none further than two");

  const FrameDescription& frame;
  const ImageView& input;
  const ImageView& output;
  const Workers& workers;
  std::int32_t width, height;
  std::int64_t ringRows, stride;  // stride: entries a ring row holds, the width plus the reach each side
  std::unique_ptr<F4[]> ring;
  Progress finished;  // per row: columns done (set for a group's last row)
  std::atomic<std::int32_t> nextRow{0};

  F4* Row(std::int64_t y) const { return ring.get() + (y % ringRows) * stride + kReach; }

  // The pixels' colours, or black where a pixel is transparent; past the last row, black.
  void Load(std::int32_t y) const {
    F4* entries = Row(y) - kReach;
    std::fill_n(entries, stride, F4{});
    if (y >= height) return;
    const Pixel* in = input.row<Pixel>(y);
    for (std::int32_t x = 0; x < width; ++x) {
      if (!Transparent(in[x])) entries[kReach + x] = lanes4::From(PixelToColor(in[x]));
    }
  }

  // The palette colour of c, by the frame's rule, with the fourth lane zero.
  F4 QuantizeLanes(F4 c) const {
    const Palette& palette = frame.palette;
    switch (palette.rule) {
      case QuantizeRule::RgbCube: {
        const F4 divisor{palette.levels, palette.levels, palette.levels, 1.0f};
        return RoundHalfAway(c * lanes4::Splat(palette.levels)) / divisor;
      }
      case QuantizeRule::NearestColor: {
        const std::int32_t index = palette.search->find(lanes4::ToColor(c));
        return index < 0 ? c : lanes4::From(palette.search->colors()[static_cast<std::size_t>(index)]);
      }
      case QuantizeRule::GreyRamp:
      case QuantizeRule::Black:
        break;
    }
    Color3 q;
    return lanes4::From(Quantize(palette, q, lanes4::ToColor(c)));
  }

  // A group of rows walked together by one worker, each row kLag columns behind the one above: the same
  // order as rows on separate workers, but the rows' chains of dependent operations (each pixel waits for
  // the error of the pixel before it) are independent, so the processor overlaps them. The shares to the
  // right are carried in registers rather than stored and loaded back: `next` is the next pixel's entry
  // and `afterNext` the one after, each taken from the ring once the rows above are done with it and added
  // to in the serial walk's order (the pixel two back first, then the pixel before).
  struct RowInFlight {
    F4* rows[3];  // this row and the two below it, in the ring
    const Pixel* in;
    Pixel* out;  // null where the output has no such row
    F4 next;
    F4 afterNext;
  };

  void Diffuse(RowInFlight& row, std::int32_t x, std::int32_t outputWidth) const {
    if (x == 0) {
      row.next = row.rows[0][0];
      row.afterNext = row.rows[0][1];
    }
    const F4 c = row.next;
    const F4 q = QuantizeLanes(c);
    if constexpr (kDepthOf<Pixel> == PixelDepth::ThirtyTwo) {
      if (row.out != nullptr && x < outputWidth) StoreColor(row.out[x], lanes4::ToColor(q), row.in[x].alpha);
    } else if (row.out != nullptr && x < outputWidth) {
      using Channel = decltype(Pixel::red);
      const lanes4::I4 channels = lanes4::ToChannels(q, static_cast<float>(kFullScale<Pixel>));
      row.out[x] = Pixel{row.in[x].alpha, static_cast<Channel>(channels[0]),
                         static_cast<Channel>(channels[1]), static_cast<Channel>(channels[2])};
    }
    // From the palette colour as quantised, not from the channels just stored.
    const F4 error = c - q;
    if constexpr (kTwoRight > 0.0f) {
      row.next = row.afterNext + error * lanes4::Splat(kRight);
      row.afterNext = row.rows[0][x + 2] + error * lanes4::Splat(kTwoRight);
    } else {
      row.next = row.rows[0][x + 1] + error * lanes4::Splat(kRight);
    }
    for (const DiffusionEntry& share : kTable) {
      if (share.dy != 0) row.rows[share.dy][x + share.dx] += error * lanes4::Splat(share.weight);
    }
  }

  void DiffuseGroup(std::int32_t first, std::int32_t count) {
    RowInFlight group[kGroupRows];
    for (std::int32_t j = 0; j < count; ++j) {
      const std::int32_t y = first + j;
      group[j].rows[0] = Row(y);
      group[j].rows[1] = Row(y + 1);
      group[j].rows[2] = Row(y + 2);
      group[j].in = input.row<Pixel>(y);
      group[j].out = y < output.height ? output.row<Pixel>(y) : nullptr;
    }
    const std::int32_t outputWidth = std::min(width, output.width);
    const std::int32_t steps = width + (count - 1) * kLag;
    for (std::int32_t start = 0; start < steps; start += kStride) {
      const std::int32_t end = std::min(start + kStride, steps);
      // The group's first row takes columns up to `end`: the row above must have finished every column a
      // share could reach from there.
      if (first > 0 && !finished.waitFor(first - 1, std::min(end + 2 * kReach, width))) {
        finished.abandon(first + count - 1);
        return;
      }
      for (std::int32_t step = start; step < end; ++step) {
        for (std::int32_t j = 0; j < count; ++j) {
          const std::int32_t x = step - j * kLag;
          if (x >= 0 && x < width) Diffuse(group[j], x, outputWidth);
        }
      }
      finished.publish(first + count - 1, std::clamp(end - (count - 1) * kLag, 0, width));
    }
  }

  void Work(std::int32_t worker) {
    for (;;) {
      if (finished.stopping()) return;
      // Acquire and release: the rows this group loads into reuse ring rows that the worker of an earlier
      // group wrote last, and that worker took its next group (this same counter) only after finishing
      // them; without the ordering nothing makes its writes happen before this worker's loads.
      const std::int32_t first = nextRow.fetch_add(kGroupRows, std::memory_order_acq_rel);
      if (first >= height) return;
      const std::int32_t count = std::min(kGroupRows, height - first);
      if (!workers.going(worker, first, height)) {
        finished.abandon(first + count - 1);
        return;
      }
      for (std::int32_t j = 0; j < count; ++j) Load(first + j + kRowsDown);
      DiffuseGroup(first, count);
    }
  }
};

template <typename Pixel, const auto& kTable>
bool Diffuse(const FrameDescription& frame, const ImageView& input, const ImageView& output,
             const Workers& workers) {
  using Run = Wavefront<Pixel, kTable>;
  const std::int32_t lanes = std::max<std::int32_t>(1, workers.count);
  // Rows finish in order, so when a worker takes a group every row more than `lanes` groups back is done:
  // the ring needs the rows of `lanes` groups in flight and the rows their shares reach.
  const std::int64_t ringRows = std::int64_t{lanes} * Run::kGroupRows + Run::kRowsDown;
  const std::int64_t stride = std::int64_t{std::max(input.width, 0)} + 2 * Run::kReach;
  // Asked for before any pixel is read: a frame too large for memory fails here, untouched.
  std::unique_ptr<lanes4::F4[]> ring = NewWorkRows<lanes4::F4>(ringRows, stride);
  if (!Walkable<Pixel>(input, output)) return true;
  Run run{frame,        input,    output, workers,         input.width,
          input.height, ringRows, stride, std::move(ring), Progress(input.height)};
  for (std::int32_t y = 0; y < Run::kRowsDown; ++y) run.Load(y);
  return WalkOnWorkers(run, workers, lanes, input.height);
}

// The same walk with the rows of a band in the lanes of the instruction set's vectors (see
// diffusion_bands.inc): bands go to the workers in order, each trailing the band above far enough that the
// shares it adds to its spill rows are complete before it reads them. Bands finish in order too, so the
// spill rows form a ring of one set for each band in flight and one for the band they feed.
template <typename Pixel, const auto& kTable>
struct Bands {
  static constexpr int kLag = BandLag(kTable);

  const FrameDescription& frame;
  const ImageView& input;
  const ImageView& output;
  const Workers& workers;
  BandFunction band;
  std::int32_t lanes;  // rows a band
  std::int32_t bandCount;
  std::int32_t spillSets;
  std::int64_t spillLength;  // entries a spill set: the width plus a lag
  std::unique_ptr<SpillEntry[]> spill;
  Progress finished;  // per band: the steps done
  std::atomic<std::int32_t> nextBand{0};

  struct Context {
    Bands* run;
    std::int32_t band;
  };

  SpillEntry* Spill(std::int32_t b) const { return spill.get() + (b % spillSets) * spillLength; }

  // The entries of rows `first` and `first` + 1 as they start: the pixels' colours, black where a pixel is
  // transparent or missing (and for the second row of a table that reaches one row down).
  void FillSpill(SpillEntry* to, std::int32_t first) const {
    for (std::int64_t i = 0; i < spillLength; ++i) {
      for (std::int32_t k = 0; k < 2; ++k) {
        const std::int64_t x = i - k * kLag;
        const std::int32_t y = first + k;
        Color3 c(0.0f);
        if (k < RowsDown(kTable) && y < input.height && x >= 0 && x < input.width) {
          const Pixel& pixel = input.row<Pixel>(y)[x];
          if (!Transparent(pixel)) c = PixelToColor(pixel);
        }
        to[i].r[k] = c.r;
        to[i].g[k] = c.g;
        to[i].b[k] = c.b;
      }
    }
  }

  void Work(std::int32_t worker) {
    for (;;) {
      if (finished.stopping()) return;
      // Acquire and release: the spill set this band fills was read last by a band another worker ran, and
      // that worker took its next band (this same counter) only after finishing it.
      const std::int32_t b = nextBand.fetch_add(1, std::memory_order_acq_rel);
      if (b >= bandCount) return;
      const std::int32_t first = b * lanes;
      if (!workers.going(worker, first, input.height)) {
        finished.abandon(b);
        return;
      }
      if (b + 1 < bandCount) FillSpill(Spill(b + 1), first + lanes);
      Context context{this, b};
      BandJob job;
      job.palette = &frame.palette;
      job.in = reinterpret_cast<const unsigned char*>(input.row<Pixel>(first));
      job.inRowBytes = input.rowBytes;
      job.out = reinterpret_cast<unsigned char*>(output.row<Pixel>(std::min(first, output.height)));
      job.outRowBytes = output.rowBytes;
      job.outRows = output.height - first;
      job.outWidth = output.width;
      job.width = input.width;
      job.rows = std::min(lanes, input.height - first);
      job.spillIn = Spill(b);
      job.spillOut = b + 1 < bandCount ? Spill(b + 1) : nullptr;
      job.context = &context;
      if (b > 0) {
        job.waitAbove = [](void* c, std::int64_t step) {
          const auto& self = *static_cast<Context*>(c);
          return self.run->finished.waitFor(self.band - 1, step);
        };
      }
      job.publish = [](void* c, std::int64_t step) {
        const auto& self = *static_cast<Context*>(c);
        self.run->finished.publish(self.band, step);
      };
      band(job);
      if (finished.stopping()) {
        finished.abandon(b);
        return;
      }
      finished.finish(b);
    }
  }
};

template <typename Pixel, const auto& kTable>
bool DiffuseInBands(const FrameDescription& frame, const ImageView& input, const ImageView& output,
                    const Workers& workers, BandFunction band, std::int32_t lanes) {
  using Run = Bands<Pixel, kTable>;
  const std::int32_t bandsInFlight = std::max<std::int32_t>(1, workers.count);
  const std::int64_t spillLength = std::int64_t{std::max(input.width, 0)} + Run::kLag;
  // Asked for before any pixel is read: a frame too large for memory fails here, untouched.
  std::unique_ptr<SpillEntry[]> spill = NewWorkRows<SpillEntry>(bandsInFlight + 1, spillLength);
  if (!Walkable<Pixel>(input, output)) return true;
  const std::int32_t bandCount = static_cast<std::int32_t>((std::int64_t{input.height} + lanes - 1) / lanes);
  Run run{frame,
          input,
          output,
          workers,
          band,
          lanes,
          bandCount,
          bandsInFlight + 1,
          spillLength,
          std::move(spill),
          Progress(bandCount)};
  run.FillSpill(run.Spill(0), 0);
  return WalkOnWorkers(run, workers, bandsInFlight, input.height);
}

// The band function of an instruction set for one table and depth, and the rows it walks at once; none
// for the baseline build. AVX-512 takes the AVX2 bands: wider vectors would only put more rows in flight.
template <typename Pixel, const auto& kTable>
std::pair<BandFunction, std::int32_t> BandsFor(Isa isa) {
  constexpr PixelDepth kDepth = kDepthOf<Pixel>;
  switch (isa) {
    case Isa::Scalar:
      break;
    case Isa::Sse4:
      return {kDepth == PixelDepth::Eight     ? isa_sse4::Band8<kTable>
              : kDepth == PixelDepth::Sixteen ? isa_sse4::Band16<kTable>
                                              : isa_sse4::Band32<kTable>,
              4};
    case Isa::Avx2:
    case Isa::Avx512:
      return {kDepth == PixelDepth::Eight     ? isa_avx2::Band8<kTable>
              : kDepth == PixelDepth::Sixteen ? isa_avx2::Band16<kTable>
                                              : isa_avx2::Band32<kTable>,
              8};
  }
  return {nullptr, 0};
}

}  // namespace diffusion

template <typename Pixel, const auto& kTable>
bool DiffuseError(const FrameDescription& frame, const ImageView& input, const ImageView& output,
                  const Workers& workers) {
  const auto [band, lanes] = diffusion::BandsFor<Pixel, kTable>(frame.isa);
  // The bands count columns and address a band's pixels in 32-bit lanes; a frame too wide for that, or
  // with rows too far apart, walks row by row.
  const std::int64_t rowBytes = input.rowBytes < 0 ? -std::int64_t{input.rowBytes} : input.rowBytes;
  if (band != nullptr && input.width < (1 << 26) && rowBytes < (std::int64_t{1} << 27)) {
    return diffusion::DiffuseInBands<Pixel, kTable>(frame, input, output, workers, band, lanes);
  }
  return diffusion::Diffuse<Pixel, kTable>(frame, input, output, workers);
}
