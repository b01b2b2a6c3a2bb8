// Interruption by SIGINT or SIGTERM: the handler only records the signal; the frame pipeline notices it,
// removes its temporary files and ends with the status the README gives (130 or 143).
#pragma once

#include <csignal>

// Installs the handlers (once per process). They are installed without SA_RESTART, so that a read blocked
// on a pipe or a slow device returns and the run can stop; a second signal of the same kind ends the
// process at once, as if no handler were installed.
void InstallInterruptHandlers();

// The signal received, or 0.
int InterruptSignal();

// Throws the CliError of an interrupted run when a signal has been received.
void ThrowIfInterrupted();

// Blocks SIGINT and SIGTERM on the calling thread for the scope's lifetime. Threads started meanwhile (the
// render workers, FFmpeg's codec threads) inherit the mask and leave the signals to the main thread, whose
// blocking reads they must cut short.
class SignalBlock {
 public:
  SignalBlock();
  ~SignalBlock();
  SignalBlock(const SignalBlock&) = delete;
  SignalBlock& operator=(const SignalBlock&) = delete;

 private:
  sigset_t previous_;
};
