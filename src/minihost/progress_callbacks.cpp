// abort and progress, the interaction callbacks through which an effect that walks its own work (as
// with iterate_generic, which reports nothing itself) learns whether the user wants it to stop. Both ask
// the host's progress function, as iterate does between rows.
#include <functional>
#include <new>
#include <string>

#include "minihost/host_impl.h"

namespace minihost {
namespace {

PF_Err Ask(PF_ProgPtr effectRef, const char* what, bool report, A_long current, A_long total) {
  CallContext* context = ContextOf(effectRef);
  Host::Impl* impl = ImplFor(effectRef);
  if (context == nullptr) {
    if (impl != nullptr) impl->problem(std::string(what) + " with an unknown effect reference");
    return PF_Err_BAD_CALLBACK_PARAM;
  }
  if (report) {
    context->progressCurrent.store(current);
    context->progressTotal.store(total);
  } else {
    current = context->progressCurrent.load();
    total = context->progressTotal.load();
  }
  try {
    const std::function<bool(A_long, A_long)> progress = context->host->impl().progressFunction();
    if (progress && !progress(current, total)) return PF_Interrupt_CANCEL;
    return PF_Err_NONE;
  } catch (const std::bad_alloc&) {
    return PF_Err_OUT_OF_MEMORY;
  } catch (...) {
    context->host->impl().problem(std::string("an exception escaped the progress function during ") + what);
    return PF_Err_INTERNAL_STRUCT_DAMAGED;
  }
}

}  // namespace

PF_Err Abort(PF_ProgPtr effectRef) { return Ask(effectRef, "abort", false, 0, 0); }

PF_Err Progress(PF_ProgPtr effectRef, A_long current, A_long total) {
  return Ask(effectRef, "progress", true, current, total);
}

}  // namespace minihost
