#include "render/kernel.h"
#include "render/plain_threshold.h"

namespace {

// Patterns whose kernels are not built yet: a frame that asks for one ends with an error instead of
// quietly falling back to another pattern.
PF_Err NotBuilt(PF_EffectWorld*, PF_EffectWorld*, RenderSettings&) { throw PF_Err_BAD_CALLBACK_PARAM; }

template <typename Pixel>
constexpr std::array<Kernel, kPatternCount> MakeKernelTable() {
  std::array<Kernel, kPatternCount> table{};
  table.fill(NotBuilt);
  table[0] = PlainThreshold<Pixel>;
  return table;
}

}  // namespace

const std::array<Kernel, kPatternCount> Kernels8 = MakeKernelTable<PF_Pixel8>();
const std::array<Kernel, kPatternCount> Kernels16 = MakeKernelTable<PF_Pixel16>();
