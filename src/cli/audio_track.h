// The audio of a video input in a video output: its packets copied when the output container takes the
// codec, else decoded and encoded again with the container's own.
#pragma once

#include <string>

#include "cli/ffmpeg.h"

class AudioTrack {
 public:
  // Adds the output stream to `output`, before its header is written. `fallbackCodec` is the encoder used
  // when the container cannot take `input`'s codec. Errors name `outputName` (the encoder) or `inputName`
  // (the decoder).
  AudioTrack(AVFormatContext* output, const AVStream& input, const char* fallbackCodec,
             std::string outputName, std::string inputName);

  // A packet of the input stream, in its time base (the header must have been written).
  void write(AVPacket& packet);
  // A packet of this track as written before, read back from an earlier output, in `timeBase`.
  void writeEncoded(AVPacket& packet, AVRational timeBase) { writePacket(packet, timeBase); }
  // Goes on in another output (before its header is written): a stream like this track's is added to it.
  void moveTo(AVFormatContext* output);
  // Flushes the decoder and encoder when re-encoding.
  void finish();

  bool copied() const { return !encoder_; }

 private:
  void writePacket(AVPacket& packet, AVRational timeBase);
  void encodeFrom(AVFrame* decoded);
  void encodeFifo(bool all);
  void drainEncoder();
  [[noreturn]] void failOutput(const std::string& what, int code) const;
  [[noreturn]] void failInput(int code) const;

  AVFormatContext* output_;
  AVStream* stream_ = nullptr;
  AVRational inputTimeBase_;
  std::string outputName_, inputName_;
  av::CodecContext decoder_, encoder_;
  av::Swr resampler_;
  av::Fifo fifo_;
  av::Frame decoded_ = av::NewFrame();
  av::Packet encoded_ = av::NewPacket();
  int64_t nextPts_ = 0;
  int64_t skip_ = 0;  // samples before the first frame's time, dropped
  bool started_ = false;
};
