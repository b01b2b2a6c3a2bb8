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
#include <cstdint>
#include <memory>
#include <span>
#include <thread>

#include "render/diffusion_tables.h"
#include "render/kernel.h"
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
  static constexpr int kReach = Reach(kTable);
  static constexpr int kRowsDown = RowsDown(kTable);
  // Rows one worker walks together, and how far each trails the one above: far enough that a share of
  // the row above has reached every entry before this row's shares go there.
  static constexpr std::int32_t kGroupRows = 4;
  static constexpr std::int32_t kLag = 2 * kReach;

  const FrameDescription& frame;
  const ImageView& input;
  const ImageView& output;
  const Workers& workers;
  std::int32_t width, height;
  std::int64_t ringRows, stride;  // stride: entries a ring row holds, the width plus the reach each side
  std::unique_ptr<Color3[]> ring;
  std::unique_ptr<std::atomic<std::int32_t>[]> finished;  // per row: columns done
  std::atomic<std::int32_t> nextRow{0};
  std::atomic<bool> stop{false};

  Color3* Row(std::int64_t y) const { return ring.get() + (y % ringRows) * stride + kReach; }

  // The pixels' colours, or black where a pixel is transparent; past the last row, black.
  void Load(std::int32_t y) const {
    Color3* entries = Row(y) - kReach;
    std::fill_n(entries, stride, Color3(0.0f));
    if (y >= height) return;
    const Pixel* in = input.row<Pixel>(y);
    for (std::int32_t x = 0; x < width; ++x) {
      if (in[x].alpha != 0) entries[kReach + x] = PixelToColor(in[x]);
    }
  }

  // Waits until row y has finished `columns` columns; false when the run is stopping.
  bool WaitFor(std::int32_t y, std::int32_t columns) const {
    for (int spins = 0; finished[y].load(std::memory_order_acquire) < columns; ++spins) {
      if (stop.load(std::memory_order_relaxed)) return false;
      if (spins > 64) std::this_thread::yield();
    }
    return true;
  }

  // A group of rows walked together by one worker, each row kLag columns behind the one above: the same
  // order as rows on separate workers, but the rows' chains of dependent operations (each pixel waits for
  // the error of the pixel before it) are independent, so the processor overlaps them.
  //
  // The shares to the right in the same row are what the next pixel waits for, so they are carried in
  // registers rather than stored and loaded back: `next` is the next pixel's entry and `afterNext` the one
  // after it, each taken from the ring once the rows above have finished with it, and added to in the
  // serial walk's order (the pixel two back first, then the pixel before).
  static constexpr float kRight = ShareTo(kTable, 1, 0);
  static constexpr float kTwoRight = ShareTo(kTable, 2, 0);
  static_assert(kRight > 0.0f && ShareTo(kTable, 3, 0) == 0.0f, "a share to the next pixel, none further than two");

  struct RowInFlight {
    Color3* rows[3];  // this row and the two below it, in the ring
    const Pixel* in;
    Pixel* out;  // null where the output has no such row
    Color3 next;
    Color3 afterNext;
  };

  void Start(RowInFlight& row) const {
    row.next = row.rows[0][0];
    row.afterNext = row.rows[0][1];
  }

  void Diffuse(RowInFlight& row, std::int32_t x, std::int32_t outputWidth) const {
    const Color3 c = row.next;
    Color3 q;
    Quantize(frame.palette, q, c);
    if (row.out != nullptr && x < outputWidth) StoreColor(row.out[x], q, row.in[x].alpha);
    // From the palette colour as quantised, not from the channels just stored.
    const Color3 error = c - q;
    if constexpr (kTwoRight > 0.0f) {
      row.next = row.afterNext + error * kRight;
      row.afterNext = row.rows[0][x + 2] + error * kTwoRight;
    } else {
      row.next = row.rows[0][x + 1] + error * kRight;
    }
    for (const DiffusionEntry& share : kTable) {
      if (share.dy != 0) row.rows[share.dy][x + share.dx] += error * share.weight;
    }
  }

  void DiffuseGroup(std::int32_t first, std::int32_t count) {
    RowInFlight group[kGroupRows];
    for (std::int32_t j = 0; j < count; ++j) {
      const std::int32_t y = first + j;
      group[j] = {{Row(y), Row(y + 1), Row(y + 2)}, input.row<Pixel>(y), y < output.height ? output.row<Pixel>(y) : nullptr, {}, {}};
    }
    const std::int32_t outputWidth = std::min(width, output.width);
    const std::int32_t steps = width + (count - 1) * kLag;
    for (std::int32_t start = 0; start < steps; start += kStride) {
      const std::int32_t end = std::min(start + kStride, steps);
      // The group's first row takes columns up to `end`: the row above must have finished every column a
      // share could reach from there.
      if (first > 0 && !WaitFor(first - 1, std::min(end + 2 * kReach, width))) return;
      for (std::int32_t step = start; step < end; ++step) {
        for (std::int32_t j = 0; j < count; ++j) {
          const std::int32_t x = step - j * kLag;
          if (x < 0 || x >= width) continue;
          if (x == 0) Start(group[j]);
          Diffuse(group[j], x, outputWidth);
        }
      }
      finished[first + count - 1].store(std::clamp(end - (count - 1) * kLag, 0, width), std::memory_order_release);
    }
  }

  void Work(std::int32_t worker) {
    for (;;) {
      if (stop.load(std::memory_order_relaxed)) return;
      const std::int32_t first = nextRow.fetch_add(kGroupRows, std::memory_order_relaxed);
      if (first >= height) return;
      if (!workers.going(worker, first, height)) {
        stop.store(true, std::memory_order_relaxed);
        return;
      }
      const std::int32_t count = std::min(kGroupRows, height - first);
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
  std::unique_ptr<Color3[]> ring = NewWorkRows(ringRows, stride);
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
