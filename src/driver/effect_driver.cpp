#include "driver/effect_driver.h"

#include <cmath>

#include "minihost/host_error.h"
#include "palettefiles/flat_palette.h"

namespace driver {

double FixedFromUnits(double value) { return std::round(value * 65536.0); }

EffectDriver::EffectDriver(const std::filesystem::path& library, minihost::Host::Options options)
    : host_(options), effect_(host_, library), instance_(effect_) {}

EffectDriver::EffectDriver(PF_EntryPointFunc entry, const std::string& name, minihost::Host::Options options)
    : host_(options), effect_(host_, entry, name), instance_(effect_) {}

std::size_t EffectDriver::find(std::string_view name, PF_ParamType type) const {
  const std::optional<std::size_t> index = instance_.params().find(name, type);
  if (!index) throw minihost::HostError("the effect has no control \"" + std::string(name) + "\"");
  return *index;
}

std::vector<std::string> EffectDriver::popupChoices(std::string_view name) const {
  return instance_.params().popupChoices(find(name, PF_Param_POPUP));
}

A_long EffectDriver::popup(std::string_view name) const {
  return instance_.params()[find(name, PF_Param_POPUP)].u.pd.value;
}

void EffectDriver::setPopup(std::string_view name, A_long value) {
  const std::size_t index = find(name, PF_Param_POPUP);
  const std::lock_guard lock(mutex_);
  instance_.params().setPopup(index, value);
  changed();
}

void EffectDriver::setFloat(std::string_view name, double value) {
  const std::size_t index = find(name, PF_Param_FLOAT_SLIDER);
  const std::lock_guard lock(mutex_);
  instance_.params().setFloat(index, value);
  changed();
}

void EffectDriver::setFixed(std::string_view name, double value) {
  const std::size_t index = find(name, PF_Param_FIX_SLIDER);
  const std::lock_guard lock(mutex_);
  instance_.params().setFixed(index, static_cast<PF_Fixed>(FixedFromUnits(value)));
  changed();
}

SliderRange EffectDriver::sliderRange(std::string_view name, PF_ParamType type) const {
  const PF_ParamDef& def = instance_.params()[find(name, type)];
  if (type == PF_Param_FIX_SLIDER) {
    return {def.u.fd.valid_min / 65536.0, def.u.fd.valid_max / 65536.0, def.u.fd.dephault / 65536.0};
  }
  return {def.u.fs_d.valid_min, def.u.fs_d.valid_max, def.u.fs_d.dephault};
}

std::vector<uint8_t> EffectDriver::save() {
  const std::lock_guard lock(mutex_);
  return instance_.save();
}

minihost::SavedState EffectDriver::savedState() { return minihost::DecodeSavedState(save()); }

void EffectDriver::load(const std::vector<uint8_t>& saved) {
  const std::lock_guard lock(mutex_);
  instance_ = minihost::Instance::load(effect_, saved);
  changed();
}

void EffectDriver::setCustomPalette(const ColorList& colors) {
  setCustomPaletteFlat(FlatPaletteBytes(colors));
}

void EffectDriver::setCustomPaletteFlat(const std::vector<uint8_t>& flat) {
  const std::lock_guard lock(mutex_);
  loadWithPalette(flat);
  changed();
}

void EffectDriver::loadWithPalette(const std::vector<uint8_t>& flat) {
  // The current control values with the colours as the flat part: what the host would have saved.
  const std::vector<uint8_t> state = minihost::EncodeSavedState(instance_.params(), flat);
  instance_ = minihost::Instance::load(effect_, state);
}

ColorList EffectDriver::customPalette() { return PaletteFromFlatBytes(savedState().sequenceData); }

void EffectDriver::renderConcurrently() {
  const std::lock_guard lock(mutex_);
  copy_ = std::make_shared<minihost::RenderCopy>(instance_);
  concurrent_ = true;
}

std::shared_ptr<minihost::RenderCopy> EffectDriver::currentCopy() {
  const std::lock_guard lock(mutex_);
  if (!concurrent_) return nullptr;
  // Frames rendering now hold their own reference to the copy they started with, which is set down when
  // the last of them ends.
  if (!copy_) copy_ = std::make_shared<minihost::RenderCopy>(instance_);
  return copy_;
}

PF_Err EffectDriver::render(minihost::World& input, minihost::World& output) {
  if (const std::shared_ptr<minihost::RenderCopy> copy = currentCopy()) return copy->render(input, output);
  return instance_.render(input, output);
}

}  // namespace driver
