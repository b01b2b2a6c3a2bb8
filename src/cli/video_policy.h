// What the command decides about video, apart from the files: containers and their default codecs, crf
// ranges, the pixel format an encoder gets, FFV1's slices, and the colour tags and matrices of YUV. Plain
// functions of their arguments, so that tests can hold them to the README's tables without any file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string_view>

#include "cli/ffmpeg.h"

// An output container: its FFmpeg muxer, the codecs that keep every pixel of 8- and 16-bit frames, the
// audio codec used when the input's audio cannot be copied as it is, and whether its PNG frames may be
// indexed (pal8, each frame with its own palette).
struct Container {
  std::string_view extension;
  const char* format;
  const char* codec8;
  const char* codec16;
  const char* audioCodec;
  bool indexedPng;
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

// Whether FFV1 version 3 can split a frame of this size into `slices` slices (0: its own choice). Its
// encoder lays slices out as h columns by v rows with v <= h < 2v, at most one column a pixel and one row a
// pixel, and at least two rows unless an explicit count is asked for a frame of at most 352 x 288.
bool FfvSlicesFit(int width, int height, int slices);

// How FFV1 encodes a frame size: version 3 (with a checksum in every slice) and FfvSlices' count for frames
// at least 3 pixels each way, where that count fits; else version 1, which has no slices. FFmpeg 5.1's
// version 3 cannot split a frame one pixel wide and more than 288 high at all, and gives back a blank
// picture for frames less than 3 pixels wide or high; version 1 keeps every pixel at any size.
struct FfvLayout {
  int level;
  int slices;
  bool operator==(const FfvLayout&) const = default;
};
FfvLayout FfvLayoutFor(int width, int height);

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

// How a decoded frame is turned upright for display: its pixel (x, y) goes to x' = xx x + xy y, y' = yx x +
// yy y, moved so that the frame starts at (0, 0). Each factor is -1, 0 or 1: the quarter turns, with or
// without a mirror.
struct Orientation {
  int xx = 1, xy = 0, yx = 0, yy = 1;
  bool upright() const { return xx == 1 && yy == 1; }
  bool swapsSides() const { return xx == 0; }
  bool operator==(const Orientation&) const = default;
};

// The orientation a display matrix (FFmpeg's: 3 x 3, row by row, 16.16 fixed point; x' = a x + c y,
// y' = b x + d y for a, b, c, d = matrix[0], [1], [3], [4]) asks for; none when it turns by an angle that is
// not a multiple of 90 degrees. Scaling in the matrix is left out, as the pixel aspect ratio is.
std::optional<Orientation> OrientationFromMatrix(const std::int32_t* matrix);

// Copies `source` (width x height pixels of `bytes` bytes, rows `sourceStride` bytes apart) into `target`,
// turned as `orientation` says (height x width when it swaps the sides).
void Reorient(const std::uint8_t* source, std::size_t sourceStride, int width, int height, int bytes,
              const Orientation& orientation, std::uint8_t* target, std::size_t targetStride);
