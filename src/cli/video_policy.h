// What the command decides about video, apart from the files: containers and their default codecs, crf
// ranges, the pixel format an encoder gets, FFV1's slices, and the colour tags and matrices of YUV. Plain
// functions of their arguments, so that tests can hold them to the README's tables without any file.
#pragma once

#include <filesystem>
#include <optional>
#include <string_view>

#include "cli/ffmpeg.h"

// An output container: its FFmpeg muxer, the codecs that keep every pixel of 8- and 16-bit frames, and
// the audio codec used when the input's audio cannot be copied as it is.
struct Container {
  std::string_view extension;
  const char* format;
  const char* codec8;
  const char* codec16;
  const char* audioCodec;
};

// The container of an output name (.mkv, .mp4, .mov, .avi, any case), or none.
const Container* ContainerFor(const std::filesystem::path& path);

struct CrfLimits {
  double low, high;
};
// The crf range of encoders that declare a wider option than they take (x264, x265, VP8/9, AV1); none for
// others, whose own option range holds.
std::optional<CrfLimits> KnownCrfLimits(std::string_view codec);

// The pixel format to give an encoder that accepts `accepted` (AV_PIX_FMT_NONE-terminated; null for any):
// RGB first, 16-bit for deep frames, with alpha for frames that have it; YUV only when nothing else is
// taken.
AVPixelFormat ChoosePixelFormat(const AVPixelFormat* accepted, bool deep, bool alpha);

// FFV1's slice count for a frame size: 16 from 1280 x 720 up to 4096 x 2304 pixels, else 0 (FFV1's choice).
int FfvSlices(int width, int height);

// What a YUV frame of a size is tagged with and converted by when nothing says otherwise: BT.709 for frames
// at least 1280 wide or more than 576 high, BT.601 (SMPTE 170M) below.
struct YuvTags {
  AVColorSpace space;
  AVColorPrimaries primaries;
  AVColorTransferCharacteristic transfer;
  int swsMatrix;  // libswscale's SWS_CS_* for the matrix
};
YuvTags YuvTagsForSize(int width, int height);

// The matrix to decode a YUV frame with (libswscale's SWS_CS_* numbers, which follow AVColorSpace): as
// tagged, else by its size as above.
int ColourMatrix(AVColorSpace tagged, int width, int height);

// The yuvj formats are full-range YUV under another name: the plain name, with `fullRange` set.
AVPixelFormat PlainFormat(AVPixelFormat format, bool& fullRange);

bool IsYuv(const AVPixFmtDescriptor& desc);
