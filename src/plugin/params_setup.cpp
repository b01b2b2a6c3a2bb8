// PF_Cmd_PARAMS_SETUP: the effect's controls, registered in the order that fixes their indices.
#include <cstring>
#include <string>
#include <string_view>

#include "palette/palette_catalogue.h"
#include "plugin/commands.h"
#include "plugin/param_indices.h"
#include "plugin/suite_cache.h"
#include "render/pattern_catalogue.h"

namespace {

// The popups' choices, "|"-separated in catalogue order, made once and kept for the library's life: the
// host may hold on to the text it was given.
template <typename Catalogue>
std::string JoinLabels(const Catalogue& catalogue) {
  std::string joined;
  for (const auto& row : catalogue) {
    if (!joined.empty()) joined += '|';
    joined += row.label;
  }
  return joined;
}

template <typename Catalogue>
A_long PopupValueOf(const Catalogue& catalogue, std::string_view label) {
  for (std::size_t i = 0; i < catalogue.size(); ++i) {
    if (label == catalogue[i].label) return static_cast<A_long>(i + 1);
  }
  return 1;
}

const char* PatternChoices() {
  static const std::string choices = JoinLabels(PatternCatalogue);
  return choices.c_str();
}

const char* SwatchChoices() {
  static const std::string choices = JoinLabels(PaletteCatalogue);
  return choices.c_str();
}

constexpr auto kPatternCountShort = static_cast<A_short>(kPatternCount);
constexpr auto kSwatchCountShort = static_cast<A_short>(kPaletteCount);
constexpr PF_Fixed kFixedOne = 1 << 16;
constexpr PF_FpShort kCurveTolerance = 0.05f;

// Appends definitions one after another. The first error from the host ends registration: later
// definitions are not sent, and what was added before it stays with the host.
class Registrar {
 public:
  explicit Registrar(PF_InData* inData) : inData_(inData) {}

  void Group(const char* name, PF_ParamFlags flags = PF_ParamFlag_NONE) {
    PF_ParamDef def = Make(PF_Param_GROUP_START, name, flags);
    Add(def);
  }
  void GroupEnd() {
    PF_ParamDef def = Make(PF_Param_GROUP_END, "", PF_ParamFlag_NONE);
    Add(def);
  }
  void Popup(const char* name, const char* choices, A_short count, A_long dephault) {
    PF_ParamDef def = Make(PF_Param_POPUP, name, PF_ParamFlag_SUPERVISE);
    def.u.pd.value = dephault;
    def.u.pd.dephault = static_cast<A_short>(dephault);
    def.u.pd.num_choices = count;
    def.u.pd.u.namesptr = choices;
    Add(def);
  }
  void FloatSlider(const char* name, PF_Precision precision, PF_ValueDisplayFlags display) {
    PF_ParamDef def = Make(PF_Param_FLOAT_SLIDER, name, PF_ParamFlag_COLLAPSE_TWIRLY);
    PF_FloatSliderDef& slider = def.u.fs_d;
    slider.valid_min = -1000.0f;
    slider.valid_max = 1000.0f;
    slider.slider_min = -100.0f;
    slider.slider_max = 100.0f;
    slider.value = 0.0;
    slider.dephault = 0.0f;
    slider.precision = precision;
    slider.display_flags = display;
    slider.curve_tolerance = kCurveTolerance;
    Add(def);
  }
  void ScaleSlider(const char* name) {
    PF_ParamDef def = Make(PF_Param_FIX_SLIDER, name, PF_ParamFlag_COLLAPSE_TWIRLY);
    PF_FixedSliderDef& slider = def.u.fd;
    slider.valid_min = kFixedOne;
    slider.valid_max = 100 * kFixedOne;
    slider.slider_min = kFixedOne;
    slider.slider_max = 10 * kFixedOne;
    slider.value = kFixedOne;
    slider.dephault = kFixedOne;
    slider.precision = PF_Precision_INTEGER;
    slider.display_flags = PF_ValueDisplayFlag_NONE;
    Add(def);
  }
  void Button(const char* name, const char* text) {
    PF_ParamDef def = Make(PF_Param_BUTTON, name, PF_ParamFlag_SUPERVISE | PF_ParamFlag_COLLAPSE_TWIRLY);
    def.u.button_d.u.namesptr = text;
    Add(def);
  }

  PF_Err result() const { return err_; }

 private:
  PF_ParamDef Make(PF_ParamType type, const char* name, PF_ParamFlags flags) {
    PF_ParamDef def;
    std::memset(&def, 0, sizeof def);
    def.param_type = type;
    def.flags = flags;
    def.uu.id = next_;
    inData_->utils->ansi.strcpy(def.name, name);
    return def;
  }
  void Add(PF_ParamDef& def) {
    if (err_ != PF_Err_NONE) return;
    err_ = inData_->inter.add_param(inData_->effect_ref, -1, &def);
    ++next_;
  }

  PF_InData* inData_;
  PF_Err err_ = PF_Err_NONE;
  A_long next_ = 1;  // index 0 is the input layer, which the host supplies
};

PF_Err RegisterControls(PF_InData* inData) {
  Registrar add(inData);
  add.Group("Pattern");
  add.Popup("Pattern", PatternChoices(), kPatternCountShort, PopupValueOf(PatternCatalogue, "Bayer 8x8"));
  add.Group("Properties", PF_ParamFlag_COLLAPSE_TWIRLY);
  add.FloatSlider("Offset X", PF_Precision_INTEGER, PF_ValueDisplayFlag_NONE);
  add.FloatSlider("Offset Y", PF_Precision_INTEGER, PF_ValueDisplayFlag_NONE);
  add.ScaleSlider("Scale");
  add.FloatSlider("Threshold Red", PF_Precision_HUNDREDTHS, PF_ValueDisplayFlag_PERCENT);
  add.FloatSlider("Threshold Green", PF_Precision_HUNDREDTHS, PF_ValueDisplayFlag_PERCENT);
  add.FloatSlider("Threshold Blue", PF_Precision_HUNDREDTHS, PF_ValueDisplayFlag_PERCENT);
  add.GroupEnd();  // "Properties"
  add.GroupEnd();  // "Pattern"
  add.Group("Palette");
  add.Popup("Swatch", SwatchChoices(), kSwatchCountShort, PopupValueOf(PaletteCatalogue, "6-bit RGB"));
  add.Group("Custom Palette");
  add.Button("---", "Reset palette");  // the name becomes the colour count
  add.GroupEnd();                      // "Custom Palette"
  add.GroupEnd();                      // "Palette"
  return add.result();
}

// The effect UI suite is acquired once, outside the command's suite cache; failing to get it is shown
// to the user but does not fail registration.
const PF_EffectUISuite1* AcquireEffectUI(PF_InData* inData, PF_OutData* outData) {
  const void* suite = nullptr;
  if (inData->pica_basicP != nullptr) {
    inData->pica_basicP->AcquireSuite(kPFEffectUISuite, kPFEffectUISuiteVersion1, &suite);
  }
  if (suite == nullptr) {
    outData->out_flags |= PF_OutFlag_DISPLAY_ERROR_MESSAGE;
    inData->utils->ansi.sprintf(outData->return_msg, "Not able to acquire AEFX Suite.");
  }
  return static_cast<const PF_EffectUISuite1*>(suite);
}

void ReleaseEffectUI(PF_InData* inData, PF_OutData* outData) {
  if (inData->pica_basicP != nullptr) {
    inData->pica_basicP->ReleaseSuite(kPFEffectUISuite, kPFEffectUISuiteVersion1);
  } else {
    outData->out_flags |= PF_OutFlag_DISPLAY_ERROR_MESSAGE;
    inData->utils->ansi.sprintf(outData->return_msg, "Not able to release AEFX Suite.");
  }
}

}  // namespace

PF_Err ParamsSetup(PF_InData* inData, PF_OutData* outData) {
  SuiteCache suites(inData);
  // Premiere Pro keeps its own text on the options button.
  if (inData->appl_id != PF_ApplID_PremierePro) {
    if (const PF_EffectUISuite1* ui = AcquireEffectUI(inData, outData); ui != nullptr) {
      ui->PF_SetOptionsButtonName(inData->effect_ref, "Load Palette");
      // Only a suite that was acquired is given back: a release without its acquire would unbalance the
      // host's count.
      ReleaseEffectUI(inData, outData);
    }
  }
  const PF_Err err = RegisterControls(inData);
  if (err != PF_Err_NONE) return err;
  outData->num_params = kParamCount;
  return PF_Err_NONE;
}
