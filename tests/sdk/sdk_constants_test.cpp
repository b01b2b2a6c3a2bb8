// The record layouts are pinned at compile time by the headers; these are the values a host compares.
#include <gtest/gtest.h>

#include <type_traits>

#include "sdk/ae_suites.h"

TEST(SdkConstants, FourCharacterCodesPutTheFirstCharacterHighest) {
  EXPECT_EQ(PF_ApplID_AfterEffects, 0x46585443);
  EXPECT_EQ(PF_ApplID_PremierePro, 0x50724D72);
  EXPECT_EQ(static_cast<uint32_t>(PF_FourCC('e', 'F', 'K', 'T')), 0x65464B54u);
}

TEST(SdkConstants, VersionPacking) {
  EXPECT_EQ(PF_VERSION(1, 1, 0, PF_Stage_DEVELOP, 1), 0x00088001u);
  EXPECT_EQ(PF_VERSION(0, 0, 0, 0, 0x1FF), 0x1FFu);
  EXPECT_EQ(PF_VERSION(0, 0, 0, PF_Stage_RELEASE, 0), 3u << 9);
  EXPECT_EQ(PF_VERSION(0, 0, 15, 0, 0), 15u << 11);
  EXPECT_EQ(PF_VERSION(0, 15, 0, 0, 0), 15u << 15);
  // Major versions above 7 spill into the high field at bit 26.
  EXPECT_EQ(PF_VERSION(9, 0, 0, 0, 0), (1u << 26) | (1u << 19));
}

TEST(SdkConstants, SuiteVersionsAreTheHostsNotTheirNames) {
  EXPECT_EQ(kPFHandleSuiteVersion1, 2);
  EXPECT_EQ(kPFParamUtilsSuiteVersion3, 3);
  EXPECT_STREQ(kPFANSISuite, "PF ANSI Suite");
  EXPECT_STREQ(kPFHandleSuite, "PF Handle Suite");
  EXPECT_STREQ(kPFParamUtilsSuite, "PF Param Utils Suite");
  EXPECT_STREQ(kPFEffectUISuite, "PF Effect UI Suite");
}

// An effect compares iterate_generic's count with the sentinel and calls through the slot with its own
// function type: a wrong value or signature would make the host misread every call.
TEST(SdkConstants, IterateGenericSentinelAndSignature) {
  EXPECT_EQ(PF_Iterations_ONCE_PER_PROCESSOR, -1);
  using Fn = PF_Err (*)(void* refcon, A_long thread_index, A_long i, A_long iterations);
  static_assert(std::is_same_v<decltype(PF_UtilCallbacks::iterate_generic), PF_Err (*)(A_long, void*, Fn)>);
  static_assert(std::is_same_v<decltype(PF_InteractCallbacks::abort), PF_Err (*)(PF_ProgPtr)>);
  static_assert(
      std::is_same_v<decltype(PF_InteractCallbacks::progress), PF_Err (*)(PF_ProgPtr, A_long, A_long)>);
  EXPECT_EQ(PF_Interrupt_CANCEL, 517);
  EXPECT_EQ(PF_Err_BAD_CALLBACK_PARAM, 516);
}

// Multi-frame rendering: the flags, the command and the read-only suite, as the host's headers give them.
TEST(SdkConstants, MultiFrameRenderingDeclarations) {
  EXPECT_EQ(PF_OutFlag2_SUPPORTS_THREADED_RENDERING, 0x8000000);
  EXPECT_EQ(PF_OutFlag2_SUPPORTS_GET_FLATTENED_SEQUENCE_DATA, 0x800000);
  EXPECT_EQ(PF_Cmd_GET_FLATTENED_SEQUENCE_DATA, 28);
  EXPECT_EQ(PF_InFlag_PROJECT_IS_RENDER_ONLY, 1);
  EXPECT_STREQ(kPFEffectSequenceDataSuite, "PF Effect Sequence Data Suite");
  EXPECT_EQ(kPFEffectSequenceDataSuiteVersion1, 1);
  static_assert(std::is_same_v<decltype(PF_EffectSequenceDataSuite1::PF_GetConstSequenceData),
                               PF_Err (*)(PF_ProgPtr, const void* const**)>);
}

// SmartFX: commands, flags and request constants as the host sends and reads them.
TEST(SdkConstants, SmartRenderDeclarations) {
  EXPECT_EQ(PF_Cmd_SMART_PRE_RENDER, 23);
  EXPECT_EQ(PF_Cmd_SMART_RENDER, 24);
  EXPECT_EQ(PF_OutFlag2_SUPPORTS_SMART_RENDER, 0x400);
  EXPECT_EQ(PF_OutFlag2_FLOAT_COLOR_AWARE, 0x1000);
  EXPECT_EQ(PF_RenderOutputFlag_RETURNS_EXTRA_PIXELS, 1);
  EXPECT_EQ(PF_ChannelMask_ARGB,
            PF_ChannelMask_ALPHA | PF_ChannelMask_RED | PF_ChannelMask_GREEN | PF_ChannelMask_BLUE);
  EXPECT_EQ(PF_ChannelMask_ARGB, 0xF);
  EXPECT_EQ(PF_GPU_Framework_NONE, 0);
  // The checkouts write a world pointer into the caller's variable.
  static_assert(std::is_same_v<decltype(PF_SmartRenderCallbacks::checkout_output),
                               PF_Err (*)(PF_ProgPtr, PF_EffectWorld**)>);
  static_assert(std::is_same_v<decltype(PF_SmartRenderCallbacks::checkout_layer_pixels),
                               PF_Err (*)(PF_ProgPtr, A_long, PF_EffectWorld**)>);
  static_assert(std::is_same_v<PF_DeletePreRenderDataFunc, void (*)(void*)>);
  static_assert(sizeof(PF_RenderOutputFlags) == 2 && sizeof(PF_PreRenderInput::bitdepth) == 2);
}

// Pixel formats put their first character in the lowest byte, unlike the application codes.
TEST(SdkConstants, PixelFormatsAndTheirSuites) {
  EXPECT_EQ(static_cast<uint32_t>(PF_PixelFormat_ARGB32), 0x62677261u);
  EXPECT_EQ(static_cast<uint32_t>(PF_PixelFormat_ARGB64), 0x36316561u);
  EXPECT_EQ(static_cast<uint32_t>(PF_PixelFormat_ARGB128), 0x32336561u);
  EXPECT_EQ(static_cast<uint32_t>(PF_PixelFormat_BGRA32), 0x61726762u);
  EXPECT_EQ(static_cast<uint32_t>(PrPixelFormat_BGRA_4444_32f), 0x61724742u);
  EXPECT_EQ(PrPixelFormat_BGRA_4444_32f, 1634879298);
  EXPECT_EQ(PrPixelFormat_BGRA_4444_8u, PF_PixelFormat_BGRA32);
  EXPECT_STREQ(kPFWorldSuite, "PF World Suite");
  EXPECT_EQ(kPFWorldSuiteVersion2, 2);
  EXPECT_STREQ(kPFPixelFormatSuite, "PF Pixel Format Suite");
  EXPECT_EQ(kPFPixelFormatSuiteVersion1, 1);
  static_assert(std::is_same_v<decltype(PF_PixelFormatSuite1::AddSupportedPixelFormat),
                               PF_Err (*)(PF_ProgPtr, PrPixelFormat)>);
}
