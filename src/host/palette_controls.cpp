// The controls that act on the custom palette and on what the user sees: "Reset palette", the colour count
// shown in the button's row, the row shown only for "Custom", the pattern properties greyed out where the
// pattern ignores them, and the options button that loads a swatch file.
//
// Definitions are changed on a copy handed to PF_UpdateParamUI, as the host asks: the host's own records
// are never written during these commands. One copy of the button row carries all of a command's changes,
// so a later update cannot undo an earlier one.
#include <cstdint>

#include "ase/load_swatch_colors.h"
#include "host/commands.h"
#include "host/open_file_dialog.h"
#include "render/custom_palette_lock.h"
#include "render/param_indices.h"
#include "render/suite_cache.h"

namespace {

const Color3 kBlack(0.0f, 0.0f, 0.0f);
constexpr A_long kFirstOrderedPattern = 12;  // "Bayer 2x2" - 1: the patterns before it ignore the properties

class ParamUI {
 public:
  ParamUI(SuiteCache& suites, PF_InData* inData, PF_ParamDef* params[])
      : suites_(suites), inData_(inData), params_(params), resetRow_(*params[kParamResetPalette]) {}

  // The colour count in the name of the button row: "1 color", "2 colors", and "0 color".
  void Label(uint32_t count) {
    suites_.ansi().sprintf(resetRow_.name, "%u color%s", count, count > 1 ? "s" : "");
  }

  void UpdateResetRow() { Update(kParamResetPalette, resetRow_); }

  // The button row is shown and usable only while "Swatch" is on "Custom".
  void ApplySwatchRule() {
    const PF_ParamUIFlags hidden = PF_PUI_DISABLED | PF_PUI_INVISIBLE;
    if (params_[kParamSwatch]->u.pd.value == 1) {
      resetRow_.ui_flags &= ~hidden;
    } else {
      resetRow_.ui_flags |= hidden;
    }
    UpdateResetRow();
  }

  // Offsets, scale and thresholds shape only the ordered patterns.
  void ApplyPatternRule() {
    const bool ignored = params_[kParamPattern]->u.pd.value - 1 < kFirstOrderedPattern;
    for (PF_ParamIndex index : {kParamScale, kParamOffsetX, kParamOffsetY, kParamThresholdRed,
                                kParamThresholdGreen, kParamThresholdBlue}) {
      PF_ParamDef def = *params_[index];
      if (ignored) {
        def.ui_flags |= PF_PUI_DISABLED;
      } else {
        def.ui_flags &= ~PF_PUI_DISABLED;
      }
      Update(index, def);
    }
  }

 private:
  // Errors from the host's UI update change nothing the effect does next.
  void Update(PF_ParamIndex index, const PF_ParamDef& def) {
    suites_.paramUtils().PF_UpdateParamUI(inData_->effect_ref, index, &def);
  }

  SuiteCache& suites_;
  PF_InData* inData_;
  PF_ParamDef** params_;
  PF_ParamDef resetRow_;
};

}  // namespace

PF_Err UserChangedParam(PF_InData* inData, PF_OutData* outData, PF_ParamDef* params[],
                        const PF_UserChangedParamExtra* extra) {
  SuiteCache suites(inData);
  if (extra == nullptr) return PF_Err_NONE;
  ParamUI ui(suites, inData, params);
  switch (extra->param_index) {
    case kParamResetPalette: {
      bool reset = false;
      if (inData->sequence_data != nullptr) {
        CustomPaletteLock palette(suites.handles(), inData->sequence_data);
        if (ColorList* colors = palette.list(); colors != nullptr) {
          colors->assign(1, kBlack);
          outData->out_flags |= PF_OutFlag_FORCE_RERENDER;
          reset = true;
        }
      }
      if (reset) {
        ui.Label(1);
        ui.UpdateResetRow();
      }
      break;
    }
    case kParamSwatch:
      ui.ApplySwatchRule();
      break;
    case kParamPattern:
      ui.ApplyPatternRule();
      break;
    default:
      break;
  }
  return PF_Err_NONE;
}

PF_Err UpdateParamsUI(PF_InData* inData, PF_ParamDef* params[]) {
  SuiteCache suites(inData);
  ParamUI ui(suites, inData, params);
  if (inData->sequence_data != nullptr) {
    CustomPaletteLock palette(suites.handles(), inData->sequence_data);
    if (const ColorList* colors = palette.list(); colors != nullptr) {
      ui.Label(static_cast<uint32_t>(colors->size()));
    }
  }
  ui.UpdateResetRow();
  ui.ApplySwatchRule();
  ui.ApplyPatternRule();
  return PF_Err_NONE;
}

PF_Err DoDialog(PF_InData* inData) {
  SuiteCache suites(inData);
  const std::optional<std::string> path =
      OpenFileDialog({"Open Palette", "", {"*.ase"}, "Adobe Swatch Exchange (*.ase)"});
  if (!path) return PF_Err_NONE;
  const ColorList loaded = LoadSwatchColors(*path);
  // A file that yields no colour leaves the palette as it was.
  if (loaded.empty() || inData->sequence_data == nullptr) return PF_Err_NONE;
  CustomPaletteLock palette(suites.handles(), inData->sequence_data);
  if (ColorList* colors = palette.list(); colors != nullptr) *colors = loaded;
  return PF_Err_NONE;
}
