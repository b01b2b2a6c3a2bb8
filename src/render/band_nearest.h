// For tests: the nearest-colour lookup the error-diffusion bands of an instruction set use, on its own.
#pragma once

#include <cstdint>

#include "palette/color.h"
#include "palette/nearest_color_search.h"
#include "render/isa.h"

// Writes for each of `count` colours the colour the bands quantise it to (with the grids for a palette
// that has a unit grid), for tests to hold against the reference scan. Defined in diffusion_bands.inc, for
// the sets with bands.
namespace isa_sse4 {
void BandNearest(const NearestColorSearch& search, const Color3* in, Color3* out, std::int32_t count);
}
namespace isa_avx2 {
void BandNearest(const NearestColorSearch& search, const Color3* in, Color3* out, std::int32_t count);
}

namespace diffusion {

using BandLookup = void (*)(const NearestColorSearch& search, const Color3* in, Color3* out,
                            std::int32_t count);

// The bands' lookup for an instruction set; none for the baseline build, which has no bands. AVX-512 takes
// the AVX2 bands.
inline BandLookup BandLookupFor(Isa isa) {
  switch (isa) {
    case Isa::Scalar:
      break;
    case Isa::Sse4:
      return isa_sse4::BandNearest;
    case Isa::Avx2:
    case Isa::Avx512:
      return isa_avx2::BandNearest;
  }
  return nullptr;
}

}  // namespace diffusion
