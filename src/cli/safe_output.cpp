#include "cli/safe_output.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <system_error>

#include "cli/exit_status.h"
#include "cli/interrupt.h"

namespace fs = std::filesystem;

namespace {

// Longer extensions are left off the temporary name: it must stay short whatever the target's name is.
constexpr std::size_t kMaxKeptExtension = 16;

std::string RandomLetters(std::size_t count) {
  static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  unsigned char bytes[32];
  std::size_t got = 0;
  while (got < count) {
    const ssize_t n = getrandom(bytes + got, count - got, 0);
    if (n < 0 && errno != EINTR) throw std::system_error(errno, std::generic_category(), "getrandom");
    if (n > 0) got += static_cast<std::size_t>(n);
  }
  std::string text;
  for (std::size_t i = 0; i < count; ++i) text += kLetters[bytes[i] % (sizeof kLetters - 1)];
  return text;
}

}  // namespace

void RequireRegularOutput(const fs::path& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) {
    // A missing target is the usual case; a dangling link is replaced like a missing file, never followed.
    return;
  }
  if (!S_ISREG(info.st_mode)) {
    const char* kind = S_ISDIR(info.st_mode)    ? "a folder"
                       : S_ISCHR(info.st_mode)  ? "a character device"
                       : S_ISBLK(info.st_mode)  ? "a block device"
                       : S_ISFIFO(info.st_mode) ? "a FIFO"
                       : S_ISSOCK(info.st_mode) ? "a socket"
                                                : "not a regular file";
    throw CliError(kExitOutput, path.string() + ": cannot write: it is " + kind + ", not a regular file");
  }
}

OutputFile::OutputFile(const fs::path& target) : target_(target) {
  RequireRegularOutput(target);
  const fs::path folder = target.parent_path();
  std::string extension = target.extension().string();
  if (extension.size() > kMaxKeptExtension) extension.clear();
  for (int attempt = 0; attempt < 100; ++attempt) {
    const fs::path candidate = folder / (".ptx" + RandomLetters(8) + extension);
    fd_ = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd_ >= 0) {
      temp_ = candidate;
      return;
    }
    if (errno != EEXIST) break;
  }
  const int error = errno;
  if (error == ENOENT || error == ENOTDIR) {
    throw CliError(kExitOutput, target.string() + ": cannot write (no folder " +
                                    (folder.empty() ? std::string(".") : folder.string()) + ")");
  }
  fail("cannot write", error);
}

OutputFile::~OutputFile() {
  if (!committed_) discard();
}

std::string OutputFile::descriptorPath() const { return "/proc/self/fd/" + std::to_string(fd_); }

void OutputFile::fail(const std::string& what, int error) const {
  throw CliError(kExitOutput, target_.string() + ": " + what + " (" + std::strerror(error) + ")");
}

void OutputFile::write(const void* data, std::size_t size) {
  const auto* bytes = static_cast<const unsigned char*>(data);
  while (size > 0) {
    const ssize_t n = ::write(fd_, bytes, size);
    if (n < 0) {
      if (errno == EINTR && InterruptSignal() == 0) continue;
      if (errno == EINTR) ThrowIfInterrupted();
      fail("cannot write", errno);
    }
    bytes += n;
    size -= static_cast<std::size_t>(n);
  }
}

void OutputFile::close() {
  if (fd_ < 0) return;
  const int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0 && errno != EINTR) fail("cannot write", errno);
}

void OutputFile::commit() {
  close();
  ThrowIfInterrupted();
  RequireRegularOutput(target_);
  if (::rename(temp_.c_str(), target_.c_str()) != 0) fail("cannot write", errno);
  committed_ = true;
}

void OutputFile::discard() noexcept {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (!temp_.empty()) ::unlink(temp_.c_str());
  temp_.clear();
}

void IgnoreFileSizeSignal() { std::signal(SIGXFSZ, SIG_IGN); }
