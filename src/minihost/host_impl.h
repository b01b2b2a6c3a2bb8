// The host's private state and the C callbacks it hands to the effect, shared by the files that
// implement them. Not part of the public interface.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <type_traits>
#include <unordered_map>
#include <vector>

#include "minihost/host.h"
#include "sdk/ae_suites.h"

namespace minihost {

class ThreadPool;
struct SmartSession;

// What an in-data record's effect_ref points at: the host serving the record and the registry that
// add_param, PF_UpdateParamUI and PF_SetOptionsButtonName write to.
struct CallContext {
  static constexpr uint64_t kTag = 0x4D696E69486F7374;  // tells one of ours from a stray pointer
  uint64_t tag = kTag;
  Host* host = nullptr;
  ParamSet* registry = nullptr;
  // The last numbers the effect gave progress through this reference, which abort hands on to the
  // host's progress function, having none of its own.
  std::atomic<A_long> progressCurrent{0};
  std::atomic<A_long> progressTotal{0};
  // The sequence data of the instance or render copy whose calls carry this reference: what the read-only
  // sequence data suite answers with, whatever the in-data record holds.
  std::atomic<PF_Handle> sequenceData{nullptr};
  // The SmartFX frame whose PF_Cmd_SMART_PRE_RENDER or PF_Cmd_SMART_RENDER is running with this
  // reference: what the checkout callbacks answer from. Null between those commands.
  std::atomic<SmartSession*> smart{nullptr};
};

// A handle as the host keeps it. The PF_Handle given out is the address of `data`, so `data` must stay
// the first member. Records live as long as the host, so a disposed handle is still recognised later.
struct HandleBlock {
  void* data = nullptr;
  A_u_longlong size = 0;
  int locks = 0;
  bool disposed = false;
  unsigned serial = 0;
};
static_assert(std::is_standard_layout_v<HandleBlock> && offsetof(HandleBlock, data) == 0);

struct SuiteCounts {
  int acquired = 0;
  int released = 0;
  int held = 0;
};

// Acquires less releases, per suite name, made on one thread during one command: what that command left
// held when it returned, whatever other commands on other threads hold at the same moment.
using CallSuites = std::map<std::string, int>;

// A snapshot of what one iterate call needs, taken under the host's lock once per call.
struct IterateSettings {
  unsigned threads = 1;
  IterateOrder order = IterateOrder::Rows;
  uint64_t seed = 0;
  std::function<bool(A_long, A_long)> progress;
};

struct Host::Impl {
  Impl(Host& owner, Options options);
  ~Impl();

  Host& owner;
  PF_UtilCallbacks utils{};
  // The same callbacks with the iterate_generic slot empty, for acting as a host that lacks it. Two
  // fixed records rather than one that changes, so that a record an effect is reading never changes.
  PF_UtilCallbacks utilsWithoutGeneric{};
  SPBasicSuite basicSuite{};

  mutable std::mutex mutex;
  Options options;
  IterateOrder order = IterateOrder::Rows;
  uint64_t shuffleState = 1;
  std::function<bool(A_long, A_long)> progress;
  bool basicSuiteAvailable = true;
  bool iterateGenericAvailable = true;
  std::atomic<bool> handleSizesAnswered{true};  // read by the effect's calls on any thread
  std::set<std::string> refused;
  std::map<std::string, SuiteCounts> suites;
  std::unordered_map<const void*, std::unique_ptr<HandleBlock>> handles;
  std::size_t liveHandles = 0;
  unsigned nextHandleSerial = 1;
  std::vector<std::string> problems;
  std::map<const ParamSet*, std::unique_ptr<CallContext>> contexts;
  std::shared_ptr<ThreadPool> pool;
  // Sequence-data handles with a PF_Cmd_RENDER running, and how many: a render may only read them.
  std::map<PF_Handle, int> rendering;

  // Each of these takes `mutex` itself; none throws, since all are reached from C callbacks.
  void problem(const std::string& text) noexcept;
  SPErr acquireSuite(const char* name, int32_t version, const void** suite) noexcept;
  SPErr releaseSuite(const char* name, int32_t version) noexcept;
  void reportHeldSuites(PF_Cmd cmd, const CallSuites& held) noexcept;
  // A render of `handle` starts (its bytes as they are now) or ends (a change to them is a problem).
  std::vector<uint8_t> renderStarts(PF_Handle handle) noexcept;
  void renderEnds(PF_Handle handle, const std::vector<uint8_t>& before) noexcept;
  // The context of `registry` is no longer needed: its owner is gone.
  void releaseContext(const ParamSet* registry) noexcept;
  PF_Handle newHandle(A_u_longlong size) noexcept;
  void* lockHandle(PF_Handle handle) noexcept;
  void unlockHandle(PF_Handle handle) noexcept;
  void disposeHandle(PF_Handle handle) noexcept;
  A_u_longlong handleSize(PF_Handle handle) noexcept;
  void* handleData(PF_Handle handle) noexcept;
  PF_Err resizeHandle(A_u_longlong size, PF_Handle* handleP) noexcept;
  int lockCount(PF_Handle handle) const noexcept;

  CallContext* context(ParamSet* registry);
  IterateSettings iterateSettings();
  // The threads iteration runs on: the thread setting, or one for each core.
  unsigned threadCount() noexcept;
  std::function<bool(A_long, A_long)> progressFunction() const;
  std::shared_ptr<ThreadPool> poolFor(unsigned threads);

 private:
  void problemLocked(const std::string& text) noexcept;
  // The live block behind a handle, or null after recording why it cannot be used. Needs `mutex`.
  HandleBlock* usableLocked(PF_Handle handle, const char* use) noexcept;
  // Records a problem when `handle` is the sequence data of a render that is running.
  void checkNotRenderingLocked(PF_Handle handle, const char* use) noexcept;
};

// The host made current on this thread by Host::call or Host::Scope, or null.
Host* CurrentHost() noexcept;
// The suites acquired and not yet released during the command Host::call runs on this thread, or null.
CallSuites* CurrentCallSuites() noexcept;
// Parameter checkouts (checkout_param) made on this thread during the command Host::call runs and not yet
// checked in, or null outside a call.
int* CurrentParamCheckouts() noexcept;
// The command Host::call is running on this thread, or kNoCommand outside a call.
constexpr PF_Cmd kNoCommand = -1;
PF_Cmd CurrentCommand() noexcept;
// The context behind an effect reference, or null when it is not one of ours.
CallContext* ContextOf(PF_ProgPtr effectRef) noexcept;
// The host behind an effect reference, else the current host, else null.
Host::Impl* ImplFor(PF_ProgPtr effectRef) noexcept;

// The C callbacks, each defined in the file of its concern.
PF_Err Fill(PF_ProgPtr effectRef, const PF_Pixel* color, const PF_Rect* rect, PF_EffectWorld* world);
PF_Err Iterate8(PF_InData* inData, A_long progressBase, A_long progressFinal, PF_EffectWorld* src,
                const PF_Rect* area, void* refcon, PF_IteratePixel8Func pixFn, PF_EffectWorld* dst);
PF_Err Iterate16(PF_InData* inData, A_long progressBase, A_long progressFinal, PF_EffectWorld* src,
                 const PF_Rect* area, void* refcon, PF_IteratePixel16Func pixFn, PF_EffectWorld* dst);
PF_Err IterateGeneric(A_long iterations, void* refcon,
                      PF_Err (*fn)(void* refcon, A_long threadIndex, A_long i, A_long iterations));

PF_Handle HostNewHandle(A_u_longlong size);
void* HostLockHandle(PF_Handle handle);
void HostUnlockHandle(PF_Handle handle);
void HostDisposeHandle(PF_Handle handle);
A_u_longlong HostGetHandleSize(PF_Handle handle);
PF_Err HostResizeHandle(A_u_longlong newSize, PF_Handle* handleP);

int AnsiSprintf(A_char* dst, const A_char* format, ...) __attribute__((format(printf, 2, 3)));
A_char* AnsiStrcpy(A_char* dst, const A_char* src);

PF_Err AddParam(PF_ProgPtr effectRef, PF_ParamIndex index, PF_ParamDefPtr def);
PF_Err Abort(PF_ProgPtr effectRef);
PF_Err Progress(PF_ProgPtr effectRef, A_long current, A_long total);
PF_Err UpdateParamUI(PF_ProgPtr effectRef, PF_ParamIndex index, const PF_ParamDef* def);
PF_Err SetOptionsButtonName(PF_ProgPtr effectRef, const A_char* name);
PF_Err CheckoutParam(PF_ProgPtr effectRef, PF_ParamIndex index, A_long whatTime, A_long timeStep,
                     A_u_long timeScale, PF_ParamDef* param);
PF_Err CheckinParam(PF_ProgPtr effectRef, PF_ParamDef* param);
PF_Err GetConstSequenceData(PF_ProgPtr effectRef, PF_ConstHandle* sequenceData);

SPBasicSuite MakeBasicSuite();

}  // namespace minihost
