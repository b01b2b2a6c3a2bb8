// The host: the basic suite and the suites it hands out, handles, the utility callbacks (fill, iterate,
// iterate16, iterate_generic, sprintf, strcpy), the interaction callbacks (add_param, abort, progress),
// a pool of worker threads for iteration, and the records of everything a test needs to see (suite
// counts, handle problems, UI updates).
//
// iterate_generic(iterations, refcon, fn) as this host runs it: with `n` threads (the thread setting, or
// 1 when the pool is taken by an enclosing or concurrent iteration, which is how a call from inside an
// iteration callback runs inline instead of deadlocking), fn gets thread indexes 0..n-1, index 0 being
// the thread that called iterate_generic and every other index one worker, never two calls at once.
//   iterations >= 0     fn for every i in 0..iterations-1 once, spread over the threads as each becomes
//                       free, concurrently and in no promised order (shuffled under
//                       IterateOrder::Shuffled); thread index 0 always makes the first call, so an
//                       effect that asks abort and progress there is asked at least once
//   ONCE_PER_PROCESSOR  fn once on every thread, with i = 0..n-1 dealt out among them (shuffled too)
//                       and n, never -1, as its `iterations`
//   other negatives     PF_Err_BAD_CALLBACK_PARAM, and a problem is recorded; so is a null fn
// The first error a call returns is the result: no call starts after it is seen, calls already running
// finish. It returns only when every call it started has returned. With no current host (see below) it
// cannot tell whose threads to use and returns PF_Err_INVALID_CALLBACK.
//
// checkout_param gives a copy of the parameter as the host holds it (the input layer only holds pixels
// during PF_Cmd_RENDER); each checkout must be checked in before the command returns, else a problem is
// recorded, and so is a checkin without a checkout.
//
// Suite and handle functions carry no context argument, so the host serving a call is found through a
// thread-local "current host" that Host::call (and Host::Scope) sets; several hosts can therefore run
// independent calls on different threads at once.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "sdk/ae_suites.h"

namespace minihost {

class ParamSet;

// How iterate hands out pixels: rows in order (split over the workers), or every pixel in an order
// shuffled by a seeded generator (to prove callbacks do not depend on order). iterate_generic follows
// the same setting: its i in increasing order, or shuffled.
enum class IterateOrder { Rows, Shuffled };

// What PF_UpdateParamUI was sent: the index and a copy of the definition.
struct ParamUIUpdate {
  PF_ParamIndex index;
  PF_ParamDef def;
};

class Host {
 public:
  struct Options {
    // Threads for iterate and iterate_generic; 0 means one per core, 1 means the calling thread only.
    unsigned threads = 0;
    A_long applId = PF_ApplID_AfterEffects;
  };

  Host();
  explicit Host(Options options);
  ~Host();
  Host(const Host&) = delete;
  Host& operator=(const Host&) = delete;

  // Makes this host current on the calling thread for the lifetime of the scope (nests).
  class Scope {
   public:
    explicit Scope(Host& host);
    ~Scope();
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;

   private:
    Host* previous_;
  };

  // An in-data record with the host's callbacks, basic suite, effect reference and application code;
  // everything else zero. `registry` (may be null) receives what add_param and PF_UpdateParamUI send
  // and the options-button text during the call made with this record.
  PF_InData makeInData(ParamSet* registry = nullptr);

  // Calls the entry point on this thread with this host current. Afterwards every suite acquired during
  // the call (on this thread) must have been released, else a problem is recorded (and the suites are
  // counted as held); calls running at the same time on other threads count their own. During a
  // PF_Cmd_RENDER the sequence data (the in-data record's, else the one "PF Effect Sequence Data Suite"
  // answers with for the record's effect reference) may only be read: a lock, resize or disposal of it,
  // or a change to its bytes by the time the render returns, is a problem.
  PF_Err call(PF_EntryPointFunc entry, PF_Cmd cmd, PF_InData& in, PF_OutData& out, PF_ParamDef** params,
              PF_EffectWorld* output, void* extra);

  // Settings.
  void setThreads(unsigned threads);
  unsigned threads() const;
  void setApplId(A_long applId);
  A_long applId() const;
  void setIterateOrder(IterateOrder order, uint64_t seed = 1);
  // Called on the thread that called iterate, as rows (or pixels) complete; return false to stop part-way:
  // iterate then leaves the remaining pixels alone and returns PF_Interrupt_CANCEL.
  // iterate_generic has no in-data record, so it reports nothing itself: an effect reports through the
  // interaction callbacks instead, and those ask this same function, on the thread that calls them.
  // progress(effect_ref, current, total) passes its numbers on; abort(effect_ref) passes on the last
  // numbers given to progress through that effect reference (0 of 0 before any). Each returns
  // PF_Interrupt_CANCEL when the function answers false, PF_Err_NONE otherwise or when none is set;
  // every call asks again, so the function decides whether a stop lasts.
  void setProgress(std::function<bool(A_long done, A_long total)> progress);
  // Simulate a host without a basic suite in in-data records (pica_basicP null), or refuse a suite.
  void setBasicSuiteAvailable(bool available);
  // Simulate a host that does not provide iterate_generic: in-data records made while it is off carry
  // utility callbacks whose iterate_generic slot is null (records made before keep theirs).
  void setIterateGenericAvailable(bool available);
  void refuseSuite(const std::string& name);
  // Simulate a host that cannot size the handles it hands out: the effect's host_get_handle_size (utility
  // callback and handle suite alike) answers 0; handleSize() below still answers.
  void setHandleSizesAnswered(bool answered);
  // Undoes every refuseSuite.
  void allowAllSuites();

  // Suites: acquires and releases per suite name, and how many are held right now. Only acquires the host
  // granted and releases that matched one are counted; a suite leaked by a command stays held (and is
  // reported once) until it is released.
  int acquireCount(const std::string& name) const;
  int releaseCount(const std::string& name) const;
  int suitesHeld() const;

  // Handles, also for the host's own use (sequence data it stores and restores).
  PF_Handle newHandle(A_u_longlong size);
  void disposeHandle(PF_Handle handle);
  A_u_longlong handleSize(PF_Handle handle) const;
  void* handleData(PF_Handle handle) const;  // no lock taken
  int lockCount(PF_Handle handle) const;
  std::size_t liveHandles() const;

  // Everything the host saw that a real host would have to reject or that leaks: release without acquire,
  // suite held after a command, double disposal, use after disposal, unknown handle, unbalanced unlock,
  // iterate on a world of the wrong depth, iterate_generic with a bad count or no function. Empty means
  // all was well.
  std::vector<std::string> problems() const;
  void clearProblems();

  // Internal: the callback tables (public for the C callbacks in host.cpp).
  struct Impl;
  Impl& impl() { return *impl_; }

 private:
  std::unique_ptr<Impl> impl_;
};

}  // namespace minihost
