// The catalogue of the 26 dither patterns the "Pattern" popup offers, in popup order: each row's label,
// its family, whether the pattern controls (offsets, scale, thresholds) shape it, and its kernel for each
// depth, with the reference per-pixel definition beside it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "render/diffusion_tables.h"
#include "render/dither_matrices.h"
#include "render/kernel.h"

enum class PatternFamily : std::uint8_t { Threshold, ErrorDiffusion, Ordered };

struct PatternRow {
  const char* label;
  PatternFamily family;
  const DitherMatrix* matrix;              // ordered patterns
  std::span<const DiffusionEntry> shares;  // error-diffusion patterns
  Kernel kernel8;
  Kernel kernel16;
  Kernel kernel32;  // float pixels

  // Offsets, scale and thresholds move only the ordered patterns.
  bool usesPatternControls() const { return family == PatternFamily::Ordered; }
};

inline constexpr std::size_t kPatternCount = 26;

extern const std::array<PatternRow, kPatternCount> PatternCatalogue;

// The index of the first ordered pattern: the patterns before it ignore the pattern controls.
std::size_t FirstOrderedPattern();

// The pattern by the reference per-pixel definitions, on the calling thread; for tests and as the fallback.
void RenderReference(const FrameDescription& frame, const ImageView& input, const ImageView& output);
