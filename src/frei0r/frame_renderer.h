// One frei0r instance's effect: the effect driven as every front end drives it (driver/effect_driver.h),
// applied to a layer of a fixed size, whose frames of packed RGBA render through one render copy, several
// at once when the host asks for them at once. The frei0r layer above it knows nothing of hosts, worlds or
// parameter arrays.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "driver/effect_driver.h"
#include "minihost/world.h"
#include "palette/color.h"

class FrameRenderer {
 public:
  // The effect's sliders, by the names it registers them under.
  enum class Slider { OffsetX, OffsetY, Scale, ThresholdRed, ThresholdGreen, ThresholdBlue };

  // Sets up the effect and applies it to a `width` x `height` layer, rendering on one thread per core.
  // Throws minihost::HostError when the effect cannot be set up or the size is outside 1 to
  // PF_MAX_WORLD_WIDTH/HEIGHT.
  FrameRenderer(unsigned width, unsigned height);

  unsigned width() const { return width_; }
  unsigned height() const { return height_; }

  // The popups' labels, in order; values count from 1.
  const std::vector<std::string>& patternChoices() const { return patternChoices_; }
  const std::vector<std::string>& swatchChoices() const { return swatchChoices_; }
  A_long pattern() const;
  A_long swatch() const;
  void setPattern(A_long value);
  void setSwatch(A_long value);

  // A slider in the control's own units, already within its valid range; "Scale" becomes 16.16 fixed point
  // as round(value x 65536), as a host converts it.
  void setSlider(Slider slider, double value);
  // The slider's valid range and default, in the control's own units, as the effect registered it.
  using Range = driver::SliderRange;
  Range sliderRange(Slider slider) const;

  // Gives the effect `colors` as its custom palette the way a host opening a saved project does (the
  // instance's saved state with the colours as its flat part); the swatch stays as it is. Throws
  // minihost::HostError when the effect refuses the state.
  void setCustomPalette(const ColorList& colors);

  // Renders one frame of width x height RGBA8888 pixels (bytes red, green, blue, alpha). `in` is read
  // whole before `out` is written, so they may be the same buffer. Returns the host error of a failed
  // render; `out` is then left transparent.
  //
  // Frames render through the driver's render copies (EffectDriver::renderConcurrently), each with pixel
  // worlds of its own: render may be called from several threads at once, and alongside the setters
  // (which the caller keeps to one thread at a time).
  PF_Err render(const uint32_t* in, uint32_t* out);

 private:
  // The input and output worlds of one frame in flight.
  struct Worlds {
    minihost::World input, output;
  };

  std::unique_ptr<Worlds> takeWorlds();
  void giveBack(std::unique_ptr<Worlds> worlds);

  unsigned width_, height_;
  driver::EffectDriver driver_;
  std::vector<std::string> patternChoices_, swatchChoices_;

  // Guards the spare worlds.
  std::mutex mutex_;
  std::vector<std::unique_ptr<Worlds>> spare_;  // worlds of frames that have finished, for the next ones
};
