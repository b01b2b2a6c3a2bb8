// The files a run reads, known by device and inode, so that no output of the same run can replace one of
// them: another name for the same file (a symbolic or hard link, "./a.png" for "a.png") is the same file.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

class RunInputs {
 public:
  // Records the file `path` names (through links) when it exists; a missing file is the reader's to report.
  void add(const std::filesystem::path& path);

  // Throws CliError (usage) when `output` names a recorded file, before anything is written. `option` names
  // the output on the command line (the output's own name for a positional OUTPUT).
  void refuseOutput(const std::string& option, const std::filesystem::path& output) const;

 private:
  struct File {
    dev_t device;
    ino_t inode;
    std::filesystem::path path;
  };
  std::vector<File> files_;
};
