#include "render/render_command.h"

#include <cmath>
#include <limits>

#include "palette/palette_table.h"
#include "render/custom_palette_lock.h"
#include "render/kernel.h"
#include "render/param_indices.h"
#include "render/suite_cache.h"

namespace {

// Truncates toward zero; values beyond 32 bits saturate and NaN gives 0, so no host value can make the
// conversion undefined.
int32_t TruncateToInt32(double value) {
  if (std::isnan(value)) return 0;
  if (value <= static_cast<double>(std::numeric_limits<int32_t>::min())) return std::numeric_limits<int32_t>::min();
  if (value >= static_cast<double>(std::numeric_limits<int32_t>::max())) return std::numeric_limits<int32_t>::max();
  return static_cast<int32_t>(value);
}

// A slider percentage as a fraction: divided in double precision, then rounded once to single.
float PercentToFraction(double percent) { return static_cast<float>(percent / 100.0); }

bool InRange(int64_t index, std::size_t count) { return index >= 0 && static_cast<uint64_t>(index) < count; }

}  // namespace

void FillRenderSettings(RenderSettings& settings, PF_InData* inData, PF_ParamDef* params[]) {
  settings.inData = inData;
  settings.input = &params[kParamInput]->u.ld;
  settings.pattern = static_cast<int64_t>(params[kParamPattern]->u.pd.value - 1);
  settings.palette = static_cast<int64_t>(params[kParamSwatch]->u.pd.value - 1);
  settings.offsetX = TruncateToInt32(-params[kParamOffsetX]->u.fs_d.value);
  settings.offsetY = TruncateToInt32(params[kParamOffsetY]->u.fs_d.value);
  // Nearest integer, halves up; formed in 64 bits so the largest fixed values cannot overflow.
  settings.scale = (static_cast<int64_t>(params[kParamScale]->u.fd.value) + 0x8000) >> 16;
  settings.threshold = Color3(PercentToFraction(params[kParamThresholdRed]->u.fs_d.value),
                              PercentToFraction(params[kParamThresholdGreen]->u.fs_d.value),
                              PercentToFraction(params[kParamThresholdBlue]->u.fs_d.value));
}

PF_Err RenderCommand(PF_InData* inData, PF_ParamDef* params[], PF_EffectWorld* output) {
  SuiteCache suites(inData);
  RenderSettings settings;
  FillRenderSettings(settings, inData, params);

  CustomPaletteLock customPalette(suites.handles(), inData->sequence_data);
  settings.customColors = customPalette.list();
  if (settings.customColors != nullptr) {
    ColorListSpread(settings.customSpread, settings.customColors->data(), settings.customColors->size());
  }

  // A popup value outside its choices must never index a table: the frame stays cleared instead.
  const bool valid = InRange(settings.pattern, kPatternCount) && InRange(settings.palette, kPaletteCount);
  if (valid) {
    Color3 spread;
    PaletteTable[static_cast<std::size_t>(settings.palette)].spread(spread, settings);
    settings.threshold += spread;
  }

  inData->utils->fill(inData->effect_ref, nullptr, nullptr, output);
  if (!valid) throw PF_Err_BAD_CALLBACK_PARAM;

  const bool deep = (settings.input->world_flags & PF_WorldFlag_DEEP) != 0;
  const auto& kernels = deep ? Kernels16 : Kernels8;
  kernels[static_cast<std::size_t>(settings.pattern)](settings.input, output, settings);
  return PF_Err_NONE;
}
