// Video files out: rendered frames encoded with FFmpeg into a temporary file beside the output, renamed
// when complete. The codec follows the container unless --codec names another (see the README's table).
#pragma once

#include <deque>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "cli/audio_track.h"
#include "cli/ffmpeg.h"
#include "cli/frames.h"

class AudioTrack;
class OutputFile;
class VideoReader;

// True for the containers written as video: .mkv, .mp4, .mov, .avi.
bool IsVideoOutputPath(const std::filesystem::path& path);

struct VideoOptions {
  std::string codec;          // an FFmpeg video encoder; empty for the container's default
  std::optional<double> crf;  // constant quality, for encoders that have it
  FrameRate frameRate;
};

class VideoWriter : public FrameSink {
 public:
  // Checks the options against the container and the encoder: an unknown encoder, one the container cannot
  // hold, or a crf the encoder lacks or outside its range are usage errors naming the option. Writes
  // nothing yet.
  VideoWriter(const std::filesystem::path& path, const VideoOptions& options);
  ~VideoWriter() override;
  VideoWriter(const VideoWriter&) = delete;
  VideoWriter& operator=(const VideoWriter&) = delete;

  // The reader's frame rate, for a video made from a video.
  void setFrameRate(FrameRate rate) { options_.frameRate = rate; }
  // Carries the reader's audio stream into the output; call before the first frame. The reader may hand
  // over its packets on another thread than the one writing the frames.
  void carryAudio(VideoReader& reader);

  void write(Frame frame) override;
  void finish() override;

 private:
  struct Output;
  void open(const Frame& first);
  // Sets up the encoder, the muxer and a new temporary file; `audio`, when given, is moved into the new
  // muxer, else the carried audio starts a track of its own.
  void start(const AVCodec& codec, int width, int height, bool deep, bool alpha, bool indexed,
             std::unique_ptr<AudioTrack> audio);
  void encodePacked();
  void leaveIndexed();
  void encode(AVFrame* frame);
  void audioPacket(AVPacket& packet);
  void writeAudio();
  [[noreturn]] void fail(const std::string& what, int code) const;

  std::filesystem::path path_;
  std::unique_ptr<OutputFile> file_;  // the temporary file, from the first frame on
  VideoOptions options_;
  const AVOutputFormat* format_ = nullptr;
  const AVCodec* codec_ = nullptr;
  const char* audioCodec_ = nullptr;
  const AVStream* audioInput_ = nullptr;
  std::string audioInputName_;
  std::unique_ptr<Output> output_;
  std::mutex audioMutex_;
  std::deque<av::Packet> pendingAudio_;  // read, not yet written; under audioMutex_
  std::filesystem::path encoderLog_;     // where SVT-AV1 writes its lines, when it is the encoder
  bool finished_ = false;
};
