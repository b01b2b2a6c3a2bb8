// Numbered image sequences: name.%04d.png or name.####.png, one image file a frame, read and written through
// OpenImageIO (image_io.h).
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/frames.h"
#include "cli/image_io.h"
#include "cli/ordered_tasks.h"

class OutputFile;

class SequencePattern {
 public:
  // "name.%04d.png" (%d, or %0Nd for N digits with leading zeros) or "name.####.png" (as many digits as
  // there are #s). Only the file name may hold the number. None for a name without either.
  static std::optional<SequencePattern> Parse(const std::filesystem::path& path);

  std::filesystem::path frame(long number) const;
  // The numbers of the files in the folder that this pattern names, in increasing order. A number with
  // more digits than the pattern's is a match when it has no leading zero, as printf would write it.
  std::vector<long> framesOnDisk() const;
  const std::filesystem::path& text() const { return text_; }

 private:
  std::filesystem::path text_;
  std::filesystem::path folder_;
  std::string prefix_, suffix_;
  int digits_ = 1;
};

// Throws CliError (output) naming `output` when the folder it would go to is missing or not a folder.
void RequireOutputFolder(const std::filesystem::path& output);

// "A-B": frames A to B inclusive, 0 <= A <= B. Throws CliError (usage) naming --frames.
FrameRange ParseFrameRange(const std::string& text);

// The memory the frames an image sequence's sink holds for encoding may take.
inline constexpr std::size_t kEncodeMemoryBudget = std::size_t{256} << 20;

// Threads for decoding and for encoding a sequence's frames: one a processor.
unsigned DefaultCodecThreads();

class SequenceSource : public FrameSource {
 public:
  // Every frame on disk, in order, or those of `range`, each of which must exist (else an input error
  // naming the first missing file). Frames are read at `depth` when given, else at the first frame's own
  // depth (8-bit files into 8-bit worlds, deeper ones into 16-bit worlds). After the first frame,
  // `readers` threads (at least 1) read and decode the frames that follow ahead of next(), as many as
  // there are threads; a frame's failure is thrown by the next() that would have given it.
  SequenceSource(const SequencePattern& pattern, std::optional<FrameRange> range,
                 std::optional<minihost::Depth> depth, unsigned readers = DefaultCodecThreads());
  ~SequenceSource() override;
  SequenceSource(const SequenceSource&) = delete;
  SequenceSource& operator=(const SequenceSource&) = delete;

  std::optional<Frame> next() override;
  std::optional<long> frameCount() const override { return static_cast<long>(numbers_.size()); }

  // For a video output, which takes alpha or not once for all its frames: when any frame of the sequence
  // has alpha (as its file's header says), every frame is given with alpha, opaque where its file has none.
  // Called before the first next().
  void keepAlphaThroughout();

  // From here on gives only the frames at SpreadPositions(frameCount(), most), before any is read.
  void spreadOver(std::size_t most);

 private:
  Frame read(long number, std::optional<minihost::Depth> depth) const;
  void readAhead();

  SequencePattern pattern_;
  std::vector<long> numbers_;
  std::size_t next_ = 0;     // the next frame next() gives
  std::size_t started_ = 0;  // the next frame to start reading
  std::optional<minihost::Depth> depth_;
  bool alphaThroughout_ = false;
  unsigned readers_;
  std::unique_ptr<OrderedTasks<Frame>> ahead_;
};

// Writes frame N to the pattern's file N. Every frame goes to a hidden temporary file in the output folder;
// finish() renames them all, so a run that fails or is interrupted before then leaves no frame behind and
// no existing file replaced. `encoders` threads (at least 1) encode frames at once, as many frames as there
// are threads held at a time (fewer for frames so large that they would pass kEncodeMemoryBudget).
class SequenceSink : public FrameSink {
 public:
  // Throws CliError (output) when the pattern's folder does not exist.
  SequenceSink(const SequencePattern& pattern, PngColors colors, unsigned encoders = DefaultCodecThreads());
  ~SequenceSink() override;
  SequenceSink(const SequenceSink&) = delete;
  SequenceSink& operator=(const SequenceSink&) = delete;

  // The frame's temporary file is created here, in order (a target that cannot be written is thrown at
  // once); its encoding goes on after the call returns.
  void write(Frame frame) override;
  void finish() override;

 private:
  // Takes back encoded frames, oldest first, until at most `keep` are still being encoded.
  void collect(std::size_t keep);

  SequencePattern pattern_;
  PngColors colors_;
  unsigned encoders_;
  std::vector<std::unique_ptr<OutputFile>> written_;  // encoded, not yet renamed
  std::unique_ptr<OrderedTasks<std::unique_ptr<OutputFile>>> encoding_;
};
