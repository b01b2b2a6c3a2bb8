// The subcommands of palettrix. Each adds itself to the application with its options and a callback that
// runs it; failures leave the callback as CliError.
#pragma once

#include <CLI/CLI.hpp>

void AddRenderCommand(CLI::App& app);
void AddDemoCommand(CLI::App& app);
void AddListCommand(CLI::App& app);
void AddGalleryCommand(CLI::App& app);
void AddPaletteCommand(CLI::App& app);
