// palettrix demo: the built-in test card through the effect.
#include <iostream>
#include <memory>

#include "cli/commands.h"
#include "cli/image_formats.h"
#include "cli/image_io.h"
#include "cli/look_options.h"
#include "cli/safe_output.h"
#include "cli/test_card.h"

namespace {

struct DemoOptions {
  std::string output = "palettrix-demo.png";
  LookOptions look;
  bool fullColor = false;
};

void Run(const DemoOptions& options) {
  RequireRegularOutput(options.output);
  RunInputs inputs;
  AddLookInputs(inputs, options.look);
  inputs.refuseOutput(options.output, options.output);
  OutputFormat(options.output);
  CheckSaveLook(inputs, options.look);
  EffectSession session;
  ApplyLook(session, options.look);
  const auto depth = DepthOption(options.look.depth).value_or(minihost::Depth::Eight);
  minihost::World card = MakeTestCard(kTestCardWidth, kTestCardHeight, depth);
  const minihost::World result = session.render(card);
  WriteImage(options.output, result, false,
             options.fullColor ? PngColors::Full : PngColors::IndexedWhereTheyFit);
  SaveLookIfAsked(session, options.look);
  std::cout << "palettrix: wrote " << options.output << " (the built-in test card)\n";
}

}  // namespace

void AddDemoCommand(CLI::App& app) {
  auto options = std::make_shared<DemoOptions>();
  CLI::App* demo = app.add_subcommand("demo", "Render the built-in test card");
  demo->add_option("OUTPUT", options->output, "Image to write")->capture_default_str();
  AddLookOptions(*demo, options->look);
  demo->add_flag("--full-color", options->fullColor,
                 "PNG output in RGB(A) always; by default a PNG whose image holds at most 256 colours is "
                 "stored with a palette (indexed), every pixel the same");
  demo->callback([options] { Run(*options); });
}
