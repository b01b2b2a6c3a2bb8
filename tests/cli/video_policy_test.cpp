// The video decisions against the README's tables, without a file: containers and their codecs, crf ranges,
// the pixel formats encoders get, FFV1's slices, YUV tags and matrices.
#include "cli/video_policy.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(VideoPolicy, ContainersAndTheirDefaultCodecs) {
  struct Row {
    const char* name;
    const char* format;
    const char* codec8;
    const char* codec16;
    const char* audio;
    bool indexedPng;
  };
  const Row rows[] = {
      {"out.mkv", "matroska", "png", "ffv1", "flac", true},
      {"OUT.MP4", "mp4", "libx264rgb", "libx264rgb", "aac", false},
      {"a/b.mov", "mov", "png", "png", "alac", false},
      {"x.Avi", "avi", "ffv1", "ffv1", "pcm_s16le", false},
  };
  for (const Row& row : rows) {
    const Container* container = ContainerFor(row.name);
    ASSERT_NE(container, nullptr) << row.name;
    EXPECT_STREQ(container->format, row.format);
    EXPECT_STREQ(container->codec8, row.codec8);
    EXPECT_STREQ(container->codec16, row.codec16);
    EXPECT_STREQ(container->audioCodec, row.audio);
    EXPECT_EQ(container->indexedPng, row.indexedPng);
  }
  for (const char* name : {"in.webm", "in.mp4.png", "mkv", "out.", "out.mkv2"})
    EXPECT_EQ(ContainerFor(name), nullptr) << name;
}

TEST(VideoPolicy, CrfRangesOfTheEncodersThatDeclareTooWideAnOption) {
  const std::pair<const char*, double> rows[] = {{"libx264", 51},  {"libx264rgb", 51}, {"libx265", 51},
                                                 {"libvpx", 63},   {"libvpx-vp9", 63}, {"libaom-av1", 63},
                                                 {"libsvtav1", 63}};
  for (const auto& [codec, high] : rows) {
    const std::optional<CrfLimits> limits = KnownCrfLimits(codec);
    ASSERT_TRUE(limits) << codec;
    EXPECT_EQ(limits->low, 0);
    EXPECT_EQ(limits->high, high);
  }
  EXPECT_FALSE(KnownCrfLimits("ffv1"));
  EXPECT_FALSE(KnownCrfLimits("libx26"));
}

TEST(VideoPolicy, EncodersGetRgbAtTheFramesDepthWithAlphaWhenTheyHoldIt) {
  struct Row {
    const char* codec;
    AVPixelFormat plain8, alpha8, plain16, alpha16;
  };
  // The README's table of defaults.
  const Row rows[] = {
      {"ffv1", AV_PIX_FMT_BGR0, AV_PIX_FMT_BGRA, AV_PIX_FMT_GBRP16LE, AV_PIX_FMT_GBRAP16LE},
      {"qtrle", AV_PIX_FMT_RGB24, AV_PIX_FMT_ARGB, AV_PIX_FMT_RGB24, AV_PIX_FMT_ARGB},
      {"png", AV_PIX_FMT_RGB24, AV_PIX_FMT_RGBA, AV_PIX_FMT_RGB48BE, AV_PIX_FMT_RGBA64BE},
  };
  for (const Row& row : rows) {
    const AVCodec* codec = avcodec_find_encoder_by_name(row.codec);
    if (codec == nullptr) continue;  // not in this FFmpeg
    EXPECT_EQ(ChoosePixelFormat(codec->pix_fmts, false, false), row.plain8) << row.codec;
    EXPECT_EQ(ChoosePixelFormat(codec->pix_fmts, false, true), row.alpha8) << row.codec;
    EXPECT_EQ(ChoosePixelFormat(codec->pix_fmts, true, false), row.plain16) << row.codec;
    EXPECT_EQ(ChoosePixelFormat(codec->pix_fmts, true, true), row.alpha16) << row.codec;
  }
  // An encoder that takes only YUV gets YUV; one that says nothing takes the first choice.
  const AVPixelFormat yuvOnly[] = {AV_PIX_FMT_YUV420P, AV_PIX_FMT_NONE};
  EXPECT_EQ(ChoosePixelFormat(yuvOnly, false, true), AV_PIX_FMT_YUV420P);
  EXPECT_EQ(ChoosePixelFormat(nullptr, true, true), AV_PIX_FMT_GBRAP16LE);
}

TEST(VideoPolicy, SlicesAndYuvTagsFollowTheFrameSize) {
  EXPECT_EQ(FfvSlices(1280, 720), 16);
  EXPECT_EQ(FfvSlices(1279, 720), 0);
  EXPECT_EQ(FfvSlices(720, 1280), 16);  // pixels, not width
  EXPECT_EQ(FfvSlices(4096, 2304), 16);
  EXPECT_EQ(FfvSlices(4097, 2304), 0);
  EXPECT_EQ(FfvSlices(640, 480), 0);

  // Worked from FFV1's layout rule (v rows, v <= h columns < 2v, each at least a pixel; two rows or more
  // unless an explicit count on a frame of at most 352 x 288). Frames under 3 pixels a side go to version 1
  // (version 3 blanks them), as does anything no layout fits.
  EXPECT_EQ(FfvLayoutFor(1, 1), (FfvLayout{1, 0}));
  EXPECT_EQ(FfvLayoutFor(7, 1), (FfvLayout{1, 0}));
  EXPECT_EQ(FfvLayoutFor(2, 64), (FfvLayout{1, 0}));
  EXPECT_EQ(FfvLayoutFor(1, 30000), (FfvLayout{1, 0}));
  EXPECT_EQ(FfvLayoutFor(3, 3), (FfvLayout{3, 0}));
  EXPECT_EQ(FfvLayoutFor(3, 5), (FfvLayout{3, 0}));
  EXPECT_EQ(FfvLayoutFor(1280, 720), (FfvLayout{3, 16}));  // 4 x 4
  EXPECT_EQ(FfvLayoutFor(640, 480), (FfvLayout{3, 0}));
  EXPECT_FALSE(FfvSlicesFit(1, 2, 0));   // two rows need two columns
  EXPECT_TRUE(FfvSlicesFit(1, 288, 1));  // an explicit single slice, up to 352 x 288
  EXPECT_FALSE(FfvSlicesFit(1, 289, 1));
  EXPECT_FALSE(FfvSlicesFit(3, 300, 16));  // 16 is 4 x 4 only: four columns
  EXPECT_TRUE(FfvSlicesFit(4, 300, 16));
  EXPECT_FALSE(FfvSlicesFit(4, 1, 2));  // 2 is no h x v with v <= h < 2v
  EXPECT_TRUE(FfvSlicesFit(2, 2, 4));   // 2 x 2

  // HD sizes get BT.709, SD ones BT.601 (SMPTE 170M); a tag that names no matrix leaves it to the size.
  struct Row {
    int width, height;
    AVColorSpace space;
    AVColorPrimaries primaries;
    AVColorTransferCharacteristic transfer;
    int swsMatrix;
    AVColorSpace neutralTag;
  };
  const Row rows[] = {
      {1280, 100, AVCOL_SPC_BT709, AVCOL_PRI_BT709, AVCOL_TRC_BT709, SWS_CS_ITU709, AVCOL_SPC_UNSPECIFIED},
      {720, 577, AVCOL_SPC_BT709, AVCOL_PRI_BT709, AVCOL_TRC_BT709, SWS_CS_ITU709, AVCOL_SPC_UNSPECIFIED},
      {1920, 1080, AVCOL_SPC_BT709, AVCOL_PRI_BT709, AVCOL_TRC_BT709, SWS_CS_ITU709, AVCOL_SPC_UNSPECIFIED},
      {1279, 576, AVCOL_SPC_SMPTE170M, AVCOL_PRI_SMPTE170M, AVCOL_TRC_SMPTE170M, SWS_CS_ITU601,
       AVCOL_SPC_RGB},
      {720, 576, AVCOL_SPC_SMPTE170M, AVCOL_PRI_SMPTE170M, AVCOL_TRC_SMPTE170M, SWS_CS_ITU601, AVCOL_SPC_RGB},
      {64, 48, AVCOL_SPC_SMPTE170M, AVCOL_PRI_SMPTE170M, AVCOL_TRC_SMPTE170M, SWS_CS_ITU601, AVCOL_SPC_RGB},
  };
  for (const Row& row : rows) {
    const YuvTags tags = YuvTagsForSize(row.width, row.height);
    EXPECT_EQ(tags.space, row.space) << row.width << "x" << row.height;
    EXPECT_EQ(tags.primaries, row.primaries);
    EXPECT_EQ(tags.transfer, row.transfer);
    EXPECT_EQ(tags.swsMatrix, row.swsMatrix);
    EXPECT_EQ(ColourMatrix(row.neutralTag, row.width, row.height), row.swsMatrix);
  }
  // A tag wins over the size.
  EXPECT_EQ(ColourMatrix(AVCOL_SPC_BT2020_NCL, 64, 48), SWS_CS_BT2020);
  EXPECT_EQ(ColourMatrix(AVCOL_SPC_BT709, 64, 48), SWS_CS_ITU709);
}

TEST(VideoPolicy, YuvjFormatsAreFullRangeUnderThePlainName) {
  const std::pair<AVPixelFormat, AVPixelFormat> rows[] = {{AV_PIX_FMT_YUVJ420P, AV_PIX_FMT_YUV420P},
                                                          {AV_PIX_FMT_YUVJ422P, AV_PIX_FMT_YUV422P},
                                                          {AV_PIX_FMT_YUVJ444P, AV_PIX_FMT_YUV444P},
                                                          {AV_PIX_FMT_YUVJ440P, AV_PIX_FMT_YUV440P},
                                                          {AV_PIX_FMT_YUVJ411P, AV_PIX_FMT_YUV411P}};
  for (const auto& [j, plain] : rows) {
    bool full = false;
    EXPECT_EQ(PlainFormat(j, full), plain);
    EXPECT_TRUE(full);
  }
  bool full = false;
  EXPECT_EQ(PlainFormat(AV_PIX_FMT_YUV420P, full), AV_PIX_FMT_YUV420P);
  EXPECT_FALSE(full);
  EXPECT_TRUE(IsYuv(*av_pix_fmt_desc_get(AV_PIX_FMT_YUV420P10LE)));
  EXPECT_FALSE(IsYuv(*av_pix_fmt_desc_get(AV_PIX_FMT_GBRP16LE)));
  EXPECT_FALSE(IsYuv(*av_pix_fmt_desc_get(AV_PIX_FMT_GRAY16LE)));
}

}  // namespace
