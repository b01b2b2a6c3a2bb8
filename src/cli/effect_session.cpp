#include "cli/effect_session.h"

#include <unistd.h>

#include <cstdlib>
#include <utility>

#include "cli/interrupt.h"
#include "cli/terminal.h"
#include "minihost/host_error.h"
#include "palettefiles/flat_palette.h"

namespace {

// Runs `step`, turning a host failure into the command's error for the effect: `doing` (what could not be
// done, with its colon) before the host's message.
template <typename Step>
auto EffectStep(const char* doing, Step&& step) -> decltype(step()) {
  try {
    return std::forward<Step>(step)();
  } catch (const minihost::HostError& e) {
    throw CliError(kExitEffect, std::string(doing) + e.what());
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

EffectSession::EffectSession() try : driver_(LibraryPath()) {
  // Ctrl-C reaches a render part-way: the effect asks the host whether to stop as it goes.
  driver_.host().setProgress([](A_long, A_long) { return InterruptSignal() == 0; });
} catch (const minihost::HostError& e) {
  throw CliError(kExitEffect, std::string("cannot load the effect: ") + e.what());
}

std::vector<std::string> EffectSession::patternChoices() const {
  return EffectStep("", [&] { return driver_.popupChoices("Pattern"); });
}

std::vector<std::string> EffectSession::swatchChoices() const {
  return EffectStep("", [&] { return driver_.popupChoices("Swatch"); });
}

void EffectSession::setPattern(A_long value) { setPopup("Pattern", value); }

void EffectSession::setSwatch(A_long value) { setPopup("Swatch", value); }

void EffectSession::setPopup(const char* name, A_long value) {
  EffectStep("", [&] { driver_.setPopup(name, value); });
}

namespace {

std::string Number(double value) { return ExactNumber(value); }

[[noreturn]] void OutOfRange(ExitStatus status, const std::string& option, double value, double low,
                             double high) {
  throw CliError(status,
                 option + ": " + Number(value) + " is outside " + Number(low) + " to " + Number(high));
}

}  // namespace

void EffectSession::setFloatSlider(const char* name, const std::string& option, double value,
                                   ExitStatus status) {
  const driver::SliderRange range =
      EffectStep("", [&] { return driver_.sliderRange(name, PF_Param_FLOAT_SLIDER); });
  if (!(value >= range.low && value <= range.high)) OutOfRange(status, option, value, range.low, range.high);
  driver_.setFloat(name, value);
}

void EffectSession::setFixedSlider(const char* name, const std::string& option, double value,
                                   ExitStatus status) {
  const driver::SliderRange range =
      EffectStep("", [&] { return driver_.sliderRange(name, PF_Param_FIX_SLIDER); });
  // The range in the control's own 16.16 units, where the check is exact.
  const double fixed = driver::FixedFromUnits(value);
  if (!(fixed >= range.low * 65536.0 && fixed <= range.high * 65536.0)) {
    OutOfRange(status, option, value, range.low, range.high);
  }
  driver_.setFixed(name, value);
}

minihost::World EffectSession::render(minihost::World& input) {
  minihost::World output(input.width(), input.height(), input.depth());
  const auto start = std::chrono::steady_clock::now();
  const PF_Err err = driver_.render(input, output);
  renderNanoseconds_ +=
      std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - start).count();
  if (err != PF_Err_NONE)
    throw CliError(kExitEffect, "the effect failed to render (host error " + std::to_string(err) + ")");
  return output;
}

void EffectSession::renderConcurrently() {
  EffectStep("cannot make the effect's render copy: ", [&] { driver_.renderConcurrently(); });
}

std::vector<uint8_t> EffectSession::save() {
  return EffectStep("cannot save the effect's state: ", [&] { return driver_.save(); });
}

void EffectSession::load(const std::vector<uint8_t>& saved) {
  EffectStep("cannot load the effect's state: ", [&] { driver_.load(saved); });
}

minihost::SavedState EffectSession::savedState() {
  const std::vector<uint8_t> bytes = save();
  return EffectStep("cannot read the effect's saved state: ",
                    [&] { return minihost::DecodeSavedState(bytes); });
}

void EffectSession::setCustomPalette(const ColorList& colors) {
  EffectStep("cannot load the effect's state: ", [&] { driver_.setCustomPalette(colors); });
}

ColorList EffectSession::customPalette() { return PaletteFromFlatBytes(savedState().sequenceData); }
