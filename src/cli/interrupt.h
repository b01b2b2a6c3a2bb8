// Interruption by a signal that would otherwise end the process with its temporary files left behind
// (SIGINT, SIGTERM, SIGHUP when the terminal closes, SIGPIPE, SIGALRM, SIGUSR1): the handler only records
// the signal; the frame pipeline notices it, removes its temporary files and ends with 128 + the signal's
// number, as a shell reports a process killed by it (the README lists them).
#pragma once

#include <csignal>

// Installs the handlers (once per process). They are installed without SA_RESTART, so that an open or a
// read blocked on a FIFO, a pipe or a slow device fails with EINTR and the run can stop; a second signal of
// the same kind ends the process at once, as if no handler were installed. A SIGPIPE the kernel raises for
// a write of ours to a closed pipe is not an interruption: the write fails with EPIPE and is reported as
// the output error it is.
void InstallInterruptHandlers();

// The signal received, or 0.
int InterruptSignal();

// Throws the CliError of an interrupted run when a signal has been received.
void ThrowIfInterrupted();

// Blocks the interrupting signals on the calling thread for the scope's lifetime. Threads started meanwhile
// (the render workers, FFmpeg's codec threads) inherit the mask and leave the signals to the main thread,
// whose blocking reads they must cut short.
class SignalBlock {
 public:
  SignalBlock();
  ~SignalBlock();
  SignalBlock(const SignalBlock&) = delete;
  SignalBlock& operator=(const SignalBlock&) = delete;

 private:
  sigset_t previous_;
};
