// palettrix: applies the Palettrix effect to images through the effect's own entry point, loaded and
// driven by minihost as a host would.
#include <CLI/CLI.hpp>

#include <cstdio>

#include "cli/commands.h"
#include "cli/exit_status.h"
#include "palettefiles/palette_file.h"

#ifndef PALETTRIX_VERSION
#define PALETTRIX_VERSION "0.0.0"
#endif

int main(int argc, char** argv) {
  CLI::App app{"palettrix: reduce images to a retro palette and dither them with the Palettrix effect"};
  app.set_version_flag("--version", std::string("palettrix ") + PALETTRIX_VERSION);
  app.require_subcommand(1);
  AddRenderCommand(app);
  AddDemoCommand(app);
  AddListCommand(app);
  AddGalleryCommand(app);
  AddPaletteCommand(app);

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
    std::fprintf(stderr, "palettrix: %s\n", e.what());
    return kExitUsage;
  } catch (const CliError& e) {
    std::fprintf(stderr, "palettrix: %s\n", e.what());
    return e.status();
  } catch (const PaletteFileError& e) {
    std::fprintf(stderr, "palettrix: %s\n", e.what());
    return kExitInput;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "palettrix: %s\n", e.what());
    return kExitEffect;
  }
  return kExitOk;
}
