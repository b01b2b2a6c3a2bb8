// The rows one pixel at a time, in the baseline build: what every CPU runs, and what the wider rows must
// equal.
#include "render/image_view.h"
#include "render/pixel_convert.h"
#include "render/vector_kernels.h"

namespace isa_scalar {
namespace {

template <typename Pixel>
void Row(const RowJob& job) {
  const auto* in = static_cast<const Pixel*>(job.in);
  auto* out = static_cast<Pixel*>(job.out);
  for (std::int32_t x = 0; x < job.count; ++x) {
    Color3 c = PixelToColor(in[x]);
    if (job.bias != nullptr) {
      c = BiasAndClamp(job.bias[x], job.threshold, c);
    }
    Color3 q;
    StoreColor(out[x], Quantize(*job.palette, q, c), in[x].alpha);
  }
}

}  // namespace

void Row8(const RowJob& job) { Row<Pixel8>(job); }
void Row16(const RowJob& job) { Row<Pixel16>(job); }
void Row32(const RowJob& job) { Row<PixelFloat>(job); }

}  // namespace isa_scalar
