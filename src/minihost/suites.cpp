// The basic suite and the suites it hands out, with the count of every acquire and release.
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "minihost/host_impl.h"

namespace minihost {
namespace {

// Any nonzero value tells the effect it gets nothing; the effect only tests for kSPNoError.
constexpr SPErr kSuiteUnavailable = 1;

const PF_ANSICallbacksSuite1 kAnsiSuite = [] {
  PF_ANSICallbacksSuite1 suite{};
  suite.sprintf = AnsiSprintf;
  suite.strcpy = AnsiStrcpy;
  return suite;
}();

const PF_HandleSuite1 kHandleSuite = {HostNewHandle,     HostLockHandle,    HostUnlockHandle,
                                      HostDisposeHandle, HostGetHandleSize, HostResizeHandle};

const PF_ParamUtilsSuite3 kParamUtilsSuite = [] {
  PF_ParamUtilsSuite3 suite{};
  suite.PF_UpdateParamUI = UpdateParamUI;
  return suite;
}();

const PF_EffectUISuite1 kEffectUISuite = {SetOptionsButtonName};

const PF_EffectSequenceDataSuite1 kSequenceDataSuite = {GetConstSequenceData};

struct OfferedSuite {
  const char* name;
  int32_t version;
  const void* suite;
};

// Exactly what the host offers: another version of one of these names is as unknown as another name.
const OfferedSuite kOffered[] = {
    {kPFANSISuite, kPFANSISuiteVersion1, &kAnsiSuite},
    {kPFHandleSuite, kPFHandleSuiteVersion1, &kHandleSuite},
    {kPFParamUtilsSuite, kPFParamUtilsSuiteVersion3, &kParamUtilsSuite},
    {kPFEffectUISuite, kPFEffectUISuiteVersion1, &kEffectUISuite},
    {kPFEffectSequenceDataSuite, kPFEffectSequenceDataSuiteVersion1, &kSequenceDataSuite},
};

const OfferedSuite* FindOffered(const char* name, int32_t version) {
  for (const OfferedSuite& offered : kOffered) {
    if (std::strcmp(offered.name, name) == 0 && offered.version == version) return &offered;
  }
  return nullptr;
}

std::string SuiteLabel(const char* name, int32_t version) {
  return "suite \"" + std::string(name) + "\" version " + std::to_string(version);
}

SPErr AcquireSuite(const char* name, int32_t version, const void** suite) {
  if (suite != nullptr) *suite = nullptr;
  Host* host = CurrentHost();
  if (host == nullptr || name == nullptr || suite == nullptr) return kSuiteUnavailable;
  return host->impl().acquireSuite(name, version, suite);
}

SPErr ReleaseSuite(const char* name, int32_t version) {
  Host* host = CurrentHost();
  if (host == nullptr || name == nullptr) return kSuiteUnavailable;
  return host->impl().releaseSuite(name, version);
}

SPBoolean IsEqual(const char* token1, const char* token2) {
  return token1 != nullptr && token2 != nullptr && std::strcmp(token1, token2) == 0;
}

SPErr AllocateBlock(size_t size, void** block) {
  if (block == nullptr) return kSuiteUnavailable;
  *block = std::malloc(size == 0 ? 1 : size);
  return *block != nullptr ? kSPNoError : kSuiteUnavailable;
}

SPErr FreeBlock(void* block) {
  std::free(block);
  return kSPNoError;
}

SPErr ReallocateBlock(void* block, size_t newSize, void** newBlock) {
  if (newBlock == nullptr) return kSuiteUnavailable;
  void* moved = std::realloc(block, newSize == 0 ? 1 : newSize);
  if (moved == nullptr) return kSuiteUnavailable;
  *newBlock = moved;
  return kSPNoError;
}

SPErr Undefined() { return kSuiteUnavailable; }

}  // namespace

SPErr Host::Impl::acquireSuite(const char* name, int32_t version, const void** suite) noexcept {
  const OfferedSuite* offered = FindOffered(name, version);
  try {
    std::lock_guard lock(mutex);
    if (offered == nullptr || refused.count(name) != 0) return kSuiteUnavailable;
    SuiteCounts& counts = suites[name];
    ++counts.acquired;
    ++counts.held;
    if (CallSuites* call = CurrentCallSuites()) ++(*call)[name];
  } catch (...) {
    return kSuiteUnavailable;
  }
  *suite = offered->suite;
  return kSPNoError;
}

SPErr Host::Impl::releaseSuite(const char* name, int32_t version) noexcept {
  try {
    std::lock_guard lock(mutex);
    auto counts = suites.find(name);
    if (FindOffered(name, version) == nullptr || counts == suites.end() || counts->second.held == 0) {
      problemLocked("release of " + SuiteLabel(name, version) + " without a matching acquire");
      return kSuiteUnavailable;
    }
    ++counts->second.released;
    --counts->second.held;
    // A release may match an acquire of an earlier command (one that leaked it): that count may go below 0.
    if (CallSuites* call = CurrentCallSuites()) --(*call)[name];
    return kSPNoError;
  } catch (...) {
    return kSuiteUnavailable;
  }
}

void Host::Impl::reportHeldSuites(PF_Cmd cmd, const CallSuites& held) noexcept {
  std::lock_guard lock(mutex);
  try {
    for (const auto& [name, count] : held) {
      if (count > 0) {
        problemLocked("suite \"" + name + "\" still held (" + std::to_string(count) +
                      " acquire(s) not released) when command " + std::to_string(cmd) + " returned");
      }
    }
  } catch (...) {
    // Out of memory while reporting: the report is lost.
  }
}

SPBasicSuite MakeBasicSuite() {
  return SPBasicSuite{AcquireSuite, ReleaseSuite,    IsEqual,  AllocateBlock,
                      FreeBlock,    ReallocateBlock, Undefined};
}

// The C library block of the utility callbacks and of the ANSI suite.
int AnsiSprintf(A_char* dst, const A_char* format, ...) {
  if (dst == nullptr || format == nullptr) {
    if (Host* host = CurrentHost()) host->impl().problem("sprintf with a null destination or format");
    return -1;
  }
  va_list args;
  va_start(args, format);
  const int written = std::vsprintf(dst, format, args);
  va_end(args);
  return written;
}

A_char* AnsiStrcpy(A_char* dst, const A_char* src) {
  if (dst == nullptr || src == nullptr) {
    if (Host* host = CurrentHost()) host->impl().problem("strcpy with a null destination or source");
    return dst;
  }
  return std::strcpy(dst, src);
}

}  // namespace minihost
