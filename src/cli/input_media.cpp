#include "cli/input_media.h"

#include "cli/exit_status.h"
#include "cli/video_reader.h"

namespace fs = std::filesystem;

Media ClassifyInput(const fs::path& path) {
  if (IsVideoInputPath(path)) return {MediaKind::Video, std::nullopt};
  std::error_code ec;
  if (fs::is_regular_file(path, ec)) return {MediaKind::Image, std::nullopt};
  std::optional<SequencePattern> pattern = SequencePattern::Parse(path);
  if (pattern && pattern->framesOnDisk().empty() && !fs::exists(path, ec)) {
    throw CliError(kExitInput, path.string() + ": no such file, nor any frame of the sequence it names");
  }
  return {pattern ? MediaKind::Sequence : MediaKind::Image, pattern};
}
