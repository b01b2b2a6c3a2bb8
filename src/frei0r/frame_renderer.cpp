#include "frei0r/frame_renderer.h"

#include <cstring>

#include "frei0r/linked_effect.h"
#include "minihost/host_error.h"
#include "minihost/pixel_transfer.h"

namespace {

// The world is made before the effect is set up, so a size the effect cannot take fails first and alone.
A_long CheckedSize(unsigned size, A_long limit, const char* what) {
  if (size < 1 || size > static_cast<unsigned>(limit)) {
    throw minihost::HostError(std::string("a frame ") + what + " of " + std::to_string(size) +
                              " pixels is outside 1 to " + std::to_string(limit));
  }
  return static_cast<A_long>(size);
}

const char* SliderName(FrameRenderer::Slider slider) {
  switch (slider) {
    case FrameRenderer::Slider::OffsetX:
      return "Offset X";
    case FrameRenderer::Slider::OffsetY:
      return "Offset Y";
    case FrameRenderer::Slider::Scale:
      return "Scale";
    case FrameRenderer::Slider::ThresholdRed:
      return "Threshold Red";
    case FrameRenderer::Slider::ThresholdGreen:
      return "Threshold Green";
    case FrameRenderer::Slider::ThresholdBlue:
      return "Threshold Blue";
  }
  return "";
}

PF_ParamType SliderType(FrameRenderer::Slider slider) {
  return slider == FrameRenderer::Slider::Scale ? PF_Param_FIX_SLIDER : PF_Param_FLOAT_SLIDER;
}

}  // namespace

FrameRenderer::FrameRenderer(unsigned width, unsigned height)
    : width_(static_cast<unsigned>(CheckedSize(width, PF_MAX_WORLD_WIDTH, "width"))),
      height_(static_cast<unsigned>(CheckedSize(height, PF_MAX_WORLD_HEIGHT, "height"))),
      driver_(LinkedEntryPoint(), "Palettrix (linked into the frei0r plug-in)"),
      patternChoices_(driver_.popupChoices("Pattern")),
      swatchChoices_(driver_.popupChoices("Swatch")) {
  driver_.renderConcurrently();
  // The first frame's worlds are made now, so a size too large for memory fails here and alone.
  spare_.push_back(takeWorlds());
}

A_long FrameRenderer::pattern() const { return driver_.popup("Pattern"); }
A_long FrameRenderer::swatch() const { return driver_.popup("Swatch"); }
void FrameRenderer::setPattern(A_long value) { driver_.setPopup("Pattern", value); }
void FrameRenderer::setSwatch(A_long value) { driver_.setPopup("Swatch", value); }

void FrameRenderer::setSlider(Slider slider, double value) {
  if (slider == Slider::Scale) {
    driver_.setFixed(SliderName(slider), value);
  } else {
    driver_.setFloat(SliderName(slider), value);
  }
}

FrameRenderer::Range FrameRenderer::sliderRange(Slider slider) const {
  return driver_.sliderRange(SliderName(slider), SliderType(slider));
}

void FrameRenderer::setCustomPalette(const ColorList& colors) { driver_.setCustomPalette(colors); }

std::unique_ptr<FrameRenderer::Worlds> FrameRenderer::takeWorlds() {
  {
    const std::lock_guard lock(mutex_);
    if (!spare_.empty()) {
      std::unique_ptr<Worlds> worlds = std::move(spare_.back());
      spare_.pop_back();
      return worlds;
    }
  }
  const auto width = static_cast<A_long>(width_), height = static_cast<A_long>(height_);
  return std::make_unique<Worlds>(Worlds{minihost::World(width, height, minihost::Depth::Eight),
                                         minihost::World(width, height, minihost::Depth::Eight)});
}

void FrameRenderer::giveBack(std::unique_ptr<Worlds> worlds) {
  const std::lock_guard lock(mutex_);
  spare_.push_back(std::move(worlds));
}

PF_Err FrameRenderer::render(const uint32_t* in, uint32_t* out) {
  std::unique_ptr<Worlds> worlds = takeWorlds();
  minihost::World& input = worlds->input;
  minihost::World& output = worlds->output;
  // frei0r frames are packed 8-bit RGBA.
  const minihost::PlainLayout layout{minihost::SampleBits::Eight, 4, 3, std::size_t{width_} * 4};
  minihost::PlainToWorld(in, layout, input.pf());
  const PF_Err err = driver_.render(input, output);
  if (err != PF_Err_NONE) {
    std::memset(out, 0, std::size_t{width_} * height_ * 4);
    giveBack(std::move(worlds));
    return err;
  }
  minihost::WorldToPlain(output.pf(), out, layout);
  giveBack(std::move(worlds));
  return PF_Err_NONE;
}
