// The effect's parameter array as the host keeps it: the definitions with their values, and what the
// effect sent about them (UI updates, the options-button text).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "minihost/host.h"
#include "sdk/ae_effect.h"

namespace minihost {

class ParamSet {
 public:
  ParamSet() = default;
  ParamSet(const ParamSet& other);
  ParamSet& operator=(const ParamSet& other);
  ParamSet(ParamSet&& other) noexcept;
  ParamSet& operator=(ParamSet&& other) noexcept;

  std::size_t size() const { return defs_.size(); }
  PF_ParamDef& operator[](std::size_t index) { return defs_[index]; }
  const PF_ParamDef& operator[](std::size_t index) const { return defs_[index]; }

  // Appends a definition; popup and button strings are copied, as the host copies them at add time.
  void add(const PF_ParamDef& def);
  // An argv-style array of pointers to the definitions, ending with null; valid until the set changes.
  PF_ParamDef** array();

  // The first parameter of `type` named `name`, as a user finds a control by its label.
  std::optional<std::size_t> find(std::string_view name, PF_ParamType type) const;

  // Values. Popups take a 1-based choice; throws std::out_of_range for an index or choice outside the set.
  void setPopup(std::size_t index, A_long value);
  // The choice whose label is exactly `label`; throws std::invalid_argument when the popup has none.
  void setPopup(std::size_t index, const std::string& label);
  void setFloat(std::size_t index, double value);
  void setFixed(std::size_t index, PF_Fixed value);
  std::vector<std::string> popupChoices(std::size_t index) const;

  // What the effect sent through PF_UpdateParamUI and PF_SetOptionsButtonName.
  std::vector<ParamUIUpdate> uiUpdates;
  std::string optionsButtonName;

 private:
  void rebindStrings();
  std::vector<PF_ParamDef> defs_;
  std::vector<std::string> strings_;  // one per definition: popup choices or button text
  std::vector<PF_ParamDef*> pointers_;
};

// A popup choice named by a person: its label without regard to case, with '-' or '_' standing for a space
// ("floyd-steinberg", "FLOYD_STEINBERG" and "Floyd Steinberg" are one), or its number from 1. Labels are
// tried first, so "1-bit Gray" is a label and not the number 1.
struct PopupChoiceMatch {
  A_long choice = 0;    // the 1-based choice; 0 when nothing matched
  bool number = false;  // the text is a whole number, whether or not a choice has it
};
PopupChoiceMatch MatchPopupChoice(std::string_view text, const std::vector<std::string>& choices);

}  // namespace minihost
