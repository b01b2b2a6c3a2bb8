// Checks of option values that say what is wrong in the command's own words ("--jobs: "0" is not a whole
// number from 1 to 1024"), in place of CLI11's, and the translation of CLI11's own parse failures.
#pragma once

#include <CLI/CLI.hpp>
#include <initializer_list>
#include <string>

// A whole number from `low` to `high`, written in digits only.
CLI::Validator WholeNumberIn(unsigned long long low, unsigned long long high);

// One of `words`, exactly.
CLI::Validator OneOf(std::initializer_list<const char*> words);

// The one-line message for a command line CLI11 refused: it names the command or option at fault and what
// to do ("--" before a file name that starts with "-", the command to give, the value to give once).
std::string UsageMessage(const CLI::App& app, const CLI::ParseError& error);
