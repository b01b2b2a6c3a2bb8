#include "render/pattern_catalogue.h"

#include "render/error_diffusion.h"
#include "render/reference_kernels.h"
#include "render/row_kernels.h"

namespace {

constexpr PatternRow Threshold(const char* label) {
  return {label,
          PatternFamily::Threshold,
          nullptr,
          {},
          ThresholdRows<Pixel8>,
          ThresholdRows<Pixel16>,
          ThresholdRows<PixelFloat>};
}

template <const auto& kTable>
constexpr PatternRow Diffusion(const char* label) {
  return {label,
          PatternFamily::ErrorDiffusion,
          nullptr,
          kTable,
          DiffuseError<Pixel8, kTable>,
          DiffuseError<Pixel16, kTable>,
          DiffuseError<PixelFloat, kTable>};
}

template <const DitherMatrix& kMatrix>
constexpr PatternRow Ordered(const char* label) {
  return {label,
          PatternFamily::Ordered,
          &kMatrix,
          {},
          OrderedDither<Pixel8, kMatrix>,
          OrderedDither<Pixel16, kMatrix>,
          OrderedDither<PixelFloat, kMatrix>};
}

}  // namespace

// Row i is "Pattern" value i + 1; each kernel is its own instantiation, so table or matrix and depth are
// fixed at build time and chosen once per frame.
constinit const std::array<PatternRow, kPatternCount> PatternCatalogue = {{
    Threshold("Threshold"),
    Diffusion<kFloydSteinberg>("Floyd Steinberg"),
    Diffusion<kFalseFloydSteinberg>("False Floyd Steinberg"),
    Diffusion<kFilterLite>("Filter Lite"),
    Diffusion<kZhigangFan>("Zhigang Fan"),
    Diffusion<kShiauFan>("Shiau-Fan"),
    Diffusion<kJarvisJudiceNinke>("Jarvis, Judice & Ninke"),
    Diffusion<kStucki>("Stucki"),
    Diffusion<kBurkes>("Burkes"),
    Diffusion<kSierra>("Sierra"),
    Diffusion<kTwoRowSierra>("Two Row Sierra"),
    Diffusion<kAtkinson>("Atkinson"),
    Ordered<kBayer2x2>("Bayer 2x2"),
    Ordered<kBayer3x3>("Bayer 3x3"),
    Ordered<kBayer5x3>("Bayer 5x3"),
    Ordered<kBayer4x4>("Bayer 4x4"),
    Ordered<kBayer8x8>("Bayer 8x8"),
    Ordered<kClusterDot4x4>("Cluster Dot 4x4"),
    Ordered<kClusterDot8x8>("Cluster Dot 8x8"),
    Ordered<kHorizontal2x2>("Horizontal 2x2"),
    Ordered<kHorizontal8x1>("Horizontal 8x1"),
    Ordered<kHorizontal12x4>("Horizontal 12x4"),
    Ordered<kVertical2x2>("Vertical 2x2"),
    Ordered<kVertical1x8>("Vertical 1x8"),
    Ordered<kVertical4x12>("Vertical 4x12"),
    Ordered<kDiagonal5x5>("Diagonal 5x5"),
}};

std::size_t FirstOrderedPattern() {
  for (std::size_t i = 0; i < kPatternCount; ++i) {
    if (PatternCatalogue[i].family == PatternFamily::Ordered) return i;
  }
  return kPatternCount;
}

namespace {

template <typename Pixel>
void RenderReferenceAt(const PatternRow& row, const FrameDescription& frame, const ImageView& input,
                       const ImageView& output) {
  switch (row.family) {
    case PatternFamily::Threshold:
      return reference::Threshold<Pixel>(frame, input, output);
    case PatternFamily::Ordered:
      return reference::OrderedDither<Pixel>(frame, *row.matrix, input, output);
    case PatternFamily::ErrorDiffusion:
      return reference::DiffuseError<Pixel>(frame, row.shares, input, output);
  }
}

}  // namespace

void RenderReference(const FrameDescription& frame, const ImageView& input, const ImageView& output) {
  const PatternRow& row = PatternCatalogue[frame.pattern];
  switch (input.depth) {
    case PixelDepth::Eight:
      return RenderReferenceAt<Pixel8>(row, frame, input, output);
    case PixelDepth::Sixteen:
      return RenderReferenceAt<Pixel16>(row, frame, input, output);
    case PixelDepth::ThirtyTwo:
      return RenderReferenceAt<PixelFloat>(row, frame, input, output);
  }
}
