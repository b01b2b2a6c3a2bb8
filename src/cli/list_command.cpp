// palettrix list: the patterns or swatches the effect offers, as it registers them.
#include <iostream>
#include <memory>

#include "cli/commands.h"
#include "cli/effect_session.h"
#include "cli/option_checks.h"

void AddListCommand(CLI::App& app) {
  auto what = std::make_shared<std::string>();
  CLI::App* list = app.add_subcommand("list", "List the patterns or the swatches the effect offers");
  list->add_option("WHAT", *what, "patterns or swatches")->required()->check(OneOf({"patterns", "swatches"}));
  list->callback([what] {
    EffectSession session;
    const auto choices = *what == "patterns" ? session.patternChoices() : session.swatchChoices();
    for (std::size_t i = 0; i < choices.size(); ++i) std::cout << (i + 1) << "\t" << choices[i] << "\n";
  });
}
