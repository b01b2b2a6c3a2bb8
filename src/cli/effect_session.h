// The effect as the command drives it (driver/effect_driver.h), with the command's policy on top: where the
// library comes from, Ctrl-C, the time spent rendering, and every failure as a CliError.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/exit_status.h"
#include "driver/effect_driver.h"
#include "minihost/saved_state.h"
#include "minihost/world.h"
#include "palette/color.h"

class EffectSession {
 public:
  // Loads the effect library: $PALETTRIX_EFFECT when set, else Palettrix.so beside the executable, else
  // ../lib/palettrix/Palettrix.so from the executable's folder (the installed layout).
  // Throws CliError (effect) when it cannot be loaded.
  EffectSession();

  static std::filesystem::path LibraryPath();

  std::vector<std::string> patternChoices() const;
  std::vector<std::string> swatchChoices() const;
  void setPattern(A_long value);
  void setSwatch(A_long value);
  // Any popup by its control name; the value must be one of its choices.
  void setPopup(const char* name, A_long value);
  // Sliders by their control names. A value outside the control's valid range is refused with an error
  // naming `option` (a usage error unless `status` says otherwise); a fixed-point slider takes
  // round(value x 65536), as the host converts it.
  void setFloatSlider(const char* name, const std::string& option, double value,
                      ExitStatus status = kExitUsage);
  void setFixedSlider(const char* name, const std::string& option, double value,
                      ExitStatus status = kExitUsage);

  // The controls and their values, as the instance holds them.
  const minihost::ParamSet& params() const { return driver_.params(); }

  // The instance's saved state (saved_state.h): control values and the flat bytes of its custom palette.
  std::vector<uint8_t> save();
  // The same, decoded.
  minihost::SavedState savedState();
  // Replaces the instance by one loaded from `saved`, as a host opens a saved project. Throws CliError
  // (effect) when the state does not fit the effect or a sequence command fails.
  void load(const std::vector<uint8_t>& saved);

  // Gives the instance `colors` as its custom palette the way a host loading a project would.
  void setCustomPalette(const ColorList& colors);
  // The custom palette, read from the flat part of the saved state.
  ColorList customPalette();

  // Renders `input` into a new world of the same size and depth. Throws CliError (effect) on failure.
  minihost::World render(minihost::World& input);
  // The time spent in the render calls so far (summed over threads), the output world's allocation left out.
  std::chrono::nanoseconds renderTime() const { return std::chrono::nanoseconds(renderNanoseconds_.load()); }

  // From here on frames render through one render copy of the instance, made from its controls and palette
  // as they are now, the way After Effects renders several frames of a composition at once; render() may
  // then be called from several threads at once, and nothing else may be. Throws CliError (effect).
  void renderConcurrently();

  // The host, for its pixel-iteration settings (threads, progress and cancellation).
  minihost::Host& host() { return driver_.host(); }

 private:
  driver::EffectDriver driver_;
  std::atomic<std::int64_t> renderNanoseconds_{0};
};
