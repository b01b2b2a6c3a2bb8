#include "minihost/effect_library.h"

#include <cstring>

#include "minihost/host_error.h"

#if !defined(_WIN32)
#include <dlfcn.h>
#endif

namespace minihost {
namespace {

// The platform loader, kept in this one place. Each function reports failure with the loader's reason.
#if defined(_WIN32)
// The Windows loader (LoadLibraryW, GetProcAddress, FreeLibrary) takes these three functions' place.
void* OpenModule(const std::filesystem::path&, std::string& reason) {
  reason = "loading effect libraries is not supported on Windows yet";
  return nullptr;
}
void* FindSymbol(void*, const std::string&, std::string&) { return nullptr; }
void CloseModule(void*) {}
#else
void* OpenModule(const std::filesystem::path& path, std::string& reason) {
  void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (module == nullptr) {
    const char* text = dlerror();
    reason = text != nullptr ? text : "unknown loader error";
  }
  return module;
}

void* FindSymbol(void* module, const std::string& name, std::string& reason) {
  dlerror();
  void* symbol = dlsym(module, name.c_str());
  if (symbol == nullptr) {
    const char* text = dlerror();
    reason = text != nullptr ? text : "the symbol is null";
  }
  return symbol;
}

void CloseModule(void* module) { dlclose(module); }
#endif

}  // namespace

EffectLibrary::EffectLibrary(const std::filesystem::path& path, const std::string& entryName) : path_(path) {
  std::string reason;
  module_ = OpenModule(path, reason);
  if (module_ == nullptr) {
    throw HostError("cannot load effect library " + path.string() + ": " + reason);
  }
  void* symbol = FindSymbol(module_, entryName, reason);
  if (symbol == nullptr) {
    CloseModule(module_);
    module_ = nullptr;
    throw HostError("effect library " + path.string() + " has no entry point " + entryName + ": " + reason);
  }
  // Object and function pointers have the same size on every platform the host runs on.
  static_assert(sizeof(symbol) == sizeof(entry_));
  std::memcpy(&entry_, &symbol, sizeof(entry_));
}

EffectLibrary::~EffectLibrary() {
  if (module_ != nullptr) CloseModule(module_);
}

}  // namespace minihost
