#include "cli/footage_palette.h"

#include <memory>
#include <optional>
#include <set>

#include "cli/exit_status.h"
#include "cli/image_io.h"
#include "cli/image_sequence.h"
#include "cli/input_media.h"
#include "cli/interrupt.h"
#include "cli/progress.h"
#include "cli/video_reader.h"

namespace fs = std::filesystem;

void CountPixels(const minihost::World& world, ColorCounts& counts) {
  // Neighbouring pixels often match: a run of one colour is counted at once.
  std::uint32_t run = 0;
  std::uint64_t length = 0;
  for (A_long y = 0; y < world.height(); ++y) {
    const PF_Pixel8* row = &world.pixel8(0, y);
    for (A_long x = 0; x < world.width(); ++x) {
      const PF_Pixel8& p = row[x];
      if (p.alpha == 0) continue;
      const std::uint32_t rgb = std::uint32_t{p.red} << 16 | std::uint32_t{p.green} << 8 | p.blue;
      if (length != 0 && rgb == run) {
        ++length;
        continue;
      }
      if (length != 0) counts.add(run, length);
      run = rgb;
      length = 1;
    }
  }
  if (length != 0) counts.add(run, length);
}

namespace {

// The frames of a sequence or video, at most kSampledFrames of them spread over the clip or the range.
void CountClip(const fs::path& input, const Media& media, std::optional<FrameRange> range,
               const FootageOptions& options, ColorCounts& counts) {
  const minihost::Depth eight = minihost::Depth::Eight;
  std::unique_ptr<FrameSource> source;
  // A video's frames can only be decoded in order: every one is read, those at the chosen positions
  // counted. The count is the container's, perhaps an estimate; without one every frame is counted.
  std::optional<std::set<std::size_t>> chosen;
  if (media.kind == MediaKind::Sequence) {
    auto sequence = std::make_unique<SequenceSource>(*media.pattern, range, eight);
    sequence->spreadOver(kSampledFrames);
    source = std::move(sequence);
  } else {
    // A signal that came before the open would not cut short an open that blocks on a FIFO after it.
    ThrowIfInterrupted();
    source = std::make_unique<VideoReader>(input, range, eight);
    if (const std::optional<long> frames = source->frameCount(); frames && *frames > 0) {
      const std::vector<std::size_t> positions =
          SpreadPositions(static_cast<std::size_t>(*frames), kSampledFrames);
      chosen.emplace(positions.begin(), positions.end());
    }
  }
  Progress progress(options.progress, source->frameCount());
  std::size_t read = 0, counted = 0;
  std::optional<Frame> passed;  // the last frame read and not counted
  while (std::optional<Frame> frame = source->next()) {
    ThrowIfInterrupted();
    if (!chosen || chosen->contains(read)) {
      CountPixels(frame->world, counts);
      ++counted;
    } else {
      passed = std::move(frame);
    }
    ++read;
    progress.frameDone();
  }
  progress.finish();
  if (read == 0) throw CliError(kExitInput, input.string() + ": holds no frame");
  // A video shorter than its container said may end before the first chosen position.
  if (counted == 0) CountPixels(passed->world, counts);
}

}  // namespace

ColorList PaletteFromFootage(const fs::path& input, std::size_t colors, const FootageOptions& options) {
  const Media media = ClassifyInput(input);
  std::optional<FrameRange> range;
  if (!options.frames.empty()) {
    if (media.kind == MediaKind::Image) {
      throw CliError(kExitUsage, "--frames: only for a sequence or video INPUT");
    }
    range = ParseFrameRange(options.frames);
    if (media.kind == MediaKind::Video && range->first < 1) {
      throw CliError(kExitUsage, "--frames: \"" + options.frames + "\": a video's frames count from 1");
    }
  }
  ColorCounts counts;
  if (media.kind == MediaKind::Image) {
    const minihost::Depth eight = minihost::Depth::Eight;
    CountPixels(ReadImage(input, &eight).world, counts);
  } else {
    CountClip(input, media, range, options, counts);
  }
  if (counts.total() == 0) {
    throw CliError(kExitInput, input.string() +
                                   ": every pixel is fully transparent; no colour to make a "
                                   "palette from");
  }
  return MakePalette(counts, colors);
}
