// What an INPUT names: one image, a numbered image sequence or a video.
#pragma once

#include <filesystem>
#include <optional>

#include "cli/image_sequence.h"

// Animation (.gif, .apng, .webp made from a sequence or a video) is an output only.
enum class MediaKind { Image, Sequence, Video, Animation };

struct Media {
  MediaKind kind = MediaKind::Image;
  std::optional<SequencePattern> pattern;
};

// By the name: a video extension is a video; a file that exists under its own name is one image, whatever
// characters its name holds; a numbered name is a sequence. Throws CliError (input) for a numbered name
// with no frame on disk and no file of its own.
Media ClassifyInput(const std::filesystem::path& path);
