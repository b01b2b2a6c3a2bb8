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
  WebPAnimEncoder* encoder = nullptr;
  WebPConfig config;
  int width = 0, height = 0;
};

WebpAnimation::WebpAnimation(int width, int height, unsigned plays) : state_(std::make_unique<State>()) {
  WebPAnimEncoderOptions options;
  if (!WebPAnimEncoderOptionsInit(&options) || !WebPConfigInit(&state_->config)) {
    throw std::runtime_error("the WebP library does not match the one built against");
  }
  options.anim_params.loop_count = static_cast<int>(plays);
  state_->config.lossless = 1;
  state_->config.exact = 1;
  state_->width = width;
  state_->height = height;
  state_->encoder = WebPAnimEncoderNew(width, height, &options);
  if (state_->encoder == nullptr) throw std::runtime_error("cannot start the WebP animation encoder");
}

WebpAnimation::~WebpAnimation() { WebPAnimEncoderDelete(state_->encoder); }

bool WebpAnimation::add(const WebpImage& frame, long long startMs, std::string& error) {
  WebPPicture picture;
  if (!WebPPictureInit(&picture)) {
    error = "the WebP library does not match the one built against";
    return false;
  }
  picture.use_argb = 1;
  picture.width = frame.width;
  picture.height = frame.height;
  const int stride = frame.width * (frame.alpha ? 4 : 3);
  const bool imported = frame.alpha ? WebPPictureImportRGBA(&picture, frame.pixels.data(), stride)
                                    : WebPPictureImportRGB(&picture, frame.pixels.data(), stride);
  const bool ok =
      imported && WebPAnimEncoderAdd(state_->encoder, &picture, static_cast<int>(startMs), &state_->config);
  if (!ok) {
    const char* why = WebPAnimEncoderGetError(state_->encoder);
    error = picture.error_code != VP8_ENC_OK ? EncodingError(picture.error_code)
                                             : (why != nullptr && *why != 0 ? why : "cannot encode a frame");
  }
  WebPPictureFree(&picture);
  return ok;
}

bool WebpAnimation::finish(long long endMs, std::vector<std::uint8_t>& encoded, std::string& error) {
  WebPData data;
  WebPDataInit(&data);
  const bool ok = WebPAnimEncoderAdd(state_->encoder, nullptr, static_cast<int>(endMs), nullptr) &&
                  WebPAnimEncoderAssemble(state_->encoder, &data);
  if (ok) {
    encoded.assign(data.bytes, data.bytes + data.size);
  } else {
    const char* why = WebPAnimEncoderGetError(state_->encoder);
    error = why != nullptr && *why != 0 ? why : "cannot assemble the animation";
  }
  WebPDataClear(&data);
  return ok;
}
