#include "plugin/render_sequence_data.h"

#include "palette/flat_palette.h"
#include "plugin/custom_palette_lock.h"
#include "plugin/live_palettes.h"

RenderPalette::RenderPalette(SuiteCache& suites, const PF_InData* inData) {
  PF_ConstHandle handle = nullptr;
  if (const PF_EffectSequenceDataSuite1* access = suites.sequenceDataIfOffered();
      access != nullptr && access->PF_GetConstSequenceData != nullptr &&
      access->PF_GetConstSequenceData(inData->effect_ref, &handle) != PF_Err_NONE) {
    handle = nullptr;
  }
  if (handle == nullptr) handle = inData->sequence_data;
  if (handle == nullptr) return;
  // Asking the size changes nothing; the handle suite takes the handle without its const.
  const A_HandleSize size =
      *handle == nullptr ? 0 : suites.handles().host_get_handle_size(const_cast<PF_Handle>(handle));
  if (size == kLiveSequenceDataSize) live_ = live_palettes::Find(StoredAddress(*handle));
  if (live_ != nullptr) return;
  if (size == 0 || size == kLiveSequenceDataSize) {
    unreadable_ = true;
    return;
  }
  ColorList colors;
  AppendFlatColors(colors, static_cast<const uint8_t*>(*handle), size);
  stored_.emplace(std::move(colors));
}
