#include "cli/video_reader.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>
#include <string_view>
#include <system_error>

#include "cli/exit_status.h"
#include "cli/image_io.h"
#include "cli/interrupt.h"
#include "cli/terminal.h"

namespace fs = std::filesystem;

namespace {

std::string LowerExtension(const fs::path& path) {
  std::string extension = path.extension().string();
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return extension;
}

}  // namespace

bool IsVideoInputPath(const fs::path& path) {
  static constexpr std::array<std::string_view, 17> kExtensions = {
      ".mkv", ".mp4",  ".mov", ".avi", ".m4v", ".webm", ".mpg", ".mpeg", ".ts",
      ".mts", ".m2ts", ".wmv", ".flv", ".ogv", ".3gp",  ".y4m", ".mxf"};
  const std::string extension = LowerExtension(path);
  return std::find(kExtensions.begin(), kExtensions.end(), extension) != kExtensions.end();
}

VideoReader::VideoReader(const fs::path& path, std::optional<FrameRange> range,
                         std::optional<minihost::Depth> depth)
    : path_(path), range_(range), depth_(depth) {
  av::SilenceLog();
  std::error_code ec;
  if (!fs::exists(path, ec)) throw CliError(kExitInput, path.string() + ": no such file");
  AVFormatContext* context = avformat_alloc_context();
  if (context == nullptr) throw std::bad_alloc();
  context->interrupt_callback = {av::InterruptCallback, nullptr};
  // avformat_open_input frees the context when it fails.
  // A file that ends before its first frame, as one written with no frames does, holds no video frames.
  if (const int err = avformat_open_input(&context, path.c_str(), nullptr, nullptr); err < 0) {
    if (err == AVERROR_EOF) throw CliError(kExitInput, path.string() + ": holds no video frames");
    fail("cannot read video", err);
  }
  input_.reset(context);
  if (const int err = avformat_find_stream_info(context, nullptr); err < 0) {
    if (err == AVERROR_EOF) throw CliError(kExitInput, path.string() + ": holds no video frames");
    fail("cannot read video", err);
  }

  const AVCodec* codec = nullptr;
  const int videoIndex = av_find_best_stream(context, AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
  if (videoIndex == AVERROR_DECODER_NOT_FOUND) {
    throw CliError(kExitInput, path.string() + ": no decoder for its video codec");
  }
  if (videoIndex < 0) throw CliError(kExitInput, path.string() + ": no video stream");
  video_ = context->streams[videoIndex];
  const int audioIndex = av_find_best_stream(context, AVMEDIA_TYPE_AUDIO, -1, videoIndex, nullptr, 0);
  if (audioIndex >= 0) audio_ = context->streams[audioIndex];
  for (unsigned i = 0; i < context->nb_streams; ++i) {
    if (context->streams[i] != video_ && context->streams[i] != audio_)
      context->streams[i]->discard = AVDISCARD_ALL;
  }

  // FFmpeg's own VP8 and VP9 decoders leave out the alpha that WebM carries beside the picture (alpha_mode 1,
  // in BlockAdditional); libvpx's decode it.
  const AVDictionaryEntry* alphaMode = av_dict_get(video_->metadata, "alpha_mode", nullptr, 0);
  if (alphaMode != nullptr && std::strcmp(alphaMode->value, "0") != 0 &&
      (codec->id == AV_CODEC_ID_VP9 || codec->id == AV_CODEC_ID_VP8)) {
    const AVCodec* withAlpha =
        avcodec_find_decoder_by_name(codec->id == AV_CODEC_ID_VP9 ? "libvpx-vp9" : "libvpx");
    if (withAlpha != nullptr) {
      codec = withAlpha;
    } else {
      std::fprintf(Messages(),
                   "palettrix: warning: %s: this FFmpeg cannot decode its %s alpha channel; "
                   "the frames render opaque\n",
                   ForTerminal(path.string()).c_str(), codec->name);
    }
  }

  decoder_.reset(avcodec_alloc_context3(codec));
  if (!decoder_) throw std::bad_alloc();
  if (const int err = avcodec_parameters_to_context(decoder_.get(), video_->codecpar); err < 0) {
    fail("cannot read video", err);
  }
  decoder_->pkt_timebase = video_->time_base;
  decoder_->thread_count = 0;
  // Every frame the decoder makes is held to the budget before its pixels are allocated, a frame after a
  // change of size mid-stream included.
  budget_ = PixelBudget();
  decoder_->opaque = this;
  decoder_->get_buffer2 = GetBuffer;
#if FF_API_THREAD_SAFE_CALLBACKS
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  decoder_->thread_safe_callbacks = 1;  // GetBuffer is: it reads what is set here and stores an atomic
#pragma GCC diagnostic pop
#endif
  const SignalBlock leaveSignalsToTheMainThread;
  if (const int err = avcodec_open2(decoder_.get(), codec, nullptr); err < 0) {
    fail(std::string("cannot open its ") + codec->name + " decoder", err);
  }

  // Probing a stream can stumble on its way in without anything being wrong with the frames read later.
  av::TakeInputDamage();
  // Frame by frame, modern codecs pack a still frame into fewer bytes than any image format: only the
  // budget holds here, not the file's size.
  CheckPixelBudget(path.string(), decoder_->width, decoder_->height, 0);

  std::size_t matrixSize = 0;
  if (const uint8_t* matrix = av_stream_get_side_data(video_, AV_PKT_DATA_DISPLAYMATRIX, &matrixSize);
      matrix != nullptr && matrixSize >= 9 * sizeof(int32_t)) {
    int32_t values[9];
    std::memcpy(values, matrix, sizeof values);
    streamOrientation_ = OrientationFromMatrix(values);
    if (!streamOrientation_) {
      throw CliError(kExitInput, path.string() + ": its display matrix turns the picture by " +
                                     std::to_string(std::lround(-av_display_rotation_get(values))) +
                                     " degrees; only quarter turns and mirrors are applied");
    }
  }

  const AVRational rate = av_guess_frame_rate(context, video_, nullptr);
  if (rate.num > 0 && rate.den > 0) frameRate_ = {rate.num, rate.den};
  if (range_) {
    frameCount_ = range_->last - range_->first + 1;
  } else if (video_->nb_frames > 0) {
    frameCount_ = static_cast<long>(video_->nb_frames);
  } else if (context->duration > 0) {
    frameCount_ = static_cast<long>(
        av_rescale(context->duration, frameRate_.num, static_cast<int64_t>(frameRate_.den) * AV_TIME_BASE));
  }
}

const AVStream* VideoReader::audioStream() const { return audio_; }

void VideoReader::fail(const std::string& what, int code) const {
  throw CliError(kExitInput, path_.string() + ": " + what + " (" + av::ErrorText(code) + ")");
}

int VideoReader::GetBuffer(AVCodecContext* context, AVFrame* frame, int flags) {
  auto* reader = static_cast<VideoReader*>(context->opaque);
  const unsigned long long pixels = static_cast<unsigned long long>(std::max(frame->width, 0)) *
                                    static_cast<unsigned long long>(std::max(frame->height, 0));
  if (pixels > reader->budget_) {
    reader->oversize_.store(static_cast<long long>(frame->width) << 32 |
                            static_cast<uint32_t>(frame->height));
    return AVERROR(ERANGE);
  }
  return avcodec_default_get_buffer2(context, frame, flags);
}

void VideoReader::failDecoding(int code) const {
  if (const long long size = oversize_.load(); size != 0) {
    CheckPixelBudget(path_.string() + " frame " + std::to_string(decodedCount_ + 1), size >> 32,
                     size & 0xFFFFFFFF, 0);
  }
  fail("cannot decode frame " + std::to_string(decodedCount_ + 1), code);
}

Orientation VideoReader::orientation(const AVFrame& frame) const {
  // A frame's own display matrix (as H.264's display orientation message gives) before the stream's.
  if (const AVFrameSideData* data = av_frame_get_side_data(&frame, AV_FRAME_DATA_DISPLAYMATRIX);
      data != nullptr && data->size >= 9 * sizeof(int32_t)) {
    int32_t values[9];
    std::memcpy(values, data->data, sizeof values);
    if (const std::optional<Orientation> own = OrientationFromMatrix(values)) return *own;
  }
  return streamOrientation_.value_or(Orientation{});
}

std::optional<Frame> VideoReader::next() {
  while (!finished_) {
    if (!videoDone_) {
      const int got = avcodec_receive_frame(decoder_.get(), decoded_.get());
      if (got == 0) {
        ++decodedCount_;
        const int64_t time = decoded_->best_effort_timestamp;
        if (range_ && decodedCount_ < range_->first) {
          // Audio that ends before this frame ends before the first chosen one too.
          if (time != AV_NOPTS_VALUE) {
            std::erase_if(pendingAudio_, [&](const av::Packet& p) {
              return p->pts != AV_NOPTS_VALUE &&
                     av_compare_ts(p->pts + p->duration, audio_->time_base, time, video_->time_base) <= 0;
            });
          }
          av_frame_unref(decoded_.get());
          continue;
        }
        if (!start_) {
          start_ =
              time != AV_NOPTS_VALUE ? time : (video_->start_time != AV_NOPTS_VALUE ? video_->start_time : 0);
          std::deque<av::Packet> pending = std::move(pendingAudio_);
          for (av::Packet& p : pending) forwardAudio(*p);
        }
        refuseDamage();
        Frame frame = convert(*decoded_);
        if (range_ && decodedCount_ == range_->last) {
          videoDone_ = true;
          const int64_t frameTime =
              av_rescale_q(1, AVRational{frameRate_.den, frameRate_.num}, video_->time_base);
          end_ = (time != AV_NOPTS_VALUE ? time : *start_) + std::max<int64_t>(frameTime, 1);
        }
        av_frame_unref(decoded_.get());
        ++given_;
        return frame;
      }
      if (got == AVERROR_EOF) {
        videoDone_ = true;
        refuseDamage();
        if (range_ && decodedCount_ < range_->last) {
          throw CliError(kExitInput, path_.string() + ": has " + std::to_string(decodedCount_) +
                                         " frames; --frames " + std::to_string(range_->first) + "-" +
                                         std::to_string(range_->last) + " goes past the last");
        }
        if (given_ == 0) throw CliError(kExitInput, path_.string() + ": holds no video frames");
        continue;
      }
      if (got != AVERROR(EAGAIN)) failDecoding(got);
      if (demuxerDone_) {
        if (flushSent_) failDecoding(AVERROR_EOF);
        avcodec_send_packet(decoder_.get(), nullptr);
        flushSent_ = true;
        continue;
      }
    } else if (demuxerDone_ || audio_ == nullptr || !audioReceiver_) {
      finished_ = true;
      break;
    }

    const int read = av_read_frame(input_.get(), packet_.get());
    if (read == AVERROR_EOF) {
      demuxerDone_ = true;
      continue;
    }
    if (read < 0) fail("cannot read video", read);
    if (packet_->stream_index == video_->index && !videoDone_) {
      const int sent = avcodec_send_packet(decoder_.get(), packet_.get());
      if (sent < 0 && sent != AVERROR(EAGAIN)) failDecoding(sent);
    } else if (audio_ != nullptr && packet_->stream_index == audio_->index) {
      // After the last chosen frame only the audio up to its end is still wanted.
      if (videoDone_ && afterEnd(*packet_))
        demuxerDone_ = true;
      else
        audioPacket(*packet_);
    }
    av_packet_unref(packet_.get());
  }
  return std::nullopt;
}

void VideoReader::refuseDamage() const {
  const std::string damage = av::TakeInputDamage();
  if (damage.empty()) return;
  throw CliError(kExitInput, path_.string() + ": damaged at frame " +
                                 std::to_string(decodedCount_ + (videoDone_ ? 1 : 0)) + " (" + damage + ")");
}

bool VideoReader::afterEnd(const AVPacket& packet) const {
  return end_ && packet.pts != AV_NOPTS_VALUE &&
         av_compare_ts(packet.pts, audio_->time_base, *end_, video_->time_base) >= 0;
}

void VideoReader::audioPacket(AVPacket& packet) {
  if (!audioReceiver_) return;
  if (!start_) {
    av::Packet copy(av_packet_clone(&packet));
    if (!copy) throw std::bad_alloc();
    pendingAudio_.push_back(std::move(copy));
    return;
  }
  forwardAudio(packet);
}

void VideoReader::forwardAudio(AVPacket& packet) {
  if (afterEnd(packet)) return;
  // Without a range every packet is kept, the encoder's priming before the first frame included.
  if (range_ && range_->first > 1 && packet.pts != AV_NOPTS_VALUE &&
      av_compare_ts(packet.pts + packet.duration, audio_->time_base, *start_, video_->time_base) <= 0) {
    return;
  }
  const int64_t shift = av_rescale_q(*start_, video_->time_base, audio_->time_base);
  if (packet.pts != AV_NOPTS_VALUE) packet.pts -= shift;
  if (packet.dts != AV_NOPTS_VALUE) packet.dts -= shift;
  audioReceiver_(packet);
}

Frame VideoReader::convert(const AVFrame& source) {
  if (source.width > PF_MAX_WORLD_WIDTH || source.height > PF_MAX_WORLD_HEIGHT || source.width <= 0 ||
      source.height <= 0) {
    throw CliError(kExitInput, path_.string() + ": frame size " + std::to_string(source.width) + "x" +
                                   std::to_string(source.height) + " is outside 1 to 30000 pixels a side");
  }
  // The size may change from frame to frame: each is held to the budget.
  const long number = range_ ? range_->first + given_ : given_ + 1;
  CheckPixelBudget(path_.string() + " frame " + std::to_string(number), source.width, source.height, 0);
  const auto format = static_cast<AVPixelFormat>(source.format);
  const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(format);
  if (desc == nullptr) throw CliError(kExitInput, path_.string() + ": unknown pixel format");
  const bool deep = desc->comp[0].depth > 8;
  const bool alpha = (desc->flags & AV_PIX_FMT_FLAG_ALPHA) != 0;
  // Unless tagged, YUV is limited range (yuvj formats aside); RGB and grey are full range.
  bool fullRange =
      source.color_range == AVCOL_RANGE_JPEG || (source.color_range != AVCOL_RANGE_MPEG && !IsYuv(*desc));
  const AVPixelFormat plain = PlainFormat(format, fullRange);
  const AVPixelFormat target = deep ? AV_PIX_FMT_RGBA64 : AV_PIX_FMT_RGBA;

  const SwsKey key{source.width, source.height, plain,
                   ColourMatrix(source.colorspace, source.width, source.height), fullRange};
  if (!sws_ || !(key == swsKey_)) {
    sws_.reset(sws_getContext(source.width, source.height, plain, source.width, source.height, target,
                              SWS_BILINEAR | SWS_ACCURATE_RND | SWS_BITEXACT | SWS_FULL_CHR_H_INT, nullptr,
                              nullptr, nullptr));
    if (!sws_) {
      throw CliError(kExitInput, path_.string() + ": cannot convert pixel format " + desc->name + " to RGB");
    }
    if (IsYuv(*desc)) {
      sws_setColorspaceDetails(sws_.get(), sws_getCoefficients(key.matrix), fullRange ? 1 : 0,
                               sws_getCoefficients(SWS_CS_DEFAULT), 1, 0, 1 << 16, 1 << 16);
    }
    swsKey_ = key;
    av_frame_unref(rgb_.get());
    rgb_->format = target;
    rgb_->width = source.width;
    rgb_->height = source.height;
    if (av_frame_get_buffer(rgb_.get(), 0) < 0) throw std::bad_alloc();
  }
  sws_scale(sws_.get(), source.data, source.linesize, 0, source.height, rgb_->data, rgb_->linesize);

  // Turned upright as players show it; the output carries no turn of its own.
  const Orientation turn = orientation(source);
  const uint8_t* pixels = rgb_->data[0];
  std::size_t stride = static_cast<std::size_t>(rgb_->linesize[0]);
  int width = source.width, height = source.height;
  if (!(turn == Orientation{})) {
    const int bytes = deep ? 8 : 4;
    if (turn.swapsSides()) std::swap(width, height);
    turned_.resize(static_cast<std::size_t>(width) * height * bytes);
    Reorient(pixels, stride, source.width, source.height, bytes, turn, turned_.data(),
             static_cast<std::size_t>(width) * bytes);
    pixels = turned_.data();
    stride = static_cast<std::size_t>(width) * bytes;
  }

  // The depth of the first frame holds for all, so that a video output gets frames of one kind.
  if (!depth_) depth_ = deep ? minihost::Depth::Sixteen : minihost::Depth::Eight;
  Frame frame{number, minihost::World(width, height, *depth_), alpha};
  // Deeper sources at 8 bits get the nearest 8-bit value, as image files do.
  minihost::PlainToWorld(
      pixels, {deep ? minihost::SampleBits::Sixteen : minihost::SampleBits::Eight, 4, alpha ? 3 : -1, stride},
      frame.world.pf());
  return frame;
}
