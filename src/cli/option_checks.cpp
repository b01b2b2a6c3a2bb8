#include "cli/option_checks.h"

#include <charconv>
#include <vector>

namespace {

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

// "--jobs: At Most 1 required but received 2" and the like: the name CLI11 put before the colon.
std::string NameBefore(const std::string& text) {
  const std::size_t colon = text.find(": ");
  return colon == std::string::npos ? std::string() : text.substr(0, colon);
}

// The command given last on the line (render, palette ...), or the application itself.
const CLI::App& GivenCommand(const CLI::App& app) {
  for (const CLI::App* command : app.get_subcommands()) return *command;
  return app;
}

std::string CommandNames(const CLI::App& app) {
  std::vector<std::string> names;
  for (const CLI::App* command : app.get_subcommands({})) names.push_back(command->get_name());
  std::string text;
  for (std::size_t i = 0; i < names.size(); ++i) {
    text += (i == 0 ? "" : i + 1 == names.size() ? " or " : ", ") + names[i];
  }
  return text;
}

}  // namespace

CLI::Validator WholeNumberIn(unsigned long long low, unsigned long long high) {
  const std::string range = std::to_string(low) + " to " + std::to_string(high);
  return CLI::Validator(
      [low, high, range](std::string& value) {
        unsigned long long number = 0;
        const char* end = value.data() + value.size();
        const auto [stop, error] = std::from_chars(value.data(), end, number);
        if (value.empty() || error != std::errc() || stop != end || number < low || number > high) {
          return Quoted(value) + " is not a whole number from " + range;
        }
        return std::string();
      },
      range, "whole number from " + range);
}

CLI::Validator OneOf(std::initializer_list<const char*> words) {
  std::vector<std::string> allowed(words.begin(), words.end());
  std::string list;
  for (std::size_t i = 0; i < allowed.size(); ++i) {
    list += (i == 0 ? "" : i + 1 == allowed.size() ? " or " : ", ") + allowed[i];
  }
  return CLI::Validator(
      [allowed, list](std::string& value) {
        for (const std::string& word : allowed) {
          if (value == word) return std::string();
        }
        return Quoted(value) + " is not " + list;
      },
      list, list);
}

std::string UsageMessage(const CLI::App& app, const CLI::ParseError& error) {
  const CLI::App& command = GivenCommand(app);
  const std::string where = &command == &app ? std::string() : command.get_name() + ": ";
  // Words CLI11 did not take are the likeliest cause, whatever it complained of first: "-in.png" is
  // taken for an unknown option, and the command then misses its OUTPUT.
  for (const std::string& word : app.remaining(true)) {
    if (word.size() > 1 && word[0] == '-' && word != "--") {
      const bool fileLike = word[1] != '-' || word.find_first_of("./") != std::string::npos;
      return where + Quoted(word) + " is not an option" +
             (fileLike ? "; a file name that starts with \"-\" needs \"--\" before it (palettrix " +
                             command.get_name() + " -- " + word + " ...)"
                       : std::string(" (palettrix ") + (&command == &app ? "" : command.get_name() + " ") +
                             "--help lists them)");
    }
  }
  const std::string what = error.what();
  if (dynamic_cast<const CLI::RequiredError*>(&error) != nullptr) {
    if (&command == &app) return "no command given: say " + CommandNames(app) + " (palettrix --help)";
    return where + what.substr(0, what.find(" is required")) + " is missing (palettrix " +
           command.get_name() + " --help)";
  }
  if (dynamic_cast<const CLI::ArgumentMismatch*>(&error) != nullptr && !NameBefore(what).empty()) {
    return where + NameBefore(what) + ": given more than once; give it once";
  }
  if (dynamic_cast<const CLI::ExtrasError*>(&error) != nullptr) {
    const std::vector<std::string> extra = app.remaining(true);
    return where +
           (extra.empty() ? std::string("too many arguments")
                          : Quoted(extra.front()) + " is one argument too many") +
           " (palettrix " + (&command == &app ? "" : command.get_name() + " ") + "--help)";
  }
  if (dynamic_cast<const CLI::ConversionError*>(&error) != nullptr) {
    // "Could not convert: --scale = abc" and "The value abc is not an allowed value for --scale".
    if (const std::size_t is = what.find(" = ");
        what.starts_with("Could not convert: ") && is != std::string::npos) {
      return what.substr(19, is - 19) + ": " + Quoted(what.substr(is + 3)) + " is not a number";
    }
  }
  // Validation failures already read "--jobs: "0" is not a whole number from 1 to 1024"; a positional
  // argument's (WHAT, INPUT) is named by its command instead.
  const std::string name = NameBefore(what);
  if (!name.empty() && !name.starts_with("-") && &command != &app)
    return where + what.substr(name.size() + 2);
  return what;
}
