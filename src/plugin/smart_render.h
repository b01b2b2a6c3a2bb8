// SmartFX: PF_Cmd_SMART_PRE_RENDER says which input pixels a requested rectangle needs and what it yields;
// PF_Cmd_SMART_RENDER renders it at 8 or 16 bits. A part of a frame renders exactly as the same part of the
// whole frame that PF_Cmd_RENDER gives, because patterns and blocks are placed by layer position; error
// diffusion, where every pixel depends on all before it, always renders and returns its whole frame.
#pragma once

#include "sdk/ae_effect.h"

PF_Err SmartPreRender(PF_InData* inData, PF_OutData* outData, PF_PreRenderExtra* extra);
PF_Err SmartRender(PF_InData* inData, PF_OutData* outData, PF_SmartRenderExtra* extra);
