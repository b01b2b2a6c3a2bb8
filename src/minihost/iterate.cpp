// iterate and iterate16: a pixel function over a rectangle of the destination, split over the host's
// worker threads, in row order or in a seeded shuffled order, with progress reports and cancellation.
#include <algorithm>
#include <atomic>
#include <new>
#include <numeric>
#include <string>
#include <vector>

#include "minihost/host_impl.h"
#include "minihost/shuffle.h"
#include "minihost/thread_pool.h"
#include "minihost/world_access.h"

namespace minihost {
namespace {

// The numbers 0..count-1 in an order fixed by the seed (Fisher-Yates).
std::vector<uint32_t> ShuffledIndices(uint32_t count, uint64_t seed) {
  std::vector<uint32_t> indices(count);
  std::iota(indices.begin(), indices.end(), 0u);
  uint64_t state = seed;
  for (uint32_t i = count; i > 1; --i) {
    const auto j = static_cast<uint32_t>(SplitMix64(state) % i);
    std::swap(indices[i - 1], indices[j]);
  }
  return indices;
}

template <typename Pixel>
using PixelFunc = PF_Err (*)(void* refcon, A_long x, A_long y, Pixel* in, Pixel* out);

// One iterate call. The work is `units` equal parts handed out one at a time: a row each in row order,
// or `width` pixels of the shuffled sequence each in shuffled order, so either way a part is a row's worth.
template <typename Pixel>
struct IterateJob {
  const PF_EffectWorld* src;
  const PF_EffectWorld* dst;
  PF_Rect area;
  void* refcon;
  PixelFunc<Pixel> pixFn;
  std::vector<uint32_t> shuffled;  // empty in row order
  A_long width = 0;
  A_long units = 0;
  A_long progressScale = 1;  // progress counts rows in row order, pixels in shuffled order

  std::atomic<A_long> next{0};
  std::atomic<A_long> done{0};
  std::atomic<bool> stop{false};
  std::atomic<PF_Err> error{PF_Err_NONE};
  // Touched only by the calling thread.
  bool cancelled = false;
  A_long lastReported = 0;

  PF_Err visit(A_long x, A_long y) const {
    Pixel* out = PixelAt<Pixel>(*dst, x, y);
    Pixel* in = src != nullptr ? PixelAt<Pixel>(*src, x, y) : out;
    return pixFn(refcon, x, y, in, out);
  }

  PF_Err runUnit(A_long unit) const {
    if (shuffled.empty()) {
      const A_long y = area.top + unit;
      for (A_long x = area.left; x < area.right; ++x) {
        if (PF_Err err = visit(x, y)) return err;
      }
      return PF_Err_NONE;
    }
    const std::size_t first = static_cast<std::size_t>(unit) * static_cast<std::size_t>(width);
    for (std::size_t k = first; k < first + static_cast<std::size_t>(width); ++k) {
      const auto index = static_cast<A_long>(shuffled[k]);
      if (PF_Err err = visit(area.left + index % width, area.top + index / width)) return err;
    }
    return PF_Err_NONE;
  }

  void fail(PF_Err err) {
    PF_Err none = PF_Err_NONE;
    error.compare_exchange_strong(none, err);
    stop.store(true);
  }

  // Takes parts until none is left or the work is stopped. Only the calling thread reports progress.
  void work(Host::Impl& impl, const std::function<bool(A_long, A_long)>* progress) {
    Host::Scope scope(impl.owner);
    try {
      while (!stop.load(std::memory_order_relaxed)) {
        const A_long unit = next.fetch_add(1);
        if (unit >= units) break;
        if (PF_Err err = runUnit(unit)) {
          fail(err);
          break;
        }
        const A_long completed = done.fetch_add(1) + 1;
        if (progress != nullptr && !report(*progress, completed)) break;
      }
    } catch (...) {
      impl.problem("an exception escaped a pixel function or the progress function");
      fail(PF_Err_INTERNAL_STRUCT_DAMAGED);
    }
  }

  bool report(const std::function<bool(A_long, A_long)>& progress, A_long completed) {
    lastReported = completed;
    if (progress(completed * progressScale, units * progressScale)) return true;
    cancelled = true;
    stop.store(true);
    return false;
  }
};

template <typename Pixel>
PF_Err IterateWorld(PF_InData* inData, PF_EffectWorld* src, const PF_Rect* area, void* refcon,
                    PixelFunc<Pixel> pixFn, PF_EffectWorld* dst) {
  constexpr bool kDeep = sizeof(Pixel) == sizeof(PF_Pixel16);
  const char* const name = kDeep ? "iterate16" : "iterate";
  Host::Impl* impl = ImplFor(inData != nullptr ? inData->effect_ref : nullptr);
  if (impl == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
  if (dst == nullptr || pixFn == nullptr) {
    impl->problem(std::string(name) + " with no destination world or no pixel function");
    return PF_Err_BAD_CALLBACK_PARAM;
  }
  if (IsDeep(*dst) != kDeep || (src != nullptr && IsDeep(*src) != kDeep)) {
    impl->problem(std::string(name) + " on " + (kDeep ? "an 8-bit" : "a 16-bit") + " world");
    return PF_Err_BAD_CALLBACK_PARAM;
  }
  if (!WorldAddressable(*dst, sizeof(Pixel)) || (src != nullptr && !WorldAddressable(*src, sizeof(Pixel)))) {
    impl->problem(std::string(name) + " on a world whose size, rowbytes or data are unusable");
    return PF_Err_BAD_CALLBACK_PARAM;
  }

  // Only pixels present in both worlds are visited.
  const A_long width = src != nullptr ? std::min(dst->width, src->width) : dst->width;
  const A_long height = src != nullptr ? std::min(dst->height, src->height) : dst->height;
  const PF_Rect rect = ClipRect(area != nullptr ? *area : PF_Rect{0, 0, width, height}, width, height);
  if (rect.right <= rect.left || rect.bottom <= rect.top) return PF_Err_NONE;

  IterateSettings settings = impl->iterateSettings();
  IterateJob<Pixel> job;
  job.src = src;
  job.dst = dst;
  job.area = rect;
  job.refcon = refcon;
  job.pixFn = pixFn;
  job.width = rect.right - rect.left;
  job.units = rect.bottom - rect.top;
  if (settings.order == IterateOrder::Shuffled) {
    job.shuffled =
        ShuffledIndices(static_cast<uint32_t>(job.width) * static_cast<uint32_t>(job.units), settings.seed);
    job.progressScale = job.width;
  }

  const std::function<bool(A_long, A_long)>* progress = settings.progress ? &settings.progress : nullptr;
  const std::function<void(unsigned)> task = [&](unsigned thread) {
    job.work(*impl, thread == 0 ? progress : nullptr);
  };
  bool ran = false;
  if (settings.threads > 1 && job.units > 1) {
    std::shared_ptr<ThreadPool> pool = impl->poolFor(settings.threads);
    ran = pool != nullptr && pool->tryRun(task);
  }
  if (!ran) task(0);

  // Parts finished by the workers after the caller's last report still count.
  if (progress != nullptr && !job.cancelled && job.error.load() == PF_Err_NONE &&
      job.lastReported < job.units) {
    job.report(*progress, job.units);
  }
  if (PF_Err err = job.error.load()) return err;
  return job.cancelled ? PF_Interrupt_CANCEL : PF_Err_NONE;
}

// Nothing may be thrown back into the effect: allocation failures and exceptions from a progress
// function end the call with an error instead.
template <typename Pixel>
PF_Err IterateGuarded(PF_InData* inData, PF_EffectWorld* src, const PF_Rect* area, void* refcon,
                      PixelFunc<Pixel> pixFn, PF_EffectWorld* dst) {
  try {
    return IterateWorld<Pixel>(inData, src, area, refcon, pixFn, dst);
  } catch (const std::bad_alloc&) {
    return PF_Err_OUT_OF_MEMORY;
  } catch (...) {
    if (Host::Impl* impl = ImplFor(inData != nullptr ? inData->effect_ref : nullptr)) {
      impl->problem("an exception escaped the progress function");
    }
    return PF_Err_INTERNAL_STRUCT_DAMAGED;
  }
}

}  // namespace

PF_Err Iterate8(PF_InData* inData, A_long, A_long, PF_EffectWorld* src, const PF_Rect* area, void* refcon,
                PF_IteratePixel8Func pixFn, PF_EffectWorld* dst) {
  return IterateGuarded<PF_Pixel8>(inData, src, area, refcon, pixFn, dst);
}

PF_Err Iterate16(PF_InData* inData, A_long, A_long, PF_EffectWorld* src, const PF_Rect* area, void* refcon,
                 PF_IteratePixel16Func pixFn, PF_EffectWorld* dst) {
  return IterateGuarded<PF_Pixel16>(inData, src, area, refcon, pixFn, dst);
}

}  // namespace minihost
