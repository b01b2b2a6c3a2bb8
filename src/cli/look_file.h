// Saved looks: an instance's control values and custom palette as a small, versioned JSON file that a later
// run starts from. The README gives the format.
#pragma once

#include <filesystem>
#include <string>

#include "cli/effect_session.h"

inline constexpr int kLookVersion = 1;

// The session's look as the text of a look file.
std::string LookJson(EffectSession& session);

// Sets the controls named in the look text and, when it holds one, the custom palette; controls it does not
// name keep their values. `name` names the file in messages. Throws CliError (input) for malformed JSON, an
// unknown version, key or control name, a value of the wrong kind or outside the control's range, or a
// malformed palette entry.
void ApplyLookJson(EffectSession& session, const std::string& text, const std::string& name);

void LoadLookFile(EffectSession& session, const std::filesystem::path& path);

// Writes LookJson under a temporary name in the same folder and renames it when complete. Throws CliError
// (output) naming the file.
void SaveLookFile(EffectSession& session, const std::filesystem::path& path);
