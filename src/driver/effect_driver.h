// The effect as every front end drives it: a host, the effect loaded into it (from its library or linked
// into the caller) and one instance applied to a layer, whose controls are found by the names a user
// reads on the effect's panel. Front ends keep their own policy (messages, options, exit statuses); this
// is the mechanics they share.
//
// Host failures come out as minihost::HostError, with the host's own message; a control the effect does
// not register is a HostError too ("the effect has no control ...").
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "minihost/effect.h"
#include "minihost/host.h"
#include "minihost/instance.h"
#include "minihost/render_copy.h"
#include "minihost/saved_state.h"
#include "minihost/world.h"
#include "palette/color.h"

namespace driver {

// A slider's valid range and default in the control's own units: a fixed-point slider's 16.16 values
// divided by 65536.
struct SliderRange {
  double low, high, initial;
};

// round(value x 65536), the host's conversion of a number typed into a fixed-point slider.
double FixedFromUnits(double value);

class EffectDriver {
 public:
  // Loads the effect library at `library` and applies the effect to a layer. Throws HostError.
  explicit EffectDriver(const std::filesystem::path& library, minihost::Host::Options options = {});
  // The same for an effect linked into the caller and reached through `entry`; `name` stands for the
  // library in messages.
  EffectDriver(PF_EntryPointFunc entry, const std::string& name, minihost::Host::Options options = {});
  EffectDriver(const EffectDriver&) = delete;
  EffectDriver& operator=(const EffectDriver&) = delete;

  // The host, for its pixel-iteration settings (threads, progress and cancellation).
  minihost::Host& host() { return host_; }
  // The controls and their values, as the instance holds them.
  const minihost::ParamSet& params() const { return instance_.params(); }

  // The index of the control of `type` labelled `name`. Throws HostError when the effect has none.
  std::size_t find(std::string_view name, PF_ParamType type) const;

  // Popups count their choices from 1; a value outside them throws std::out_of_range.
  std::vector<std::string> popupChoices(std::string_view name) const;
  A_long popup(std::string_view name) const;
  void setPopup(std::string_view name, A_long value);
  // A float slider's value, held to its valid range as the host's controls hold it.
  void setFloat(std::string_view name, double value);
  // A fixed-point slider's value in the control's units, converted by FixedFromUnits and held to its
  // valid range.
  void setFixed(std::string_view name, double value);
  // The range of the slider `name` of `type` (PF_Param_FLOAT_SLIDER or PF_Param_FIX_SLIDER).
  SliderRange sliderRange(std::string_view name, PF_ParamType type) const;

  // The instance's saved state (minihost/saved_state.h): control values and the flat bytes of its custom
  // palette.
  std::vector<uint8_t> save();
  // The same, decoded.
  minihost::SavedState savedState();
  // Replaces the instance by one loaded from `saved`, as a host opens a saved project.
  void load(const std::vector<uint8_t>& saved);
  // Gives the instance `colors` as its custom palette the way a host loading a project would: the flat part
  // of the current saved state is replaced by the colours' flat form and the instance is loaded from that.
  void setCustomPalette(const ColorList& colors);
  // The same with the palette already in its flat form.
  void setCustomPaletteFlat(const std::vector<uint8_t>& flat);
  // The custom palette, read from the flat part of the saved state.
  ColorList customPalette();

  // Renders one frame into `output`, which has the size and depth of `input`: through the instance, or
  // through a render copy once renderConcurrently() was called. Returns the host error of a failed render.
  PF_Err render(minihost::World& input, minihost::World& output);

  // From here on frames render through a render copy of the instance, made now from its controls and
  // palette, the way After Effects renders several frames of a composition at once: render() may be
  // called from several threads at once, and alongside the setters (each setter is one step under the
  // driver's lock; callers keep the setters themselves to one thread). A change of control or palette
  // makes a new copy for the frames that start after it; frames already rendering finish on theirs.
  // Throws HostError when the copy cannot be made.
  void renderConcurrently();

 private:
  // The copy a frame starting now renders with, made when a change has dropped the last one.
  std::shared_ptr<minihost::RenderCopy> currentCopy();
  // Loads the instance from its saved state with `flat` as the flat part. Called under mutex_.
  void loadWithPalette(const std::vector<uint8_t>& flat);
  // After a change of the instance: the next frame needs a new copy. Called under mutex_.
  void changed() { copy_.reset(); }

  minihost::Host host_;
  minihost::Effect effect_;
  minihost::Instance instance_;

  // Guards the instance against a copy being made from it while it changes, and the copy.
  mutable std::mutex mutex_;
  bool concurrent_ = false;
  std::shared_ptr<minihost::RenderCopy> copy_;
};

}  // namespace driver
