#include "frei0r/linked_effect.h"

// Defined by the effect's entry-point file, linked in beside this one.
extern "C" PF_Err EntryPoint(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[],
                             PF_LayerDef* output, void* extra);

PF_EntryPointFunc LinkedEntryPoint() { return &EntryPoint; }
