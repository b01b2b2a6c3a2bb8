// The FFmpeg libraries as the command uses them: their C headers, owners that free what they allocate, and
// error codes turned into text.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libavutil/display.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <memory>
#include <string>

namespace av {

struct CodecContextFree {
  void operator()(AVCodecContext* p) const { avcodec_free_context(&p); }
};
struct FrameFree {
  void operator()(AVFrame* p) const { av_frame_free(&p); }
};
struct PacketFree {
  void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct SwsFree {
  void operator()(SwsContext* p) const { sws_freeContext(p); }
};
struct SwrFree {
  void operator()(SwrContext* p) const { swr_free(&p); }
};
struct FifoFree {
  void operator()(AVAudioFifo* p) const { av_audio_fifo_free(p); }
};
struct InputFree {
  void operator()(AVFormatContext* p) const { avformat_close_input(&p); }
};

using CodecContext = std::unique_ptr<AVCodecContext, CodecContextFree>;
using Frame = std::unique_ptr<AVFrame, FrameFree>;
using Packet = std::unique_ptr<AVPacket, PacketFree>;
using Sws = std::unique_ptr<SwsContext, SwsFree>;
using Swr = std::unique_ptr<SwrContext, SwrFree>;
using Fifo = std::unique_ptr<AVAudioFifo, FifoFree>;
using Input = std::unique_ptr<AVFormatContext, InputFree>;

Frame NewFrame();
Packet NewPacket();

// FFmpeg's description of an error code.
std::string ErrorText(int code);

// Keeps FFmpeg's own log off the terminal (the command reports every failure itself, in one line) unless
// --verbose asks for it, and keeps what demuxers and decoders say about damaged input for TakeInputDamage:
// their errors, and a demuxer's warnings (a file that ended prematurely, a corrupt packet).
void SilenceLog();

// The first such message since the last call, or an empty string.
std::string TakeInputDamage();

// For AVIOInterruptCB: stops blocking reads and writes once the user has interrupted the run.
int InterruptCallback(void* opaque);

}  // namespace av
