#include "cli/popup_choice.h"

#include <cctype>
#include <charconv>

#include "cli/exit_status.h"

namespace {

std::string Normalise(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    if (c == '-' || c == '_') c = ' ';
    out.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
  }
  return out;
}

}  // namespace

A_long ParsePopupChoice(const std::string& option, const std::string& text, const std::vector<std::string>& choices) {
  const std::string wanted = Normalise(text);
  for (std::size_t i = 0; i < choices.size(); ++i) {
    if (Normalise(choices[i]) == wanted) return static_cast<A_long>(i + 1);
  }
  A_long number = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), number);
  if (ec == std::errc() && end == text.data() + text.size() && !text.empty()) {
    if (number >= 1 && static_cast<std::size_t>(number) <= choices.size()) return number;
    throw CliError(kExitUsage, option + ": " + text + " is outside 1 to " + std::to_string(choices.size()));
  }
  throw CliError(kExitUsage, option + ": unknown choice \"" + text + "\" (see palettrix list)");
}
