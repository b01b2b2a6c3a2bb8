#include "cli/webp_codec.h"

#include <webp/decode.h>
#include <webp/encode.h>
#include <webp/mux.h>

#include <stdexcept>

namespace {

const char* EncodingError(WebPEncodingError code) {
  switch (code) {
    case VP8_ENC_ERROR_OUT_OF_MEMORY:
    case VP8_ENC_ERROR_BITSTREAM_OUT_OF_MEMORY:
      return "not enough memory";
    case VP8_ENC_ERROR_BAD_DIMENSION:
      return "WebP holds at most 16383 pixels a side";
    case VP8_ENC_ERROR_PARTITION0_OVERFLOW:
    case VP8_ENC_ERROR_PARTITION_OVERFLOW:
    case VP8_ENC_ERROR_FILE_TOO_BIG:
      return "the image is too large for WebP";
    default:
      return "the WebP encoder failed";
  }
}

}  // namespace

bool ReadWebpInfo(std::span<const std::uint8_t> data, WebpInfo& info, std::string& error) {
  WebPBitstreamFeatures features;
  if (WebPGetFeatures(data.data(), data.size(), &features) != VP8_STATUS_OK) {
    error = "not a readable WebP image";
    return false;
  }
  info = {features.width, features.height, features.has_alpha != 0, features.has_animation != 0};
  return true;
}

bool DecodeWebp(std::span<const std::uint8_t> data, const WebpInfo& info, WebpImage& image,
                std::string& error) {
  const int channels = info.alpha ? 4 : 3;
  const std::size_t stride = static_cast<std::size_t>(info.width) * channels;
  image = {info.width, info.height, info.alpha, std::vector<std::uint8_t>(stride * info.height)};
  const std::uint8_t* done = info.alpha ? WebPDecodeRGBAInto(data.data(), data.size(), image.pixels.data(),
                                                             image.pixels.size(), static_cast<int>(stride))
                                        : WebPDecodeRGBInto(data.data(), data.size(), image.pixels.data(),
                                                            image.pixels.size(), static_cast<int>(stride));
  if (done == nullptr) {
    error = "the WebP data is damaged";
    return false;
  }
  return true;
}

bool EncodeWebp(const WebpImage& image, std::vector<std::uint8_t>& encoded, std::string& error) {
  WebPConfig config;
  WebPPicture picture;
  if (!WebPConfigInit(&config) || !WebPPictureInit(&picture)) {
    error = "the WebP library does not match the one built against";
    return false;
  }
  config.lossless = 1;
  config.exact = 1;  // colours under transparent pixels are kept too
  // Effort: on a dithered 1080p frame, libwebp's default (quality 75, method 4) takes 3.5 times as long as
  // quality 10, method 3 for a file 2% smaller.
  config.quality = 10;
  config.method = 3;
  picture.use_argb = 1;
  picture.width = image.width;
  picture.height = image.height;
  const int channels = image.alpha ? 4 : 3;
  const int stride = image.width * channels;
  WebPMemoryWriter writer;
  WebPMemoryWriterInit(&writer);
  picture.writer = WebPMemoryWrite;
  picture.custom_ptr = &writer;
  const bool imported = image.alpha ? WebPPictureImportRGBA(&picture, image.pixels.data(), stride)
                                    : WebPPictureImportRGB(&picture, image.pixels.data(), stride);
  const bool ok = imported && WebPEncode(&config, &picture);
  if (ok) {
    encoded.assign(writer.mem, writer.mem + writer.size);
  } else {
    error = EncodingError(picture.error_code);
  }
  WebPPictureFree(&picture);
  WebPMemoryWriterClear(&writer);
  return ok;
}

struct WebpAnimation::State {
  WebPMux* mux = nullptr;
  int width = 0, height = 0;
  unsigned plays = 0;
};

WebpAnimation::WebpAnimation(int width, int height, unsigned plays) : state_(std::make_unique<State>()) {
  state_->mux = WebPMuxNew();
  if (state_->mux == nullptr) throw std::runtime_error("out of memory");
  state_->width = width;
  state_->height = height;
  state_->plays = plays;
}

WebpAnimation::~WebpAnimation() { WebPMuxDelete(state_->mux); }

bool WebpAnimation::add(const WebpImage& frame, int durationMs, std::string& error) {
  std::vector<std::uint8_t> still;
  if (!EncodeWebp(frame, still, error)) return false;
  // Every frame whole, not blended over the one before, which is cleared first: a decoder that blends
  // regardless then blends over nothing, and alpha comes out exact.
  WebPMuxFrameInfo info{};
  info.bitstream = {still.data(), still.size()};
  info.duration = durationMs;
  info.id = WEBP_CHUNK_ANMF;
  info.dispose_method = WEBP_MUX_DISPOSE_BACKGROUND;
  info.blend_method = WEBP_MUX_NO_BLEND;
  const WebPMuxError result = WebPMuxPushFrame(state_->mux, &info, 1);
  if (result != WEBP_MUX_OK) error = "cannot add a frame (error " + std::to_string(result) + ")";
  return result == WEBP_MUX_OK;
}

bool WebpAnimation::finish(std::vector<std::uint8_t>& encoded, std::string& error) {
  // Transparent black behind the frames; plays as asked.
  const WebPMuxAnimParams params{0, static_cast<int>(state_->plays)};
  WebPData data;
  WebPDataInit(&data);
  WebPMuxError result = WebPMuxSetAnimationParams(state_->mux, &params);
  if (result == WEBP_MUX_OK) result = WebPMuxSetCanvasSize(state_->mux, state_->width, state_->height);
  if (result == WEBP_MUX_OK) result = WebPMuxAssemble(state_->mux, &data);
  if (result == WEBP_MUX_OK) {
    encoded.assign(data.bytes, data.bytes + data.size);
  } else {
    error = "cannot assemble the animation (error " + std::to_string(result) + ")";
  }
  WebPDataClear(&data);
  return result == WEBP_MUX_OK;
}
