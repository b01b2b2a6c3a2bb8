// The effect's parameter array as a new instance has it, held here until the host builds it from what
// the effect registers during PF_Cmd_PARAMS_SETUP.
#include <cstring>

#include "minihost/params.h"

namespace minihost {
namespace {

constexpr char kPatternChoices[] =
    "Threshold|Floyd Steinberg|False Floyd Steinberg|Filter Lite|Zhigang Fan|Shiau-Fan|"
    "Jarvis, Judice & Ninke|Stucki|Burkes|Sierra|Two Row Sierra|Atkinson|Bayer 2x2|Bayer 3x3|Bayer 5x3|"
    "Bayer 4x4|Bayer 8x8|Cluster Dot 4x4|Cluster Dot 8x8|Horizontal 2x2|Horizontal 8x1|Horizontal 12x4|"
    "Vertical 2x2|Vertical 1x8|Vertical 4x12|Diagonal 5x5";
constexpr char kSwatchChoices[] =
    "Custom|1-bit Gray|2-bit Gray|4-bit Gray|3-bit RGB|6-bit RGB|9-bit RGB|PICO-8|Gameboy|AppleII|CGA|"
    "VGA 2-bit|VGA 8-bit|VIC-20|Amstrad CPC|MSX|ZX Spectrum|Commodore 64|Commodore 64 - Orrel|NES|"
    "FamiCube - Iven|Web Safe";

constexpr PF_Fixed Fixed(A_long whole) { return whole * 65536; }

// A cleared definition with its id equal to the index it will take.
PF_ParamDef Base(const ParamSet& set, PF_ParamType type, const char* name, PF_ParamFlags flags) {
  PF_ParamDef def{};
  def.uu.id = static_cast<A_long>(set.size());
  def.param_type = type;
  std::strncpy(def.name, name, sizeof(def.name) - 1);
  def.flags = flags;
  return def;
}

void AddPopup(ParamSet& set, const char* name, const char* choices, A_short count, A_short dephault) {
  PF_ParamDef def = Base(set, PF_Param_POPUP, name, PF_ParamFlag_SUPERVISE);
  def.u.pd.value = dephault;
  def.u.pd.num_choices = count;
  def.u.pd.dephault = dephault;
  def.u.pd.u.namesptr = choices;
  set.add(def);
}

void AddFloatSlider(ParamSet& set, const char* name, PF_Precision precision, PF_ValueDisplayFlags display) {
  PF_ParamDef def = Base(set, PF_Param_FLOAT_SLIDER, name, PF_ParamFlag_COLLAPSE_TWIRLY);
  def.u.fs_d.valid_min = -1000.0f;
  def.u.fs_d.valid_max = 1000.0f;
  def.u.fs_d.slider_min = -100.0f;
  def.u.fs_d.slider_max = 100.0f;
  def.u.fs_d.precision = precision;
  def.u.fs_d.display_flags = display;
  def.u.fs_d.curve_tolerance = 0.05f;
  set.add(def);
}

void AddGroupEnd(ParamSet& set) { set.add(Base(set, PF_Param_GROUP_END, "", PF_ParamFlag_NONE)); }

}  // namespace

ParamSet DefaultEffectParams() {
  ParamSet set;
  PF_ParamDef layer = Base(set, PF_Param_LAYER, "", PF_ParamFlag_NONE);
  layer.u.ld.dephault = PF_LayerDefault_MYSELF;
  set.add(layer);

  set.add(Base(set, PF_Param_GROUP_START, "Pattern", PF_ParamFlag_NONE));
  AddPopup(set, "Pattern", kPatternChoices, 26, 17);
  set.add(Base(set, PF_Param_GROUP_START, "Properties", PF_ParamFlag_COLLAPSE_TWIRLY));
  AddFloatSlider(set, "Offset X", PF_Precision_INTEGER, PF_ValueDisplayFlag_NONE);
  AddFloatSlider(set, "Offset Y", PF_Precision_INTEGER, PF_ValueDisplayFlag_NONE);

  PF_ParamDef scale = Base(set, PF_Param_FIX_SLIDER, "Scale", PF_ParamFlag_COLLAPSE_TWIRLY);
  scale.u.fd.value = Fixed(1);
  scale.u.fd.valid_min = Fixed(1);
  scale.u.fd.valid_max = Fixed(100);
  scale.u.fd.slider_min = Fixed(1);
  scale.u.fd.slider_max = Fixed(10);
  scale.u.fd.dephault = Fixed(1);
  scale.u.fd.precision = PF_Precision_INTEGER;
  scale.u.fd.display_flags = PF_ValueDisplayFlag_NONE;
  set.add(scale);

  AddFloatSlider(set, "Threshold Red", PF_Precision_HUNDREDTHS, PF_ValueDisplayFlag_PERCENT);
  AddFloatSlider(set, "Threshold Green", PF_Precision_HUNDREDTHS, PF_ValueDisplayFlag_PERCENT);
  AddFloatSlider(set, "Threshold Blue", PF_Precision_HUNDREDTHS, PF_ValueDisplayFlag_PERCENT);
  AddGroupEnd(set);
  AddGroupEnd(set);

  set.add(Base(set, PF_Param_GROUP_START, "Palette", PF_ParamFlag_NONE));
  AddPopup(set, "Swatch", kSwatchChoices, 22, 6);
  set.add(Base(set, PF_Param_GROUP_START, "Custom Palette", PF_ParamFlag_NONE));
  PF_ParamDef reset =
      Base(set, PF_Param_BUTTON, "---", PF_ParamFlag_SUPERVISE | PF_ParamFlag_COLLAPSE_TWIRLY);
  reset.u.button_d.u.namesptr = "Reset palette";
  set.add(reset);
  AddGroupEnd(set);
  AddGroupEnd(set);
  return set;
}

}  // namespace minihost
