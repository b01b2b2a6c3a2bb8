// Loads an effect's shared library with the platform loader and finds its entry point by name, the
// way a host does.
#pragma once

#include <filesystem>
#include <string>

#include "sdk/ae_effect.h"

namespace minihost {

class EffectLibrary {
 public:
  // Throws HostError naming the file and the loader's reason when the library or the symbol is missing.
  explicit EffectLibrary(const std::filesystem::path& path, const std::string& entryName = "EntryPoint");
  ~EffectLibrary();
  EffectLibrary(const EffectLibrary&) = delete;
  EffectLibrary& operator=(const EffectLibrary&) = delete;

  PF_EntryPointFunc entryPoint() const { return entry_; }
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
  void* module_ = nullptr;
  PF_EntryPointFunc entry_ = nullptr;
};

}  // namespace minihost
