// Exit statuses of the palettrix command, one per kind of failure (the README lists them).
#pragma once

#include <stdexcept>
#include <string>

enum ExitStatus : int {
  kExitOk = 0,
  kExitUsage = 2,   // bad command line: unknown option, bad value, unknown pattern or swatch
  kExitInput = 3,   // an input file is missing, unreadable or of an unsupported kind
  kExitOutput = 4,  // an output file cannot be written or encoded (a full disk included)
  kExitEffect = 5,  // the effect library cannot be loaded, or it failed to render
  // Interrupted runs end as a shell reports a process killed by the signal: 128 + its number (SIGHUP 129,
  // SIGUSR1 138, SIGPIPE 141 and SIGALRM 142 too; interrupt.h).
  kExitInterrupted = 130,  // SIGINT
  kExitTerminated = 143,   // SIGTERM
};

// A failure with the one-line message to print and the status to exit with.
class CliError : public std::runtime_error {
 public:
  CliError(ExitStatus status, const std::string& message)
      : std::runtime_error(message), status_(status), message_(message) {}
  ExitStatus status() const { return status_; }
  // The whole message: what() ends at a NUL byte that a file's text may have brought into it.
  const std::string& message() const { return message_; }

 private:
  ExitStatus status_;
  std::string message_;
};
