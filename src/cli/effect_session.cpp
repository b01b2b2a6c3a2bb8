#include "cli/effect_session.h"

#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "cli/interrupt.h"
#include "cli/terminal.h"
#include "minihost/host_error.h"
#include "minihost/saved_state.h"

namespace {

minihost::Effect LoadEffect(minihost::Host& host) {
  const std::filesystem::path path = EffectSession::LibraryPath();
  try {
    return minihost::Effect(host, path);
  } catch (const minihost::HostError& e) {
    throw CliError(kExitEffect, std::string("cannot load the effect: ") + e.what());
  }
}

}  // namespace

std::filesystem::path EffectSession::LibraryPath() {
  if (const char* override = std::getenv("PALETTRIX_EFFECT"); override != nullptr && *override != '\0') {
    return override;
  }
  std::error_code ec;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
  const std::filesystem::path dir = ec ? std::filesystem::current_path() : self.parent_path();
  // A build tree keeps the library beside the command; an installed command finds it in lib/palettrix
  // under its own prefix, wherever that prefix was moved.
  const std::filesystem::path beside = dir / "Palettrix.so";
  const std::filesystem::path installed =
      (dir / ".." / "lib" / "palettrix" / "Palettrix.so").lexically_normal();
  if (!std::filesystem::exists(beside, ec) && std::filesystem::exists(installed, ec)) return installed;
  return beside;
}

EffectSession::EffectSession() : effect_(LoadEffect(host_)), instance_(effect_) {
  // Ctrl-C reaches a render part-way: the effect asks the host whether to stop as it goes.
  host_.setProgress([](A_long, A_long) { return InterruptSignal() == 0; });
}

std::size_t EffectSession::find(const char* name, PF_ParamType type) const {
  const auto& params = instance_.params();
  for (std::size_t i = 0; i < params.size(); ++i) {
    if (params[i].param_type == type && std::strcmp(params[i].name, name) == 0) return i;
  }
  throw CliError(kExitEffect, std::string("the effect has no control \"") + name + "\"");
}

std::vector<std::string> EffectSession::patternChoices() const {
  return instance_.params().popupChoices(find("Pattern", PF_Param_POPUP));
}

std::vector<std::string> EffectSession::swatchChoices() const {
  return instance_.params().popupChoices(find("Swatch", PF_Param_POPUP));
}

void EffectSession::setPattern(A_long value) { setPopup("Pattern", value); }

void EffectSession::setSwatch(A_long value) { setPopup("Swatch", value); }

void EffectSession::setPopup(const char* name, A_long value) {
  instance_.params().setPopup(find(name, PF_Param_POPUP), value);
}

namespace {

std::string Number(double value) { return ExactNumber(value); }

[[noreturn]] void OutOfRange(ExitStatus status, const std::string& option, double value, double low,
                             double high) {
  throw CliError(status, option + ": " + Number(value) + " is outside " + Number(low) + " to " + Number(high));
}

}  // namespace

void EffectSession::setFloatSlider(const char* name, const std::string& option, double value,
                                   ExitStatus status) {
  const std::size_t index = find(name, PF_Param_FLOAT_SLIDER);
  const PF_FloatSliderDef& slider = instance_.params()[index].u.fs_d;
  if (!(value >= slider.valid_min && value <= slider.valid_max)) {
    OutOfRange(status, option, value, slider.valid_min, slider.valid_max);
  }
  instance_.params().setFloat(index, value);
}

void EffectSession::setFixedSlider(const char* name, const std::string& option, double value,
                                   ExitStatus status) {
  const std::size_t index = find(name, PF_Param_FIX_SLIDER);
  const PF_FixedSliderDef& slider = instance_.params()[index].u.fd;
  const double low = slider.valid_min / 65536.0, high = slider.valid_max / 65536.0;
  const double fixed = std::round(value * 65536.0);
  if (!(fixed >= slider.valid_min && fixed <= slider.valid_max)) OutOfRange(status, option, value, low, high);
  instance_.params().setFixed(index, static_cast<PF_Fixed>(fixed));
}

minihost::World EffectSession::render(minihost::World& input) {
  minihost::World output(input.width(), input.height(), input.depth());
  const auto start = std::chrono::steady_clock::now();
  const PF_Err err = renderCopy_ ? renderCopy_->render(input, output) : instance_.render(input, output);
  renderNanoseconds_ +=
      std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - start).count();
  if (err != PF_Err_NONE) throw CliError(kExitEffect, "the effect failed to render (host error " + std::to_string(err) + ")");
  return output;
}

void EffectSession::renderConcurrently() {
  try {
    renderCopy_ = std::make_unique<minihost::RenderCopy>(instance_);
  } catch (const minihost::HostError& e) {
    throw CliError(kExitEffect, std::string("cannot make the effect's render copy: ") + e.what());
  }
}

std::vector<uint8_t> EffectSession::save() {
  try {
    return instance_.save();
  } catch (const minihost::HostError& e) {
    throw CliError(kExitEffect, std::string("cannot save the effect's state: ") + e.what());
  }
}

void EffectSession::load(const std::vector<uint8_t>& saved) {
  try {
    instance_ = minihost::Instance::load(effect_, saved);
  } catch (const minihost::HostError& e) {
    throw CliError(kExitEffect, std::string("cannot load the effect's state: ") + e.what());
  }
}

minihost::SavedState EffectSession::savedState() {
  const std::vector<uint8_t> bytes = save();
  try {
    return minihost::DecodeSavedState(bytes);
  } catch (const minihost::HostError& e) {
    throw CliError(kExitEffect, std::string("cannot read the effect's saved state: ") + e.what());
  }
}

void EffectSession::setCustomPalette(const ColorList& colors) {
  std::vector<uint8_t> state;
  try {
    // The current control values with the colours as the flat part: what the host would have saved.
    state = minihost::EncodeSavedState(instance_.params(), FlatPaletteBytes(colors));
  } catch (const minihost::HostError& e) {
    throw CliError(kExitEffect, std::string("cannot save the effect's state: ") + e.what());
  }
  load(state);
}

ColorList EffectSession::customPalette() { return PaletteFromFlatBytes(savedState().sequenceData); }
