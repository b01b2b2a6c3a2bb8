// The dither kernels: one per pattern and depth, reached through two constant tables indexed by
// RenderSettings::pattern.
#pragma once

#include <array>
#include <cstddef>

#include "render/render_settings.h"

// Input world (read only), output world, the frame's settings. The render command ignores the result.
using Kernel = PF_Err (*)(PF_EffectWorld* input, PF_EffectWorld* output, RenderSettings& settings);

inline constexpr std::size_t kPatternCount = 26;

extern const std::array<Kernel, kPatternCount> Kernels8;
extern const std::array<Kernel, kPatternCount> Kernels16;
