// Error diffusion, rows as a wavefront over the workers. Each pixel's colour plus the error it has received
// goes to the palette and the difference is handed on to pixels not yet visited, as in a walk of the frame
// in scan order; but row y + 1 starts as soon as row y is far enough ahead. A row may take column c only
// when the row above has finished every column a share could reach from c, so every entry receives its
// shares in scan order and every float sum is the one the serial walk makes.
//
// The work rows form a ring of the few rows a table reaches plus those in flight, instead of an entry for
// every pixel: rows finish in order (each waits for the one above), so the rows far enough back are done
// and their slots free.
#pragma once

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <thread>

#include "render/diffusion_tables.h"
#include "render/kernel.h"
#include "render/lanes4.h"
#include "render/pixel_convert.h"
#include "render/work_buffer.h"

namespace diffusion {

// How far a table reaches: the widest column offset, and the most rows down.
template <std::size_t N>
constexpr int Reach(const std::array<DiffusionEntry, N>& table) {
  int reach = 0;
  for (const DiffusionEntry& e : table) reach = std::max(reach, e.dx < 0 ? -e.dx : static_cast<int>(e.dx));
  return reach;
}
template <std::size_t N>
constexpr int RowsDown(const std::array<DiffusionEntry, N>& table) {
  int rows = 0;
  for (const DiffusionEntry& e : table) rows = std::max(rows, static_cast<int>(e.dy));
  return rows;
}

// The weight of the share to (dx, dy), or 0 when the table has none.
template <std::size_t N>
constexpr float ShareTo(const std::array<DiffusionEntry, N>& table, int dx, int dy) {
  for (const DiffusionEntry& e : table) {
    if (e.dx == dx && e.dy == dy) return e.weight;
  }
  return 0.0f;
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
  std::unique_ptr<std::atomic<std::int32_t>[]>
      finished;  // per row: columns done (set for a group's last row)
  std::atomic<std::int32_t> nextRow{0};
  std::atomic<bool> stop{false};
  std::atomic<std::int32_t> sleepers{0};  // workers asleep in WaitFor
  std::mutex sleep{};
  std::condition_variable wake{};

  F4* Row(std::int64_t y) const { return ring.get() + (y % ringRows) * stride + kReach; }

  // The pixels' colours, or black where a pixel is transparent; past the last row, black.
  void Load(std::int32_t y) const {
    F4* entries = Row(y) - kReach;
    std::fill_n(entries, stride, F4{});
    if (y >= height) return;
    const Pixel* in = input.row<Pixel>(y);
    for (std::int32_t x = 0; x < width; ++x) {
      if (in[x].alpha != 0) entries[kReach + x] = lanes4::From(PixelToColor(in[x]));
    }
  }

  // Waits until row y has finished `columns` columns; false when the run is stopping. A short spin first
  // (the row above is usually just ahead), then sleep: on a host whose cores are busy with other frames a
  // spinning worker would take time from the one it waits for. (A mutex and condition variable rather than
  // atomic waits, which some C++ runtimes without futexes can miss a wake-up in.)
  bool WaitFor(std::int32_t y, std::int32_t columns) {
    for (int spins = 0; spins < 256; ++spins) {
      if (finished[y].load(std::memory_order_acquire) >= columns) return !stop.load();
    }
    std::unique_lock lock(sleep);
    sleepers.fetch_add(1);
    wake.wait(lock, [&] { return stop.load() || finished[y].load() >= columns; });
    sleepers.fetch_sub(1);
    return !stop.load();
  }

  // Publishes how far row y has got, waking sleepers only when there are any: a sleeper counts itself
  // before it looks at the row, so either it sees this store or this sees it.
  void Publish(std::int32_t y, std::int32_t columns) {
    finished[y].store(columns);
    if (sleepers.load() > 0) {
      { const std::lock_guard lock(sleep); }
      wake.notify_all();
    }
  }

  // The palette colour of c, by the frame's rule, with the fourth lane zero.
  F4 QuantizeLanes(F4 c) const {
    const Palette& palette = frame.palette;
    switch (palette.rule) {
      case QuantizeRule::RgbCube: {
        const F4 divisor{palette.levels, palette.levels, palette.levels, 1.0f};
        return lanes4::RoundHalfAway(c * lanes4::Splat(palette.levels)) / divisor;
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
    if (row.out != nullptr && x < outputWidth) {
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
      if (first > 0 && !WaitFor(first - 1, std::min(end + 2 * kReach, width))) {
        Abandon(first + count - 1);
        return;
      }
      for (std::int32_t step = start; step < end; ++step) {
        for (std::int32_t j = 0; j < count; ++j) {
          const std::int32_t x = step - j * kLag;
          if (x >= 0 && x < width) Diffuse(group[j], x, outputWidth);
        }
      }
      Publish(first + count - 1, std::clamp(end - (count - 1) * kLag, 0, width));
    }
  }

  // A worker that gives up lets whoever waits on its last row see the stop.
  void Abandon(std::int32_t lastRow) {
    stop.store(true);
    Publish(lastRow, width);
  }

  void Work(std::int32_t worker) {
    for (;;) {
      if (stop.load(std::memory_order_relaxed)) return;
      // Acquire and release: the rows this group loads into reuse ring rows that the worker of an earlier
      // group wrote last, and that worker took its next group (this same counter) only after finishing
      // them; without the ordering nothing makes its writes happen before this worker's loads.
      const std::int32_t first = nextRow.fetch_add(kGroupRows, std::memory_order_acq_rel);
      if (first >= height) return;
      const std::int32_t count = std::min(kGroupRows, height - first);
      if (!workers.going(worker, first, height)) {
        Abandon(first + count - 1);
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
  if (input.depth != output.depth || input.width <= 0 || input.height <= 0 || !input.rowsHoldWidth<Pixel>() ||
      !output.rowsHoldWidth<Pixel>()) {
    return true;
  }
  Run run{
      frame,           input,
      output,          workers,
      input.width,     input.height,
      ringRows,        stride,
      std::move(ring), std::make_unique<std::atomic<std::int32_t>[]>(static_cast<std::size_t>(input.height))};
  for (std::int32_t y = 0; y < Run::kRowsDown; ++y) run.Load(y);
  workers.forEach(
      lanes,
      [](void* context, std::int32_t worker, std::int32_t) { static_cast<Run*>(context)->Work(worker); },
      &run);
  return !run.stop.load() && workers.going(0, input.height, input.height);
}

}  // namespace diffusion

template <typename Pixel, const auto& kTable>
bool DiffuseError(const FrameDescription& frame, const ImageView& input, const ImageView& output,
                  const Workers& workers) {
  return diffusion::Diffuse<Pixel, kTable>(frame, input, output, workers);
}
