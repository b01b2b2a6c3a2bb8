#include "cli/webp_codec.h"

#include <webp/decode.h>
#include <webp/encode.h>

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
