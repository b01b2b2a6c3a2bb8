#include "cli/video_policy.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
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

// The output containers, with codecs that keep every pixel: PNG for 8-bit frames in .mkv (indexed where a
// frame's colours fit 256 palette entries, as dithered frames' do) and .mov, FFV1 (lossless, RGB) for 16-bit
// frames in .mkv and for .avi, lossless H.264 in RGB (libx264rgb at qp 0) in .mp4, PNG for 16 bits in .mov.
// The measurements behind the choice are in docs/benchmarks.md. .mov keeps PNG frames in RGB: a QuickTime
// sample description holds one colour table for a whole track, not one a frame. The audio codec is the one
// used when the input's audio cannot be copied as it is.
static constexpr Container kContainers[] = {
    {".mkv", "matroska", "png", "ffv1", "flac", true},
    {".mp4", "mp4", "libx264rgb", "libx264rgb", "aac", false},
    {".mov", "mov", "png", "png", "alac", false},
    {".avi", "avi", "ffv1", "ffv1", "pcm_s16le", false},
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

// As FFV1's encoder searches (planar RGB, no chroma subsampling): rows from 2 (1 for a frame one pixel high,
// or for an explicit count on a frame of at most 352 x 288) up to 31, columns from as many as the rows to
// fewer than twice that. Its limit on the bytes of one slice is left out: it only matters for explicit counts
// on frames far larger than the sizes FfvSlices asks 16 slices for.
bool FfvSlicesFit(int width, int height, int slices) {
  if (width < 1 || height < 1) return false;
  int firstRows = width > 352 || height > 288 || slices == 0 ? 2 : 1;
  firstRows = std::min(firstRows, height);
  for (int rows = firstRows; rows < 32; ++rows) {
    for (int columns = rows; columns < 2 * rows; ++columns) {
      if (columns > width || rows > height) continue;
      if (slices == 0 || slices == columns * rows) return true;
    }
  }
  return false;
}

FfvLayout FfvLayoutFor(int width, int height) {
  if (width < 3 || height < 3) return {1, 0};
  if (const int slices = FfvSlices(width, height); FfvSlicesFit(width, height, slices)) return {3, slices};
  return {1, 0};
}

YuvTags YuvTagsForSize(int width, int height) {
  if (width >= 1280 || height > 576)
    return {AVCOL_SPC_BT709, AVCOL_PRI_BT709, AVCOL_TRC_BT709, SWS_CS_ITU709};
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

std::optional<Orientation> OrientationFromMatrix(const std::int32_t* matrix) {
  const double a = matrix[0], b = matrix[1], c = matrix[3], d = matrix[4];
  const double largest = std::max({std::abs(a), std::abs(b), std::abs(c), std::abs(d)});
  if (largest == 0) return std::nullopt;
  // Entries below a thousandth of the largest are rounding (a turn by 90.03 degrees is 90).
  auto sign = [largest](double v) { return std::abs(v) < largest / 1000 ? 0 : (v < 0 ? -1 : 1); };
  const Orientation o{sign(a), sign(c), sign(b), sign(d)};
  const bool straight = o.xx != 0 && o.yy != 0 && o.xy == 0 && o.yx == 0;
  const bool turned = o.xx == 0 && o.yy == 0 && o.xy != 0 && o.yx != 0;
  if (!straight && !turned) return std::nullopt;
  return o;
}

void Reorient(const std::uint8_t* source, std::size_t sourceStride, int width, int height, int bytes,
              const Orientation& o, std::uint8_t* target, std::size_t targetStride) {
  const long offsetX = (o.xx < 0 ? width - 1 : 0) + (o.xy < 0 ? height - 1 : 0);
  const long offsetY = (o.yx < 0 ? width - 1 : 0) + (o.yy < 0 ? height - 1 : 0);
  for (int y = 0; y < height; ++y) {
    const std::uint8_t* row = source + static_cast<std::size_t>(y) * sourceStride;
    for (int x = 0; x < width; ++x) {
      const long tx = o.xx * x + o.xy * y + offsetX, ty = o.yx * x + o.yy * y + offsetY;
      std::memcpy(target + static_cast<std::size_t>(ty) * targetStride + static_cast<std::size_t>(tx) * bytes,
                  row + static_cast<std::size_t>(x) * bytes, static_cast<std::size_t>(bytes));
    }
  }
}
