// The fill utility: one colour into a rectangle of a world, at the world's own depth.
#include "minihost/host_impl.h"
#include "minihost/world_access.h"

namespace minihost {
namespace {

// An 8-bit channel on the deep scale 0..32768, rounded to nearest.
A_u_short Widen(A_u_char value) { return static_cast<A_u_short>((value * PF_MAX_CHAN16 + 127) / 255); }

template <typename Pixel>
void FillRect(const PF_EffectWorld& world, const PF_Rect& rect, const Pixel& value) {
  for (A_long y = rect.top; y < rect.bottom; ++y) {
    Pixel* row = PixelAt<Pixel>(world, 0, y);
    for (A_long x = rect.left; x < rect.right; ++x) row[x] = value;
  }
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
  const PF_Rect area = ClipRect(rect != nullptr ? *rect : PF_Rect{0, 0, world->width, world->height},
                                world->width, world->height);
  if (area.right <= area.left || area.bottom <= area.top) return PF_Err_NONE;
  if (deep) {
    FillRect(*world, area,
             PF_Pixel16{Widen(value.alpha), Widen(value.red), Widen(value.green), Widen(value.blue)});
  } else {
    FillRect(*world, area, value);
  }
  return PF_Err_NONE;
}

}  // namespace minihost
