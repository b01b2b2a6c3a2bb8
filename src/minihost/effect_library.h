// Loads an effect's shared library with the platform loader and finds its entry point by name, the
// way a host does.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "sdk/ae_effect.h"

namespace minihost {

class EffectLibrary {
 public:
  // Without `entryName` the name is the host's to find: on Windows the '8664' property of the library's
  // registration resource (type "PiPL", id 16000, US English), which must also say the library is an
  // effect; elsewhere, where libraries carry no such resource, "EntryPoint". With `entryName` that symbol
  // is looked up directly. Throws HostError naming the file and the reason when the library, its
  // resource or the symbol is missing or the resource is malformed.
  explicit EffectLibrary(const std::filesystem::path& path,
                         std::optional<std::string> entryName = std::nullopt);
  // An effect linked into the host's own binary (a host that ships as one file with the effect inside):
  // nothing is loaded; `name` stands for the library in messages.
  EffectLibrary(PF_EntryPointFunc entry, std::string name);
  ~EffectLibrary();
  EffectLibrary(const EffectLibrary&) = delete;
  EffectLibrary& operator=(const EffectLibrary&) = delete;

  PF_EntryPointFunc entryPoint() const { return entry_; }
  const std::string& entryName() const { return entryName_; }
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
  std::string entryName_;
  void* module_ = nullptr;
  PF_EntryPointFunc entry_ = nullptr;
};

}  // namespace minihost
