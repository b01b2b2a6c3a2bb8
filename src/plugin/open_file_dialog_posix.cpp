// Linux and other POSIX systems: zenity, or kdialog where zenity is absent, run with an argument vector
// (never through a shell, so no file name or title is ever interpreted) and read back from its output.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "plugin/open_file_dialog.h"

extern char** environ;

namespace {

std::string JoinPatterns(const std::vector<std::string>& patterns) {
  std::string joined;
  for (const std::string& pattern : patterns) joined += (joined.empty() ? "" : " ") + pattern;
  return joined;
}

// Runs `args` and gives back what it printed when it exits with 0; nothing when it cannot be started
// (`missing` then tells whether the program does not exist) or when it exits otherwise (a cancel).
std::optional<std::string> Run(const std::vector<std::string>& args, bool& missing) {
  missing = false;
  int pipeFds[2];
  if (pipe2(pipeFds, O_CLOEXEC) != 0) return std::nullopt;

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
  std::vector<char*> argv;
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  pid_t pid = 0;
  const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(pipeFds[1]);
  if (spawned != 0) {
    close(pipeFds[0]);
    missing = spawned == ENOENT;
    return std::nullopt;
  }

  std::string output;
  char buffer[4096];
  for (;;) {
    const ssize_t n = read(pipeFds[0], buffer, sizeof buffer);
    if (n > 0) {
      output.append(buffer, static_cast<std::size_t>(n));
    } else if (n == 0 || errno != EINTR) {
      break;
    }
  }
  close(pipeFds[0]);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return std::nullopt;
  while (!output.empty() && (output.back() == '\n' || output.back() == '\r')) output.pop_back();
  if (output.empty()) return std::nullopt;
  return output;
}

}  // namespace

std::vector<std::string> ZenityArguments(const FileDialogRequest& request) {
  std::vector<std::string> args = {"zenity", "--file-selection", "--title=" + request.title};
  if (!request.defaultPath.empty()) args.push_back("--filename=" + request.defaultPath);
  if (!request.patterns.empty()) {
    args.push_back("--file-filter=" + request.description + " | " + JoinPatterns(request.patterns));
  }
  return args;
}

std::vector<std::string> KdialogArguments(const FileDialogRequest& request) {
  std::vector<std::string> args = {"kdialog", "--title", request.title, "--getopenfilename",
                                   request.defaultPath.empty() ? "." : request.defaultPath};
  if (!request.patterns.empty()) args.push_back(JoinPatterns(request.patterns) + "|" + request.description);
  return args;
}

std::optional<std::string> OpenFileDialog(const FileDialogRequest& request) {
  bool missing = false;
  std::optional<std::string> path = Run(ZenityArguments(request), missing);
  if (path || !missing) return path;
  return Run(KdialogArguments(request), missing);
}
