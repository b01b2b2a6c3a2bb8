// The command handlers EntryPoint dispatches to. Each throws a host error code to end its command.
#pragma once

#include <string>

#include "sdk/ae_effect.h"

PF_Err GlobalSetup(PF_OutData* outData);
PF_Err About(PF_InData* inData, PF_OutData* outData);

// The About text, also its own format string: it holds no '%'.
std::string AboutText();
