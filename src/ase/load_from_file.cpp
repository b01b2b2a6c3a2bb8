#include <filesystem>
#include <fstream>

#include "ase/load.h"

namespace ase {
namespace {

std::filesystem::path PlatformPath(const std::string& bytes) {
#ifdef _WIN32
  // The dialog hands back UTF-8; a narrow path on Windows would be read in the ANSI code page instead.
  return std::filesystem::path(std::u8string(bytes.begin(), bytes.end()));
#else
  return std::filesystem::path(bytes);
#endif
}

}  // namespace

bool LoadFromFile(ColorCallback& callback, const std::string& path) {
  std::ifstream file(PlatformPath(path), std::ios::binary);
  return LoadFromStream(callback, file);
}

}  // namespace ase
