// palettrix: applies the Palettrix effect to images through the effect's own entry point, loaded and
// driven by minihost as a host would.
#include <fcntl.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>

#include "cli/commands.h"
#include "cli/exit_status.h"
#include "cli/interrupt.h"
#include "cli/option_checks.h"
#include "cli/safe_output.h"
#include "cli/terminal.h"
#include "palettefiles/palette_file.h"
#include "palettrix_version.h"

namespace {

int Fail(const std::string& message, int status) {
  const std::string line = "palettrix: " + ForTerminal(message) + "\n";
  std::fwrite(line.data(), 1, line.size(), Messages());
  return status;
}

// An empty value is never "not given": every option that takes a value refuses it.
void RefuseEmptyValues(CLI::App& app) {
  for (CLI::App* command : app.get_subcommands({})) {
    for (CLI::Option* option : command->get_options()) {
      if (option->get_type_size() == 0 || option->get_name() == "--help") continue;
      option->check(CLI::Validator(
          [](std::string& value) {
            return value.empty() ? std::string("an empty value is not allowed") : std::string();
          },
          "", "not empty"));
    }
  }
}

int RunCommand(int argc, char** argv) {
  CLI::App app{"palettrix: reduce images to a retro palette and dither them with the Palettrix effect"};
  app.set_version_flag("--version", std::string("palettrix ") + kPalettrixVersion);
  bool verbose = false;
  app.add_flag("--verbose", verbose,
               "Let the image and video libraries print their own warnings and notices to stderr")
      ->each([](const std::string&) { SetVerbose(true); });
  app.fallthrough();
  app.require_subcommand(1);
  AddRenderCommand(app);
  AddDemoCommand(app);
  AddListCommand(app);
  AddGalleryCommand(app);
  AddPaletteCommand(app);
  RefuseEmptyValues(app);

  // The commands run inside parse, from their callbacks.
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    return Fail(UsageMessage(app, e), kExitUsage);
  } catch (...) {
    // A failure caused by the interruption itself (a render stopped part-way, a read cut short) is
    // reported as the interruption.
    try {
      ThrowIfInterrupted();
      throw;
    } catch (const CliError& e) {
      return Fail(e.message(), e.status());
    } catch (const PaletteFileError& e) {
      return Fail(e.message(), kExitInput);
    } catch (const std::bad_alloc&) {
      return Fail("not enough memory", kExitEffect);
    } catch (const std::exception& e) {
      return Fail(e.what(), kExitEffect);
    }
  }
  // What the command printed must have reached its destination (a full disk, a closed pipe).
  errno = 0;
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    // A write cut short by the signal is the interruption.
    try {
      ThrowIfInterrupted();
    } catch (const CliError& e) {
      return Fail(e.message(), e.status());
    }
    return Fail(StandardOutputFailure(errno != 0 ? errno : EIO), kExitOutput);
  }
  return kExitOk;
}

// A standard stream the command was started without (`palettrix palette F >&-`) must not leave its number
// free: the next file opened would take it, and what the command prints would go into that file. It is
// held by /dev/null opened the wrong way, so that a write there fails (EBADF) and is reported, and a read
// from standard input ends at once.
void HoldClosedStandardStreams() {
  for (const int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
    if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    const int held = open("/dev/null", fd == STDIN_FILENO ? O_WRONLY : O_RDONLY);
    if (held >= 0 && held != fd) {
      dup2(held, fd);
      close(held);
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  HoldClosedStandardStreams();
  // Every command writes files under temporary names: a size limit must fail a write, not end the process
  // with its temporary files left behind; Ctrl-C stops a command between steps, its files removed.
  IgnoreFileSizeSignal();
  InstallInterruptHandlers();
  return RunCommand(argc, argv);
}
