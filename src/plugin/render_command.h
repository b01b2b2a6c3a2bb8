// PF_Cmd_RENDER: the controls and the custom palette into a frame description, then the pattern's kernel
// over the frame on the host's threads.
#pragma once

#include "plugin/render_settings.h"
#include "sdk/ae_effect.h"

// Values of the controls as the render command reads them (also used by tests of the conversions).
void FillRenderSettings(RenderSettings& settings, PF_ParamDef* params[]);

// Throws the host error code on failure, with a message for the user in `outData` where the host should
// show one; EntryPoint turns the code into its result.
PF_Err RenderCommand(PF_InData* inData, PF_OutData* outData, PF_ParamDef* params[], PF_EffectWorld* output);
