// Output files written safely: the bytes go to a new temporary file created exclusively in the output's
// folder, and reach the output's name only by a rename once they are complete. A link planted under a
// predictable name, a device or a pipe where the output goes, a file-size limit, a full disk and an
// interruption all end with nothing written and no other file touched.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>

// Refuses (CliError, output) an output that exists and is not a regular file, nor a link to one: a device,
// a pipe, a socket or a folder would be replaced by a regular file.
void RequireRegularOutput(const std::filesystem::path& path);

class OutputFile {
 public:
  // Checks the target (RequireRegularOutput) and creates the temporary file: a short name of random
  // letters, hidden, in the target's folder, keeping the target's extension (formats are chosen by it),
  // created new (never reusing a name, never following a link) with the permissions a new file gets.
  explicit OutputFile(const std::filesystem::path& target);
  // Removes the temporary file unless committed.
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  const std::filesystem::path& target() const { return target_; }
  const std::filesystem::path& temp() const { return temp_; }
  // The open file by a name that reaches this file whatever happens to the folder meanwhile, for
  // libraries that open files by name.
  std::string descriptorPath() const;

  // Appends bytes; throws CliError (output) naming the target with the system's reason.
  void write(const void* data, std::size_t size);
  void write(const std::string& text) { write(text.data(), text.size()); }
  // Flushes and closes; throws as write does. Commit closes too.
  void close();
  // Moves the complete file to the target's name. Refuses when the run has been interrupted meanwhile, or
  // the target has become something other than a regular file; the temporary file is then removed.
  void commit();
  // Removes the temporary file now.
  void discard() noexcept;

  [[noreturn]] void fail(const std::string& what, int error) const;

 private:
  std::filesystem::path target_, temp_;
  int fd_ = -1;
  bool committed_ = false;
};

// Ignores SIGXFSZ, so that writing past a file-size limit fails with EFBIG (status 4) instead of ending
// the process with its temporary files left behind.
void IgnoreFileSizeSignal();
