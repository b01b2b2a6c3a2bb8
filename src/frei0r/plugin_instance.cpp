#include "frei0r/plugin_instance.h"

#include <frei0r.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <exception>

#include "frei0r/host_text.h"
#include "minihost/params.h"
#include "palettefiles/palette_file.h"

namespace {

// The "Swatch" choice whose colours come from the palette parameter.
constexpr A_long kCustomSwatch = 1;

}  // namespace

PluginInstance::PluginInstance(unsigned width, unsigned height) : width_(width), height_(height) {
  try {
    renderer_ = std::make_unique<FrameRenderer>(width, height);
  } catch (const std::exception& e) {
    complain(kParamCount, std::string("cannot render ") + std::to_string(width) + "x" +
                              std::to_string(height) + " frames (" + e.what() +
                              "); this instance gives transparent frames");
  }
  for (int index = 0; index < kParamCount; ++index) {
    const std::optional<FrameRenderer::Slider> slider = SliderOf(index);
    if (slider && renderer_) doubles_[index] = renderer_->sliderRange(*slider).initial / kUnitsPerDouble;
  }
  if (renderer_) {
    strings_[kParamPattern] = renderer_->patternChoices()[renderer_->pattern() - 1];
    strings_[kParamSwatch] = renderer_->swatchChoices()[renderer_->swatch() - 1];
  }
}

void PluginInstance::complain(int index, const std::string& message) {
  if (lastSaid_[index] == message) return;
  lastSaid_[index] = message;
  const std::string line = "palettrix (frei0r): " + PrintableMessage(message) + "\n";
  std::fputs(line.c_str(), stderr);
}

void PluginInstance::setParam(const void* param, int index) {
  if (index < 0 || index >= kParamCount || param == nullptr) return;
  std::lock_guard<std::mutex> lock(mutex_);
  try {
    if (kFrei0rParams[index].type == F0R_PARAM_STRING) {
      setString(index, *static_cast<const char* const*>(param));
    } else {
      setDouble(index, *static_cast<const double*>(param));
    }
  } catch (const std::exception& e) {
    complain(index, std::string(kFrei0rParams[index].name) + ": " + e.what() + "; the previous value stays");
  }
}

void PluginInstance::setString(int index, const char* text) {
  if (text == nullptr) {
    complain(index, std::string(kFrei0rParams[index].name) + ": no text given; the previous value stays");
    return;
  }
  const std::string value(text);
  if (lastPassed_[index] == value) return;
  lastPassed_[index] = value;
  if (!renderer_) return;
  if (index == kParamPalette) {
    setPalette(value);
  } else {
    setChoice(index, value);
  }
}

void PluginInstance::setChoice(int index, const std::string& text) {
  // An empty field (FFmpeg's "|pico-8") leaves the choice as it is: the default, on a new instance.
  if (text.empty()) return;
  const bool pattern = index == kParamPattern;
  const std::vector<std::string>& choices =
      pattern ? renderer_->patternChoices() : renderer_->swatchChoices();
  const A_long choice = minihost::MatchPopupChoice(text, choices).choice;
  if (choice == 0) {
    const char* name = kFrei0rParams[index].name;
    complain(index, std::string(name) + ": unknown " + name + " " + QuotedHostText(text) +
                        " (a name such as " + QuotedHostText(choices[choices.size() / 2]) +
                        ", or a number from 1 to " + std::to_string(choices.size()) +
                        "); the previous value stays");
    return;
  }
  if (pattern) {
    renderer_->setPattern(choice);
  } else {
    renderer_->setSwatch(choice);
  }
  strings_[index] = choices[static_cast<std::size_t>(choice - 1)];
}

void PluginInstance::setPalette(const std::string& text) {
  const char* name = kFrei0rParams[kParamPalette].name;
  if (text.empty()) {
    strings_[kParamPalette].clear();
    hasColors_ = false;
    noColors_ = "no palette file or colours given";
    return;
  }
  ColorList colors;
  try {
    colors = IsColorList(text) ? ParseColorList(text) : ReadPaletteFile(text);
  } catch (const PaletteFileError& e) {
    const std::string why = e.message();
    if (!hasColors_) noColors_ = why;
    complain(kParamPalette, std::string(name) + ": " + why +
                                (hasColors_ ? "; the previous colours stay" : "; there are no colours yet"));
    return;
  }
  renderer_->setCustomPalette(colors);
  strings_[kParamPalette] = text;
  hasColors_ = true;
}

void PluginInstance::setDouble(int index, double value) {
  if (std::isnan(value)) {
    complain(index, std::string(kFrei0rParams[index].name) + ": not a number; the previous value stays");
    return;
  }
  if (!renderer_) return;
  const FrameRenderer::Slider slider = *SliderOf(index);
  const FrameRenderer::Range range = renderer_->sliderRange(slider);
  doubles_[index] = std::clamp(value, range.low / kUnitsPerDouble, range.high / kUnitsPerDouble);
  renderer_->setSlider(slider, ControlValue(slider, value, range.low, range.high));
}

void PluginInstance::getParam(void* param, int index) {
  if (index < 0 || index >= kParamCount || param == nullptr) return;
  std::lock_guard<std::mutex> lock(mutex_);
  if (kFrei0rParams[index].type == F0R_PARAM_STRING) {
    // The text stays valid until the parameter is next set; frei0r hosts copy it.
    *static_cast<f0r_param_string*>(param) = strings_[index].data();
  } else {
    *static_cast<double*>(param) = doubles_[index];
  }
}

bool PluginInstance::passesThrough() {
  const std::lock_guard<std::mutex> lock(mutex_);
  if (hasColors_ || renderer_->swatch() != kCustomSwatch) return false;
  complain(kParamCount, "the swatch is Custom but there are no colours to take (" + noColors_ +
                            "); frames pass through unchanged");
  return true;
}

void PluginInstance::update(const uint32_t* in, uint32_t* out) {
  if (out == nullptr) return;
  const std::size_t bytes = std::size_t{width_} * height_ * 4;
  if (!renderer_ || in == nullptr) {
    std::memset(out, 0, bytes);
    const std::lock_guard<std::mutex> lock(mutex_);
    if (renderer_) complain(kParamCount, "no input frame given; the output is transparent");
    return;
  }
  if (passesThrough()) {
    std::memmove(out, in, bytes);
    return;
  }
  // Not under the instance's lock: frames a host asks for at once render at once, through the renderer's
  // one render copy, while the host may go on setting parameters.
  PF_Err err = PF_Err_NONE;
  try {
    err = renderer_->render(in, out);
  } catch (const std::exception& e) {
    std::memset(out, 0, bytes);
    const std::lock_guard<std::mutex> lock(mutex_);
    complain(kParamCount, std::string("the effect failed to render: ") + e.what());
    return;
  }
  if (err != PF_Err_NONE) {
    const std::lock_guard<std::mutex> lock(mutex_);
    complain(kParamCount, "the effect failed to render (host error " + std::to_string(err) +
                              "); the frame is transparent");
  }
}
