#include "palette/custom_palette.h"

#include "palette/palette_table.h"
#include "render/render_settings.h"

namespace {

bool HasCustomColors(const RenderSettings& settings) {
  return settings.inData != nullptr && settings.inData->sequence_data != nullptr &&
         settings.customColors != nullptr && !settings.customColors->empty();
}

}  // namespace

Color3& QuantizeCustom(Color3& out, const Color3& in, const RenderSettings& settings) {
  if (!HasCustomColors(settings)) {
    out = Color3(0.0f, 0.0f, 0.0f);
    return out;
  }
  return NearestColor(out, in, settings.customColors->data(), settings.customColors->size());
}

Color3& SpreadCustom(Color3& out, const RenderSettings& settings) {
  out = HasCustomColors(settings) ? settings.customSpread : Color3(0.0f, 0.0f, 0.0f);
  return out;
}
