#include "cli/terminal.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <mutex>

#include "cli/exit_status.h"

namespace {

std::atomic<bool> verbose{false};
std::mutex quietMutex;
int quietCount = 0;    // under quietMutex
int savedStderr = -1;  // under quietMutex

// A copy of standard error taken before anything is redirected, kept for the life of the process.
int MessageDescriptor() {
  static const int fd = [] {
    const int copy = fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3);
    return copy >= 0 ? copy : STDERR_FILENO;
  }();
  return fd;
}

// The length of the valid UTF-8 sequence at text[at], or 0.
std::size_t Utf8Length(std::string_view text, std::size_t at) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  std::size_t length = 0;
  unsigned minimum = 0, value = 0;
  if (lead >= 0xC2 && lead <= 0xDF)
    length = 2, minimum = 0x80, value = lead & 0x1Fu;
  else if (lead >= 0xE0 && lead <= 0xEF)
    length = 3, minimum = 0x800, value = lead & 0x0Fu;
  else if (lead >= 0xF0 && lead <= 0xF4)
    length = 4, minimum = 0x10000, value = lead & 0x07u;
  else
    return 0;
  if (at + length > text.size()) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(at + i) & 0xC0u) != 0x80u) return 0;
    value = value << 6 | (byte(at + i) & 0x3Fu);
  }
  if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
  // C1 control characters are as dangerous as C0 ones on many terminals.
  if (value >= 0x80 && value <= 0x9F) return 0;
  return length;
}

void Escape(std::string_view text, std::string& out) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  for (std::size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c >= 0x20 && c < 0x7F) {
      out += static_cast<char>(c);
      ++i;
    } else if (c == '\t' || c == '\n' || c == '\r') {
      out += c == '\t' ? "\\t" : c == '\n' ? "\\n" : "\\r";
      ++i;
    } else if (const std::size_t length = c >= 0x80 ? Utf8Length(text, i) : 0; length > 0) {
      out.append(text.substr(i, length));
      i += length;
    } else {
      out += "\\x";
      out += kHex[c >> 4];
      out += kHex[c & 15];
      ++i;
    }
  }
}

}  // namespace

std::FILE* Messages() {
  static std::FILE* const stream = [] {
    const int fd = MessageDescriptor();
    std::FILE* f = fd == STDERR_FILENO ? nullptr : fdopen(fd, "w");
    if (f == nullptr) return stderr;
    setvbuf(f, nullptr, _IONBF, 0);
    return f;
  }();
  return stream;
}

void SetVerbose(bool value) { verbose.store(value); }
bool Verbose() { return verbose.load(); }

QuietLibraries::QuietLibraries() {
  if (Verbose()) return;
  Messages();  // the copy of standard error is taken before the first redirection
  std::lock_guard lock(quietMutex);
  if (quietCount++ == 0) {
    std::fflush(stderr);
    savedStderr = fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3);
    const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (null >= 0) {
      dup2(null, STDERR_FILENO);
      close(null);
    }
  }
  active_ = true;
}

QuietLibraries::~QuietLibraries() {
  if (!active_) return;
  std::lock_guard lock(quietMutex);
  if (--quietCount == 0 && savedStderr >= 0) {
    std::fflush(stderr);
    dup2(savedStderr, STDERR_FILENO);
    close(savedStderr);
    savedStderr = -1;
  }
}

std::string ForTerminal(std::string_view text, std::size_t limit) {
  std::string out;
  if (text.size() <= limit) {
    Escape(text, out);
    return out;
  }
  // Cut on bytes, then escaped: a multi-byte character split at a cut shows as \x escapes.
  const std::size_t keep = limit / 2;
  Escape(text.substr(0, keep), out);
  out += "...";
  Escape(text.substr(text.size() - keep), out);
  return out;
}

std::string ExactNumber(double value) {
  char text[64];
  const auto result = std::to_chars(text, text + sizeof text, value);
  return std::string(text, result.ptr);
}

std::string StandardOutputFailure(int error) {
  std::string reason;
  switch (error) {
    case EPIPE:
      reason = "the program reading it has closed the pipe";
      break;
    case EBADF:
      reason = "it is closed";
      break;
    default:
      reason = std::strerror(error);
      break;
  }
  return "standard output: cannot write (" + reason + ")";
}

void PrintToStandardOutput(const std::string& text) {
  errno = 0;
  if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() || std::fflush(stdout) != 0) {
    const int error = errno;
    throw CliError(kExitOutput, StandardOutputFailure(error));
  }
}
