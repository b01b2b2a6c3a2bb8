#include "cli/video_policy.h"

#include <cctype>
#include <initializer_list>
#include <vector>

namespace fs = std::filesystem;

namespace {

// x264, x265 and the AV1/VP9 encoders declare a wider crf option than they take.
struct CrfRange {
  std::string_view codec;
  CrfLimits limits;
};
constexpr CrfRange kCrfRanges[] = {
    {"libx264", {0, 51}},    {"libx264rgb", {0, 51}}, {"libx265", {0, 51}},   {"libvpx", {0, 63}},
    {"libvpx-vp9", {0, 63}}, {"libaom-av1", {0, 63}}, {"libsvtav1", {0, 63}},
};

bool ListHas(const AVPixelFormat* list, AVPixelFormat format) {
  if (list == nullptr) return true;
  for (; *list != AV_PIX_FMT_NONE; ++list) {
    if (*list == format) return true;
  }
  return false;
}

}  // namespace

// The output containers, with codecs that keep every pixel: FFV1 (lossless, RGB), lossless H.264 in RGB
// (libx264rgb at qp 0), QuickTime Animation for 8 bits and PNG for 16 in .mov. The audio codec is the one
// used when the input's audio cannot be copied as it is.
static constexpr Container kContainers[] = {
    {".mkv", "matroska", "ffv1", "ffv1", "flac"},
    {".mp4", "mp4", "libx264rgb", "libx264rgb", "aac"},
    {".mov", "mov", "qtrle", "png", "alac"},
    {".avi", "avi", "ffv1", "ffv1", "pcm_s16le"},
};

const Container* ContainerFor(const fs::path& path) {
  std::string extension = path.extension().string();
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (const Container& container : kContainers) {
    if (container.extension == extension) return &container;
  }
  return nullptr;
}

std::optional<CrfLimits> KnownCrfLimits(std::string_view codec) {
  for (const CrfRange& range : kCrfRanges) {
    if (range.codec == codec) return range.limits;
  }
  return std::nullopt;
}

AVPixelFormat ChoosePixelFormat(const AVPixelFormat* accepted, bool deep, bool alpha) {
  using F = std::initializer_list<AVPixelFormat>;
  const F rgb8 = {AV_PIX_FMT_RGB24, AV_PIX_FMT_BGR24, AV_PIX_FMT_BGR0, AV_PIX_FMT_RGB0,
                  AV_PIX_FMT_0RGB,  AV_PIX_FMT_0BGR,  AV_PIX_FMT_GBRP};
  const F rgba8 = {AV_PIX_FMT_RGBA, AV_PIX_FMT_BGRA, AV_PIX_FMT_ARGB, AV_PIX_FMT_ABGR, AV_PIX_FMT_GBRAP};
  const F rgb16 = {AV_PIX_FMT_GBRP16LE, AV_PIX_FMT_RGB48LE, AV_PIX_FMT_RGB48BE, AV_PIX_FMT_GBRP16BE};
  const F rgba16 = {AV_PIX_FMT_GBRAP16LE, AV_PIX_FMT_RGBA64LE, AV_PIX_FMT_RGBA64BE, AV_PIX_FMT_GBRAP16BE};
  std::vector<const F*> order;
  if (deep && alpha) order = {&rgba16, &rgb16, &rgba8, &rgb8};
  if (deep && !alpha) order = {&rgb16, &rgb8};
  if (!deep && alpha) order = {&rgba8, &rgb8};
  if (!deep && !alpha) order = {&rgb8};
  for (const F* formats : order) {
    for (AVPixelFormat format : *formats) {
      if (ListHas(accepted, format)) return format;
    }
  }
  const AVPixelFormat source = deep ? AV_PIX_FMT_RGBA64 : AV_PIX_FMT_RGBA;
  return avcodec_find_best_pix_fmt_of_list(accepted, source, alpha ? 1 : 0, nullptr);
}

// FFV1 slices by frame size: FFV1's own choice (four, more for very large frames) up to 720p, sixteen from
// there to 4096 x 2304, so that HD frames keep many threads busy for a sliver of extra size.
int FfvSlices(int width, int height) {
  const long pixels = static_cast<long>(width) * height;
  return pixels >= 1280L * 720 && pixels <= 4096L * 2304 ? 16 : 0;
}

YuvTags YuvTagsForSize(int width, int height) {
  if (width >= 1280 || height > 576) return {AVCOL_SPC_BT709, AVCOL_PRI_BT709, AVCOL_TRC_BT709, SWS_CS_ITU709};
  return {AVCOL_SPC_SMPTE170M, AVCOL_PRI_SMPTE170M, AVCOL_TRC_SMPTE170M, SWS_CS_ITU601};
}

// The colour matrix of a YUV frame: as tagged, else BT.709 for HD sizes and BT.601 for SD ones, as players
// assume. The values are libswscale's SWS_CS_* numbers, which follow AVColorSpace.
int ColourMatrix(AVColorSpace tagged, int width, int height) {
  if (tagged == AVCOL_SPC_UNSPECIFIED || tagged == AVCOL_SPC_RESERVED || tagged == AVCOL_SPC_RGB) {
    return YuvTagsForSize(width, height).swsMatrix;
  }
  return tagged;
}

// The yuvj formats are full-range YUV under another name; libswscale wants the plain name and the range.
AVPixelFormat PlainFormat(AVPixelFormat format, bool& fullRange) {
  switch (format) {
    case AV_PIX_FMT_YUVJ420P:
      fullRange = true;
      return AV_PIX_FMT_YUV420P;
    case AV_PIX_FMT_YUVJ422P:
      fullRange = true;
      return AV_PIX_FMT_YUV422P;
    case AV_PIX_FMT_YUVJ444P:
      fullRange = true;
      return AV_PIX_FMT_YUV444P;
    case AV_PIX_FMT_YUVJ440P:
      fullRange = true;
      return AV_PIX_FMT_YUV440P;
    case AV_PIX_FMT_YUVJ411P:
      fullRange = true;
      return AV_PIX_FMT_YUV411P;
    default:
      return format;
  }
}

bool IsYuv(const AVPixFmtDescriptor& desc) {
  return (desc.flags & AV_PIX_FMT_FLAG_RGB) == 0 && desc.nb_components >= 3;
}

