// palettrix render: one image, a numbered image sequence or a video through the effect.
#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>
#include <new>
#include <thread>

#include "cli/animation_sink.h"
#include "cli/commands.h"
#include "cli/exit_status.h"
#include "cli/footage_palette.h"
#include "cli/frame_pipeline.h"
#include "cli/image_formats.h"
#include "cli/image_io.h"
#include "cli/image_sequence.h"
#include "cli/input_media.h"
#include "cli/interrupt.h"
#include "cli/look_options.h"
#include "cli/option_checks.h"
#include "cli/popup_choice.h"
#include "cli/run_inputs.h"
#include "cli/run_stats.h"
#include "cli/safe_output.h"
#include "cli/terminal.h"
#include "cli/video_reader.h"
#include "cli/video_writer.h"

namespace fs = std::filesystem;

namespace {

struct RenderOptions {
  std::string input;
  std::string output;
  LookOptions look;
  std::string frames;
  std::string codec;
  std::optional<double> crf;
  std::string fps;
  unsigned plays = 0;
  unsigned jobs = std::max(1u, std::thread::hardware_concurrency());
  unsigned long long maxPixels = kDefaultPixelBudget;
  bool quiet = false;
  bool stats = false;
  bool fullColor = false;
  std::string paletteFrom;  // --palette-from: footage to make the custom palette from
  std::size_t colors = 0;
  CLI::Option* colorsOption = nullptr;
};

// Frame rates a video may be written at: a frame at least every 100 seconds, as the containers' time
// scales hold them.
constexpr double kMinFrameRate = 0.01;
constexpr double kMaxFrameRate = 1000;

// A numbered name (name.####.png, name.%04d.png) is a sequence only where the input is one; from a single
// image, "Shot #3.png" is the one image it names.
Media ClassifyOutput(const fs::path& path, const Media& input) {
  if (IsVideoOutputPath(path)) return {MediaKind::Video, std::nullopt};
  if (IsVideoInputPath(path)) {
    throw CliError(kExitUsage, path.string() + ": video is written as .mkv, .mp4, .mov or .avi");
  }
  if (input.kind == MediaKind::Image) {
    if (AnimationFormatOf(path) == AnimationFormat::Apng) {
      throw CliError(kExitUsage, path.string() +
                                     ": an animated PNG is made from a sequence or video INPUT; a "
                                     "still is written as .png");
    }
    return {MediaKind::Image, std::nullopt};
  }
  std::optional<SequencePattern> pattern = SequencePattern::Parse(path);
  if (!pattern && AnimationFormatOf(path)) return {MediaKind::Animation, std::nullopt};
  return {pattern ? MediaKind::Sequence : MediaKind::Image, pattern};
}

// "25", "29.97" or "30000/1001" frames per second, every character of it read.
FrameRate ParseFrameRate(const std::string& text) {
  const auto number = [](std::string_view part, double& value) {
    const auto [end, error] = std::from_chars(part.data(), part.data() + part.size(), value);
    return !part.empty() && error == std::errc() && end == part.data() + part.size() && std::isfinite(value);
  };
  const std::size_t slash = text.find('/');
  double num = 0, den = 1;
  const bool ok = slash == std::string::npos
                      ? number(text, num)
                      : number(std::string_view(text).substr(0, slash), num) &&
                            number(std::string_view(text).substr(slash + 1), den) && den > 0;
  const double rate = ok ? num / den : 0;
  if (!ok || !(rate >= kMinFrameRate && rate <= kMaxFrameRate)) {
    throw CliError(kExitUsage, "--fps: \"" + text + "\" is not a frame rate from " +
                                   ExactNumber(kMinFrameRate) + " to " + ExactNumber(kMaxFrameRate) +
                                   " (25, 29.97, 30000/1001)");
  }
  const AVRational q = av_d2q(rate, 1000000);
  return {q.num, q.den};
}

using Clock = std::chrono::steady_clock;

// Whether --palette-from names the render's own INPUT (the same file, or the same sequence pattern), whose
// --frames range it then takes.
bool PaletteFromInput(const RenderOptions& options) {
  if (options.paletteFrom == options.input) return true;
  std::error_code ec;
  if (fs::equivalent(options.paletteFrom, options.input, ec)) return true;
  return fs::path(options.paletteFrom).lexically_normal() == fs::path(options.input).lexically_normal();
}

// Makes the custom palette from --palette-from and selects it, after the look's other options. A --swatch
// other than "Custom" contradicts it.
void ApplyPaletteFrom(EffectSession& session, const RenderOptions& options) {
  if (options.paletteFrom.empty()) return;
  const std::vector<std::string> swatches = session.swatchChoices();
  const A_long custom = ParsePopupChoice("--palette-from", "Custom", swatches);
  if (!options.look.swatch.empty() && ParsePopupChoice("--swatch", options.look.swatch, swatches) != custom) {
    throw CliError(kExitUsage,
                   "--swatch: \"" + options.look.swatch +
                       "\" conflicts with --palette-from, whose palette is the \"Custom\" swatch");
  }
  const FootageOptions footage{PaletteFromInput(options) ? options.frames : std::string(), !options.quiet};
  session.setCustomPalette(PaletteFromFootage(options.paletteFrom, options.colors, footage));
  session.setSwatch(custom);
}

StepTimes RenderImage(const RenderOptions& options) {
  EffectSession session;
  ApplyLook(session, options.look);
  ApplyPaletteFrom(session, options);
  const auto depth = DepthOption(options.look.depth);
  StepTimes times;
  auto start = Clock::now();
  LoadedImage image = ReadImage(options.input, depth ? &*depth : nullptr);
  times.decode = Clock::now() - start;
  const minihost::World result = session.render(image.world);
  times.effect = session.renderTime();
  ThrowIfInterrupted();
  start = Clock::now();
  WriteImage(options.output, result, image.hasAlpha,
             options.fullColor ? PngColors::Full : PngColors::IndexedWhereTheyFit);
  times.encode = Clock::now() - start;
  times.frames = 1;
  SaveLookIfAsked(session, options.look);
  return times;
}

StepTimes RenderMedia(const RenderOptions& options, const Media& input, const Media& output) {
  std::optional<FrameRange> range;
  if (!options.frames.empty()) range = ParseFrameRange(options.frames);
  if (range && input.kind == MediaKind::Video && range->first < 1) {
    throw CliError(kExitUsage, "--frames: \"" + options.frames + "\": a video's frames count from 1");
  }
  std::optional<FrameRate> frameRate;
  if (!options.fps.empty()) frameRate = ParseFrameRate(options.fps);
  std::unique_ptr<VideoWriter> videoWriter;
  std::unique_ptr<AnimationSink> animation;
  if (output.kind == MediaKind::Video) {
    videoWriter = std::make_unique<VideoWriter>(
        options.output, VideoOptions{options.codec, options.crf, frameRate.value_or(FrameRate{})});
  } else if (output.kind == MediaKind::Animation) {
    animation = std::make_unique<AnimationSink>(
        options.output, *AnimationFormatOf(options.output),
        AnimationOptions{frameRate.value_or(FrameRate{}), options.plays, options.fullColor, !options.quiet});
  }

  EffectSession session;
  ApplyLook(session, options.look);
  ApplyPaletteFrom(session, options);

  const std::optional<minihost::Depth> depth = DepthOption(options.look.depth);
  std::unique_ptr<FrameSource> source;
  if (input.kind == MediaKind::Video) {
    // A signal that came before the open (while the effect loaded) would not cut short an open that blocks
    // on a FIFO after it.
    ThrowIfInterrupted();
    auto reader = std::make_unique<VideoReader>(options.input, range, depth);
    if (videoWriter) {
      videoWriter->setFrameRate(reader->frameRate());
      videoWriter->carryAudio(*reader);
    }
    if (animation) animation->setFrameRate(reader->frameRate());
    source = std::move(reader);
  } else {
    auto sequence = std::make_unique<SequenceSource>(*input.pattern, range, depth);
    if (videoWriter) sequence->keepAlphaThroughout();
    source = std::move(sequence);
  }
  std::unique_ptr<FrameSink> sink;
  if (videoWriter) {
    sink = std::move(videoWriter);
  } else if (animation) {
    sink = std::move(animation);
  } else {
    sink = std::make_unique<SequenceSink>(
        *output.pattern, options.fullColor ? PngColors::Full : PngColors::IndexedWhereTheyFit);
  }

  // No more jobs than frames. Every job renders through the same render copy of the one instance.
  const long frames = source->frameCount().value_or(static_cast<long>(options.jobs));
  const unsigned jobs = static_cast<unsigned>(std::clamp<long>(frames, 1, options.jobs));
  const StepTimes times = RenderFrames(*source, *sink, session, jobs, !options.quiet);
  SaveLookIfAsked(session, options.look);
  return times;
}

StepTimes RunInterruptibly(const RenderOptions& options);

// Before anything is written: no output of the run (the image or video, any frame of an output sequence
// that exists, --save-look) may be a file the run reads (the input, any frame of an input sequence, the
// --look and --palette files).
void RefuseOutputsOverInputs(const RenderOptions& options, const Media& input, const Media& output) {
  RunInputs inputs;
  if (input.kind == MediaKind::Sequence) {
    for (const long number : input.pattern->framesOnDisk()) inputs.add(input.pattern->frame(number));
  } else {
    inputs.add(options.input);
  }
  AddLookInputs(inputs, options.look);
  if (!options.paletteFrom.empty()) {
    const Media source = ClassifyInput(options.paletteFrom);
    if (source.kind == MediaKind::Sequence) {
      for (const long number : source.pattern->framesOnDisk()) inputs.add(source.pattern->frame(number));
    } else {
      inputs.add(options.paletteFrom);
    }
  }
  if (output.kind == MediaKind::Sequence) {
    for (const long number : output.pattern->framesOnDisk()) {
      const fs::path frame = output.pattern->frame(number);
      inputs.refuseOutput(frame.string(), frame);
    }
  } else {
    inputs.refuseOutput(options.output, options.output);
  }
  CheckSaveLook(inputs, options.look);
}

void Run(const RenderOptions& options) {
  // The run's wall time counts from here: loading the effect and setting up its instances are part of it.
  const auto start = Clock::now();
  StepTimes times;
  // A failure caused by the interruption itself (a read cut short by the signal) is reported as the
  // interruption.
  try {
    times = RunInterruptibly(options);
  } catch (const std::bad_alloc&) {
    ThrowIfInterrupted();
    throw CliError(kExitEffect, options.input + ": not enough memory to render it");
  } catch (...) {
    ThrowIfInterrupted();
    throw;
  }
  if (options.stats) {
    const std::string line = FormatStats(times, Clock::now() - start, PeakMemoryKilobytes());
    std::fprintf(stderr, "%s\n", line.c_str());
  }
}

// --palette-from and --colors go together, and --palette-from replaces --palette.
void CheckPaletteFrom(const RenderOptions& options) {
  if (options.paletteFrom.empty()) {
    if (options.colorsOption->count() != 0) throw CliError(kExitUsage, "--colors: only with --palette-from");
    return;
  }
  if (!options.look.palette.empty()) {
    throw CliError(kExitUsage,
                   "--palette-from: conflicts with --palette; give one source of the custom palette");
  }
  if (options.colorsOption->count() == 0) {
    throw CliError(kExitUsage,
                   "--palette-from: give the number of colours to make with --colors N (2 to 256)");
  }
}

StepTimes RunInterruptibly(const RenderOptions& options) {
  SetPixelBudget(options.maxPixels);
  CheckPaletteFrom(options);
  const Media input = ClassifyInput(options.input);
  const Media output = ClassifyOutput(options.output, input);
  // Before any work: an output that is a device, a pipe or a folder is never replaced.
  if (output.kind != MediaKind::Sequence) RequireRegularOutput(options.output);
  RefuseOutputsOverInputs(options, input, output);
  if (output.kind == MediaKind::Image || output.kind == MediaKind::Sequence) OutputFormat(options.output);
  const bool still = input.kind == MediaKind::Image;
  if (still != (output.kind == MediaKind::Image)) {
    throw CliError(kExitUsage,
                   still ? options.output +
                               ": a sequence or video OUTPUT needs a numbered image sequence "
                               "(name.####.png) or a video as INPUT"
                         : options.output +
                               ": a sequence or video INPUT needs a numbered OUTPUT "
                               "(name.####.png), a video file or an animation (.gif, .apng, .webp)");
  }
  if (output.kind != MediaKind::Video) {
    if (!options.codec.empty()) throw CliError(kExitUsage, "--codec: only for a video OUTPUT");
    if (options.crf) throw CliError(kExitUsage, "--crf: only for a video OUTPUT");
  }
  if (output.kind != MediaKind::Video && output.kind != MediaKind::Animation && !options.fps.empty()) {
    throw CliError(kExitUsage, "--fps: only for a video or animation OUTPUT");
  }
  if (output.kind != MediaKind::Animation && options.plays != 0) {
    throw CliError(kExitUsage, "--loop: only for an animation OUTPUT (.gif, .apng, .webp)");
  }
  if (output.kind == MediaKind::Animation && AnimationFormatOf(options.output) == AnimationFormat::Gif &&
      options.look.depth == 16) {
    throw CliError(kExitUsage, "--depth 16: GIF stores 8-bit colours");
  }
  if (input.kind == MediaKind::Video && !options.fps.empty()) {
    throw CliError(kExitUsage, "--fps: a video INPUT keeps its own frame rate");
  }
  if (still) {
    if (!options.frames.empty()) throw CliError(kExitUsage, "--frames: only for a sequence or video INPUT");
    return RenderImage(options);
  }
  return RenderMedia(options, input, output);
}

}  // namespace

void AddRenderCommand(CLI::App& app) {
  auto options = std::make_shared<RenderOptions>();
  CLI::App* render =
      app.add_subcommand("render", "Apply the effect to an image, an image sequence or a video");
  render
      ->add_option(
          "INPUT", options->input,
          "Image (PNG, TIFF, JPEG, ...), numbered sequence (name.####.png or name.%04d.png) or video "
          "(.mkv, .mp4, .mov, .avi, ...) to read")
      ->required();
  render
      ->add_option("OUTPUT", options->output,
                   "Image, numbered sequence, video (.mkv, .mp4, .mov, .avi) or, from a sequence or video, "
                   "animation (.gif, .apng, .webp) to write; the format follows the extension")
      ->required();
  AddLookOptions(*render, options->look);
  render->add_option(
      "--palette-from", options->paletteFrom,
      "Make the custom palette from this image, numbered sequence or video (the render's own "
      "INPUT takes its --frames range; at most 32 frames, spread evenly, are counted) and make "
      "\"Custom\" the swatch; with --colors");
  options->colorsOption =
      render
          ->add_option("--colors", options->colors,
                       "With --palette-from: how many colours to make, 2 to 256 (fewer when the footage has "
                       "fewer)")
          ->check(WholeNumberIn(kFewestMadeColors, kMostMadeColors));
  render->add_option(
      "--frames", options->frames,
      "Frames A-B only (sequence numbers; a video's frames count from 1). Default: every frame");
  render->add_option(
      "--codec", options->codec,
      "Video encoder (an FFmpeg name). Default, lossless: .mkv png (8-bit, indexed where a frame fits 256 "
      "colours), ffv1 (16-bit); .mov png; .avi ffv1; .mp4 libx264rgb at qp 0");
  render->add_option("--crf", options->crf,
                     "Constant quality for encoders that have it (libx264rgb: 0 to 51)");
  render->add_option("--fps", options->fps,
                     "Frame rate of a video or animation made from a sequence (default 25)");
  render
      ->add_option("--loop", options->plays,
                   "How many times an animation (.gif, .apng, .webp) plays; 0, the default, for ever")
      ->check(WholeNumberIn(0, 65535));
  render
      ->add_option(
          "--jobs", options->jobs,
          "Frames rendered at once, all through one render copy of the effect (default: one per core); "
          "fewer when the frames held at once would pass 512 MiB")
      ->check(WholeNumberIn(1, 1024));
  render
      ->add_option("--max-pixels", options->maxPixels,
                   "Refuse images and video frames larger than this many pixels, before decoding them "
                   "(default 132710400, a 16K frame)")
      ->check(WholeNumberIn(1, 900000000));
  render->add_flag("--full-color", options->fullColor,
                   "PNG output in RGB(A) always; by default a PNG whose image holds at most 256 colours is "
                   "stored with a palette (indexed), every pixel the same");
  render->add_flag("--quiet", options->quiet, "No progress line on a terminal");
  render->add_flag("--stats", options->stats,
                   "After the run, one line on stderr: frames, the average ms a frame spent decoding, in the "
                   "effect and encoding, the total ms a frame, and the peak memory");
  render->footer(
      "Video out, by extension: .mkv PNG (8-bit: pal8 while the frames fit 256 colours, else rgb24) and "
      "FFV1\n"
      "(16-bit, gbrp16le); .mov PNG; .avi FFV1 (--codec ffv1 for it in .mkv); .mp4 H.264 RGB, lossless\n"
      "(libx264rgb, qp 0; 8 bits). The frame rate and the main audio stream are carried over (copied, else\n"
      "FLAC in .mkv, AAC in .mp4, ALAC in .mov, PCM in .avi).\n"
      "Animations from a sequence or video, by extension: .gif (at most 256 colours a frame, 8 bits, alpha\n"
      "below half transparent), .apng (indexed where the clip fits 256 colours), .webp (lossless); every "
      "frame\n"
      "with its exact colours, timed by the frame rate without drift.\n"
      "YUV sources are read with their tagged matrix and range, else BT.709 (HD) or BT.601 (SD), limited "
      "range.\n"
      "Sources over 8 bits render at 16 bits. Decoding and encoding run on FFmpeg's threads (FFV1 in 16 "
      "slices\n"
      "from 1280x720), overlapping the renders. Exit statuses: 2 usage, 3 input, 4 output, 5 effect, 130 "
      "SIGINT,\n"
      "143 SIGTERM\n"
      "(129 SIGHUP, 138 SIGUSR1, 141 SIGPIPE, 142 SIGALRM). A name starting with '-' needs '--' before it.");
  render->callback([options] { Run(*options); });
}
