#include "cli/look_file.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <nlohmann/json.hpp>
#include <set>
#include <system_error>
#include <vector>

#include "bytes/hex_digit.h"
#include "cli/popup_choice.h"
#include "cli/safe_output.h"
#include "palettefiles/flat_palette.h"
#include "palettefiles/palette_file.h"

namespace {

using Json = nlohmann::json;
// Written with the keys in the order given.
using OrderedJson = nlohmann::ordered_json;

constexpr std::uintmax_t kMaxLookFileBytes = 64u << 20;

bool IsControl(const PF_ParamDef& def) {
  return def.param_type == PF_Param_POPUP || def.param_type == PF_Param_FLOAT_SLIDER ||
         def.param_type == PF_Param_FIX_SLIDER;
}

std::string Quoted(const std::string& text) { return Json(text).dump(); }

// A value as messages name it: scalars as written, arrays and objects by their kind only, since one may
// nest deeper than anything could print.
std::string Describe(const Json& value) {
  if (value.is_array()) return "an array";
  if (value.is_object()) return "an object";
  return value.dump();
}

OrderedJson PaletteEntry(const Color3& color, std::size_t index) {
  unsigned k[3];
  if (IsEightBit(color.r, k[0]) && IsEightBit(color.g, k[1]) && IsEightBit(color.b, k[2])) {
    char hex[8];
    std::snprintf(hex, sizeof hex, "#%02X%02X%02X", k[0], k[1], k[2]);
    return hex;
  }
  for (float channel : {color.r, color.g, color.b}) {
    if (!std::isfinite(channel)) {
      throw CliError(kExitOutput, "custom palette colour " + std::to_string(index) +
                                      " holds a value that is not a finite number, which JSON cannot hold");
    }
  }
  // A float widened to double is exact, and the double's shortest digits read back as that double.
  return OrderedJson::array(
      {static_cast<double>(color.r), static_cast<double>(color.g), static_cast<double>(color.b)});
}

// nlohmann's pretty printing puts every array element on a line of its own; a look keeps a colour's
// channels on one line, "[r, g, b]". So objects and arrays are printed here one member a line, indented by
// two spaces a level, and arrays of numbers on one line; every key and scalar is as nlohmann writes it.
void Print(const OrderedJson& value, std::size_t depth, std::string& out) {
  const bool numbers = value.is_array() && std::all_of(value.begin(), value.end(),
                                                       [](const OrderedJson& v) { return v.is_number(); });
  if (!value.is_structured() || value.empty()) {
    out += value.dump();
    return;
  }
  if (numbers) {
    out += '[';
    for (std::size_t i = 0; i < value.size(); ++i) out += (i == 0 ? "" : ", ") + value[i].dump();
    out += ']';
    return;
  }
  const std::string indent(2 * (depth + 1), ' ');
  out += value.is_object() ? '{' : '[';
  bool first = true;
  for (const auto& [key, member] : value.items()) {
    out += first ? "\n" : ",\n";
    first = false;
    out += indent;
    if (value.is_object()) out += OrderedJson(key).dump() + ": ";
    Print(member, depth + 1, out);
  }
  out += '\n' + std::string(2 * depth, ' ') + (value.is_object() ? '}' : ']');
}

[[noreturn]] void Refuse(const std::string& name, const std::string& reason) {
  throw CliError(kExitInput, name + ": " + reason);
}

Color3 ParseEntry(const Json& entry, const std::string& where) {
  if (entry.is_string()) {
    const std::string& text = entry.get_ref<const std::string&>();
    unsigned rgb[3] = {0, 0, 0};
    bool good = text.size() == 7 && text[0] == '#';
    for (std::size_t d = 0; good && d < 6; ++d) {
      const int digit = HexDigit(text[1 + d]);
      good = digit >= 0;
      if (good) rgb[d / 2] = rgb[d / 2] * 16 + static_cast<unsigned>(digit);
    }
    if (!good) throw CliError(kExitInput, where + ": \"" + text + "\" is not a colour \"#RRGGBB\"");
    return Color3(FromEightBit(rgb[0]), FromEightBit(rgb[1]), FromEightBit(rgb[2]));
  }
  if (!entry.is_array() || entry.size() != 3) {
    throw CliError(kExitInput, where + ": expected \"#RRGGBB\" or [red, green, blue]");
  }
  float channels[3];
  for (std::size_t c = 0; c < 3; ++c) {
    if (!entry[c].is_number())
      throw CliError(kExitInput, where + ": " + Describe(entry[c]) + " is not a number");
    const double value = entry[c].get<double>();
    if (!(std::fabs(value) <= FLT_MAX)) {
      throw CliError(kExitInput, where + ": " + Describe(entry[c]) + " is beyond what a float holds");
    }
    channels[c] = static_cast<float>(value);
  }
  return Color3(channels[0], channels[1], channels[2]);
}

void ApplyControl(EffectSession& session, const std::string& control, const Json& value,
                  const std::string& name) {
  const minihost::ParamSet& params = session.params();
  std::size_t index = params.size();
  for (std::size_t i = 0; i < params.size(); ++i) {
    if (IsControl(params[i]) && control == params[i].name) {
      index = i;
      break;
    }
  }
  if (index == params.size()) Refuse(name, "unknown control " + Quoted(control));
  const std::string where = name + ": " + Quoted(control);
  const PF_ParamType type = params[index].param_type;
  if (type == PF_Param_POPUP) {
    const std::vector<std::string> choices = params.popupChoices(index);
    A_long choice = 0;
    if (value.is_string()) {
      try {
        choice = ParsePopupChoice(where, value.get<std::string>(), choices);
      } catch (const CliError& e) {
        throw CliError(kExitInput, e.message());
      }
    } else if (value.is_number()) {
      // 3 and 3.0 are the same number in JSON.
      const double number = value.get<double>();
      if (number != std::floor(number)) {
        throw CliError(kExitInput, where + ": " + Describe(value) + " is not a whole number");
      }
      if (!(number >= 1 && number <= static_cast<double>(choices.size()))) {
        throw CliError(kExitInput,
                       where + ": " + Describe(value) + " is outside 1 to " + std::to_string(choices.size()));
      }
      choice = static_cast<A_long>(number);
    } else {
      throw CliError(kExitInput, where + ": expected a label or a number, not " + Describe(value));
    }
    session.setPopup(params[index].name, choice);
    return;
  }
  if (!value.is_number()) throw CliError(kExitInput, where + ": expected a number, not " + Describe(value));
  if (type == PF_Param_FIX_SLIDER) {
    session.setFixedSlider(params[index].name, where, value.get<double>(), kExitInput);
  } else {
    session.setFloatSlider(params[index].name, where, value.get<double>(), kExitInput);
  }
}

// JSON leaves a key given twice in one object to the reader, and nlohmann keeps the last value without a
// word; a look whose file says two things about one control (or two palettes) is refused instead.
Json::parser_callback_t DuplicateKeyRefusal(const std::string& name) {
  struct Level {
    bool object = false;
    std::string key;  // the last key read at this level: the name of the object or array it opens
    std::set<std::string> keys;
  };
  auto levels = std::make_shared<std::vector<Level>>();
  return [levels, name](int, Json::parse_event_t event, Json& parsed) {
    switch (event) {
      case Json::parse_event_t::object_start:
      case Json::parse_event_t::array_start:
        levels->push_back({event == Json::parse_event_t::object_start, {}, {}});
        break;
      case Json::parse_event_t::object_end:
      case Json::parse_event_t::array_end:
        if (!levels->empty()) levels->pop_back();
        break;
      case Json::parse_event_t::key: {
        Level& level = levels->back();
        const std::string& key = parsed.get_ref<const std::string&>();
        if (!level.keys.insert(key).second) {
          const std::string where = levels->size() > 1 && !(*levels)[levels->size() - 2].key.empty()
                                        ? " in " + Quoted((*levels)[levels->size() - 2].key)
                                        : std::string();
          Refuse(name, "key " + Quoted(key) + " is given twice" + where + "; a look gives each key once");
        }
        level.key = key;
        break;
      }
      case Json::parse_event_t::value:
        break;
    }
    return true;
  };
}

}  // namespace

std::string LookJson(EffectSession& session) {
  const minihost::SavedState state = session.savedState();
  const minihost::ParamSet& params = session.params();
  // In the order the effect registers its controls.
  OrderedJson controls = OrderedJson::object();
  for (const minihost::SavedValue& saved : state.values) {
    const PF_ParamDef& def = params[static_cast<std::size_t>(saved.index)];
    if (!IsControl(def)) continue;
    if (def.param_type == PF_Param_POPUP) {
      controls[def.name] = params.popupChoices(static_cast<std::size_t>(saved.index)).at(saved.integer - 1);
    } else if (def.param_type == PF_Param_FIX_SLIDER) {
      controls[def.name] = saved.integer / 65536.0;
    } else {
      controls[def.name] = saved.real;
    }
  }
  OrderedJson palette = OrderedJson::array();
  const ColorList colors = PaletteFromFlatBytes(state.sequenceData);
  for (std::size_t i = 0; i < colors.size(); ++i) palette.push_back(PaletteEntry(colors[i], i + 1));

  const OrderedJson look = {{"palettrix_look", kLookVersion},
                            {"controls", std::move(controls)},
                            {"custom_palette", std::move(palette)}};
  std::string text;
  Print(look, 0, text);
  return text + "\n";
}

void ApplyLookJson(EffectSession& session, const std::string& text, const std::string& name) {
  Json look;
  try {
    look = Json::parse(text, DuplicateKeyRefusal(name));
  } catch (const Json::exception& e) {
    // nlohmann's messages start with an id in brackets that means nothing to a user.
    std::string reason = e.what();
    if (const std::size_t end = reason.find("] ");
        !reason.empty() && reason[0] == '[' && end != std::string::npos) {
      reason.erase(0, end + 2);
    }
    Refuse(name, "not valid JSON (" + reason + ")");
  }
  if (!look.is_object()) Refuse(name, "not a look file (expected a JSON object)");
  const auto version = look.find("palettrix_look");
  if (version == look.end()) Refuse(name, "not a look file (no \"palettrix_look\" version)");
  if (!version->is_number_integer() || version->get<long long>() != kLookVersion) {
    Refuse(name, "look version " + Describe(*version) + " is not supported (this palettrix reads version " +
                     std::to_string(kLookVersion) + ")");
  }
  for (const auto& [key, value] : look.items()) {
    if (key != "palettrix_look" && key != "controls" && key != "custom_palette") {
      Refuse(name, "unknown key " + Quoted(key));
    }
  }

  if (const auto controls = look.find("controls"); controls != look.end()) {
    if (!controls->is_object()) Refuse(name, "\"controls\" must be an object of control names and values");
    for (const auto& [control, value] : controls->items()) ApplyControl(session, control, value, name);
  }

  if (const auto palette = look.find("custom_palette"); palette != look.end()) {
    if (!palette->is_array()) Refuse(name, "\"custom_palette\" must be an array of colours");
    if (palette->empty()) Refuse(name, "\"custom_palette\" holds no colour");
    if (palette->size() > kMaxPaletteColors) {
      Refuse(name, "\"custom_palette\" holds " + std::to_string(palette->size()) +
                       " colours, more than a palette's " + std::to_string(kMaxPaletteColors));
    }
    ColorList colors;
    colors.reserve(palette->size());
    for (std::size_t i = 0; i < palette->size(); ++i) {
      colors.push_back(ParseEntry((*palette)[i], name + ": custom_palette entry " + std::to_string(i + 1)));
    }
    session.setCustomPalette(colors);
  }
}

void LoadLookFile(EffectSession& session, const std::filesystem::path& path) {
  const std::string name = path.string();
  std::error_code ec;
  if (!std::filesystem::exists(path, ec)) Refuse(name, "no such file");
  const std::uintmax_t size = std::filesystem::file_size(path, ec);
  if (ec) Refuse(name, "cannot read (" + ec.message() + ")");
  if (size > kMaxLookFileBytes) Refuse(name, std::to_string(size) + " bytes is too large for a look file");
  std::ifstream in(path, std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (!in.is_open() || in.bad()) Refuse(name, "cannot read");
  ApplyLookJson(session, text, name);
}

void SaveLookFile(EffectSession& session, const std::filesystem::path& path) {
  const std::string name = path.string();
  std::string text;
  try {
    text = LookJson(session);
  } catch (const CliError& e) {
    throw CliError(e.status(), name + ": " + e.message());
  }
  OutputFile file(path);
  file.write(text);
  file.commit();
}
