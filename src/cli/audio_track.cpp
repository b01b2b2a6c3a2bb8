#include "cli/audio_track.h"

#include <algorithm>
#include <new>

#include "cli/exit_status.h"

namespace {

// The encoder's sample format closest to the decoder's: the same if it takes it, else one of at least its
// width, so that 24-bit audio is not cut to 16.
AVSampleFormat ChooseSampleFormat(const AVCodec& codec, AVSampleFormat source) {
  if (codec.sample_fmts == nullptr) return source;
  const int width = av_get_bytes_per_sample(source);
  AVSampleFormat wide = AV_SAMPLE_FMT_NONE;
  for (const AVSampleFormat* f = codec.sample_fmts; *f != AV_SAMPLE_FMT_NONE; ++f) {
    if (*f == source) return source;
    if (wide == AV_SAMPLE_FMT_NONE && av_get_bytes_per_sample(*f) >= width) wide = *f;
  }
  return wide != AV_SAMPLE_FMT_NONE ? wide : codec.sample_fmts[0];
}

int ChooseSampleRate(const AVCodec& codec, int source) {
  if (codec.supported_samplerates == nullptr) return source;
  // The source's rate when the encoder takes it, else the lowest above it, else the highest there is.
  int above = 0, highest = 0;
  for (const int* r = codec.supported_samplerates; *r != 0; ++r) {
    if (*r == source) return source;
    if (*r > source && (above == 0 || *r < above)) above = *r;
    highest = std::max(highest, *r);
  }
  return above != 0 ? above : highest;
}

// Whether the muxer of `output` takes `input`'s packets as they are. Its table of codecs is not the last
// word: MP4 lists FLAC and Opus but refuses them unless told to write experimental files, and QuickTime lists
// them and refuses them outright. So the stream is set up in a muxer of the same kind, writing to memory.
bool MuxerTakes(const AVOutputFormat* format, const AVCodecParameters& input) {
  if (avformat_query_codec(format, input.codec_id, FF_COMPLIANCE_NORMAL) != 1) return false;
  AVFormatContext* trial = nullptr;
  if (avformat_alloc_output_context2(&trial, format, nullptr, nullptr) < 0) throw std::bad_alloc();
  trial->flags |= AVFMT_FLAG_BITEXACT;
  AVStream* stream = avformat_new_stream(trial, nullptr);
  bool takes = stream != nullptr && avcodec_parameters_copy(stream->codecpar, &input) >= 0 &&
               avio_open_dyn_buf(&trial->pb) >= 0;
  if (takes) {
    stream->codecpar->codec_tag = 0;
    // The memory buffer seeks as a file does; the muxer wants to know.
    trial->pb->seekable = AVIO_SEEKABLE_NORMAL;
    takes = avformat_init_output(trial, nullptr) >= 0;
    uint8_t* bytes = nullptr;
    avio_close_dyn_buf(trial->pb, &bytes);
    av_free(bytes);
    trial->pb = nullptr;
  }
  avformat_free_context(trial);
  if (stream == nullptr) throw std::bad_alloc();
  return takes;
}

}  // namespace

AudioTrack::AudioTrack(AVFormatContext* output, const AVStream& input, const char* fallbackCodec,
                       std::string outputName, std::string inputName)
    : output_(output),
      inputTimeBase_(input.time_base),
      outputName_(std::move(outputName)),
      inputName_(std::move(inputName)) {
  stream_ = avformat_new_stream(output, nullptr);
  if (stream_ == nullptr) throw std::bad_alloc();
  if (MuxerTakes(output->oformat, *input.codecpar)) {
    if (const int err = avcodec_parameters_copy(stream_->codecpar, input.codecpar); err < 0) {
      failOutput("cannot copy the audio", err);
    }
    // The input container's codec tag may mean nothing in the output's.
    stream_->codecpar->codec_tag = 0;
    stream_->time_base = input.time_base;
    return;
  }

  const AVCodec* decoder = avcodec_find_decoder(input.codecpar->codec_id);
  if (decoder == nullptr) {
    throw CliError(kExitInput, inputName_ + ": no decoder for its audio codec, which " + outputName_ +
                                   " cannot hold as it is");
  }
  decoder_.reset(avcodec_alloc_context3(decoder));
  if (!decoder_) throw std::bad_alloc();
  // Checksums checked where the codec has them (FLAC's frames): damage is found, not encoded.
  decoder_->err_recognition |= AV_EF_CRCCHECK;
  if (avcodec_parameters_to_context(decoder_.get(), input.codecpar) < 0 ||
      avcodec_open2(decoder_.get(), decoder, nullptr) < 0) {
    throw CliError(kExitInput, inputName_ + ": cannot open its " + decoder->name + " audio decoder");
  }
  decoder_->pkt_timebase = input.time_base;

  const AVCodec* encoder = avcodec_find_encoder_by_name(fallbackCodec);
  if (encoder == nullptr) {
    throw CliError(kExitOutput, outputName_ + ": this FFmpeg has no " + fallbackCodec + " audio encoder");
  }
  encoder_.reset(avcodec_alloc_context3(encoder));
  if (!encoder_) throw std::bad_alloc();
  encoder_->sample_fmt = ChooseSampleFormat(*encoder, decoder_->sample_fmt);
  encoder_->sample_rate = ChooseSampleRate(*encoder, decoder_->sample_rate);
  // Channels without a layout (PCM in some containers) get the usual one for their number.
  if (decoder_->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC) {
    const int channels = decoder_->ch_layout.nb_channels;
    av_channel_layout_uninit(&decoder_->ch_layout);
    av_channel_layout_default(&decoder_->ch_layout, channels);
  }
  av_channel_layout_copy(&encoder_->ch_layout, &decoder_->ch_layout);
  encoder_->time_base = {1, encoder_->sample_rate};
  if (encoder->id == AV_CODEC_ID_AAC)
    encoder_->bit_rate = 96000 * std::min(encoder_->ch_layout.nb_channels, 2) * 2;
  encoder_->flags |= AV_CODEC_FLAG_BITEXACT;
  if (output->oformat->flags & AVFMT_GLOBALHEADER) encoder_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  if (const int err = avcodec_open2(encoder_.get(), encoder, nullptr); err < 0) {
    failOutput(std::string("cannot open the ") + fallbackCodec + " audio encoder", err);
  }
  if (const int err = avcodec_parameters_from_context(stream_->codecpar, encoder_.get()); err < 0) {
    failOutput("cannot set up the audio", err);
  }
  stream_->time_base = encoder_->time_base;

  SwrContext* resampler = nullptr;
  if (swr_alloc_set_opts2(&resampler, &encoder_->ch_layout, encoder_->sample_fmt, encoder_->sample_rate,
                          &decoder_->ch_layout, decoder_->sample_fmt, decoder_->sample_rate, 0,
                          nullptr) < 0 ||
      swr_init(resampler) < 0) {
    swr_free(&resampler);
    throw CliError(kExitOutput,
                   outputName_ + ": cannot convert the audio for the " + fallbackCodec + " encoder");
  }
  resampler_.reset(resampler);
  fifo_.reset(av_audio_fifo_alloc(encoder_->sample_fmt, encoder_->ch_layout.nb_channels, 4096));
  if (!fifo_) throw std::bad_alloc();
}

void AudioTrack::failOutput(const std::string& what, int code) const {
  throw CliError(kExitOutput, outputName_ + ": " + what + " (" + av::ErrorText(code) + ")");
}

void AudioTrack::writePacket(AVPacket& packet, AVRational timeBase) {
  av_packet_rescale_ts(&packet, timeBase, stream_->time_base);
  packet.stream_index = stream_->index;
  packet.pos = -1;
  if (const int err = av_interleaved_write_frame(output_, &packet); err < 0)
    failOutput("cannot write video", err);
}

void AudioTrack::moveTo(AVFormatContext* output) {
  AVStream* stream = avformat_new_stream(output, nullptr);
  if (stream == nullptr) throw std::bad_alloc();
  if (const int err = avcodec_parameters_copy(stream->codecpar, stream_->codecpar); err < 0) {
    failOutput("cannot copy the audio", err);
  }
  stream->time_base = stream_->time_base;
  output_ = output;
  stream_ = stream;
}

void AudioTrack::write(AVPacket& packet) {
  if (!encoder_) {
    writePacket(packet, inputTimeBase_);
    return;
  }
  int err = avcodec_send_packet(decoder_.get(), &packet);
  if (err < 0) failInput(err);
  while ((err = avcodec_receive_frame(decoder_.get(), decoded_.get())) == 0) {
    encodeFrom(decoded_.get());
    av_frame_unref(decoded_.get());
  }
  if (err != AVERROR(EAGAIN) && err != AVERROR_EOF) failInput(err);
}

// Damaged audio is damaged input, as a damaged video frame is: the run fails naming the input, with what
// the decoder said about it.
void AudioTrack::failInput(int code) const {
  const std::string damage = av::TakeInputDamage();
  if (code == AVERROR_INVALIDDATA) {
    throw CliError(kExitInput,
                   inputName_ + ": damaged audio (" + (damage.empty() ? av::ErrorText(code) : damage) + ")");
  }
  throw CliError(kExitInput, inputName_ + ": cannot decode the audio (" + av::ErrorText(code) + ")");
}

void AudioTrack::encodeFrom(AVFrame* decoded) {
  if (!started_) {
    // The first sample's time, counted from the first video frame, on the encoder's clock; samples before
    // that time are dropped.
    started_ = true;
    const int64_t pts = decoded != nullptr ? decoded->best_effort_timestamp : AV_NOPTS_VALUE;
    const int64_t first = pts == AV_NOPTS_VALUE ? 0 : av_rescale_q(pts, inputTimeBase_, encoder_->time_base);
    nextPts_ = std::max<int64_t>(first, 0);
    skip_ = std::max<int64_t>(-first, 0);
  }
  av::Frame converted = av::NewFrame();
  converted->format = encoder_->sample_fmt;
  converted->sample_rate = encoder_->sample_rate;
  av_channel_layout_copy(&converted->ch_layout, &encoder_->ch_layout);
  if (const int err = swr_convert_frame(resampler_.get(), converted.get(), decoded); err < 0) {
    failOutput("cannot convert the audio", err);
  }
  if (converted->nb_samples > 0) {
    if (av_audio_fifo_write(fifo_.get(), reinterpret_cast<void**>(converted->extended_data),
                            converted->nb_samples) < converted->nb_samples) {
      throw std::bad_alloc();
    }
  }
  if (skip_ > 0) {
    const int dropped = static_cast<int>(std::min<int64_t>(skip_, av_audio_fifo_size(fifo_.get())));
    av_audio_fifo_drain(fifo_.get(), dropped);
    skip_ -= dropped;
  }
  encodeFifo(false);
}

void AudioTrack::encodeFifo(bool all) {
  const bool anySize =
      encoder_->frame_size == 0 || (encoder_->codec->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE);
  const int frameSize = anySize ? 4096 : encoder_->frame_size;
  while (av_audio_fifo_size(fifo_.get()) >= frameSize || (all && av_audio_fifo_size(fifo_.get()) > 0)) {
    const int samples = std::min(frameSize, av_audio_fifo_size(fifo_.get()));
    av::Frame frame = av::NewFrame();
    frame->format = encoder_->sample_fmt;
    frame->sample_rate = encoder_->sample_rate;
    frame->nb_samples = samples;
    av_channel_layout_copy(&frame->ch_layout, &encoder_->ch_layout);
    if (av_frame_get_buffer(frame.get(), 0) < 0) throw std::bad_alloc();
    av_audio_fifo_read(fifo_.get(), reinterpret_cast<void**>(frame->extended_data), samples);
    frame->pts = nextPts_;
    nextPts_ += samples;
    if (const int err = avcodec_send_frame(encoder_.get(), frame.get()); err < 0) {
      failOutput("cannot encode the audio", err);
    }
    drainEncoder();
  }
}

void AudioTrack::drainEncoder() {
  int err;
  while ((err = avcodec_receive_packet(encoder_.get(), encoded_.get())) == 0) {
    writePacket(*encoded_, encoder_->time_base);
    av_packet_unref(encoded_.get());
  }
  if (err != AVERROR(EAGAIN) && err != AVERROR_EOF) failOutput("cannot encode the audio", err);
}

void AudioTrack::finish() {
  if (!encoder_) return;
  avcodec_send_packet(decoder_.get(), nullptr);
  int err;
  while ((err = avcodec_receive_frame(decoder_.get(), decoded_.get())) == 0) {
    encodeFrom(decoded_.get());
    av_frame_unref(decoded_.get());
  }
  if (err != AVERROR_EOF && err != AVERROR(EAGAIN)) failInput(err);
  // The decoder may have said more than its return codes do.
  if (const std::string damage = av::TakeInputDamage(); !damage.empty()) {
    throw CliError(kExitInput, inputName_ + ": damaged audio (" + damage + ")");
  }
  // What the resampler still holds (rate conversion delays samples).
  if (started_ && swr_get_delay(resampler_.get(), encoder_->sample_rate) > 0) encodeFrom(nullptr);
  encodeFifo(true);
  if (const int sent = avcodec_send_frame(encoder_.get(), nullptr); sent < 0)
    failOutput("cannot encode the audio", sent);
  drainEncoder();
}
