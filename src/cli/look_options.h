// The options that set the effect's controls, shared by every command that renders.
#pragma once

#include <CLI/CLI.hpp>
#include <optional>
#include <string>
#include <vector>

#include "cli/effect_session.h"
#include "cli/run_inputs.h"
#include "minihost/world.h"

// A slider option: the control it sets and the value given, if any.
struct SliderOption {
  const char* control;
  const char* flag;
  const char* help;
  bool fixed = false;
  double value = 0.0;
  CLI::Option* option = nullptr;
};

struct LookOptions {
  std::string look;      // --look: a saved look to start from
  std::string palette;   // --palette: a palette file for the custom palette
  std::string saveLook;  // --save-look: where to write the look once the run has succeeded
  std::string pattern;
  std::string swatch;
  int depth = 0;  // 0: the file's own depth
  std::vector<SliderOption> sliders = {
      {"Offset X", "--offset-x", "Pattern offset X, in pixels (-1000 to 1000; default 0)"},
      {"Offset Y", "--offset-y", "Pattern offset Y, in pixels (-1000 to 1000; default 0)"},
      {"Scale", "--scale", "Pattern scale and block size (1 to 100; default 1)", true},
      {"Threshold Red", "--threshold-red", "Red threshold adjustment, in percent (-1000 to 1000; default 0)"},
      {"Threshold Green", "--threshold-green",
       "Green threshold adjustment, in percent (-1000 to 1000; default 0)"},
      {"Threshold Blue", "--threshold-blue",
       "Blue threshold adjustment, in percent (-1000 to 1000; default 0)"},
  };
};

// `withSaveLook` adds --save-look, for the commands that render one look.
void AddLookOptions(CLI::App& command, LookOptions& options, bool withSaveLook = true);

// Sets the session's controls from the options given, wherever they stand on the command line: first the
// look file, then the palette file (which makes "Custom" the swatch), then the pattern, swatch and sliders
// given, each overriding what came before; controls not given keep their values.
void ApplyLook(EffectSession& session, const LookOptions& options);

// The look and palette files the options read, as inputs of the run.
void AddLookInputs(RunInputs& inputs, const LookOptions& options);

// Before any work: a --save-look must be able to go where it names (no device, pipe or folder there, its
// folder present) and must not name a file the run reads.
void CheckSaveLook(const RunInputs& inputs, const LookOptions& options);

// Writes --save-look when given: once the run has succeeded, so that a failed run replaces nothing.
void SaveLookIfAsked(EffectSession& session, const LookOptions& options);

std::optional<minihost::Depth> DepthOption(int depth);
