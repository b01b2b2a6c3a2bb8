#include "cli/video_writer.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <initializer_list>
#include <new>
#include <string_view>
#include <system_error>
#include <vector>

#include "cli/exit_status.h"
#include "cli/image_io.h"
#include "cli/image_sequence.h"
#include "cli/indexed_frame.h"
#include "cli/interrupt.h"
#include "cli/safe_output.h"
#include "cli/terminal.h"
#include "cli/video_policy.h"
#include "cli/video_reader.h"

namespace fs = std::filesystem;

namespace {

std::string Number(double value) { return ExactNumber(value); }

// SVT-AV1 prints its banner and its errors itself, past FFmpeg's log, to standard error or to the file its
// environment names. Its first error line, without the level and instance: "Source Height must be at least
// 64".
std::string FirstEncoderError(const fs::path& log) {
  std::ifstream in(log);
  for (std::string line; std::getline(in, line);) {
    const std::size_t level = line.find("[error]: ");
    if (level == std::string::npos) continue;
    std::string reason = line.substr(level + 9);
    if (reason.starts_with("Instance ")) {
      if (const std::size_t colon = reason.find(": "); colon != std::string::npos) reason.erase(0, colon + 2);
    }
    return reason;
  }
  return {};
}

void CheckCrf(const AVCodec& codec, double crf, bool defaultCodec) {
  const std::string name = std::string(codec.name) + (defaultCodec ? " (the container's default codec)" : "");
  const AVOption* option = codec.priv_class != nullptr
                               ? av_opt_find(const_cast<const AVClass**>(&codec.priv_class), "crf", nullptr,
                                             0, AV_OPT_SEARCH_FAKE_OBJ)
                               : nullptr;
  if (option == nullptr) throw CliError(kExitUsage, "--crf: " + name + " has no crf setting");
  double low = std::max(option->min, 0.0), high = option->max;
  if (const std::optional<CrfLimits> known = KnownCrfLimits(codec.name)) low = known->low, high = known->high;
  if (!(crf >= low && crf <= high)) {
    throw CliError(kExitUsage, "--crf: " + Number(crf) + " is outside " + Number(low) + " to " +
                                   Number(high) + " for " + codec.name);
  }
}

// The world's pixels as red, green, blue, alpha in `packed` (RGBA, or RGBA64 in native order when `deep`),
// as a file of that depth holds them; fully opaque unless `alpha`. Into an 8-bit encoder from a deep world
// as into an 8-bit file read from a 16-bit one: the nearest value.
void PackRgba(const minihost::World& world, bool deep, bool alpha, AVFrame& packed) {
  minihost::WorldToPlain(world.pf(), packed.data[0],
                         {deep ? minihost::SampleBits::Sixteen : minihost::SampleBits::Eight, 4,
                          alpha ? 3 : -1, static_cast<std::size_t>(packed.linesize[0])});
}

// A decoded pal8 frame as packed RGBA, each index replaced by its palette entry (0xAARRGGBB).
void UnpackIndexed(const AVFrame& indexed, AVFrame& packed) {
  const auto* palette = reinterpret_cast<const std::uint32_t*>(indexed.data[1]);
  for (int y = 0; y < indexed.height; ++y) {
    const std::uint8_t* index = indexed.data[0] + static_cast<std::ptrdiff_t>(y) * indexed.linesize[0];
    std::uint8_t* rgba = packed.data[0] + static_cast<std::ptrdiff_t>(y) * packed.linesize[0];
    for (int x = 0; x < indexed.width; ++x, rgba += 4) {
      const std::uint32_t argb = palette[index[x]];
      rgba[0] = static_cast<std::uint8_t>(argb >> 16);
      rgba[1] = static_cast<std::uint8_t>(argb >> 8);
      rgba[2] = static_cast<std::uint8_t>(argb);
      rgba[3] = static_cast<std::uint8_t>(argb >> 24);
    }
  }
}

}  // namespace

bool IsVideoOutputPath(const fs::path& path) { return ContainerFor(path) != nullptr; }

struct VideoWriter::Output {
  ~Output() {
    if (context != nullptr) {
      if (context->pb != nullptr) avio_closep(&context->pb);
      avformat_free_context(context);
    }
  }
  AVFormatContext* context = nullptr;
  AVStream* stream = nullptr;
  av::CodecContext encoder;
  av::Sws sws;
  av::Frame packed = av::NewFrame();
  av::Frame encoded = av::NewFrame();
  av::Packet packet = av::NewPacket();
  std::unique_ptr<AudioTrack> audio;
  int64_t nextPts = 0;
  bool deep = false;
  bool alpha = false;
  bool indexed = false;  // pal8: every frame's pixels indexed into its own palette
};

VideoWriter::VideoWriter(const fs::path& path, const VideoOptions& options) : path_(path), options_(options) {
  av::SilenceLog();
  const Container* container = ContainerFor(path);
  if (container == nullptr)
    throw CliError(kExitUsage, path.string() + ": not a video container this command writes");
  format_ = av_guess_format(container->format, nullptr, nullptr);
  if (format_ == nullptr)
    throw CliError(kExitOutput, path.string() + ": this FFmpeg cannot write " + container->format);
  audioCodec_ = container->audioCodec;
  if (!options.codec.empty()) {
    codec_ = avcodec_find_encoder_by_name(options.codec.c_str());
    if (codec_ == nullptr || codec_->type != AVMEDIA_TYPE_VIDEO) {
      throw CliError(kExitUsage, "--codec: \"" + options.codec + "\" is not a video encoder of this FFmpeg");
    }
    if (avformat_query_codec(format_, codec_->id, FF_COMPLIANCE_NORMAL) == 0) {
      throw CliError(kExitUsage,
                     "--codec: " + path.extension().string() + " files cannot hold " + options.codec);
    }
  }
  if (options.crf) {
    const AVCodec* codec = codec_ != nullptr ? codec_ : avcodec_find_encoder_by_name(container->codec8);
    if (codec == nullptr)
      throw CliError(kExitUsage, std::string("--crf: this FFmpeg has no ") + container->codec8);
    CheckCrf(*codec, *options.crf, codec_ == nullptr);
  }
  RequireOutputFolder(path);
  RequireRegularOutput(path);
  // Set here, on the thread that starts the run, before any other thread may read the environment.
  if (codec_ != nullptr && std::strcmp(codec_->name, "libsvtav1") == 0 && !Verbose()) {
    std::string name = (fs::temp_directory_path() / "palettrix-svt-XXXXXX").string();
    const int fd = mkstemp(name.data());
    if (fd >= 0) {
      close(fd);
      encoderLog_ = name;
      setenv("SVT_LOG_FILE", name.c_str(), 1);
    }
  }
}

VideoWriter::~VideoWriter() {
  // The muxer lets go of the temporary file before it is removed.
  output_.reset();
  file_.reset();
  if (!encoderLog_.empty()) {
    std::error_code ec;
    fs::remove(encoderLog_, ec);
  }
}

void VideoWriter::carryAudio(VideoReader& reader) {
  audioInput_ = reader.audioStream();
  audioInputName_ = reader.path().string();
  if (audioInput_ == nullptr) return;
  reader.onAudio([this](AVPacket& packet) { audioPacket(packet); });
}

void VideoWriter::fail(const std::string& what, int code) const {
  throw CliError(kExitOutput, path_.string() + ": " + what + " (" + av::ErrorText(code) + ")");
}

void VideoWriter::open(const Frame& first) {
  const bool deep = first.world.depth() == minihost::Depth::Sixteen;
  const Container& container = *ContainerFor(path_);
  const AVCodec* codec = codec_;
  if (codec == nullptr) {
    const char* name = deep ? container.codec16 : container.codec8;
    codec = avcodec_find_encoder_by_name(name);
    if (codec == nullptr) {
      throw CliError(kExitOutput,
                     path_.string() + ": this FFmpeg has no " + name + " encoder; choose one with --codec");
    }
  }
  // PNG frames are indexed when the first frame's colours fit a palette; a later frame that does not fit
  // turns the whole video to RGB (leaveIndexed).
  bool indexed = false;
  if (codec->id == AV_CODEC_ID_PNG && !deep && container.indexedPng) {
    const A_long width = first.world.width();
    std::vector<std::uint8_t> indices(static_cast<std::size_t>(width) *
                                      static_cast<std::size_t>(first.world.height()));
    std::array<std::uint32_t, 256> palette{};
    indexed = IndexWorld(first.world.pf(), first.hasAlpha ? AlphaBits::Eight : AlphaBits::None,
                         indices.data(), width, palette.data())
                  .has_value();
  }
  start(*codec, first.world.width(), first.world.height(), deep, first.hasAlpha, indexed, nullptr);
}

void VideoWriter::start(const AVCodec& codecRef, int width, int height, bool deep, bool alpha, bool indexed,
                        std::unique_ptr<AudioTrack> audio) {
  const AVCodec* codec = &codecRef;
  output_ = std::make_unique<Output>();
  Output& out = *output_;
  if (avformat_alloc_output_context2(&out.context, format_, nullptr, nullptr) < 0) throw std::bad_alloc();
  // No library version or creation time in the file: the same frames give the same bytes.
  out.context->flags |= AVFMT_FLAG_BITEXACT;
  out.context->interrupt_callback = {av::InterruptCallback, nullptr};

  const AVPixelFormat pixelFormat =
      indexed ? AV_PIX_FMT_PAL8 : ChoosePixelFormat(codec->pix_fmts, deep, alpha);
  const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(pixelFormat);
  if (desc == nullptr)
    throw CliError(kExitOutput, path_.string() + ": " + codec->name + " takes no RGB frames");
  const bool rgb = (desc->flags & (AV_PIX_FMT_FLAG_RGB | AV_PIX_FMT_FLAG_PAL)) != 0;
  out.indexed = indexed;
  out.deep = !indexed && desc->comp[0].depth > 8;
  // A palette entry keeps its alpha (PNG's tRNS chunk).
  out.alpha = alpha && (indexed || (desc->flags & AV_PIX_FMT_FLAG_ALPHA) != 0);

  out.encoder.reset(avcodec_alloc_context3(codec));
  if (!out.encoder) throw std::bad_alloc();
  AVCodecContext& encoder = *out.encoder;
  encoder.width = width;
  encoder.height = height;
  encoder.pix_fmt = pixelFormat;
  encoder.time_base = {options_.frameRate.den, options_.frameRate.num};
  encoder.framerate = {options_.frameRate.num, options_.frameRate.den};
  encoder.sample_aspect_ratio = {1, 1};
  encoder.flags |= AV_CODEC_FLAG_BITEXACT;
  if (format_->flags & AVFMT_GLOBALHEADER) encoder.flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  // The encoder's own threads, as many as FFmpeg finds cores for: x264 and x265 thread as they do, FFV1
  // encodes the slices of a frame in parallel.
  encoder.thread_count = 0;
  // YUV only when the encoder takes nothing else: limited range, with the matrix a reader assumes for the
  // size (BT.709 for HD, BT.601 for SD), and tagged so.
  const YuvTags yuv = YuvTagsForSize(encoder.width, encoder.height);
  if (rgb) {
    encoder.colorspace = AVCOL_SPC_RGB;
    encoder.color_range = AVCOL_RANGE_JPEG;
  } else {
    encoder.colorspace = yuv.space;
    encoder.color_primaries = yuv.primaries;
    encoder.color_trc = yuv.transfer;
    encoder.color_range = AVCOL_RANGE_MPEG;
  }
  AVDictionary* settings = nullptr;
  if (codec->id == AV_CODEC_ID_FFV1) {
    // Version 3 with a checksum in every slice (version 1 for frames it cannot hold: see FfvLayoutFor). The
    // layout follows the frame size alone, never the machine, so the file's bytes do not depend on the thread
    // count; slices only split the work, every decoded pixel is the same.
    const FfvLayout layout = FfvLayoutFor(encoder.width, encoder.height);
    encoder.level = layout.level;
    if (layout.level >= 3) {
      encoder.slices = layout.slices;
      encoder.thread_type = FF_THREAD_SLICE;
      av_dict_set(&settings, "slicecrc", "1", 0);
    }
  }
  // zlib's level 4 deflates a dithered 1080p frame in a third to a half of the time of its default level 6,
  // for 10 to 15% more bytes (docs/benchmarks.md).
  if (codec->id == AV_CODEC_ID_PNG && !deep) encoder.compression_level = 4;
  if (options_.crf) {
    av_dict_set(&settings, "crf", Number(*options_.crf).c_str(), 0);
  } else if (std::strcmp(codec->name, "libx264rgb") == 0 || std::strcmp(codec->name, "libx264") == 0) {
    av_dict_set(&settings, "qp", "0", 0);
  }
  // x265 prints its banner and statistics itself, past FFmpeg's log.
  if (std::strcmp(codec->name, "libx265") == 0 && !Verbose())
    av_dict_set(&settings, "x265-params", "log-level=error", 0);
  const SignalBlock leaveSignalsToTheMainThread;
  const int opened = avcodec_open2(&encoder, codec, &settings);
  av_dict_free(&settings);
  if (opened < 0) {
    // The encoder's lines may still wait in its stream's buffer.
    if (!encoderLog_.empty()) std::fflush(nullptr);
    const std::string reason = encoderLog_.empty() ? std::string() : FirstEncoderError(encoderLog_);
    if (!reason.empty()) {
      throw CliError(kExitOutput, path_.string() + ": cannot open the " + codec->name + " encoder (" +
                                      ForTerminal(reason, 200) + ")");
    }
    fail(std::string("cannot open the ") + codec->name + " encoder", opened);
  }

  out.stream = avformat_new_stream(out.context, nullptr);
  if (out.stream == nullptr) throw std::bad_alloc();
  if (const int err = avcodec_parameters_from_context(out.stream->codecpar, &encoder); err < 0) {
    fail("cannot set up the video", err);
  }
  out.stream->time_base = encoder.time_base;
  out.stream->avg_frame_rate = encoder.framerate;
  if (audio) {
    out.audio = std::move(audio);
    out.audio->moveTo(out.context);
  } else if (audioInput_ != nullptr) {
    out.audio =
        std::make_unique<AudioTrack>(out.context, *audioInput_, audioCodec_, path_.string(), audioInputName_);
  }

  const AVPixelFormat packedFormat = out.deep ? AV_PIX_FMT_RGBA64 : AV_PIX_FMT_RGBA;
  if (!indexed) {
    out.sws.reset(sws_getContext(
        encoder.width, encoder.height, packedFormat, encoder.width, encoder.height, pixelFormat,
        SWS_BILINEAR | SWS_ACCURATE_RND | SWS_BITEXACT | SWS_FULL_CHR_H_INT, nullptr, nullptr, nullptr));
    if (!out.sws) throw CliError(kExitOutput, path_.string() + ": cannot convert RGB to " + desc->name);
    if (!rgb) {
      sws_setColorspaceDetails(out.sws.get(), sws_getCoefficients(SWS_CS_DEFAULT), 1,
                               sws_getCoefficients(yuv.swsMatrix), 0, 0, 1 << 16, 1 << 16);
    }
  }
  for (AVFrame* frame : {out.packed.get(), out.encoded.get()}) {
    if (frame == out.packed.get() && indexed) continue;
    frame->format = frame == out.packed.get() ? packedFormat : pixelFormat;
    frame->width = encoder.width;
    frame->height = encoder.height;
    if (av_frame_get_buffer(frame, 0) < 0) throw std::bad_alloc();
  }

  file_ = std::make_unique<OutputFile>(path_);
  // Opened through the descriptor of the file created above, never by a name someone could swap.
  if (const int err = avio_open2(&out.context->pb, file_->descriptorPath().c_str(), AVIO_FLAG_WRITE,
                                 &out.context->interrupt_callback, nullptr);
      err < 0) {
    fail("cannot write video", err);
  }
  if (const int err = avformat_write_header(out.context, nullptr); err < 0) fail("cannot write video", err);
}

// The reader's thread: the packet waits for the thread writing the frames, which alone touches the output.
// The muxer interleaves the two streams by time, so when a packet is handed over does not change the file.
void VideoWriter::audioPacket(AVPacket& packet) {
  av::Packet copy(av_packet_clone(&packet));
  if (!copy) throw std::bad_alloc();
  std::lock_guard lock(audioMutex_);
  pendingAudio_.push_back(std::move(copy));
}

void VideoWriter::writeAudio() {
  std::deque<av::Packet> pending;
  {
    std::lock_guard lock(audioMutex_);
    pending.swap(pendingAudio_);
  }
  for (av::Packet& packet : pending) output_->audio->write(*packet);
}

void VideoWriter::write(Frame frame) {
  if (!output_) open(frame);
  Output& out = *output_;
  const minihost::World& world = frame.world;
  if (world.width() != out.encoder->width || world.height() != out.encoder->height) {
    throw CliError(kExitInput, "frame " + std::to_string(frame.number) + " is " +
                                   std::to_string(world.width()) + "x" + std::to_string(world.height()) +
                                   ", the first was " + std::to_string(out.encoder->width) + "x" +
                                   std::to_string(out.encoder->height) + ": the frames of " + path_.string() +
                                   " must be one size");
  }
  if (out.audio) writeAudio();
  if (out.indexed) {
    if (av_frame_make_writable(out.encoded.get()) < 0) throw std::bad_alloc();
    if (IndexWorld(world.pf(), out.alpha ? AlphaBits::Eight : AlphaBits::None, out.encoded->data[0],
                   out.encoded->linesize[0], reinterpret_cast<std::uint32_t*>(out.encoded->data[1]))) {
      out.encoded->pts = out.nextPts++;
      encode(out.encoded.get());
      return;
    }
    leaveIndexed();
  }
  // Read from output_: leaving the indexed frames replaced it.
  PackRgba(world, output_->deep, output_->alpha, *output_->packed);
  encodePacked();
}

// The packed RGBA frame converted to the encoder's format and encoded as the next frame.
void VideoWriter::encodePacked() {
  Output& out = *output_;
  if (av_frame_make_writable(out.encoded.get()) < 0) throw std::bad_alloc();
  sws_scale(out.sws.get(), out.packed->data, out.packed->linesize, 0, out.encoder->height, out.encoded->data,
            out.encoded->linesize);
  out.encoded->pts = out.nextPts++;
  encode(out.encoded.get());
}

// A frame of more than 256 colours after indexed ones. A video's frames share one pixel format, so the
// frames written so far are decoded from the finished indexed file and encoded again in RGB into a new
// temporary file, the audio written so far copied along, and the run goes on there. Each frame decodes to
// exactly the pixels it was given, in either file.
void VideoWriter::leaveIndexed() {
  encode(nullptr);
  Output& indexed = *output_;
  if (const int err = av_write_trailer(indexed.context); err < 0) fail("cannot write video", err);
  if (indexed.context->pb->error < 0) fail("cannot write video", indexed.context->pb->error);
  if (const int err = avio_closep(&indexed.context->pb); err < 0) fail("cannot write video", err);
  const std::unique_ptr<Output> written = std::move(output_);
  const std::unique_ptr<OutputFile> writtenFile = std::move(file_);
  start(*written->encoder->codec, written->encoder->width, written->encoder->height, false, written->alpha,
        false, std::move(written->audio));
  Output& out = *output_;

  AVFormatContext* opened = avformat_alloc_context();
  if (opened == nullptr) throw std::bad_alloc();
  opened->interrupt_callback = {av::InterruptCallback, nullptr};
  if (const int err = avformat_open_input(&opened, writtenFile->descriptorPath().c_str(), nullptr, nullptr);
      err < 0) {
    fail("cannot read back the indexed frames", err);
  }
  const av::Input input(opened);
  const AVCodec* png = avcodec_find_decoder(AV_CODEC_ID_PNG);
  av::CodecContext decoder(avcodec_alloc_context3(png));
  if (!decoder) throw std::bad_alloc();
  int video = -1;
  for (unsigned i = 0; i < input->nb_streams; ++i) {
    if (input->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) video = static_cast<int>(i);
  }
  if (video < 0) fail("cannot read back the indexed frames", AVERROR_INVALIDDATA);
  if (const int err = avcodec_parameters_to_context(decoder.get(), input->streams[video]->codecpar); err < 0)
    fail("cannot read back the indexed frames", err);
  if (const int err = avcodec_open2(decoder.get(), png, nullptr); err < 0)
    fail("cannot read back the indexed frames", err);

  const av::Frame decoded = av::NewFrame();
  const av::Packet packet = av::NewPacket();
  auto drain = [&] {
    int err;
    while ((err = avcodec_receive_frame(decoder.get(), decoded.get())) == 0) {
      if (decoded->format != AV_PIX_FMT_PAL8 || decoded->width != out.encoder->width ||
          decoded->height != out.encoder->height) {
        fail("cannot read back the indexed frames", AVERROR_INVALIDDATA);
      }
      UnpackIndexed(*decoded, *out.packed);
      av_frame_unref(decoded.get());
      encodePacked();
    }
    if (err != AVERROR(EAGAIN) && err != AVERROR_EOF) fail("cannot read back the indexed frames", err);
  };
  int err;
  while ((err = av_read_frame(input.get(), packet.get())) >= 0) {
    if (packet->stream_index == video) {
      if (const int sent = avcodec_send_packet(decoder.get(), packet.get()); sent < 0)
        fail("cannot read back the indexed frames", sent);
      drain();
    } else if (out.audio &&
               input->streams[packet->stream_index]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO) {
      out.audio->writeEncoded(*packet, input->streams[packet->stream_index]->time_base);
    }
    av_packet_unref(packet.get());
  }
  if (err != AVERROR_EOF) fail("cannot read back the indexed frames", err);
  avcodec_send_packet(decoder.get(), nullptr);
  drain();
}

void VideoWriter::encode(AVFrame* frame) {
  Output& out = *output_;
  if (const int err = avcodec_send_frame(out.encoder.get(), frame); err < 0) fail("cannot encode video", err);
  int err;
  while ((err = avcodec_receive_packet(out.encoder.get(), out.packet.get())) == 0) {
    av_packet_rescale_ts(out.packet.get(), out.encoder->time_base, out.stream->time_base);
    out.packet->stream_index = out.stream->index;
    if (const int written = av_interleaved_write_frame(out.context, out.packet.get()); written < 0) {
      fail("cannot write video", written);
    }
  }
  if (err != AVERROR(EAGAIN) && err != AVERROR_EOF) fail("cannot encode video", err);
}

void VideoWriter::finish() {
  if (!output_) throw CliError(kExitInput, path_.string() + ": no frames to write");
  Output& out = *output_;
  encode(nullptr);
  if (out.audio) {
    writeAudio();
    out.audio->finish();
  }
  if (const int err = av_write_trailer(out.context); err < 0) fail("cannot write video", err);
  if (out.context->pb->error < 0) fail("cannot write video", out.context->pb->error);
  if (const int err = avio_closep(&out.context->pb); err < 0) fail("cannot write video", err);
  file_->commit();
  finished_ = true;
}
