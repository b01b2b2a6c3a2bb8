// The native open-file dialog the "Load Palette" button shows. One small layer with one contract on every
// platform: a title, a default path, filter patterns with a description, a single selection, and a path
// back (UTF-8) or nothing when the user cancels or no dialog can be shown.
#pragma once

#include <optional>
#include <string>
#include <vector>

struct FileDialogRequest {
  std::string title;
  std::string defaultPath;            // empty: the dialog's own choice
  std::vector<std::string> patterns;  // e.g. "*.ase"
  std::string description;            // e.g. "Adobe Swatch Exchange (*.ase)"
};

std::optional<std::string> OpenFileDialog(const FileDialogRequest& request);

#if !defined(_WIN32)
// The argument vectors given to the dialog programs (exposed for tests; no shell ever sees them).
std::vector<std::string> ZenityArguments(const FileDialogRequest& request);
std::vector<std::string> KdialogArguments(const FileDialogRequest& request);
#endif
