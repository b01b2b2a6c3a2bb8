#include "cli/run_inputs.h"

#include <sys/stat.h>

#include "cli/exit_status.h"

void RunInputs::add(const std::filesystem::path& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) == 0) files_.push_back({info.st_dev, info.st_ino, path});
}

void RunInputs::refuseOutput(const std::string& option, const std::filesystem::path& output) const {
  struct stat info {};
  if (::stat(output.c_str(), &info) != 0) return;
  for (const File& file : files_) {
    if (file.device == info.st_dev && file.inode == info.st_ino) {
      const std::string prefix = option == output.string() ? option : option + ": " + output.string();
      throw CliError(kExitUsage, prefix + " is " + (file.path == output ? "" : file.path.string() + ", ") +
                                     "a file this run reads: writing it would destroy it");
    }
  }
}
