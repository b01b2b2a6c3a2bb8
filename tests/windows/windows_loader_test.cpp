// minihost on Windows finds the effect the way a Windows host does: the library through LoadLibraryW,
// the entry point's name through the registration resource, the function through GetProcAddress.
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "minihost/effect.h"
#include "minihost/host_error.h"

namespace fs = std::filesystem;
using minihost::EffectLibrary;

namespace {

std::string LoadError(const fs::path& path) {
  try {
    EffectLibrary library(path);
  } catch (const minihost::HostError& error) {
    return error.what();
  }
  return "";
}

fs::path SystemLibrary(const wchar_t* name) {
  wchar_t dir[MAX_PATH];
  const UINT n = GetSystemDirectoryW(dir, MAX_PATH);
  return fs::path(std::wstring(dir, n)) / name;
}

class TempDir {
 public:
  TempDir() {
    std::random_device random;
    for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
      const fs::path candidate = fs::temp_directory_path() / ("palettrix-loader-" + std::to_string(random()));
      if (fs::create_directory(candidate)) path_ = candidate;
    }
  }
  ~TempDir() {
    std::error_code ec;
    if (!path_.empty()) fs::remove_all(path_, ec);
  }
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

}  // namespace

TEST(WindowsLoader, TakesTheEntryNameFromTheRegistrationResource) {
  EffectLibrary library(PALETTRIX_EFFECT_PATH);
  EXPECT_EQ(library.entryName(), "EntryPoint");
  ASSERT_NE(library.entryPoint(), nullptr);

  minihost::Host host;
  minihost::Effect effect(host, PALETTRIX_EFFECT_PATH);
  EXPECT_EQ(effect.version(), 0x00088001u);
  EXPECT_TRUE(host.problems().empty());
}

TEST(WindowsLoader, LoadsFromAFolderNamedOutsideAscii) {
  TempDir temp;
  ASSERT_FALSE(temp.path().empty());
  // "Plug-ins Ünïcode 色": the wide-character path must reach LoadLibraryW intact.
  const fs::path folder = temp.path() / fs::path(u8"Plug-ins \u00DCn\u00EFcode \u8272");
  fs::create_directories(folder);
  fs::copy_file(PALETTRIX_EFFECT_PATH, folder / "Palettrix.aex");
  EffectLibrary library(folder / "Palettrix.aex");
  EXPECT_EQ(library.entryName(), "EntryPoint");
  EXPECT_NE(library.entryPoint(), nullptr);
}

TEST(WindowsLoader, RefusesWhatIsNoEffectWithTheReason) {
  // A real DLL without a registration resource: the host has no way to its entry point.
  const fs::path kernel = SystemLibrary(L"kernel32.dll");
  const std::string noResource = LoadError(kernel);
  EXPECT_NE(noResource.find("no registration resource (PiPL 16000, language 1033)"), std::string::npos)
      << noResource;

  const std::string missing = LoadError("C:/nonexistent/dir/Nothing.aex");
  EXPECT_NE(missing.find("C:/nonexistent/dir/Nothing.aex"), std::string::npos) << missing;
  EXPECT_NE(missing.find("No such file or directory"), std::string::npos) << missing;

  TempDir temp;
  ASSERT_FALSE(temp.path().empty());
  const fs::path text = temp.path() / "NotALibrary.aex";
  { std::ofstream(text) << "not a library\n"; }
  const std::string notALibrary = LoadError(text);
  EXPECT_NE(notALibrary.find("cannot load effect library"), std::string::npos) << notALibrary;
  EXPECT_NE(notALibrary.find("Windows error"), std::string::npos) << notALibrary;
}
