#include "render/reference_kernels.h"

#include <algorithm>

#include "render/work_buffer.h"

namespace reference {

template <typename Pixel>
void DiffuseError(const FrameDescription& frame, std::span<const DiffusionEntry> table,
                  const ImageView& input, const ImageView& output) {
  const std::int32_t width = input.width;
  const std::int32_t height = input.height;
  // One entry for every pixel of the input, asked for before any pixel is read.
  const std::unique_ptr<Color3[]> buffer = NewWorkRows(height, width);
  if (!Renderable<Pixel>(input, output) || width <= 0 || height <= 0) return;

  const auto columns = static_cast<std::uint64_t>(width);
  const auto rows = static_cast<std::uint64_t>(height);
  for (std::int32_t y = 0; y < height; ++y) {
    const Pixel* in = input.row<Pixel>(y);
    for (std::int32_t x = 0; x < width; ++x) {
      // A transparent pixel starts black; its colour channels play no part.
      buffer[static_cast<std::uint64_t>(y) * columns + static_cast<std::uint64_t>(x)] =
          Transparent(in[x]) ? Color3(0.0f) : PixelToColor(in[x]);
    }
  }
  for (std::int32_t y = 0; y < height; ++y) {
    const bool rowInOutput = y < output.height;
    for (std::int32_t x = 0; x < width; ++x) {
      const Color3 c = buffer[static_cast<std::uint64_t>(y) * columns + static_cast<std::uint64_t>(x)];
      Color3 q;
      QuantizeReference(frame.palette, q, c);
      if (rowInOutput && x < output.width) StoreColor(output.at<Pixel>(x, y), q, input.at<Pixel>(x, y).alpha);
      // From the palette colour as quantised, not from the channels just stored.
      const Color3 error = c - q;
      for (const DiffusionEntry& share : table) {
        // A sum left of column 0 wraps far beyond the width, so one unsigned test per axis suffices.
        const auto tx = static_cast<std::uint64_t>(std::int64_t{x} + share.dx);
        const auto ty = static_cast<std::uint64_t>(std::int64_t{y} + share.dy);
        if (tx < columns && ty < rows) buffer[ty * columns + tx] += error * share.weight;
      }
    }
  }
}

template void DiffuseError<Pixel8>(const FrameDescription&, std::span<const DiffusionEntry>, const ImageView&,
                                   const ImageView&);
template void DiffuseError<Pixel16>(const FrameDescription&, std::span<const DiffusionEntry>,
                                    const ImageView&, const ImageView&);
template void DiffuseError<PixelFloat>(const FrameDescription&, std::span<const DiffusionEntry>,
                                       const ImageView&, const ImageView&);

}  // namespace reference
