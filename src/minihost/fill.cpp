// The fill utility: one colour into a rectangle of a world, at the world's own depth.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>

#include "minihost/host_impl.h"
#include "minihost/thread_pool.h"
#include "minihost/world_access.h"

namespace minihost {
namespace {

// An 8-bit channel on the deep scale 0..32768, rounded to nearest.
A_u_short Widen(A_u_char value) { return static_cast<A_u_short>((value * PF_MAX_CHAN16 + 127) / 255); }

template <typename Pixel>
void FillRect(const PF_EffectWorld& world, const PF_Rect& rect, const Pixel& value) {
  const Pixel zero{};
  const bool clear = std::memcmp(&value, &zero, sizeof value) == 0;
  const auto count = static_cast<std::size_t>(rect.right - rect.left);
  for (A_long y = rect.top; y < rect.bottom; ++y) {
    Pixel* row = PixelAt<Pixel>(world, rect.left, y);
    if (clear) {
      std::memset(row, 0, count * sizeof(Pixel));
    } else {
      std::fill_n(row, count, value);
    }
  }
}

// Part `part` of `parts` of the rows of `rect`, the parts as even as whole rows allow.
PF_Rect RowsPart(const PF_Rect& rect, unsigned part, unsigned parts) {
  const std::int64_t rows = rect.bottom - rect.top;
  PF_Rect piece = rect;
  piece.top = rect.top + static_cast<A_long>(rows * part / parts);
  piece.bottom = rect.top + static_cast<A_long>(rows * (part + 1) / parts);
  return piece;
}

}  // namespace

PF_Err Fill(PF_ProgPtr effectRef, const PF_Pixel* color, const PF_Rect* rect, PF_EffectWorld* world) {
  Host::Impl* impl = ImplFor(effectRef);
  if (world == nullptr) {
    if (impl != nullptr) impl->problem("fill with no world");
    return PF_Err_BAD_CALLBACK_PARAM;
  }
  const bool deep = IsDeep(*world);
  if (!WorldAddressable(*world, deep ? sizeof(PF_Pixel16) : sizeof(PF_Pixel8))) {
    if (impl != nullptr) impl->problem("fill of a world whose size, rowbytes or data are unusable");
    return PF_Err_BAD_CALLBACK_PARAM;
  }
  // No colour means transparent black; no rectangle means the whole world.
  const PF_Pixel8 value = color != nullptr ? *color : PF_Pixel8{0, 0, 0, 0};
  const PF_Pixel16 deepValue{Widen(value.alpha), Widen(value.red), Widen(value.green), Widen(value.blue)};
  const PF_Rect area = ClipRect(rect != nullptr ? *rect : PF_Rect{0, 0, world->width, world->height},
                                world->width, world->height);
  if (area.right <= area.left || area.bottom <= area.top) return PF_Err_NONE;

  const auto fillRows = [&](const PF_Rect& rows) {
    if (deep) {
      FillRect(*world, rows, deepValue);
    } else {
      FillRect(*world, rows, value);
    }
  };
  // The rows are shared out over the host's threads, as iterate shares out its rows. A fill made while the
  // pool is in use (from inside an iteration, or on another thread), or when no pool can be had, is done on
  // the calling thread alone: nothing may be thrown back into the effect.
  const unsigned threads = impl != nullptr ? impl->threadCount() : 1;
  bool ran = false;
  if (threads > 1 && area.bottom - area.top > 1) {
    try {
      const std::function<void(unsigned)> task = [&](unsigned thread) {
        fillRows(RowsPart(area, thread, threads));
      };
      const std::shared_ptr<ThreadPool> pool = impl->poolFor(threads);
      ran = pool != nullptr && pool->tryRun(task);
    } catch (...) {
      // no pool: filled alone below
    }
  }
  if (!ran) fillRows(area);
  return PF_Err_NONE;
}

}  // namespace minihost
