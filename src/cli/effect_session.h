// The effect as the command drives it: a host, the loaded library and one instance, with the controls
// found by their names as a host user would find them.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "minihost/instance.h"

class EffectSession {
 public:
  // Loads the effect library: $PALETTRIX_EFFECT when set, else Palettrix.so beside the executable.
  // Throws CliError (effect) when it cannot be loaded.
  EffectSession();

  static std::filesystem::path LibraryPath();

  std::vector<std::string> patternChoices() const;
  std::vector<std::string> swatchChoices() const;
  void setPattern(A_long value);
  void setSwatch(A_long value);
  // Sliders by their control names. A value outside the control's valid range is refused with a usage
  // error naming `option`; a fixed-point slider takes round(value x 65536), as the host converts it.
  void setFloatSlider(const char* name, const std::string& option, double value);
  void setFixedSlider(const char* name, const std::string& option, double value);

  // Renders `input` into a new world of the same size and depth. Throws CliError (effect) on failure.
  minihost::World render(minihost::World& input);

 private:
  std::size_t find(const char* name, PF_ParamType type) const;
  minihost::Host host_;
  minihost::Effect effect_;
  minihost::Instance instance_;
};
