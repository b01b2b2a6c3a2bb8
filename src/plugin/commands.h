// The command handlers EntryPoint dispatches to. Each throws a host error code to end its command.
#pragma once

#include <string>

#include "sdk/ae_effect.h"

PF_Err GlobalSetup(PF_OutData* outData);
PF_Err About(PF_InData* inData, PF_OutData* outData);
PF_Err ParamsSetup(PF_InData* inData, PF_OutData* outData);

// The custom palette's life in the host's sequence data.
PF_Err SequenceSetup(PF_InData* inData, PF_OutData* outData);
PF_Err SequenceResetup(PF_InData* inData, PF_OutData* outData);
PF_Err SequenceFlatten(PF_InData* inData, PF_OutData* outData);
PF_Err SequenceSetdown(PF_InData* inData, PF_OutData* outData);
// An independent flat copy of the sequence data, which the host owns, for its render copies; the instance's
// live data is left as it is.
PF_Err GetFlattenedSequenceData(PF_InData* inData, PF_OutData* outData);

// The palette controls and the options button.
PF_Err UserChangedParam(PF_InData* inData, PF_OutData* outData, PF_ParamDef* params[],
                        const PF_UserChangedParamExtra* extra);
PF_Err UpdateParamsUI(PF_InData* inData, PF_ParamDef* params[]);
PF_Err DoDialog(PF_InData* inData, PF_OutData* outData);

// The About text, also its own format string: it holds no '%'.
std::string AboutText();
