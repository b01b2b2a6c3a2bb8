#include <filesystem>
#include <fstream>

#include "ase/load.h"

#ifdef _WIN32
#include <windows.h>

#include <climits>
#include <optional>
#endif

namespace ase {
namespace {

#ifdef _WIN32
// The dialog hands back UTF-8; a narrow path on Windows would be read in the ANSI code page instead, so the
// file is opened by its wide-character name. Bytes that are not UTF-8, or that hold a zero (which would
// cut the name short), name no file.
std::optional<std::wstring> WidePath(const std::string& bytes) {
  if (bytes.empty() || bytes.size() > INT_MAX || bytes.find('\0') != std::string::npos) return std::nullopt;
  const int size = static_cast<int>(bytes.size());
  const int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(), size, nullptr, 0);
  if (n <= 0) return std::nullopt;
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(), size, wide.data(), n) != n) {
    return std::nullopt;
  }
  return wide;
}
#endif

}  // namespace

bool LoadFromFile(ColorCallback& callback, const std::string& path) {
#ifdef _WIN32
  const std::optional<std::wstring> wide = WidePath(path);
  if (!wide) return false;
  std::ifstream file(wide->c_str(), std::ios::binary);
#else
  std::ifstream file(std::filesystem::path(path), std::ios::binary);
#endif
  return LoadFromStream(callback, file);
}

}  // namespace ase
