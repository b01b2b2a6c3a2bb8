// PF_Cmd_RENDER: parameters and custom palette into RenderSettings, then one kernel over the frame.
#pragma once

#include "render/render_settings.h"

// Values of the controls as the render command reads them (also used by tests of the conversions).
void FillRenderSettings(RenderSettings& settings, PF_InData* inData, PF_ParamDef* params[]);

// Throws the host error code on failure; EntryPoint turns it into its result.
PF_Err RenderCommand(PF_InData* inData, PF_ParamDef* params[], PF_EffectWorld* output);
