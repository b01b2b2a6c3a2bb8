#include "minihost/params.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstring>
#include <stdexcept>
#include <string>
#include <utility>

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

// Moving the vectors keeps every element where it is, so the string pointers stay valid; they are set
// again all the same, so that no definition can be left pointing into the moved-from set.
ParamSet::ParamSet(ParamSet&& other) noexcept
    : uiUpdates(std::move(other.uiUpdates)),
      optionsButtonName(std::move(other.optionsButtonName)),
      defs_(std::move(other.defs_)),
      strings_(std::move(other.strings_)) {
  other.pointers_.clear();
  rebindStrings();
}

ParamSet& ParamSet::operator=(ParamSet&& other) noexcept {
  if (this != &other) {
    uiUpdates = std::move(other.uiUpdates);
    optionsButtonName = std::move(other.optionsButtonName);
    defs_ = std::move(other.defs_);
    strings_ = std::move(other.strings_);
    pointers_.clear();
    other.pointers_.clear();
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

void ParamSet::setPopup(std::size_t index, const std::string& label) {
  const std::vector<std::string> choices = popupChoices(index);
  const auto found = std::find(choices.begin(), choices.end(), label);
  if (found == choices.end()) {
    throw std::invalid_argument("parameter " + std::to_string(index) + " has no choice \"" + label + "\"");
  }
  setPopup(index, static_cast<A_long>(found - choices.begin() + 1));
}

std::optional<std::size_t> ParamSet::find(std::string_view name, PF_ParamType type) const {
  for (std::size_t i = 0; i < defs_.size(); ++i) {
    const PF_ParamDef& def = defs_[i];
    if (def.param_type == type && name == std::string_view(def.name, strnlen(def.name, sizeof def.name))) {
      return i;
    }
  }
  return std::nullopt;
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

namespace {

std::string NormaliseLabel(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    if (c == '-' || c == '_') c = ' ';
    out.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
  }
  return out;
}

}  // namespace

PopupChoiceMatch MatchPopupChoice(std::string_view text, const std::vector<std::string>& choices) {
  const std::string wanted = NormaliseLabel(text);
  for (std::size_t i = 0; i < choices.size(); ++i) {
    if (NormaliseLabel(choices[i]) == wanted) return {static_cast<A_long>(i + 1), false};
  }
  A_long number = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), number);
  if (ec != std::errc() || end != text.data() + text.size() || text.empty()) return {};
  const bool inRange = number >= 1 && static_cast<std::size_t>(number) <= choices.size();
  return {inRange ? number : 0, true};
}

}  // namespace minihost
