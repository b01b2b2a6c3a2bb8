// Records of the After Effects effect API: pixels, worlds, parameters, callbacks, in and out data.
// Slots that Palettrix and minihost do not use keep their place as opaque pointers or padding, so that
// every member used sits at its 64-bit Windows offset; the static_asserts below pin them.
#pragma once

#include "sdk/ae_types.h"

extern "C" {

struct PF_Pixel {
  A_u_char alpha;
  A_u_char red;
  A_u_char green;
  A_u_char blue;
};
typedef PF_Pixel PF_Pixel8;

struct PF_Pixel16 {
  A_u_short alpha;
  A_u_short red;
  A_u_short green;
  A_u_short blue;
};

// 32 bpc: 1.0 is white; values beyond 0..1 are legal.
struct PF_PixelFloat {
  PF_FpShort alpha;
  PF_FpShort red;
  PF_FpShort green;
  PF_FpShort blue;
};
typedef PF_PixelFloat PF_Pixel32;

struct PF_LRect {
  A_long left;
  A_long top;
  A_long right;
  A_long bottom;
};
typedef PF_LRect PF_Rect;

struct PF_Point {
  A_long h;
  A_long v;
};

struct PF_RationalScale {
  A_long num;
  A_u_long den;
};

struct PF_SpecVersion {
  A_short major;
  A_short minor;
};

struct PF_SoundFormatInfo {
  PF_FpLong rateF;
  A_short num_channels;
  A_short format;
  A_short sample_size;
};

struct PF_SoundWorld {
  PF_SoundFormatInfo fi;
  A_long num_samples;
  void* dataP;
};

struct PF_UserChangedParamExtra {
  PF_ParamIndex param_index;
};

typedef PF_Pixel* PF_PixelPtr;

struct PF_LayerDef {
  void* reserved0;
  void* reserved1;
  PF_WorldFlags world_flags;
  PF_PixelPtr data;
  A_long rowbytes;
  A_long width;
  A_long height;
  PF_LRect extent_hint;
  void* platform_ref;
  A_long reserved_long1;
  void* reserved_long4;
  PF_RationalScale pix_aspect_ratio;
  void* reserved_long2;
  A_long origin_x;
  A_long origin_y;
  A_long reserved_long3;
  A_long dephault;
};
typedef PF_LayerDef PF_EffectWorld;

// Parameter definitions (the union members the effect uses, plus the largest one for the union size).
struct PF_PopupDef {
  PF_ParamValue value;  // 1-based choice
  A_short num_choices;
  A_short dephault;
  union {
    const A_char* namesptr;  // choices separated by '|'
  } u;
};

struct PF_ButtonDef {
  PF_ParamValue value;
  union {
    const A_char* namesptr;  // button text
  } u;
};

struct PF_FixedSliderDef {
  PF_Fixed value;
  A_char value_str[PF_MAX_PARAM_VALUE_LEN + 1];
  A_char value_desc[PF_MAX_PARAM_DESCRIPTION_LEN + 1];
  PF_Fixed valid_min;
  PF_Fixed valid_max;
  PF_Fixed slider_min;
  PF_Fixed slider_max;
  PF_Fixed dephault;
  PF_Precision precision;
  PF_ValueDisplayFlags display_flags;
};

struct PF_FloatSliderDef {
  PF_FpLong value;
  PF_FpLong phase;
  A_char value_desc[PF_MAX_PARAM_DESCRIPTION_LEN + 1];
  PF_FpShort valid_min;
  PF_FpShort valid_max;
  PF_FpShort slider_min;
  PF_FpShort slider_max;
  PF_FpShort dephault;
  PF_Precision precision;
  PF_ValueDisplayFlags display_flags;
  PF_FSliderFlags fs_flags;
  PF_FpShort curve_tolerance;
  PF_Boolean useExponent;
  PF_FpShort exponent;
};

union PF_ParamDefUnion {
  PF_LayerDef ld;
  PF_FixedSliderDef fd;
  PF_PopupDef pd;
  PF_FloatSliderDef fs_d;
  PF_ButtonDef button_d;
};

struct PF_ParamDef {
  union {
    A_long id;
    PF_ChangeFlags change_flags;
  } uu;
  PF_ParamUIFlags ui_flags;
  A_short ui_width;
  A_short ui_height;
  PF_ParamType param_type;
  A_char name[PF_MAX_EFFECT_PARAM_NAME_LEN + 1];
  PF_ParamFlags flags;
  A_long unused;
  PF_ParamDefUnion u;
};
typedef PF_ParamDef* PF_ParamDefPtr;
typedef PF_ParamDef** PF_ParamList;

struct PF_InData;

typedef PF_Err (*PF_IteratePixel8Func)(void* refcon, A_long x, A_long y, PF_Pixel* in, PF_Pixel* out);
typedef PF_Err (*PF_IteratePixel16Func)(void* refcon, A_long x, A_long y, PF_Pixel16* in, PF_Pixel16* out);

struct PF_InteractCallbacks {
  // A parameter's value at a time; every checkout is checked in again.
  PF_Err (*checkout_param)(PF_ProgPtr effect_ref, PF_ParamIndex index, A_long what_time, A_long time_step,
                           A_u_long time_scale, PF_ParamDef* param);
  PF_Err (*checkin_param)(PF_ProgPtr effect_ref, PF_ParamDef* param);
  PF_Err (*add_param)(PF_ProgPtr effect_ref, PF_ParamIndex index, PF_ParamDefPtr def);
  PF_Err (*abort)(PF_ProgPtr effect_ref);
  PF_Err (*progress)(PF_ProgPtr effect_ref, A_long current, A_long total);
  void* register_ui;
  void* checkout_layer_audio;
  void* checkin_layer_audio;
  void* get_audio_data;
  void* reserved_str[3];
  void* reserved[10];
};

// The block of C library functions inside the utility callbacks; also the layout of "PF ANSI Suite"
// version 1, which lacks only the trailing unused_longA.
struct PF_ANSICallbacks {
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
  A_long unused_longA[1];
};

struct PF_UtilCallbacks {
  void* begin_sampling;
  void* subpixel_sample;
  void* area_sample;
  void* get_batch_func_is_deprecated;
  void* end_sampling;
  void* composite_rect;
  void* blend;
  void* convolve;
  void* copy;
  PF_Err (*fill)(PF_ProgPtr effect_ref, const PF_Pixel* color, const PF_Rect* dst_rect,
                 PF_EffectWorld* world);
  void* gaussian_kernel;
  PF_Err (*iterate)(PF_InData* in_data, A_long progress_base, A_long progress_final, PF_EffectWorld* src,
                    const PF_Rect* area, void* refcon, PF_IteratePixel8Func pix_fn, PF_EffectWorld* dst);
  void* premultiply;
  void* premultiply_color;
  void* new_world;
  void* dispose_world;
  void* iterate_origin;
  void* iterate_lut;
  void* transfer_rect;
  void* transform_world;
  PF_Handle (*host_new_handle)(A_u_longlong size);
  void* (*host_lock_handle)(PF_Handle h);
  void (*host_unlock_handle)(PF_Handle h);
  void (*host_dispose_handle)(PF_Handle h);
  void* get_callback_addr;
  PF_Err (*app)(PF_ProgPtr effect_ref, A_long what, ...);
  PF_ANSICallbacks ansi;
  void* colorCB[8];
  void* get_platform_data;
  A_u_longlong (*host_get_handle_size)(PF_Handle h);
  void* iterate_origin_non_clip_src;
  // Calls fn for i = 0..iterations-1 on the host's threads, or once per thread when iterations is
  // PF_Iterations_ONCE_PER_PROCESSOR; no in_data, so no progress or abort on the effect's behalf.
  PF_Err (*iterate_generic)(A_long iterations, void* refcon,
                            PF_Err (*fn_func)(void* refcon, A_long thread_index, A_long i,
                                              A_long iterations));
  PF_Err (*host_resize_handle)(A_u_longlong new_size, PF_Handle* handleP);
  void* subpixel_sample16;
  void* area_sample16;
  void* fill16;
  void* premultiply_color16;
  PF_Err (*iterate16)(PF_InData* in_data, A_long progress_base, A_long progress_final, PF_EffectWorld* src,
                      const PF_Rect* area, void* refcon, PF_IteratePixel16Func pix_fn, PF_EffectWorld* dst);
  void* iterate_origin16;
  void* iterate_origin_non_clip_src16;
  void* get_pixel_data8;
  void* get_pixel_data16;
  A_long reserved[1];
};

struct SPBasicSuite;

struct PF_InData {
  PF_InteractCallbacks inter;
  PF_UtilCallbacks* utils;
  PF_ProgPtr effect_ref;
  PF_Quality quality;
  PF_SpecVersion version;
  A_long serial_num;
  A_long appl_id;
  A_long num_params;
  A_long reserved;
  A_long what_cpu;
  A_long what_fpu;
  A_long current_time;
  A_long time_step;
  A_long total_time;
  A_long local_time_step;
  A_u_long time_scale;
  PF_Field field;
  PF_Fixed shutter_angle;
  A_long width;
  A_long height;
  PF_Rect extent_hint;
  A_long output_origin_x;
  A_long output_origin_y;
  PF_RationalScale downsample_x;
  PF_RationalScale downsample_y;
  PF_RationalScale pixel_aspect_ratio;
  PF_InFlags in_flags;
  PF_Handle global_data;
  PF_Handle sequence_data;
  PF_Handle frame_data;
  A_long start_sampL;
  A_long dur_sampL;
  A_long total_sampL;
  PF_SoundWorld src_snd;
  SPBasicSuite* pica_basicP;
  A_long pre_effect_source_origin_x;
  A_long pre_effect_source_origin_y;
  PF_Fixed shutter_phase;
};

struct PF_OutData {
  A_u_long my_version;
  A_char name[32];
  PF_Handle global_data;
  A_long num_params;
  PF_Handle sequence_data;
  A_long flat_sdata_size;
  PF_Handle frame_data;
  A_long width;
  A_long height;
  PF_Point origin;
  PF_OutFlags out_flags;
  A_char return_msg[PF_MAX_EFFECT_MSG_LEN + 1];
  A_long start_sampL;
  A_long dur_sampL;
  PF_SoundWorld dest_snd;
  PF_OutFlags2 out_flags2;
};

// SmartFX. Rectangles are in layer coordinates; a checked-out world's origin_x/origin_y is the layer
// position of its pixel (0, 0).
struct PF_RenderRequest {
  PF_LRect rect;
  PF_Field field;
  PF_ChannelMask channel_mask;
  PF_Boolean preserve_rgb_of_zero_alpha;
  char unused[3];
  A_long reserved[4];
};

struct PF_PreRenderInput {
  PF_RenderRequest output_request;
  A_short bitdepth;  // 8, 16 or 32
  const void* gpu_data;
  PF_GPU_Framework what_gpu;
  A_u_long device_index;
};

// The host owns pre_render_data once pre-render returns and frees it through this function.
typedef void (*PF_DeletePreRenderDataFunc)(void* pre_render_data);

struct PF_PreRenderOutput {
  PF_LRect result_rect;
  PF_LRect max_result_rect;
  PF_Boolean solid;
  PF_Boolean reserved;
  PF_RenderOutputFlags flags;
  void* pre_render_data;
  PF_DeletePreRenderDataFunc delete_pre_render_data_func;
};

struct PF_CheckoutResult {
  PF_LRect result_rect;  // may be empty
  PF_LRect max_result_rect;
  PF_RationalScale par;
  PF_Boolean solid;
  PF_Boolean reservedB[3];
  A_long ref_width;
  A_long ref_height;
  A_long reserved[6];
};

struct PF_PreRenderCallbacks {
  PF_Err (*checkout_layer)(PF_ProgPtr effect_ref, PF_ParamIndex index, A_long checkout_idL,
                           const PF_RenderRequest* req, A_long what_time, A_long time_step,
                           A_u_long time_scale, PF_CheckoutResult* checkout_result);
  PF_Err (*GuidMixInPtr)(PF_ProgPtr effect_ref, A_u_long buf_sizeLu, const void* buf);
};

struct PF_PreRenderExtra {
  PF_PreRenderInput* input;
  PF_PreRenderOutput* output;
  PF_PreRenderCallbacks* cb;
};

struct PF_SmartRenderInput {
  PF_RenderRequest output_request;
  A_short bitdepth;
  void* pre_render_data;
  const void* gpu_data;
  PF_GPU_Framework what_gpu;
  A_u_long device_index;
};

struct PF_SmartRenderCallbacks {
  PF_Err (*checkout_layer_pixels)(PF_ProgPtr effect_ref, A_long checkout_idL, PF_EffectWorld** pixels);
  PF_Err (*checkin_layer_pixels)(PF_ProgPtr effect_ref, A_long checkout_idL);
  PF_Err (*checkout_output)(PF_ProgPtr effect_ref, PF_EffectWorld** output);
};

struct PF_SmartRenderExtra {
  PF_SmartRenderInput* input;
  PF_SmartRenderCallbacks* cb;
};

// The effect's entry point; its exported name is what the registration resource names.
typedef PF_Err (*PF_EntryPointFunc)(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data,
                                    PF_ParamDef* params[], PF_LayerDef* output, void* extra);

}  // extern "C"

// Layout of the 64-bit host: sizes and the offsets of every member used.
#define PF_CHECK_OFFSET(type, member, offset) \
  static_assert(offsetof(type, member) == (offset), #type "." #member)

static_assert(sizeof(PF_Pixel) == 4 && sizeof(PF_Pixel16) == 8);
PF_CHECK_OFFSET(PF_Pixel, alpha, 0);
PF_CHECK_OFFSET(PF_Pixel, red, 1);
PF_CHECK_OFFSET(PF_Pixel, green, 2);
PF_CHECK_OFFSET(PF_Pixel, blue, 3);
PF_CHECK_OFFSET(PF_Pixel16, alpha, 0);
PF_CHECK_OFFSET(PF_Pixel16, red, 2);
PF_CHECK_OFFSET(PF_Pixel16, green, 4);
PF_CHECK_OFFSET(PF_Pixel16, blue, 6);
static_assert(sizeof(PF_PixelFloat) == 16 && alignof(PF_PixelFloat) == 4);
PF_CHECK_OFFSET(PF_PixelFloat, alpha, 0);
PF_CHECK_OFFSET(PF_PixelFloat, red, 4);
PF_CHECK_OFFSET(PF_PixelFloat, green, 8);
PF_CHECK_OFFSET(PF_PixelFloat, blue, 12);
static_assert(sizeof(PF_LRect) == 16 && sizeof(PF_Point) == 8 && sizeof(PF_RationalScale) == 8);
static_assert(sizeof(PF_SpecVersion) == 4 && sizeof(PF_SoundFormatInfo) == 16 && sizeof(PF_SoundWorld) == 32);
static_assert(sizeof(PF_UserChangedParamExtra) == 4);
PF_CHECK_OFFSET(PF_UserChangedParamExtra, param_index, 0);

static_assert(sizeof(PF_LayerDef) == 120 && alignof(PF_LayerDef) == 8);
PF_CHECK_OFFSET(PF_LayerDef, world_flags, 16);
PF_CHECK_OFFSET(PF_LayerDef, data, 24);
PF_CHECK_OFFSET(PF_LayerDef, rowbytes, 32);
PF_CHECK_OFFSET(PF_LayerDef, width, 36);
PF_CHECK_OFFSET(PF_LayerDef, height, 40);
PF_CHECK_OFFSET(PF_LayerDef, extent_hint, 44);
PF_CHECK_OFFSET(PF_LayerDef, platform_ref, 64);
PF_CHECK_OFFSET(PF_LayerDef, pix_aspect_ratio, 88);
PF_CHECK_OFFSET(PF_LayerDef, origin_x, 104);
PF_CHECK_OFFSET(PF_LayerDef, dephault, 116);

static_assert(sizeof(PF_PopupDef) == 16);
PF_CHECK_OFFSET(PF_PopupDef, value, 0);
PF_CHECK_OFFSET(PF_PopupDef, num_choices, 4);
PF_CHECK_OFFSET(PF_PopupDef, dephault, 6);
PF_CHECK_OFFSET(PF_PopupDef, u.namesptr, 8);
static_assert(sizeof(PF_ButtonDef) == 16);
PF_CHECK_OFFSET(PF_ButtonDef, value, 0);
PF_CHECK_OFFSET(PF_ButtonDef, u.namesptr, 8);
static_assert(sizeof(PF_FixedSliderDef) == 92);
PF_CHECK_OFFSET(PF_FixedSliderDef, value, 0);
PF_CHECK_OFFSET(PF_FixedSliderDef, value_str, 4);
PF_CHECK_OFFSET(PF_FixedSliderDef, value_desc, 36);
PF_CHECK_OFFSET(PF_FixedSliderDef, valid_min, 68);
PF_CHECK_OFFSET(PF_FixedSliderDef, valid_max, 72);
PF_CHECK_OFFSET(PF_FixedSliderDef, slider_min, 76);
PF_CHECK_OFFSET(PF_FixedSliderDef, slider_max, 80);
PF_CHECK_OFFSET(PF_FixedSliderDef, dephault, 84);
PF_CHECK_OFFSET(PF_FixedSliderDef, precision, 88);
PF_CHECK_OFFSET(PF_FixedSliderDef, display_flags, 90);
static_assert(sizeof(PF_FloatSliderDef) == 88);
PF_CHECK_OFFSET(PF_FloatSliderDef, value, 0);
PF_CHECK_OFFSET(PF_FloatSliderDef, phase, 8);
PF_CHECK_OFFSET(PF_FloatSliderDef, value_desc, 16);
PF_CHECK_OFFSET(PF_FloatSliderDef, valid_min, 48);
PF_CHECK_OFFSET(PF_FloatSliderDef, valid_max, 52);
PF_CHECK_OFFSET(PF_FloatSliderDef, slider_min, 56);
PF_CHECK_OFFSET(PF_FloatSliderDef, slider_max, 60);
PF_CHECK_OFFSET(PF_FloatSliderDef, dephault, 64);
PF_CHECK_OFFSET(PF_FloatSliderDef, precision, 68);
PF_CHECK_OFFSET(PF_FloatSliderDef, display_flags, 70);
PF_CHECK_OFFSET(PF_FloatSliderDef, fs_flags, 72);
PF_CHECK_OFFSET(PF_FloatSliderDef, curve_tolerance, 76);
PF_CHECK_OFFSET(PF_FloatSliderDef, useExponent, 80);
PF_CHECK_OFFSET(PF_FloatSliderDef, exponent, 84);
static_assert(sizeof(PF_ParamDefUnion) == 120 && alignof(PF_ParamDefUnion) == 8);
static_assert(sizeof(PF_ParamDef) == 176);
PF_CHECK_OFFSET(PF_ParamDef, uu, 0);
PF_CHECK_OFFSET(PF_ParamDef, ui_flags, 4);
PF_CHECK_OFFSET(PF_ParamDef, ui_width, 8);
PF_CHECK_OFFSET(PF_ParamDef, ui_height, 10);
PF_CHECK_OFFSET(PF_ParamDef, param_type, 12);
PF_CHECK_OFFSET(PF_ParamDef, name, 16);
PF_CHECK_OFFSET(PF_ParamDef, flags, 48);
PF_CHECK_OFFSET(PF_ParamDef, u, 56);

static_assert(sizeof(PF_InteractCallbacks) == 176);
PF_CHECK_OFFSET(PF_InteractCallbacks, checkout_param, 0);
PF_CHECK_OFFSET(PF_InteractCallbacks, checkin_param, 8);
PF_CHECK_OFFSET(PF_InteractCallbacks, add_param, 16);
PF_CHECK_OFFSET(PF_InteractCallbacks, abort, 24);
PF_CHECK_OFFSET(PF_InteractCallbacks, progress, 32);
PF_CHECK_OFFSET(PF_InteractCallbacks, reserved_str, 72);
PF_CHECK_OFFSET(PF_InteractCallbacks, reserved, 96);

static_assert(sizeof(PF_ANSICallbacks) == 160);
PF_CHECK_OFFSET(PF_ANSICallbacks, sprintf, 120);
PF_CHECK_OFFSET(PF_ANSICallbacks, strcpy, 128);
PF_CHECK_OFFSET(PF_ANSICallbacks, unused_longA, 152);

static_assert(sizeof(PF_UtilCallbacks) == 552);
PF_CHECK_OFFSET(PF_UtilCallbacks, copy, 64);
PF_CHECK_OFFSET(PF_UtilCallbacks, fill, 72);
PF_CHECK_OFFSET(PF_UtilCallbacks, iterate, 88);
PF_CHECK_OFFSET(PF_UtilCallbacks, new_world, 112);
PF_CHECK_OFFSET(PF_UtilCallbacks, host_new_handle, 160);
PF_CHECK_OFFSET(PF_UtilCallbacks, host_lock_handle, 168);
PF_CHECK_OFFSET(PF_UtilCallbacks, host_unlock_handle, 176);
PF_CHECK_OFFSET(PF_UtilCallbacks, host_dispose_handle, 184);
PF_CHECK_OFFSET(PF_UtilCallbacks, app, 200);
PF_CHECK_OFFSET(PF_UtilCallbacks, ansi, 208);
PF_CHECK_OFFSET(PF_UtilCallbacks, ansi.sprintf, 328);
PF_CHECK_OFFSET(PF_UtilCallbacks, ansi.strcpy, 336);
PF_CHECK_OFFSET(PF_UtilCallbacks, colorCB, 368);
PF_CHECK_OFFSET(PF_UtilCallbacks, get_platform_data, 432);
PF_CHECK_OFFSET(PF_UtilCallbacks, host_get_handle_size, 440);
PF_CHECK_OFFSET(PF_UtilCallbacks, iterate_generic, 456);
PF_CHECK_OFFSET(PF_UtilCallbacks, host_resize_handle, 464);
PF_CHECK_OFFSET(PF_UtilCallbacks, fill16, 488);
PF_CHECK_OFFSET(PF_UtilCallbacks, iterate16, 504);
PF_CHECK_OFFSET(PF_UtilCallbacks, get_pixel_data16, 536);
PF_CHECK_OFFSET(PF_UtilCallbacks, reserved, 544);

static_assert(sizeof(PF_InData) == 408 && alignof(PF_InData) == 8);
PF_CHECK_OFFSET(PF_InData, inter, 0);
PF_CHECK_OFFSET(PF_InData, utils, 176);
PF_CHECK_OFFSET(PF_InData, effect_ref, 184);
PF_CHECK_OFFSET(PF_InData, quality, 192);
PF_CHECK_OFFSET(PF_InData, version, 196);
PF_CHECK_OFFSET(PF_InData, appl_id, 204);
PF_CHECK_OFFSET(PF_InData, num_params, 208);
PF_CHECK_OFFSET(PF_InData, current_time, 224);
PF_CHECK_OFFSET(PF_InData, time_scale, 240);
PF_CHECK_OFFSET(PF_InData, width, 252);
PF_CHECK_OFFSET(PF_InData, height, 256);
PF_CHECK_OFFSET(PF_InData, extent_hint, 260);
PF_CHECK_OFFSET(PF_InData, downsample_x, 284);
PF_CHECK_OFFSET(PF_InData, pixel_aspect_ratio, 300);
PF_CHECK_OFFSET(PF_InData, in_flags, 308);
PF_CHECK_OFFSET(PF_InData, global_data, 312);
PF_CHECK_OFFSET(PF_InData, sequence_data, 320);
PF_CHECK_OFFSET(PF_InData, frame_data, 328);
PF_CHECK_OFFSET(PF_InData, src_snd, 352);
PF_CHECK_OFFSET(PF_InData, pica_basicP, 384);
PF_CHECK_OFFSET(PF_InData, shutter_phase, 400);

static_assert(sizeof(PF_OutData) == 408 && alignof(PF_OutData) == 8);
PF_CHECK_OFFSET(PF_OutData, my_version, 0);
PF_CHECK_OFFSET(PF_OutData, name, 4);
PF_CHECK_OFFSET(PF_OutData, global_data, 40);
PF_CHECK_OFFSET(PF_OutData, num_params, 48);
PF_CHECK_OFFSET(PF_OutData, sequence_data, 56);
PF_CHECK_OFFSET(PF_OutData, frame_data, 72);
PF_CHECK_OFFSET(PF_OutData, width, 80);
PF_CHECK_OFFSET(PF_OutData, origin, 88);
PF_CHECK_OFFSET(PF_OutData, out_flags, 96);
PF_CHECK_OFFSET(PF_OutData, return_msg, 100);
PF_CHECK_OFFSET(PF_OutData, start_sampL, 356);
PF_CHECK_OFFSET(PF_OutData, dest_snd, 368);
PF_CHECK_OFFSET(PF_OutData, out_flags2, 400);

static_assert(sizeof(PF_RenderRequest) == 44 && alignof(PF_RenderRequest) == 4);
PF_CHECK_OFFSET(PF_RenderRequest, rect, 0);
PF_CHECK_OFFSET(PF_RenderRequest, field, 16);
PF_CHECK_OFFSET(PF_RenderRequest, channel_mask, 20);
PF_CHECK_OFFSET(PF_RenderRequest, preserve_rgb_of_zero_alpha, 24);
PF_CHECK_OFFSET(PF_RenderRequest, unused, 25);
PF_CHECK_OFFSET(PF_RenderRequest, reserved, 28);
static_assert(sizeof(PF_PreRenderInput) == 64 && alignof(PF_PreRenderInput) == 8);
PF_CHECK_OFFSET(PF_PreRenderInput, output_request, 0);
PF_CHECK_OFFSET(PF_PreRenderInput, bitdepth, 44);
PF_CHECK_OFFSET(PF_PreRenderInput, gpu_data, 48);
PF_CHECK_OFFSET(PF_PreRenderInput, what_gpu, 56);
PF_CHECK_OFFSET(PF_PreRenderInput, device_index, 60);
static_assert(sizeof(PF_PreRenderOutput) == 56 && alignof(PF_PreRenderOutput) == 8);
PF_CHECK_OFFSET(PF_PreRenderOutput, result_rect, 0);
PF_CHECK_OFFSET(PF_PreRenderOutput, max_result_rect, 16);
PF_CHECK_OFFSET(PF_PreRenderOutput, solid, 32);
PF_CHECK_OFFSET(PF_PreRenderOutput, reserved, 33);
PF_CHECK_OFFSET(PF_PreRenderOutput, flags, 34);
PF_CHECK_OFFSET(PF_PreRenderOutput, pre_render_data, 40);
PF_CHECK_OFFSET(PF_PreRenderOutput, delete_pre_render_data_func, 48);
static_assert(sizeof(PF_CheckoutResult) == 76 && alignof(PF_CheckoutResult) == 4);
PF_CHECK_OFFSET(PF_CheckoutResult, result_rect, 0);
PF_CHECK_OFFSET(PF_CheckoutResult, max_result_rect, 16);
PF_CHECK_OFFSET(PF_CheckoutResult, par, 32);
PF_CHECK_OFFSET(PF_CheckoutResult, solid, 40);
PF_CHECK_OFFSET(PF_CheckoutResult, reservedB, 41);
PF_CHECK_OFFSET(PF_CheckoutResult, ref_width, 44);
PF_CHECK_OFFSET(PF_CheckoutResult, ref_height, 48);
PF_CHECK_OFFSET(PF_CheckoutResult, reserved, 52);
static_assert(sizeof(PF_PreRenderCallbacks) == 16);
PF_CHECK_OFFSET(PF_PreRenderCallbacks, checkout_layer, 0);
PF_CHECK_OFFSET(PF_PreRenderCallbacks, GuidMixInPtr, 8);
static_assert(sizeof(PF_PreRenderExtra) == 24);
PF_CHECK_OFFSET(PF_PreRenderExtra, input, 0);
PF_CHECK_OFFSET(PF_PreRenderExtra, output, 8);
PF_CHECK_OFFSET(PF_PreRenderExtra, cb, 16);
static_assert(sizeof(PF_SmartRenderInput) == 72 && alignof(PF_SmartRenderInput) == 8);
PF_CHECK_OFFSET(PF_SmartRenderInput, output_request, 0);
PF_CHECK_OFFSET(PF_SmartRenderInput, bitdepth, 44);
PF_CHECK_OFFSET(PF_SmartRenderInput, pre_render_data, 48);
PF_CHECK_OFFSET(PF_SmartRenderInput, gpu_data, 56);
PF_CHECK_OFFSET(PF_SmartRenderInput, what_gpu, 64);
PF_CHECK_OFFSET(PF_SmartRenderInput, device_index, 68);
static_assert(sizeof(PF_SmartRenderCallbacks) == 24);
PF_CHECK_OFFSET(PF_SmartRenderCallbacks, checkout_layer_pixels, 0);
PF_CHECK_OFFSET(PF_SmartRenderCallbacks, checkin_layer_pixels, 8);
PF_CHECK_OFFSET(PF_SmartRenderCallbacks, checkout_output, 16);
static_assert(sizeof(PF_SmartRenderExtra) == 16);
PF_CHECK_OFFSET(PF_SmartRenderExtra, input, 0);
PF_CHECK_OFFSET(PF_SmartRenderExtra, cb, 8);
