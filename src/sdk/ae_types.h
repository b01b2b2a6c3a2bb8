// Base types and constants of the After Effects effect API, as far as Palettrix and minihost use them.
// Our own declarations with the host's names; the 64-bit Windows layout is pinned by static_asserts in
// ae_effect.h and ae_suites.h. Integer widths are fixed so the layout is the same on LP64 Linux.
#pragma once

#include <cstddef>
#include <cstdint>

extern "C" {

typedef int32_t A_long;
typedef uint32_t A_u_long;
typedef int16_t A_short;
typedef uint16_t A_u_short;
typedef char A_char;
typedef unsigned char A_u_char;
typedef unsigned char A_Boolean;
typedef char PF_Boolean;
typedef double A_FpLong;
typedef float A_FpShort;
typedef double PF_FpLong;
typedef float PF_FpShort;
typedef int64_t A_intptr_t;
typedef uint64_t A_u_longlong;
typedef A_u_longlong A_HandleSize;
typedef A_long A_Err;

typedef A_long PF_Fixed;
typedef A_u_long PF_UFixed;
typedef void** PF_Handle;
// Read-only access to a handle's bytes: a pointer to a const master pointer (dereference once).
typedef const void* const* PF_ConstHandle;
typedef struct PF_ProgressInfo* PF_ProgPtr;

typedef A_long PF_Err;
typedef A_long PF_Cmd;
typedef A_long PF_ParamIndex;
typedef A_long PF_ParamValue;
typedef A_long PF_ParamType;
typedef A_long PF_ParamFlags;
typedef A_long PF_ParamUIFlags;
typedef A_long PF_ChangeFlags;
typedef A_long PF_WorldFlags;
typedef A_long PF_Quality;
typedef A_long PF_Field;
typedef A_long PF_InFlags;
typedef A_long PF_OutFlags;
typedef A_long PF_OutFlags2;
typedef A_long A_AppID;
typedef A_short PF_Precision;
typedef A_short PF_ValueDisplayFlags;
typedef A_u_long PF_FSliderFlags;
typedef A_long PF_ChannelMask;
typedef A_long PF_GPU_Framework;
typedef A_short PF_RenderOutputFlags;
typedef A_long PF_PixelFormat;
typedef A_long PrPixelFormat;
typedef A_long PF_NewWorldFlags;

typedef int32_t SPErr;
typedef int32_t SPBoolean;

}  // extern "C"

// The SDK declares its constants in anonymous enums stored in A_long fields; constexpr values keep the
// same names and integer types without introducing enum types into any record.

// Commands.
constexpr PF_Cmd PF_Cmd_ABOUT = 0;
constexpr PF_Cmd PF_Cmd_GLOBAL_SETUP = 1;
constexpr PF_Cmd PF_Cmd_UNUSED_0 = 2;
constexpr PF_Cmd PF_Cmd_GLOBAL_SETDOWN = 3;
constexpr PF_Cmd PF_Cmd_PARAMS_SETUP = 4;
constexpr PF_Cmd PF_Cmd_SEQUENCE_SETUP = 5;
constexpr PF_Cmd PF_Cmd_SEQUENCE_RESETUP = 6;
constexpr PF_Cmd PF_Cmd_SEQUENCE_FLATTEN = 7;
constexpr PF_Cmd PF_Cmd_SEQUENCE_SETDOWN = 8;
constexpr PF_Cmd PF_Cmd_DO_DIALOG = 9;
constexpr PF_Cmd PF_Cmd_FRAME_SETUP = 10;
constexpr PF_Cmd PF_Cmd_RENDER = 11;
constexpr PF_Cmd PF_Cmd_FRAME_SETDOWN = 12;
constexpr PF_Cmd PF_Cmd_USER_CHANGED_PARAM = 13;
constexpr PF_Cmd PF_Cmd_UPDATE_PARAMS_UI = 14;
constexpr PF_Cmd PF_Cmd_EVENT = 15;
constexpr PF_Cmd PF_Cmd_SMART_PRE_RENDER = 23;
constexpr PF_Cmd PF_Cmd_SMART_RENDER = 24;
constexpr PF_Cmd PF_Cmd_GET_FLATTENED_SEQUENCE_DATA = 28;
constexpr PF_Cmd PF_Cmd_NUM_CMDS = 34;

// Errors.
constexpr PF_Err PF_Err_NONE = 0;
constexpr PF_Err PF_Err_OUT_OF_MEMORY = 4;
constexpr PF_Err PF_Err_INTERNAL_STRUCT_DAMAGED = 512;
constexpr PF_Err PF_Err_INVALID_INDEX = 513;
constexpr PF_Err PF_Err_UNRECOGNIZED_PARAM_TYPE = 514;
constexpr PF_Err PF_Err_INVALID_CALLBACK = 515;
constexpr PF_Err PF_Err_BAD_CALLBACK_PARAM = 516;
constexpr PF_Err PF_Interrupt_CANCEL = 517;
constexpr SPErr kSPNoError = 0;

// Parameter types.
constexpr PF_ParamType PF_Param_RESERVED = -1;
constexpr PF_ParamType PF_Param_LAYER = 0;
constexpr PF_ParamType PF_Param_SLIDER = 1;
constexpr PF_ParamType PF_Param_FIX_SLIDER = 2;
constexpr PF_ParamType PF_Param_POPUP = 7;
constexpr PF_ParamType PF_Param_FLOAT_SLIDER = 10;
constexpr PF_ParamType PF_Param_GROUP_START = 13;
constexpr PF_ParamType PF_Param_GROUP_END = 14;
constexpr PF_ParamType PF_Param_BUTTON = 15;

// Parameter flags and UI flags.
constexpr PF_ParamFlags PF_ParamFlag_NONE = 0;
constexpr PF_ParamFlags PF_ParamFlag_COLLAPSE_TWIRLY = 0x20;
constexpr PF_ParamFlags PF_ParamFlag_SUPERVISE = 0x40;
constexpr PF_ParamFlags PF_ParamFlag_START_COLLAPSED = 0x20;
constexpr PF_ParamUIFlags PF_PUI_NONE = 0;
constexpr PF_ParamUIFlags PF_PUI_DISABLED = 0x20;
constexpr PF_ParamUIFlags PF_PUI_INVISIBLE = 0x200;
constexpr PF_ChangeFlags PF_ChangeFlag_NONE = 0;
constexpr PF_ChangeFlags PF_ChangeFlag_CHANGED_VALUE = 1;
constexpr PF_ValueDisplayFlags PF_ValueDisplayFlag_NONE = 0;
constexpr PF_ValueDisplayFlags PF_ValueDisplayFlag_PERCENT = 1;
constexpr PF_Precision PF_Precision_INTEGER = 0;
constexpr PF_Precision PF_Precision_HUNDREDTHS = 2;
constexpr PF_FSliderFlags PF_FSliderFlag_NONE = 0;

// Out flags.
constexpr PF_OutFlags PF_OutFlag_NONE = 0;
constexpr PF_OutFlags PF_OutFlag_SEQUENCE_DATA_NEEDS_FLATTENING = 0x10;
constexpr PF_OutFlags PF_OutFlag_I_DO_DIALOG = 0x20;
constexpr PF_OutFlags PF_OutFlag_DISPLAY_ERROR_MESSAGE = 0x100;
constexpr PF_OutFlags PF_OutFlag_REFRESH_UI = 0x20000;
constexpr PF_OutFlags PF_OutFlag_FORCE_RERENDER = 0x400000;
constexpr PF_OutFlags PF_OutFlag_DEEP_COLOR_AWARE = 0x2000000;
constexpr PF_OutFlags PF_OutFlag_SEND_UPDATE_PARAMS_UI = 0x4000000;
constexpr PF_OutFlags2 PF_OutFlag2_NONE = 0;
constexpr PF_OutFlags2 PF_OutFlag2_PARAM_GROUP_START_COLLAPSED_FLAG = 0x8;
constexpr PF_OutFlags2 PF_OutFlag2_SUPPORTS_SMART_RENDER = 0x400;
constexpr PF_OutFlags2 PF_OutFlag2_FLOAT_COLOR_AWARE = 0x1000;  // needs SUPPORTS_SMART_RENDER too
constexpr PF_OutFlags2 PF_OutFlag2_SUPPORTS_GET_FLATTENED_SEQUENCE_DATA = 0x800000;
constexpr PF_OutFlags2 PF_OutFlag2_SUPPORTS_THREADED_RENDERING = 0x8000000;
constexpr PF_OutFlags2 PF_OutFlag2_MUTABLE_RENDER_SEQUENCE_DATA_SLOWER = 0x10000000;

// Worlds, in flags, limits.
constexpr PF_WorldFlags PF_WorldFlag_DEEP = 1;
constexpr PF_WorldFlags PF_WorldFlag_WRITEABLE = 2;
constexpr PF_InFlags PF_InFlag_PROJECT_IS_RENDER_ONLY = 1;
constexpr A_long PF_LayerDefault_MYSELF = -1;
constexpr A_long PF_LayerDefault_NONE = 0;
constexpr A_long PF_Iterations_ONCE_PER_PROCESSOR = -1;  // iterate_generic: one call per host thread
constexpr A_long PF_MAX_CHAN8 = 255;
constexpr A_long PF_MAX_CHAN16 = 32768;
constexpr int PF_MAX_EFFECT_MSG_LEN = 255;
constexpr int PF_MAX_EFFECT_PARAM_NAME_LEN = 31;
constexpr int PF_MAX_PARAM_VALUE_LEN = 31;
constexpr int PF_MAX_PARAM_DESCRIPTION_LEN = 31;
constexpr A_long PF_MAX_WORLD_WIDTH = 30000;
constexpr A_long PF_MAX_WORLD_HEIGHT = 30000;

// SmartFX requests and results.
constexpr PF_ChannelMask PF_ChannelMask_ALPHA = 0x1;
constexpr PF_ChannelMask PF_ChannelMask_RED = 0x2;
constexpr PF_ChannelMask PF_ChannelMask_GREEN = 0x4;
constexpr PF_ChannelMask PF_ChannelMask_BLUE = 0x8;
constexpr PF_ChannelMask PF_ChannelMask_ARGB = 0xF;
constexpr PF_Field PF_Field_FRAME = 0;
constexpr PF_Field PF_Field_UPPER = 1;
constexpr PF_Field PF_Field_LOWER = 2;
constexpr PF_RenderOutputFlags PF_RenderOutputFlag_RETURNS_EXTRA_PIXELS = 0x1;
constexpr PF_RenderOutputFlags PF_RenderOutputFlag_GPU_RENDER_POSSIBLE = 0x2;
constexpr PF_GPU_Framework PF_GPU_Framework_NONE = 0;

// Pixel formats: four characters, the first in the LEAST significant byte (unlike the application codes
// below, which are multi-character literals).
constexpr PF_PixelFormat MAKE_PIXEL_FORMAT_FOURCC(char c0, char c1, char c2, char c3) {
  return static_cast<PF_PixelFormat>(static_cast<uint32_t>(static_cast<unsigned char>(c0)) |
                                     (static_cast<uint32_t>(static_cast<unsigned char>(c1)) << 8) |
                                     (static_cast<uint32_t>(static_cast<unsigned char>(c2)) << 16) |
                                     (static_cast<uint32_t>(static_cast<unsigned char>(c3)) << 24));
}
constexpr PF_PixelFormat PF_PixelFormat_ARGB32 = MAKE_PIXEL_FORMAT_FOURCC('a', 'r', 'g', 'b');   // 8 bpc
constexpr PF_PixelFormat PF_PixelFormat_ARGB64 = MAKE_PIXEL_FORMAT_FOURCC('a', 'e', '1', '6');   // 0..32768
constexpr PF_PixelFormat PF_PixelFormat_ARGB128 = MAKE_PIXEL_FORMAT_FOURCC('a', 'e', '3', '2');  // 1.0 white
constexpr PF_PixelFormat PF_PixelFormat_BGRA32 = MAKE_PIXEL_FORMAT_FOURCC('b', 'g', 'r', 'a');
constexpr PF_PixelFormat PF_PixelFormat_INVALID = MAKE_PIXEL_FORMAT_FOURCC('b', 'a', 'd', 'f');
// Premiere's formats: the 8-bit ones are the After Effects ones; BGRA float is blue, green, red, alpha
// floats at increasing addresses.
constexpr PrPixelFormat PrPixelFormat_BGRA_4444_8u = PF_PixelFormat_BGRA32;
constexpr PrPixelFormat PrPixelFormat_ARGB_4444_8u = PF_PixelFormat_ARGB32;
constexpr PrPixelFormat PrPixelFormat_BGRA_4444_32f = MAKE_PIXEL_FORMAT_FOURCC('B', 'G', 'r', 'a');
constexpr PF_NewWorldFlags PF_NewWorldFlag_NONE = 0;
constexpr PF_NewWorldFlags PF_NewWorldFlag_CLEAR_PIXELS = 1;
constexpr PF_NewWorldFlags PF_NewWorldFlag_DEEP_PIXELS = 2;

// Host application codes: four characters, the first in the most significant byte.
constexpr A_long PF_FourCC(char a, char b, char c, char d) {
  return static_cast<A_long>((static_cast<uint32_t>(static_cast<unsigned char>(a)) << 24) |
                             (static_cast<uint32_t>(static_cast<unsigned char>(b)) << 16) |
                             (static_cast<uint32_t>(static_cast<unsigned char>(c)) << 8) |
                             static_cast<uint32_t>(static_cast<unsigned char>(d)));
}
constexpr A_long PF_ApplID_AfterEffects = PF_FourCC('F', 'X', 'T', 'C');
constexpr A_long PF_ApplID_PremierePro = PF_FourCC('P', 'r', 'M', 'r');

// Version word packing of the host (PF_VERSION).
constexpr A_u_long PF_Stage_DEVELOP = 0;
constexpr A_u_long PF_Stage_ALPHA = 1;
constexpr A_u_long PF_Stage_BETA = 2;
constexpr A_u_long PF_Stage_RELEASE = 3;
constexpr A_u_long PF_VERSION(A_u_long vers, A_u_long subvers, A_u_long bugvers, A_u_long stage,
                              A_u_long build) {
  return ((vers >> 3) & 0xF) << 26 | (vers & 0x7) << 19 | (subvers & 0xF) << 15 | (bugvers & 0xF) << 11 |
         (stage & 0x3) << 9 | (build & 0x1FF);
}

// Suite names and versions.
inline constexpr const char kSPBasicSuite[] = "SP Basic Suite";
inline constexpr const char kPFANSISuite[] = "PF ANSI Suite";
inline constexpr const char kPFHandleSuite[] = "PF Handle Suite";
inline constexpr const char kPFParamUtilsSuite[] = "PF Param Utils Suite";
inline constexpr const char kPFEffectUISuite[] = "PF Effect UI Suite";
inline constexpr const char kPFEffectSequenceDataSuite[] = "PF Effect Sequence Data Suite";
inline constexpr const char kPFWorldSuite[] = "PF World Suite";
// One name for two tables: version 2 is After Effects' (unused by CPU effects), version 1 Premiere's.
inline constexpr const char kPFPixelFormatSuite[] = "PF Pixel Format Suite";
constexpr int32_t kSPBasicSuiteVersion = 4;
constexpr int32_t kPFANSISuiteVersion1 = 1;
constexpr int32_t kPFHandleSuiteVersion1 = 2;  // sic: the first handle suite is version 2
constexpr int32_t kPFParamUtilsSuiteVersion3 = 3;
constexpr int32_t kPFEffectUISuiteVersion1 = 1;
constexpr int32_t kPFEffectSequenceDataSuiteVersion1 = 1;
constexpr int32_t kPFWorldSuiteVersion2 = 2;
constexpr int32_t kPFPixelFormatSuiteVersion1 = 1;
