#include "plugin/render_command.h"

#include <cmath>
#include <cstdio>
#include <limits>

#include "palette/palette.h"
#include "palette/palette_catalogue.h"
#include "plugin/host_workers.h"
#include "plugin/param_indices.h"
#include "plugin/render_sequence_data.h"
#include "plugin/suite_cache.h"
#include "render/pattern_catalogue.h"

namespace {

// Truncates toward zero; values beyond 32 bits saturate and NaN gives 0, so no host value can make the
// conversion undefined.
int32_t TruncateToInt32(double value) {
  if (std::isnan(value)) return 0;
  if (value <= static_cast<double>(std::numeric_limits<int32_t>::min()))
    return std::numeric_limits<int32_t>::min();
  if (value >= static_cast<double>(std::numeric_limits<int32_t>::max()))
    return std::numeric_limits<int32_t>::max();
  return static_cast<int32_t>(value);
}

// A slider percentage as a fraction: divided in double precision, then rounded once to single.
float PercentToFraction(double percent) { return static_cast<float>(percent / 100.0); }

bool InRange(int64_t index, std::size_t count) { return index >= 0 && static_cast<uint64_t>(index) < count; }

ImageView ViewOf(const PF_EffectWorld& world) {
  return ImageView{world.data, world.rowbytes, world.width, world.height,
                   (world.world_flags & PF_WorldFlag_DEEP) != 0 ? PixelDepth::Sixteen : PixelDepth::Eight};
}

}  // namespace

void FillRenderSettings(RenderSettings& settings, PF_ParamDef* params[]) {
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

bool DescribeFrame(const RenderSettings& settings, const RenderPalette& custom, FrameDescription& frame) {
  // A popup value outside its choices must never index a table: the frame stays cleared instead.
  const bool valid = InRange(settings.pattern, kPatternCount) && InRange(settings.palette, kPaletteCount);
  if (valid) {
    frame.pattern = static_cast<std::size_t>(settings.pattern);
    frame.palette = PaletteFor(static_cast<std::size_t>(settings.palette), custom.palette());
    frame.threshold = settings.threshold + frame.palette.spread;
    frame.offsetX = settings.offsetX;
    frame.offsetY = settings.offsetY;
    frame.scale = settings.scale < 1 ? 1 : settings.scale;
    frame.isa = BestIsa();
  }
  return valid;
}

void RefuseUnrenderableFrame(bool valid, const RenderSettings& settings, const RenderPalette& custom,
                             PF_OutData* outData) {
  if (!valid) throw PF_Err_BAD_CALLBACK_PARAM;
  // A "Custom" frame from data that cannot be read would come out black and pass for a rendered one.
  if (custom.unreadable() && static_cast<std::size_t>(settings.palette) == kCustomPalette) {
    std::snprintf(outData->return_msg, sizeof outData->return_msg, "%s",
                  "Palettrix cannot read this layer's custom palette: its saved data is damaged. Load the "
                  "palette again, or choose another swatch.");
    outData->out_flags |= PF_OutFlag_DISPLAY_ERROR_MESSAGE;
    throw PF_Err_INTERNAL_STRUCT_DAMAGED;
  }
}

PF_Err RunKernel(PF_InData* inData, const FrameDescription& frame, const ImageView& input,
                 const ImageView& output) {
  const PatternRow& pattern = PatternCatalogue[frame.pattern];
  const Kernel kernel = input.depth == PixelDepth::Sixteen ? pattern.kernel16 : pattern.kernel8;
  const HostWorkers workers(inData);
  const bool finished = kernel(frame, input, output, workers.workers());
  // An unfinished frame must not pass for a rendered one: the host would keep it.
  return finished ? PF_Err_NONE : PF_Interrupt_CANCEL;
}

PF_Err RenderCommand(PF_InData* inData, PF_OutData* outData, PF_ParamDef* params[], PF_EffectWorld* output) {
  SuiteCache suites(inData);
  RenderSettings settings;
  FillRenderSettings(settings, params);
  const PF_EffectWorld& input = params[kParamInput]->u.ld;

  // Read, never locked: other frames of this render copy may be rendering on other threads right now.
  const RenderPalette custom(suites, inData);
  FrameDescription frame;
  const bool valid = DescribeFrame(settings, custom, frame);

  inData->utils->fill(inData->effect_ref, nullptr, nullptr, output);
  RefuseUnrenderableFrame(valid, settings, custom, outData);

  // The depth is the input's; the kernels write nothing into an output of the other depth.
  return RunKernel(inData, frame, ViewOf(input), ViewOf(*output));
}
