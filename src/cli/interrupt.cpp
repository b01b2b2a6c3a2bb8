#include "cli/interrupt.h"

#include <pthread.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <string>

#include "cli/exit_status.h"

namespace {

// Each stops a run as Ctrl-C does; the name is the one the message gives. `keepIgnored`: a signal the
// command was started with ignored stays ignored (nohup's SIGHUP, a shell's SIGPIPE); SIGINT and SIGTERM
// are always taken, as they always were.
struct Interruption {
  int signal;
  const char* name;
  const char* what;
  bool keepIgnored;
};
constexpr Interruption kInterruptions[] = {
    {SIGINT, "SIGINT", "interrupted", false},
    {SIGTERM, "SIGTERM", "terminated", false},
    {SIGHUP, "SIGHUP", "hung up", true},
    {SIGPIPE, "SIGPIPE", "stopped by SIGPIPE", true},
    {SIGALRM, "SIGALRM", "stopped by SIGALRM", true},
    {SIGUSR1, "SIGUSR1", "stopped by SIGUSR1", true},
};

std::atomic<int> received{0};
static_assert(std::atomic<int>::is_always_lock_free, "the signal handler must not take a lock");

extern "C" void RecordSignal(int signal, siginfo_t* info, void*) {
  // The kernel's own SIGPIPE answers a write to a pipe nobody reads, as if the process had sent it to
  // itself; that write fails with EPIPE and is reported where it happened. SIGPIPE sent by another process
  // is an interruption.
  const bool ownWrite = info != nullptr && (info->si_code == SI_KERNEL ||
                                            (info->si_code == SI_USER && info->si_pid == getpid()));
  if (signal == SIGPIPE && ownWrite) {
    // SA_RESETHAND has put back the default, which would end the process at the next such write.
    struct sigaction again {};
    again.sa_sigaction = RecordSignal;
    sigemptyset(&again.sa_mask);
    again.sa_flags = SA_SIGINFO | SA_RESETHAND;
    sigaction(SIGPIPE, &again, nullptr);
    return;
  }
  int expected = 0;
  received.compare_exchange_strong(expected, signal, std::memory_order_relaxed);
}

}  // namespace

void InstallInterruptHandlers() {
  struct sigaction action {};
  action.sa_sigaction = RecordSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_SIGINFO | SA_RESETHAND;
  sigset_t taken;
  sigemptyset(&taken);
  for (const Interruption& interruption : kInterruptions) {
    struct sigaction inherited {};
    sigaction(interruption.signal, nullptr, &inherited);
    if (interruption.keepIgnored && inherited.sa_handler == SIG_IGN) continue;
    sigaction(interruption.signal, &action, nullptr);
    sigaddset(&taken, interruption.signal);
  }
  // A mask is inherited across exec: started by a program that blocks these signals, the command would
  // never see them, and an open blocked on a FIFO would wait for ever.
  pthread_sigmask(SIG_UNBLOCK, &taken, nullptr);
}

int InterruptSignal() { return received.load(std::memory_order_relaxed); }

void ThrowIfInterrupted() {
  const int signal = InterruptSignal();
  if (signal == 0) return;
  for (const Interruption& interruption : kInterruptions) {
    if (interruption.signal != signal) continue;
    throw CliError(static_cast<ExitStatus>(128 + signal),
                   std::string(interruption.what) + " (" + interruption.name + "); no output written");
  }
  throw CliError(static_cast<ExitStatus>(128 + signal), "stopped by a signal; no output written");
}

SignalBlock::SignalBlock() {
  sigset_t block;
  sigemptyset(&block);
  for (const Interruption& interruption : kInterruptions) sigaddset(&block, interruption.signal);
  pthread_sigmask(SIG_BLOCK, &block, &previous_);
}

SignalBlock::~SignalBlock() { pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }
