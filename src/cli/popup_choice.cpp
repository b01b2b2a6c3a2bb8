#include "cli/popup_choice.h"

#include "cli/exit_status.h"
#include "minihost/params.h"

A_long ParsePopupChoice(const std::string& option, const std::string& text,
                        const std::vector<std::string>& choices) {
  const minihost::PopupChoiceMatch match = minihost::MatchPopupChoice(text, choices);
  if (match.choice != 0) return match.choice;
  if (match.number) {
    throw CliError(kExitUsage, option + ": " + text + " is outside 1 to " + std::to_string(choices.size()));
  }
  throw CliError(kExitUsage, option + ": unknown choice \"" + text + "\" (see palettrix list)");
}
