#include <iterator>

#include "render/diffusion_tables.h"
#include "render/dither_matrices.h"
#include "render/error_diffusion.h"
#include "render/kernel.h"
#include "render/ordered_dither.h"
#include "render/plain_threshold.h"

namespace {

// Row i serves pattern i ("Pattern" value i + 1); each row is its own instantiation, so pattern, table or
// matrix, and depth are fixed at build time and chosen once per frame.
template <typename Pixel>
constexpr Kernel kKernelRows[] = {
    PlainThreshold<Pixel>,
    DiffuseError<Pixel, kFloydSteinberg>,
    DiffuseError<Pixel, kFalseFloydSteinberg>,
    DiffuseError<Pixel, kFilterLite>,
    DiffuseError<Pixel, kZhigangFan>,
    DiffuseError<Pixel, kShiauFan>,
    DiffuseError<Pixel, kJarvisJudiceNinke>,
    DiffuseError<Pixel, kStucki>,
    DiffuseError<Pixel, kBurkes>,
    DiffuseError<Pixel, kSierra>,
    DiffuseError<Pixel, kTwoRowSierra>,
    DiffuseError<Pixel, kAtkinson>,
    OrderedDither<Pixel, kBayer2x2>,
    OrderedDither<Pixel, kBayer3x3>,
    OrderedDither<Pixel, kBayer5x3>,
    OrderedDither<Pixel, kBayer4x4>,
    OrderedDither<Pixel, kBayer8x8>,
    OrderedDither<Pixel, kClusterDot4x4>,
    OrderedDither<Pixel, kClusterDot8x8>,
    OrderedDither<Pixel, kHorizontal2x2>,
    OrderedDither<Pixel, kHorizontal8x1>,
    OrderedDither<Pixel, kHorizontal12x4>,
    OrderedDither<Pixel, kVertical2x2>,
    OrderedDither<Pixel, kVertical1x8>,
    OrderedDither<Pixel, kVertical4x12>,
    OrderedDither<Pixel, kDiagonal5x5>,
};

static_assert(std::size(kKernelRows<PF_Pixel8>) == kPatternCount);
static_assert(std::size(kKernelRows<PF_Pixel16>) == kPatternCount);

}  // namespace

constinit const std::array<Kernel, kPatternCount> Kernels8 = std::to_array(kKernelRows<PF_Pixel8>);
constinit const std::array<Kernel, kPatternCount> Kernels16 = std::to_array(kKernelRows<PF_Pixel16>);
