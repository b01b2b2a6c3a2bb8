#include "cli/interrupt.h"

#include <pthread.h>

#include <atomic>
#include <csignal>

#include "cli/exit_status.h"

namespace {

std::atomic<int> received{0};
static_assert(std::atomic<int>::is_always_lock_free, "the signal handler must not take a lock");

extern "C" void RecordSignal(int signal) { received.store(signal, std::memory_order_relaxed); }

}  // namespace

void InstallInterruptHandlers() {
  struct sigaction action {};
  action.sa_handler = RecordSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESETHAND;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

int InterruptSignal() { return received.load(std::memory_order_relaxed); }

void ThrowIfInterrupted() {
  const int signal = InterruptSignal();
  if (signal == 0) return;
  if (signal == SIGTERM) throw CliError(kExitTerminated, "terminated (SIGTERM); no output written");
  throw CliError(kExitInterrupted, "interrupted (SIGINT); no output written");
}

SignalBlock::SignalBlock() {
  sigset_t block;
  sigemptyset(&block);
  sigaddset(&block, SIGINT);
  sigaddset(&block, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &block, &previous_);
}

SignalBlock::~SignalBlock() { pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }
