// The host object: its settings, the records it keeps, the in-data records it makes and the command
// call that checks what the effect left behind.
#include "minihost/host.h"

#include <algorithm>
#include <cstring>
#include <thread>

#include "minihost/host_error.h"
#include "minihost/host_impl.h"
#include "minihost/thread_pool.h"

namespace minihost {
namespace {

thread_local Host* tCurrentHost = nullptr;
thread_local PF_Cmd tCurrentCommand = kNoCommand;
thread_local CallSuites* tCallSuites = nullptr;
thread_local int* tParamCheckouts = nullptr;

// The host's side of the in-data record: quality, the API version it speaks, unit time and scales.
constexpr PF_Quality kQualityHigh = 1;
constexpr PF_SpecVersion kSpecVersion = {13, 28};

}  // namespace

Host* CurrentHost() noexcept { return tCurrentHost; }

PF_Cmd CurrentCommand() noexcept { return tCurrentCommand; }

CallSuites* CurrentCallSuites() noexcept { return tCallSuites; }

int* CurrentParamCheckouts() noexcept { return tParamCheckouts; }

CallContext* ContextOf(PF_ProgPtr effectRef) noexcept {
  auto* context = reinterpret_cast<CallContext*>(effectRef);
  return context != nullptr && context->tag == CallContext::kTag ? context : nullptr;
}

Host::Impl* ImplFor(PF_ProgPtr effectRef) noexcept {
  if (CallContext* context = ContextOf(effectRef)) return &context->host->impl();
  Host* host = CurrentHost();
  return host != nullptr ? &host->impl() : nullptr;
}

Host::Impl::Impl(Host& ownerHost, Options hostOptions) : owner(ownerHost), options(hostOptions) {
  utils.fill = Fill;
  utils.iterate = Iterate8;
  utils.iterate16 = Iterate16;
  utils.host_new_handle = HostNewHandle;
  utils.host_lock_handle = HostLockHandle;
  utils.host_unlock_handle = HostUnlockHandle;
  utils.host_dispose_handle = HostDisposeHandle;
  utils.host_get_handle_size = HostGetHandleSize;
  utils.host_resize_handle = HostResizeHandle;
  utils.ansi.sprintf = AnsiSprintf;
  utils.ansi.strcpy = AnsiStrcpy;
  utilsWithoutGeneric = utils;
  utils.iterate_generic = IterateGeneric;
  basicSuite = MakeBasicSuite();
}

void Host::Impl::problem(const std::string& text) noexcept {
  std::lock_guard lock(mutex);
  problemLocked(text);
}

void Host::Impl::problemLocked(const std::string& text) noexcept {
  try {
    problems.push_back(text);
  } catch (...) {
    // Out of memory while reporting: the report is lost, the host goes on.
  }
}

CallContext* Host::Impl::context(ParamSet* registry) {
  std::lock_guard lock(mutex);
  std::unique_ptr<CallContext>& context = contexts[registry];
  if (!context) {
    context = std::make_unique<CallContext>();
    context->host = &owner;
    context->registry = registry;
  }
  return context.get();
}

void Host::Impl::releaseContext(const ParamSet* registry) noexcept {
  std::lock_guard lock(mutex);
  contexts.erase(registry);
}

std::vector<uint8_t> Host::Impl::renderStarts(PF_Handle handle) noexcept {
  std::lock_guard lock(mutex);
  try {
    ++rendering[handle];
    auto found = handles.find(handle);
    if (found == handles.end() || found->second->disposed) return {};
    const auto* bytes = static_cast<const uint8_t*>(found->second->data);
    return std::vector<uint8_t>(bytes, bytes + found->second->size);
  } catch (...) {
    return {};
  }
}

void Host::Impl::renderEnds(PF_Handle handle, const std::vector<uint8_t>& before) noexcept {
  std::lock_guard lock(mutex);
  if (auto count = rendering.find(handle); count != rendering.end() && --count->second == 0) {
    rendering.erase(count);
  }
  auto found = handles.find(handle);
  if (found == handles.end() || found->second->disposed) return;  // reported when it was disposed
  const HandleBlock& block = *found->second;
  if (block.size != before.size() || std::memcmp(block.data, before.data(), before.size()) != 0) {
    problemLocked("the sequence data (handle #" + std::to_string(block.serial) +
                  ") was written during PF_Cmd_RENDER");
  }
}

// What "PF Effect Sequence Data Suite" answers: the sequence data of the instance or render copy whose
// reference the effect passes.
PF_Err GetConstSequenceData(PF_ProgPtr effectRef, PF_ConstHandle* sequenceData) {
  CallContext* context = ContextOf(effectRef);
  if (context == nullptr || sequenceData == nullptr) {
    if (Host* host = CurrentHost()) {
      host->impl().problem("PF_GetConstSequenceData with an unknown effect reference or no result pointer");
    }
    return PF_Err_BAD_CALLBACK_PARAM;
  }
  *sequenceData = context->sequenceData.load();
  return PF_Err_NONE;
}

namespace {

unsigned ThreadsFor(const Host::Options& options) {
  return options.threads != 0 ? options.threads : std::max(1u, std::thread::hardware_concurrency());
}

}  // namespace

IterateSettings Host::Impl::iterateSettings() {
  std::lock_guard lock(mutex);
  IterateSettings settings;
  settings.threads = ThreadsFor(options);
  settings.order = order;
  settings.progress = progress;
  // Each call continues the host's sequence, so repeated calls visit pixels in different orders.
  settings.seed = shuffleState;
  shuffleState = shuffleState * 6364136223846793005ull + 1442695040888963407ull;
  return settings;
}

unsigned Host::Impl::threadCount() noexcept {
  std::lock_guard lock(mutex);
  return ThreadsFor(options);
}

std::function<bool(A_long, A_long)> Host::Impl::progressFunction() const {
  std::lock_guard lock(mutex);
  return progress;
}

std::shared_ptr<ThreadPool> Host::Impl::poolFor(unsigned threads) {
  std::lock_guard lock(mutex);
  // The calling thread takes a share of the work, so the pool has one thread fewer.
  if (!pool || pool->workers() != threads - 1) pool = std::make_shared<ThreadPool>(threads - 1);
  return pool;
}

Host::Host() : Host(Options{}) {}

Host::Host(Options options) : impl_(std::make_unique<Impl>(*this, options)) {}

Host::~Host() = default;

Host::Scope::Scope(Host& host) : previous_(tCurrentHost) { tCurrentHost = &host; }

Host::Scope::~Scope() { tCurrentHost = previous_; }

PF_InData Host::makeInData(ParamSet* registry) {
  PF_InData in{};
  in.inter.checkout_param = CheckoutParam;
  in.inter.checkin_param = CheckinParam;
  in.inter.add_param = AddParam;
  in.inter.abort = Abort;
  in.inter.progress = Progress;
  in.effect_ref = reinterpret_cast<PF_ProgPtr>(impl_->context(registry));
  in.quality = kQualityHigh;
  in.version = kSpecVersion;
  in.time_scale = 1;
  in.downsample_x = PF_RationalScale{1, 1};
  in.downsample_y = PF_RationalScale{1, 1};
  in.pixel_aspect_ratio = PF_RationalScale{1, 1};
  std::lock_guard lock(impl_->mutex);
  in.appl_id = impl_->options.applId;
  in.pica_basicP = impl_->basicSuiteAvailable ? &impl_->basicSuite : nullptr;
  in.utils = impl_->iterateGenericAvailable ? &impl_->utils : &impl_->utilsWithoutGeneric;
  return in;
}

PF_Err Host::call(PF_EntryPointFunc entry, PF_Cmd cmd, PF_InData& in, PF_OutData& out, PF_ParamDef** params,
                  PF_EffectWorld* output, void* extra) {
  if (entry == nullptr) throw HostError("no entry point to call for command " + std::to_string(cmd));
  A_char messageBefore[sizeof(out.return_msg)];
  std::memcpy(messageBefore, out.return_msg, sizeof(messageBefore));
  PF_Err err = PF_Err_NONE;
  // A render only reads the sequence data, whether the in-data record carries it or (under multi-frame
  // rendering) the read-only suite hands it out.
  PF_Handle rendered = nullptr;
  if (cmd == PF_Cmd_RENDER) {
    CallContext* context = ContextOf(in.effect_ref);
    rendered = in.sequence_data != nullptr ? in.sequence_data
               : context != nullptr        ? context->sequenceData.load()
                                           : nullptr;
  }
  const std::vector<uint8_t> renderedBefore =
      rendered != nullptr ? impl_->renderStarts(rendered) : std::vector<uint8_t>{};
  CallSuites held;
  int paramCheckouts = 0;
  {
    Scope scope(*this);
    const PF_Cmd previousCommand = tCurrentCommand;
    CallSuites* previousSuites = tCallSuites;
    int* previousCheckouts = tParamCheckouts;
    tCurrentCommand = cmd;
    tCallSuites = &held;
    tParamCheckouts = &paramCheckouts;
    try {
      err = entry(cmd, &in, &out, params, output, extra);
    } catch (...) {
      // An exception must never cross the entry point; treat one as the effect's internal failure.
      impl_->problem("an exception escaped the entry point during command " + std::to_string(cmd));
      err = PF_Err_INTERNAL_STRUCT_DAMAGED;
    }
    tCurrentCommand = previousCommand;
    tCallSuites = previousSuites;
    tParamCheckouts = previousCheckouts;
  }
  if (paramCheckouts > 0) {
    impl_->problem(std::to_string(paramCheckouts) + " parameter checkout(s) not checked in by command " +
                   std::to_string(cmd));
  }
  if (rendered != nullptr) impl_->renderEnds(rendered, renderedBefore);
  impl_->reportHeldSuites(cmd, held);
  // sprintf into return_msg has no bound: a message the effect wrote that does not end inside the field
  // ran over the out-data fields behind it.
  if (std::memcmp(messageBefore, out.return_msg, sizeof(messageBefore)) != 0 &&
      std::memchr(out.return_msg, '\0', sizeof(out.return_msg)) == nullptr) {
    impl_->problem("return_msg of command " + std::to_string(cmd) + " is not terminated within its " +
                   std::to_string(sizeof(out.return_msg)) + " bytes");
  }
  return err;
}

void Host::setThreads(unsigned threads) {
  std::lock_guard lock(impl_->mutex);
  impl_->options.threads = threads;
}

unsigned Host::threads() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->options.threads;
}

void Host::setApplId(A_long applId) {
  std::lock_guard lock(impl_->mutex);
  impl_->options.applId = applId;
}

A_long Host::applId() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->options.applId;
}

void Host::setIterateOrder(IterateOrder order, uint64_t seed) {
  std::lock_guard lock(impl_->mutex);
  impl_->order = order;
  impl_->shuffleState = seed;
}

void Host::setProgress(std::function<bool(A_long done, A_long total)> progress) {
  std::lock_guard lock(impl_->mutex);
  impl_->progress = std::move(progress);
}

void Host::setBasicSuiteAvailable(bool available) {
  std::lock_guard lock(impl_->mutex);
  impl_->basicSuiteAvailable = available;
}

void Host::setHandleSizesAnswered(bool answered) { impl_->handleSizesAnswered = answered; }

void Host::setIterateGenericAvailable(bool available) {
  std::lock_guard lock(impl_->mutex);
  impl_->iterateGenericAvailable = available;
}

void Host::refuseSuite(const std::string& name) {
  std::lock_guard lock(impl_->mutex);
  impl_->refused.insert(name);
}

void Host::allowAllSuites() {
  std::lock_guard lock(impl_->mutex);
  impl_->refused.clear();
}

int Host::acquireCount(const std::string& name) const {
  std::lock_guard lock(impl_->mutex);
  auto found = impl_->suites.find(name);
  return found != impl_->suites.end() ? found->second.acquired : 0;
}

int Host::releaseCount(const std::string& name) const {
  std::lock_guard lock(impl_->mutex);
  auto found = impl_->suites.find(name);
  return found != impl_->suites.end() ? found->second.released : 0;
}

int Host::suitesHeld() const {
  std::lock_guard lock(impl_->mutex);
  int held = 0;
  for (const auto& [name, counts] : impl_->suites) held += counts.held;
  return held;
}

PF_Handle Host::newHandle(A_u_longlong size) {
  PF_Handle handle = impl_->newHandle(size);
  if (handle == nullptr) throw HostError("cannot allocate a handle of " + std::to_string(size) + " bytes");
  return handle;
}

void Host::disposeHandle(PF_Handle handle) { impl_->disposeHandle(handle); }

A_u_longlong Host::handleSize(PF_Handle handle) const { return impl_->handleSize(handle); }

void* Host::handleData(PF_Handle handle) const { return impl_->handleData(handle); }

int Host::lockCount(PF_Handle handle) const { return impl_->lockCount(handle); }

std::size_t Host::liveHandles() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->liveHandles;
}

std::vector<std::string> Host::problems() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->problems;
}

void Host::clearProblems() {
  std::lock_guard lock(impl_->mutex);
  impl_->problems.clear();
}

}  // namespace minihost
