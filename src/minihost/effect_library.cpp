#include "minihost/effect_library.h"

#include <cstring>
#include <utility>

#include "minihost/host_error.h"

#if defined(_WIN32)
#include <windows.h>

#include "minihost/pipl_reader.h"
#else
#include <dlfcn.h>
#endif

namespace minihost {
namespace {

// The platform loader, kept in this one place. Each function reports failure with the loader's reason.
#if defined(_WIN32)
std::string Utf8(const std::wstring& wide) {
  if (wide.empty()) return {};
  const int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                                    nullptr, nullptr);
  std::string text(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
  if (n > 0) {
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), text.data(), n, nullptr,
                        nullptr);
  }
  return text;
}

std::string SystemMessage(DWORD error) {
  wchar_t* text = nullptr;
  const DWORD n = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
      error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring message = n > 0 && text != nullptr ? std::wstring(text, n) : std::wstring();
  LocalFree(text);
  while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' || message.back() == L' ')) {
    message.pop_back();
  }
  return "Windows error " + std::to_string(error) + (message.empty() ? "" : ": " + Utf8(message));
}

void* OpenModule(const std::filesystem::path& path, std::string& reason) {
  // A bare file name would send LoadLibraryW through the DLL search order instead of to this file.
  std::error_code ec;
  const std::filesystem::path full = std::filesystem::absolute(path, ec);
  HMODULE module = LoadLibraryW((ec ? path : full).c_str());
  if (module == nullptr) {
    const DWORD error = GetLastError();
    // The loader says "module not found" both for the file and for a DLL it imports: tell them apart.
    if (!std::filesystem::exists(path, ec)) {
      reason = "No such file or directory";
    } else if (error == ERROR_MOD_NOT_FOUND) {
      reason = "a library it depends on was not found (" + SystemMessage(error) + ")";
    } else {
      reason = SystemMessage(error);
    }
  }
  return module;
}

// The host's way to the entry point: the registration resource, then the name it gives.
std::string RegisteredEntryName(void* module) {
  const HMODULE handle = static_cast<HMODULE>(module);
  const HRSRC resource =
      FindResourceExW(handle, L"PiPL", MAKEINTRESOURCEW(16000), MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
  if (resource == nullptr) {
    throw HostError("no registration resource (PiPL 16000, language 1033): " + SystemMessage(GetLastError()));
  }
  const DWORD size = SizeofResource(handle, resource);
  const HGLOBAL loaded = LoadResource(handle, resource);
  const void* bytes = loaded != nullptr ? LockResource(loaded) : nullptr;
  if (bytes == nullptr)
    throw HostError("cannot load the registration resource: " + SystemMessage(GetLastError()));
  return EffectEntryName(ParsePiPL(static_cast<const uint8_t*>(bytes), size));
}

void* FindSymbol(void* module, const std::string& name, std::string& reason) {
  const FARPROC symbol = GetProcAddress(static_cast<HMODULE>(module), name.c_str());
  if (symbol == nullptr) {
    reason = SystemMessage(GetLastError());
    return nullptr;
  }
  void* address = nullptr;
  static_assert(sizeof(address) == sizeof(symbol));
  std::memcpy(&address, &symbol, sizeof(address));
  return address;
}

void CloseModule(void* module) { FreeLibrary(static_cast<HMODULE>(module)); }
#else
void* OpenModule(const std::filesystem::path& path, std::string& reason) {
  void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (module == nullptr) {
    const char* text = dlerror();
    reason = text != nullptr ? text : "unknown loader error";
  }
  return module;
}

// A shared library here carries no registration resource: the name every effect of this host's kind uses.
std::string RegisteredEntryName(void*) { return "EntryPoint"; }

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

EffectLibrary::EffectLibrary(const std::filesystem::path& path, std::optional<std::string> entryName)
    : path_(path) {
  std::string reason;
  module_ = OpenModule(path, reason);
  if (module_ == nullptr) {
    throw HostError("cannot load effect library " + path.string() + ": " + reason);
  }
  try {
    entryName_ = entryName ? std::move(*entryName) : RegisteredEntryName(module_);
  } catch (const HostError& error) {
    CloseModule(module_);
    module_ = nullptr;
    throw HostError("effect library " + path.string() + ": " + error.what());
  }
  void* symbol = FindSymbol(module_, entryName_, reason);
  if (symbol == nullptr) {
    CloseModule(module_);
    module_ = nullptr;
    throw HostError("effect library " + path.string() + " has no entry point " + entryName_ + ": " + reason);
  }
  // Object and function pointers have the same size on every platform the host runs on.
  static_assert(sizeof(symbol) == sizeof(entry_));
  std::memcpy(&entry_, &symbol, sizeof(entry_));
}

EffectLibrary::EffectLibrary(PF_EntryPointFunc entry, std::string name)
    : path_(std::move(name)), entryName_("EntryPoint"), entry_(entry) {
  if (entry_ == nullptr) throw HostError("effect " + path_.string() + " has no entry point");
}

EffectLibrary::~EffectLibrary() {
  if (module_ != nullptr) CloseModule(module_);
}

}  // namespace minihost
