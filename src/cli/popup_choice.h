// Reading a popup choice from the command line: a label or a 1-based number.
#pragma once

#include <string>
#include <vector>

#include "sdk/ae_types.h"

// "Floyd Steinberg", "floyd-steinberg", "FLOYD_STEINBERG" and "2" all name the second choice: labels are
// matched without regard to case, with '-' or '_' standing for a space. Throws CliError (usage) naming
// `option` and listing nothing more than the reason.
A_long ParsePopupChoice(const std::string& option, const std::string& text,
                        const std::vector<std::string>& choices);
