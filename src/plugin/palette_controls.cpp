// The controls that act on the custom palette and on what the user sees: "Reset palette", the colour count
// shown in the button's row, the row shown only for "Custom", the pattern properties greyed out where the
// pattern ignores them, and the options button that loads a swatch file.
//
// Definitions are changed on a copy handed to PF_UpdateParamUI, as the host asks: the host's own records
// are never written during these commands. One copy of the button row carries all of a command's changes,
// so a later update cannot undo an earlier one.
#include <cstdint>

#include "ase/load_swatch_colors.h"
#include "plugin/commands.h"
#include "plugin/custom_palette_lock.h"
#include "plugin/open_file_dialog.h"
#include "plugin/param_indices.h"
#include "plugin/suite_cache.h"
#include "render/pattern_catalogue.h"

namespace {

const Color3 kBlack(0.0f, 0.0f, 0.0f);

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
    const A_long pattern = params_[kParamPattern]->u.pd.value - 1;
    const bool ignored = pattern < 0 || static_cast<std::size_t>(pattern) >= kPatternCount ||
                         !PatternCatalogue[static_cast<std::size_t>(pattern)].usesPatternControls();
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
        if (CustomPalette* colors = palette.palette(); colors != nullptr) {
          *colors = CustomPalette(ColorList(1, kBlack));
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
    if (const CustomPalette* colors = palette.palette(); colors != nullptr) {
      ui.Label(static_cast<uint32_t>(colors->colors().size()));
    }
  }
  ui.UpdateResetRow();
  ui.ApplySwatchRule();
  ui.ApplyPatternRule();
  return PF_Err_NONE;
}

PF_Err DoDialog(PF_InData* inData, PF_OutData* outData) {
  SuiteCache suites(inData);
  const std::optional<std::string> path =
      OpenFileDialog({"Open Palette", "", {"*.ase"}, "Adobe Swatch Exchange (*.ase)"});
  if (!path) return PF_Err_NONE;
  ColorList loaded = LoadSwatchColors(*path);
  // A file that yields no colour leaves the palette as it was.
  if (loaded.empty() || inData->sequence_data == nullptr) return PF_Err_NONE;
  CustomPaletteLock palette(suites.handles(), inData->sequence_data);
  // The search structure is made here, once, not on every frame.
  if (CustomPalette* colors = palette.palette(); colors != nullptr) {
    *colors = CustomPalette(std::move(loaded));
    // The render copies hold the palette as it was: this is what sends the new one to them.
    outData->out_flags |= PF_OutFlag_FORCE_RERENDER;
  }
  return PF_Err_NONE;
}
