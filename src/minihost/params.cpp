#include "minihost/params.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>

namespace minihost {
namespace {

// The string member of a definition that points outside the record, or null for types without one.
const A_char** OwnedString(PF_ParamDef& def) {
  if (def.param_type == PF_Param_POPUP) return &def.u.pd.u.namesptr;
  if (def.param_type == PF_Param_BUTTON) return &def.u.button_d.u.namesptr;
  return nullptr;
}

}  // namespace

ParamSet::ParamSet(const ParamSet& other)
    : uiUpdates(other.uiUpdates),
      optionsButtonName(other.optionsButtonName),
      defs_(other.defs_),
      strings_(other.strings_) {
  rebindStrings();
}

ParamSet& ParamSet::operator=(const ParamSet& other) {
  if (this != &other) {
    uiUpdates = other.uiUpdates;
    optionsButtonName = other.optionsButtonName;
    defs_ = other.defs_;
    strings_ = other.strings_;
    pointers_.clear();
    rebindStrings();
  }
  return *this;
}

void ParamSet::add(const PF_ParamDef& def) {
  defs_.push_back(def);
  const A_char** owned = OwnedString(defs_.back());
  strings_.emplace_back(owned != nullptr && *owned != nullptr ? *owned : "");
  pointers_.clear();
  rebindStrings();
}

// Moving strings (growing the vector, copying the set) moves their characters, so every pointer is set
// again. A definition that came without its string keeps a null pointer.
void ParamSet::rebindStrings() {
  for (std::size_t i = 0; i < defs_.size(); ++i) {
    const A_char** owned = OwnedString(defs_[i]);
    if (owned != nullptr && *owned != nullptr) *owned = strings_[i].c_str();
  }
}

PF_ParamDef** ParamSet::array() {
  pointers_.clear();
  for (PF_ParamDef& def : defs_) pointers_.push_back(&def);
  pointers_.push_back(nullptr);
  return pointers_.data();
}

namespace {

PF_ParamDef& Checked(std::vector<PF_ParamDef>& defs, std::size_t index, PF_ParamType type, const char* what) {
  if (index >= defs.size()) throw std::out_of_range("no parameter " + std::to_string(index));
  if (defs[index].param_type != type) {
    throw std::invalid_argument("parameter " + std::to_string(index) + " is not a " + what);
  }
  return defs[index];
}

}  // namespace

void ParamSet::setPopup(std::size_t index, A_long value) {
  PF_ParamDef& def = Checked(defs_, index, PF_Param_POPUP, "popup");
  if (value < 1 || value > def.u.pd.num_choices) {
    throw std::out_of_range("choice " + std::to_string(value) + " outside 1.." +
                            std::to_string(def.u.pd.num_choices) + " of parameter " + std::to_string(index));
  }
  def.u.pd.value = value;
}

// Sliders hold values to their valid range, as the host's controls do.
void ParamSet::setFloat(std::size_t index, double value) {
  PF_ParamDef& def = Checked(defs_, index, PF_Param_FLOAT_SLIDER, "float slider");
  if (std::isnan(value)) throw std::invalid_argument("a float slider cannot hold NaN");
  def.u.fs_d.value = std::min(std::max(value, static_cast<double>(def.u.fs_d.valid_min)),
                              static_cast<double>(def.u.fs_d.valid_max));
}

void ParamSet::setFixed(std::size_t index, PF_Fixed value) {
  PF_ParamDef& def = Checked(defs_, index, PF_Param_FIX_SLIDER, "fixed slider");
  def.u.fd.value = std::min(std::max(value, def.u.fd.valid_min), def.u.fd.valid_max);
}

std::vector<std::string> ParamSet::popupChoices(std::size_t index) const {
  if (index >= defs_.size()) throw std::out_of_range("no parameter " + std::to_string(index));
  if (defs_[index].param_type != PF_Param_POPUP) {
    throw std::invalid_argument("parameter " + std::to_string(index) + " is not a popup");
  }
  std::vector<std::string> choices;
  const A_char* namesptr = defs_[index].u.pd.u.namesptr;
  if (namesptr == nullptr) return choices;
  const std::string names = namesptr;
  std::size_t start = 0;
  for (;;) {
    const std::size_t bar = names.find('|', start);
    choices.push_back(names.substr(start, bar - start));
    if (bar == std::string::npos) break;
    start = bar + 1;
  }
  return choices;
}

}  // namespace minihost
