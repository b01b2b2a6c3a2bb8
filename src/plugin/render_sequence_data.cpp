#include "plugin/render_sequence_data.h"

#include <cstring>

#include "plugin/custom_palette_lock.h"

const CustomPalette* RenderCustomPalette(SuiteCache& suites, const PF_InData* inData) {
  PF_ConstHandle handle = nullptr;
  if (const PF_EffectSequenceDataSuite1* access = suites.sequenceDataIfOffered();
      access != nullptr && access->PF_GetConstSequenceData != nullptr &&
      access->PF_GetConstSequenceData(inData->effect_ref, &handle) != PF_Err_NONE) {
    handle = nullptr;
  }
  if (handle == nullptr) handle = inData->sequence_data;
  if (handle == nullptr || *handle == nullptr) return nullptr;
  // Asking the size changes nothing; the handle suite takes the handle without its const.
  if (suites.handles().host_get_handle_size(const_cast<PF_Handle>(handle)) != kLiveSequenceDataSize) {
    return nullptr;
  }
  const CustomPalette* palette = nullptr;
  std::memcpy(&palette, *handle, sizeof palette);
  return palette;
}
