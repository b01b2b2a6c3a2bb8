// Windows: the common open-file dialog, handed wide-character strings and giving the path back as UTF-8.
#include <windows.h>
// The dialog's declarations need windows.h before them.
#include <commdlg.h>

#include "plugin/open_file_dialog.h"

namespace {

std::wstring Widen(const std::string& text) {
  if (text.empty()) return {};
  const int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
  return wide;
}

std::string Narrow(const std::wstring& wide) {
  if (wide.empty()) return {};
  const int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                                    nullptr, nullptr);
  std::string text(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), text.data(), n, nullptr,
                      nullptr);
  return text;
}

}  // namespace

std::optional<std::string> OpenFileDialog(const FileDialogRequest& request) {
  // The filter is pairs of description and pattern list, each ended by a zero, the whole by another (the
  // string's own terminator). Without patterns there is no filter at all: an empty list is not one.
  std::wstring filter;
  for (const std::string& pattern : request.patterns)
    filter += (filter.empty() ? L"" : L";") + Widen(pattern);
  if (!filter.empty()) filter = Widen(request.description) + L'\0' + filter + L'\0';
  const std::wstring title = Widen(request.title);
  std::wstring file(32768, L'\0');
  const std::wstring initial = Widen(request.defaultPath);
  if (!initial.empty() && initial.size() < file.size()) file.replace(0, initial.size(), initial);

  OPENFILENAMEW dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.lpstrFilter = filter.empty() ? nullptr : filter.c_str();
  dialog.nFilterIndex = filter.empty() ? 0 : 1;
  dialog.lpstrFile = file.data();
  dialog.nMaxFile = static_cast<DWORD>(file.size());
  dialog.lpstrTitle = title.c_str();
  dialog.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR | OFN_EXPLORER;
  if (!GetOpenFileNameW(&dialog)) return std::nullopt;
  file.resize(wcslen(file.c_str()));
  return Narrow(file);
}
