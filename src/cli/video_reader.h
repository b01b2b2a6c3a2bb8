// Video files in: every frame decoded with FFmpeg and converted to RGB with libswscale, and the audio
// packets of the main audio stream handed on for a video output to carry.
#pragma once

#include <atomic>
#include <deque>
#include <filesystem>
#include <functional>
#include <optional>
#include <vector>

#include "cli/ffmpeg.h"
#include "cli/frames.h"
#include "cli/video_policy.h"

// True for the extensions read as video (.mkv, .mp4, .mov, .avi, .webm, .mpg, ...).
bool IsVideoInputPath(const std::filesystem::path& path);

class VideoReader : public FrameSource {
 public:
  // Opens the file and its video decoder; input errors name the file. Frames are numbered from 1; with
  // `range` only those are given, and a range past the last frame is an input error. Frames are read at
  // `depth` when given, else at the source's own: more than 8 bits per component render at 16 bits.
  VideoReader(const std::filesystem::path& path, std::optional<FrameRange> range,
              std::optional<minihost::Depth> depth);

  std::optional<Frame> next() override;
  std::optional<long> frameCount() const override { return frameCount_; }
  FrameRate frameRate() const { return frameRate_; }
  const std::filesystem::path& path() const { return path_; }

  // The main audio stream, if there is one.
  const AVStream* audioStream() const;
  // Receives that stream's packets as they are read, those that overlap the chosen frames (all of them
  // without a range), with their times moved so that 0 is the first frame's time. The receiver may take
  // the packet's data.
  void onAudio(std::function<void(AVPacket&)> receiver) { audioReceiver_ = std::move(receiver); }

 private:
  Frame convert(const AVFrame& frame);
  void audioPacket(AVPacket& packet);
  void forwardAudio(AVPacket& packet);
  bool afterEnd(const AVPacket& packet) const;
  [[noreturn]] void fail(const std::string& what, int code) const;
  // A decoding failure: over the pixel budget when the decoder asked for a frame larger than it.
  [[noreturn]] void failDecoding(int code) const;
  static int GetBuffer(AVCodecContext* context, AVFrame* frame, int flags);
  Orientation orientation(const AVFrame& frame) const;
  // Throws CliError (input) naming the file and frame when the demuxer or decoder reported damaged data.
  void refuseDamage() const;

  std::filesystem::path path_;
  std::optional<FrameRange> range_;
  std::optional<minihost::Depth> depth_;
  av::Input input_;
  AVStream* video_ = nullptr;
  AVStream* audio_ = nullptr;
  av::CodecContext decoder_;
  av::Packet packet_ = av::NewPacket();
  av::Frame decoded_ = av::NewFrame();
  av::Frame rgb_ = av::NewFrame();
  av::Sws sws_;
  std::vector<uint8_t> turned_;                   // a frame turned upright
  std::optional<Orientation> streamOrientation_;  // from the stream's display matrix
  unsigned long long budget_ = 0;                 // pixels a frame may have
  std::atomic<long long> oversize_{0};            // width x height of a frame refused for the budget, packed
  struct SwsKey {
    int width = 0, height = 0, format = -1, matrix = -1;
    bool fullRange = false;
    bool operator==(const SwsKey&) const = default;
  } swsKey_;
  FrameRate frameRate_;
  std::optional<long> frameCount_;
  std::function<void(AVPacket&)> audioReceiver_;
  std::deque<av::Packet> pendingAudio_;  // read before the first chosen frame fixed the start time

  long decodedCount_ = 0;
  long given_ = 0;
  std::optional<int64_t> start_, end_;  // the chosen frames' span, in the video stream's time base
  bool demuxerDone_ = false, flushSent_ = false, videoDone_ = false, finished_ = false;
};
