// palettrix render: one image through the effect.
#include <memory>

#include "cli/commands.h"
#include "cli/image_io.h"
#include "cli/look_options.h"

namespace {

struct RenderOptions {
  std::string input;
  std::string output;
  LookOptions look;
};

void Run(const RenderOptions& options) {
  EffectSession session;
  ApplyLook(session, options.look);
  const auto depth = DepthOption(options.look.depth);
  LoadedImage image = ReadImage(options.input, depth ? &*depth : nullptr);
  const minihost::World result = session.render(image.world);
  WriteImage(options.output, result, image.hasAlpha);
}

}  // namespace

void AddRenderCommand(CLI::App& app) {
  auto options = std::make_shared<RenderOptions>();
  CLI::App* render = app.add_subcommand("render", "Apply the effect to one image");
  render->add_option("INPUT", options->input, "Image to read (PNG, TIFF, JPEG, ...)")->required();
  render->add_option("OUTPUT", options->output, "Image to write; the format follows the extension")->required();
  AddLookOptions(*render, options->look);
  render->callback([options] { Run(*options); });
}
