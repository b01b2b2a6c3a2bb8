// PF_Cmd_RENDER: the controls and the custom palette into a frame description, then the pattern's kernel
// over the frame on the host's threads.
#pragma once

#include "plugin/render_sequence_data.h"
#include "plugin/render_settings.h"
#include "render/frame_description.h"
#include "render/image_view.h"
#include "sdk/ae_effect.h"

// Values of the controls as the render command reads them (also used by tests of the conversions).
void FillRenderSettings(RenderSettings& settings, PF_ParamDef* params[]);

// Throws the host error code on failure, with a message for the user in `outData` where the host should
// show one; EntryPoint turns the code into its result.
PF_Err RenderCommand(PF_InData* inData, PF_OutData* outData, PF_ParamDef* params[], PF_EffectWorld* output);

// The steps both render commands (PF_Cmd_RENDER and PF_Cmd_SMART_RENDER) share.
// The frame the settings and the custom palette describe; false when a popup value is out of range, and
// `frame` is then left as it was.
bool DescribeFrame(const RenderSettings& settings, const RenderPalette& custom, FrameDescription& frame);
// Throws when the frame cannot be rendered: an invalid description, or "Custom" from damaged data (with a
// message for the user in `outData`). Called after the output has been cleared.
void RefuseUnrenderableFrame(bool valid, const RenderSettings& settings, const RenderPalette& custom,
                             PF_OutData* outData);
// The pattern's kernel at the input's depth on the host's threads; PF_Interrupt_CANCEL when the host
// stopped it part-way.
PF_Err RunKernel(PF_InData* inData, const FrameDescription& frame, const ImageView& input,
                 const ImageView& output);
