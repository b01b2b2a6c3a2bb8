#include "frei0r/frame_renderer.h"

#include <cmath>
#include <cstring>

#include "frei0r/linked_effect.h"
#include "minihost/host_error.h"
#include "minihost/pixel_transfer.h"
#include "minihost/saved_state.h"
#include "palettefiles/flat_palette.h"

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
    case FrameRenderer::Slider::OffsetX: return "Offset X";
    case FrameRenderer::Slider::OffsetY: return "Offset Y";
    case FrameRenderer::Slider::Scale: return "Scale";
    case FrameRenderer::Slider::ThresholdRed: return "Threshold Red";
    case FrameRenderer::Slider::ThresholdGreen: return "Threshold Green";
    case FrameRenderer::Slider::ThresholdBlue: return "Threshold Blue";
  }
  return "";
}

}  // namespace

FrameRenderer::FrameRenderer(unsigned width, unsigned height)
    : width_(static_cast<unsigned>(CheckedSize(width, PF_MAX_WORLD_WIDTH, "width"))),
      height_(static_cast<unsigned>(CheckedSize(height, PF_MAX_WORLD_HEIGHT, "height"))),
      effect_(host_, LinkedEntryPoint(), "Palettrix (linked into the frei0r plug-in)"),
      instance_(effect_),
      patternIndex_(find("Pattern", PF_Param_POPUP)),
      swatchIndex_(find("Swatch", PF_Param_POPUP)),
      patternChoices_(instance_.params().popupChoices(patternIndex_)),
      swatchChoices_(instance_.params().popupChoices(swatchIndex_)) {
  // The first frame's worlds are made now, so a size too large for memory fails here and alone.
  spare_.push_back(takeWorlds());
}

std::size_t FrameRenderer::find(const char* name, PF_ParamType type) const {
  const std::optional<std::size_t> index = instance_.params().find(name, type);
  if (!index) throw minihost::HostError(std::string("the effect has no control \"") + name + "\"");
  return *index;
}

std::size_t FrameRenderer::sliderIndex(Slider slider) const {
  return find(SliderName(slider), slider == Slider::Scale ? PF_Param_FIX_SLIDER : PF_Param_FLOAT_SLIDER);
}

A_long FrameRenderer::pattern() const { return instance_.params()[patternIndex_].u.pd.value; }
A_long FrameRenderer::swatch() const { return instance_.params()[swatchIndex_].u.pd.value; }
void FrameRenderer::setPattern(A_long value) {
  const std::lock_guard lock(mutex_);
  instance_.params().setPopup(patternIndex_, value);
  controlsChanged();
}

void FrameRenderer::setSwatch(A_long value) {
  const std::lock_guard lock(mutex_);
  instance_.params().setPopup(swatchIndex_, value);
  controlsChanged();
}

void FrameRenderer::setSlider(Slider slider, double value) {
  const std::size_t index = sliderIndex(slider);
  const std::lock_guard lock(mutex_);
  if (slider == Slider::Scale) {
    instance_.params().setFixed(index, static_cast<PF_Fixed>(std::round(value * 65536.0)));
  } else {
    instance_.params().setFloat(index, value);
  }
  controlsChanged();
}

// The copy frames render with no longer matches the instance: the next frame makes a new one. Frames
// rendering now hold their own reference to the old copy, which is set down when the last of them ends.
void FrameRenderer::controlsChanged() { copy_.reset(); }

std::shared_ptr<minihost::RenderCopy> FrameRenderer::currentCopy() {
  const std::lock_guard lock(mutex_);
  if (!copy_) copy_ = std::make_shared<minihost::RenderCopy>(instance_);
  return copy_;
}

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

FrameRenderer::Range FrameRenderer::sliderRange(Slider slider) const {
  const PF_ParamDef& def = instance_.params()[sliderIndex(slider)];
  if (slider == Slider::Scale) {
    return {def.u.fd.valid_min / 65536.0, def.u.fd.valid_max / 65536.0, def.u.fd.dephault / 65536.0};
  }
  return {def.u.fs_d.valid_min, def.u.fs_d.valid_max, def.u.fs_d.dephault};
}

void FrameRenderer::setCustomPalette(const ColorList& colors) {
  const std::lock_guard lock(mutex_);
  const std::vector<uint8_t> state = minihost::EncodeSavedState(instance_.params(), FlatPaletteBytes(colors));
  instance_ = minihost::Instance::load(effect_, state);
  instance_.params().setPopup(swatchIndex_, 1);
  controlsChanged();
}

PF_Err FrameRenderer::render(const uint32_t* in, uint32_t* out) {
  const std::shared_ptr<minihost::RenderCopy> copy = currentCopy();
  std::unique_ptr<Worlds> worlds = takeWorlds();
  minihost::World& input = worlds->input;
  minihost::World& output = worlds->output;
  // frei0r frames are packed 8-bit RGBA.
  const minihost::PlainLayout layout{minihost::SampleBits::Eight, 4, 3, std::size_t{width_} * 4};
  minihost::PlainToWorld(in, layout, input.pf());
  const PF_Err err = copy->render(input, output);
  if (err != PF_Err_NONE) {
    std::memset(out, 0, std::size_t{width_} * height_ * 4);
    giveBack(std::move(worlds));
    return err;
  }
  minihost::WorldToPlain(output.pf(), out, layout);
  giveBack(std::move(worlds));
  return PF_Err_NONE;
}
