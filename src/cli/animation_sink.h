// Animations out: a sequence or a video rendered into one animated GIF, APNG or WebP file, every frame with
// its exact colours. GIF and APNG frames are kept aside (indexed where they fit, in a temporary file) until
// the last, because both formats need the clip's colours before the first frame; WebP frames are encoded as
// they come.
#pragma once

#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>

#include "cli/frames.h"
#include "cli/gif_encoder.h"
#include "cli/webp_codec.h"

class OutputFile;

enum class AnimationFormat { Gif, Apng, Webp };

// The animation format an output's extension names (.gif, .apng, .webp; any case), if any.
std::optional<AnimationFormat> AnimationFormatOf(const std::filesystem::path& path);

struct AnimationOptions {
  FrameRate frameRate;
  unsigned plays = 0;         // 0 for ever
  bool fullColor = false;     // APNG frames as RGB(A) even where they fit a palette
  bool showProgress = false;  // a progress line on a terminal while the file is written after the last frame
};

class AnimationSink : public FrameSink {
 public:
  // Throws CliError (output) when the folder cannot take the file. Writes nothing yet.
  AnimationSink(const std::filesystem::path& path, AnimationFormat format, const AnimationOptions& options);
  ~AnimationSink() override;
  AnimationSink(const AnimationSink&) = delete;
  AnimationSink& operator=(const AnimationSink&) = delete;

  // The reader's frame rate, for an animation made from a video.
  void setFrameRate(FrameRate rate) { options_.frameRate = rate; }

  // Throws CliError (output) for a frame the format cannot store exactly: one of more than 256 colours in a
  // GIF (naming the frame), or of 16 bits.
  void write(Frame frame) override;
  void finish() override;

 private:
  struct Spool;
  void finishGif();
  void finishApng();
  [[noreturn]] void fail(const std::string& why) const;

  std::filesystem::path path_;
  AnimationFormat format_;
  AnimationOptions options_;
  std::unique_ptr<OutputFile> file_;
  std::unique_ptr<Spool> spool_;
  GifClip gifClip_;
  // What the APNG frames kept aside hold together: whether all are indexed with at most 256 colours among
  // them (and which), whether any has alpha or 16 bits.
  struct ApngColors {
    bool indexed = true;
    std::vector<uint32_t> colors;
    bool alpha = false;
    bool sixteen = false;
  };
  ApngColors apng_;
  std::unique_ptr<WebpAnimation> webp_;
  std::size_t frames_ = 0;
  int width_ = 0, height_ = 0;
};
