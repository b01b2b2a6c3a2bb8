// The PICA basic suite and the suites the effect acquires through it.
#pragma once

#include "sdk/ae_effect.h"

extern "C" {

struct SPBasicSuite {
  SPErr (*AcquireSuite)(const char* name, int32_t version, const void** suite);
  SPErr (*ReleaseSuite)(const char* name, int32_t version);
  SPBoolean (*IsEqual)(const char* token1, const char* token2);
  SPErr (*AllocateBlock)(size_t size, void** block);
  SPErr (*FreeBlock)(void* block);
  SPErr (*ReallocateBlock)(void* block, size_t new_size, void** new_block);
  SPErr (*Undefined)(void);
};

// "PF ANSI Suite" version 1: the utility callbacks' C library block without its trailing word.
struct PF_ANSICallbacksSuite1 {
  void* atan;
  void* atan2;
  void* ceil;
  void* cos;
  void* exp;
  void* fabs;
  void* floor;
  void* fmod;
  void* hypot;
  void* log;
  void* log10;
  void* pow;
  void* sin;
  void* sqrt;
  void* tan;
  int (*sprintf)(A_char* dst, const A_char* fmt, ...);
  A_char* (*strcpy)(A_char* dst, const A_char* src);
  void* asin;
  void* acos;
};

// "PF Handle Suite" version 2.
struct PF_HandleSuite1 {
  PF_Handle (*host_new_handle)(A_HandleSize size);
  void* (*host_lock_handle)(PF_Handle h);
  void (*host_unlock_handle)(PF_Handle h);
  void (*host_dispose_handle)(PF_Handle h);
  A_HandleSize (*host_get_handle_size)(PF_Handle h);
  PF_Err (*host_resize_handle)(A_HandleSize new_size, PF_Handle* handleP);
};

// "PF Param Utils Suite" version 3; only the first slot is used.
struct PF_ParamUtilsSuite3 {
  PF_Err (*PF_UpdateParamUI)(PF_ProgPtr effect_ref, PF_ParamIndex param_index, const PF_ParamDef* defP);
  void* PF_GetCurrentState;
  void* PF_AreStatesIdentical;
  void* PF_IsIdenticalCheckout;
  void* PF_FindKeyframeTime;
  void* PF_GetKeyframeCount;
  void* PF_CheckoutKeyframe;
  void* PF_CheckinKeyframe;
  void* PF_KeyIndexToTime;
};

// "PF Effect UI Suite" version 1.
struct PF_EffectUISuite1 {
  PF_Err (*PF_SetOptionsButtonName)(PF_ProgPtr effect_ref, const A_char* nameZ);
};

// "PF Effect Sequence Data Suite" version 1: the sequence data as a render thread may read it.
struct PF_EffectSequenceDataSuite1 {
  PF_Err (*PF_GetConstSequenceData)(PF_ProgPtr effect_ref, PF_ConstHandle* sequence_data);
};

// "PF World Suite" version 2: the only way to a float world.
struct PF_WorldSuite2 {
  PF_Err (*PF_NewWorld)(PF_ProgPtr effect_ref, A_long widthL, A_long heightL, PF_Boolean clear_pixB,
                        PF_PixelFormat pixel_format, PF_EffectWorld* worldP);
  PF_Err (*PF_DisposeWorld)(PF_ProgPtr effect_ref, PF_EffectWorld* worldP);
  PF_Err (*PF_GetPixelFormat)(const PF_EffectWorld* worldP, PF_PixelFormat* pixel_formatP);
};

// Premiere's "PF Pixel Format Suite" version 1: the formats an effect renders, declared in global set-up
// (clear, then add in order of preference; 8-bit ARGB is always there), and the format a world holds.
struct PF_PixelFormatSuite1 {
  PF_Err (*AddSupportedPixelFormat)(PF_ProgPtr effect_ref, PrPixelFormat pixelFormat);
  PF_Err (*ClearSupportedPixelFormats)(PF_ProgPtr effect_ref);
  PF_Err (*NewWorldOfPixelFormat)(PF_ProgPtr effect_ref, A_u_long width, A_u_long height,
                                  PF_NewWorldFlags flags, PrPixelFormat pixelFormat, PF_EffectWorld* world);
  PF_Err (*DisposeWorld)(PF_ProgPtr effect_ref, PF_EffectWorld* world);
  PF_Err (*GetPixelFormat)(PF_EffectWorld* inWorld, PrPixelFormat* pixelFormat);
  PF_Err (*GetBlackForPixelFormat)(PrPixelFormat pixelFormat, void* pixelData);
  PF_Err (*GetWhiteForPixelFormat)(PrPixelFormat pixelFormat, void* pixelData);
  PF_Err (*ConvertColorToPixelFormattedData)(PrPixelFormat pixelFormat, float alpha, float red, float green,
                                             float blue, void* pixelData);
};
typedef PF_PixelFormatSuite1 PF_PixelFormatSuite;

}  // extern "C"

static_assert(sizeof(SPBasicSuite) == 56);
PF_CHECK_OFFSET(SPBasicSuite, AcquireSuite, 0);
PF_CHECK_OFFSET(SPBasicSuite, ReleaseSuite, 8);
PF_CHECK_OFFSET(SPBasicSuite, Undefined, 48);
static_assert(sizeof(PF_ANSICallbacksSuite1) == 152);
PF_CHECK_OFFSET(PF_ANSICallbacksSuite1, sprintf, 120);
PF_CHECK_OFFSET(PF_ANSICallbacksSuite1, strcpy, 128);
static_assert(sizeof(PF_HandleSuite1) == 48);
PF_CHECK_OFFSET(PF_HandleSuite1, host_new_handle, 0);
PF_CHECK_OFFSET(PF_HandleSuite1, host_lock_handle, 8);
PF_CHECK_OFFSET(PF_HandleSuite1, host_unlock_handle, 16);
PF_CHECK_OFFSET(PF_HandleSuite1, host_dispose_handle, 24);
PF_CHECK_OFFSET(PF_HandleSuite1, host_get_handle_size, 32);
PF_CHECK_OFFSET(PF_HandleSuite1, host_resize_handle, 40);
static_assert(sizeof(PF_ParamUtilsSuite3) == 72);
PF_CHECK_OFFSET(PF_ParamUtilsSuite3, PF_UpdateParamUI, 0);
static_assert(sizeof(PF_EffectUISuite1) == 8);
PF_CHECK_OFFSET(PF_EffectUISuite1, PF_SetOptionsButtonName, 0);
static_assert(sizeof(PF_EffectSequenceDataSuite1) == 8);
PF_CHECK_OFFSET(PF_EffectSequenceDataSuite1, PF_GetConstSequenceData, 0);
static_assert(sizeof(PF_WorldSuite2) == 24);
PF_CHECK_OFFSET(PF_WorldSuite2, PF_NewWorld, 0);
PF_CHECK_OFFSET(PF_WorldSuite2, PF_DisposeWorld, 8);
PF_CHECK_OFFSET(PF_WorldSuite2, PF_GetPixelFormat, 16);
static_assert(sizeof(PF_PixelFormatSuite1) == 64);
PF_CHECK_OFFSET(PF_PixelFormatSuite1, AddSupportedPixelFormat, 0);
PF_CHECK_OFFSET(PF_PixelFormatSuite1, ClearSupportedPixelFormats, 8);
PF_CHECK_OFFSET(PF_PixelFormatSuite1, NewWorldOfPixelFormat, 16);
PF_CHECK_OFFSET(PF_PixelFormatSuite1, DisposeWorld, 24);
PF_CHECK_OFFSET(PF_PixelFormatSuite1, GetPixelFormat, 32);
PF_CHECK_OFFSET(PF_PixelFormatSuite1, GetBlackForPixelFormat, 40);
PF_CHECK_OFFSET(PF_PixelFormatSuite1, GetWhiteForPixelFormat, 48);
PF_CHECK_OFFSET(PF_PixelFormatSuite1, ConvertColorToPixelFormattedData, 56);
